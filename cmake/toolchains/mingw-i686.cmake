# The product: the 32-bit x86 Windows console program.
#   cmake -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/mingw-i686.cmake ...
set(ZV_MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
