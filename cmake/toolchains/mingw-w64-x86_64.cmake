# Cross build for 64-bit Windows with MinGW-w64; programs run under 64-bit Wine.
set(KESTRAN_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR AMD64)

# Debian's "wine" launcher always takes the 32-bit loader once wine32 is installed,
# and that loader then hands 64-bit programs over; call the 64-bit loader itself so
# 64-bit programs also run where 32-bit ones cannot.
find_program(KESTRAN_WINE_LOADER NAMES wine64 wine PATHS /usr/lib/wine /usr/lib64/wine NO_CMAKE_FIND_ROOT_PATH)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
