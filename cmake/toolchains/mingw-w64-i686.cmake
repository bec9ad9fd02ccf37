# Cross build for 32-bit Windows with MinGW-w64; programs run under 32-bit Wine.
set(KESTRAN_MINGW_TRIPLET i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86)

find_program(KESTRAN_WINE_LOADER NAMES wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
