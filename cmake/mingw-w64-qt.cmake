# Cross-compiling the whole program for 64-bit Windows with MinGW-w64: the toolchain of
# mingw-w64.cmake, and the cross-built Qt and SQLite from scripts/windows-deps, which live
# in folders of their own outside the MinGW root. Configure with
#   -DKORVANE_WINDOWS_PREFIXES="<qt prefix>;<sqlite prefix>" -DCMAKE_PREFIX_PATH=<same>
#   -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake
# as scripts/windows does.
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
list(APPEND CMAKE_FIND_ROOT_PATH ${KORVANE_WINDOWS_PREFIXES})
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES KORVANE_WINDOWS_PREFIXES)
