# Shared part of the MinGW-w64 toolchain files; KESTRAN_MINGW_TRIPLET is set by the
# including file (x86_64-w64-mingw32 or i686-w64-mingw32).
set(CMAKE_SYSTEM_NAME Windows)

# The posix thread model by name: the plain driver may be the win32 model, which has
# no std::mutex.
set(CMAKE_C_COMPILER ${KESTRAN_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KESTRAN_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${KESTRAN_MINGW_TRIPLET}-windres)

# Boost, LZO and GoogleTest built by scripts/deps-windows.sh live in a cache
# outside the clone.
if(DEFINED ENV{KESTRAN_WINDOWS_CACHE})
  set(KESTRAN_WINDOWS_PREFIX "$ENV{KESTRAN_WINDOWS_CACHE}/${KESTRAN_MINGW_TRIPLET}/prefix")
else()
  set(KESTRAN_WINDOWS_PREFIX "$ENV{HOME}/.cache/kestran/windows/${KESTRAN_MINGW_TRIPLET}/prefix")
endif()
set(CMAKE_FIND_ROOT_PATH /usr/${KESTRAN_MINGW_TRIPLET} ${KESTRAN_WINDOWS_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Fully static: without -static the runtime still imports libwinpthread-1.dll.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")

# kernel32 ahead of every other library, so that Sleep and friends are imported
# from KERNEL32 and not from an api-ms-win-core DLL that libsynchronization.a names.
link_libraries(kernel32)

# Test programs (and test discovery) run under Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR ${KESTRAN_WINE_LOADER})
