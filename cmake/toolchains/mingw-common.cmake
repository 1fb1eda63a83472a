# Shared part of the Windows cross toolchains; the including file sets
# ZV_MINGW_TRIPLE and CMAKE_SYSTEM_PROCESSOR first.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_VERSION 6.1)

# The -posix compiler variant: the default one has no std::mutex or std::thread.
set(CMAKE_C_COMPILER ${ZV_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZV_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${ZV_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${ZV_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# A 64-bit time_t everywhere, also in the 32-bit program and the libraries
# built with it: the 32-bit default ends in 2038 (the operation log's time
# stamps). Windows 7 is the oldest system the program supports.
set(CMAKE_C_FLAGS_INIT "-D__MINGW_USE_VC2005_COMPAT -D_WIN32_WINNT=0x0601")
set(CMAKE_CXX_FLAGS_INIT "-D__MINGW_USE_VC2005_COMPAT -D_WIN32_WINNT=0x0601")

# Static language runtime (libgcc, libstdc++, winpthread): the programs need
# no DLL beside them but zvapi32.dll.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
