# The 64-bit Windows build: the same sources, run under wine on a 64-bit
# Linux machine by the end-to-end tests.
set(ZV_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
find_program(ZV_WINE NAMES wine64 wine)
if(ZV_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${ZV_WINE})
endif()
