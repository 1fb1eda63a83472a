# Dependencies of the Windows cross build, all from the Debian archive and
# built offline: zlib from the mingw-w64 zlib package, pugixml from its
# Debian source package (unpacked by scripts/build-windows into
# ZV_WIN_SOURCES), GoogleTest from the sources Debian installs in
# /usr/src/googletest. They are built before the project's warning flags are
# set, as the libraries' own authors build them.

set(ZV_WIN_SOURCES "" CACHE PATH "Folder holding the unpacked pugixml-* source package")
if(NOT IS_DIRECTORY "${ZV_WIN_SOURCES}")
  message(FATAL_ERROR "ZV_WIN_SOURCES must name the folder of the unpacked source packages "
                      "(./scripts/build-windows prepares it)")
endif()

function(zv_find_source out pattern)
  file(GLOB found LIST_DIRECTORIES true "${ZV_WIN_SOURCES}/${pattern}")
  list(FILTER found EXCLUDE REGEX "\\.(tar|dsc|xz|gz)")
  if(NOT found)
    message(FATAL_ERROR "No ${pattern} in ${ZV_WIN_SOURCES}")
  endif()
  list(GET found 0 dir)
  set(${out} ${dir} PARENT_SCOPE)
endfunction()

# zlib, linked statically.
set(ZLIB_USE_STATIC_LIBS ON)
set(ZLIB_LIBRARY ${CMAKE_FIND_ROOT_PATH}/lib/libz.a CACHE FILEPATH "" FORCE)
find_package(ZLIB REQUIRED)

set(BUILD_SHARED_LIBS OFF)

zv_find_source(zv_pugixml_dir "pugixml-*")
set(PUGIXML_BUILD_TESTS OFF CACHE BOOL "" FORCE)
add_subdirectory(${zv_pugixml_dir} ${CMAKE_BINARY_DIR}/deps/pugixml EXCLUDE_FROM_ALL)
set(ZV_THIRD_PARTY_DIRS ${zv_pugixml_dir})

if(ZV_BUILD_TESTS)
  set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/deps/googletest EXCLUDE_FROM_ALL)
  list(APPEND ZV_THIRD_PARTY_DIRS /usr/src/googletest)
endif()
