# 32-bit Linux with the system's g++ in -m32 mode (Debian's g++-multilib) and Debian's
# i386 libraries (multiarch: /usr/lib/i386-linux-gnu). A 32-bit size_t is what the
# 32-bit Windows DLL has too; this build shows, in the unit suites and the fuzz corpus
# replays, what wraps in 32 bits.
#
# A 32-bit size_t and nothing else: file offsets, inode numbers and times are 64-bit as
# in the other builds. Without that, stat and open fail on files of 2 GiB or more, and
# readdir fails (EOVERFLOW) on any file system with 64-bit inode numbers or directory
# offsets (XFS, btrfs, NFS, overlay, and QEMU's view of the host's).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)
set(CMAKE_C_FLAGS_INIT "-m32 -D_FILE_OFFSET_BITS=64 -D_TIME_BITS=64")
set(CMAKE_CXX_FLAGS_INIT "-m32 -D_FILE_OFFSET_BITS=64 -D_TIME_BITS=64")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-m32")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-m32")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-m32")
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)
# Only the i386 libraries and their CMake packages: never the 64-bit ones beside them.
set(CMAKE_IGNORE_PATH /usr/lib/x86_64-linux-gnu /usr/lib/x86_64-linux-gnu/cmake)
# pkg-config too: the i386 .pc files only, not the 64-bit ones of the build machine.
set(ENV{PKG_CONFIG_LIBDIR} "/usr/lib/i386-linux-gnu/pkgconfig:/usr/share/pkgconfig")

# ctest starts the test programs through QEMU's user-mode emulator on every machine,
# also where the kernel could start them itself: 32-bit programs see a 64-bit kernel's
# answers through QEMU as they do on a kernel without 32-bit support, and a fault that
# shows only there must not hide behind the machine a run happens to get. (Programs
# that a test starts in turn, kestran-db for one, start as the system starts them.)
find_program(KESTRAN_QEMU_I386 NAMES qemu-i386-static qemu-i386)
if(KESTRAN_QEMU_I386)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${KESTRAN_QEMU_I386})
else()
  message(FATAL_ERROR "qemu-i386 not found: scripts/deps-linux32.sh installs it (qemu-user-static)")
endif()
