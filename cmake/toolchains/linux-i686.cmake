# 32-bit Linux with the system's g++ in -m32 mode (Debian's g++-multilib) and Debian's
# i386 libraries (multiarch: /usr/lib/i386-linux-gnu). A 32-bit size_t is what the
# 32-bit Windows DLL has too; this build shows, in the unit suites and the fuzz corpus
# replays, what wraps in 32 bits. Its programs start natively where the kernel runs
# 32-bit programs, and through QEMU's user-mode emulator where it does not (see
# scripts/deps-linux32.sh).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)
set(CMAKE_C_FLAGS_INIT "-m32")
set(CMAKE_CXX_FLAGS_INIT "-m32")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-m32")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-m32")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-m32")
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)
# Only the i386 libraries and their CMake packages: never the 64-bit ones beside them.
set(CMAKE_IGNORE_PATH /usr/lib/x86_64-linux-gnu /usr/lib/x86_64-linux-gnu/cmake)
# pkg-config too: the i386 .pc files only, not the 64-bit ones of the build machine.
set(ENV{PKG_CONFIG_LIBDIR} "/usr/lib/i386-linux-gnu/pkgconfig:/usr/share/pkgconfig")
