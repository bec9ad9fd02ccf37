# Boost (program_options, regex, filesystem, string algorithms) and liblzo2.
#
# KESTRAN_STATIC_DEPENDENCIES (Linux): both from the static, position-independent build
# that scripts/deps-linux-static.sh makes, and from nowhere else, so that the plug-in
# needs nothing on the user's system but the C and C++ runtime. Otherwise the system's
# (on Windows, the MinGW-w64 builds that the toolchain file points at).
option(KESTRAN_STATIC_DEPENDENCIES "Link Boost and LZO statically (Linux: from scripts/deps-linux-static.sh)" OFF)

if(KESTRAN_STATIC_DEPENDENCIES AND NOT WIN32)
  if(DEFINED ENV{KESTRAN_LINUX_CACHE})
    set(static_cache "$ENV{KESTRAN_LINUX_CACHE}")
  else()
    set(static_cache "$ENV{HOME}/.cache/kestran/linux")
  endif()
  set(KESTRAN_STATIC_PREFIX "${static_cache}/${CMAKE_SYSTEM_PROCESSOR}-linux-gnu/prefix")
  if(NOT EXISTS "${KESTRAN_STATIC_PREFIX}/lib/liblzo2.a")
    message(FATAL_ERROR "no static Boost and LZO in ${KESTRAN_STATIC_PREFIX}: run scripts/deps-linux-static.sh")
  endif()
  find_package(Boost 1.81 CONFIG REQUIRED COMPONENTS program_options filesystem regex
    PATHS "${KESTRAN_STATIC_PREFIX}" NO_DEFAULT_PATH)
  find_path(LZO_INCLUDE_DIR lzo/lzo1x.h PATHS "${KESTRAN_STATIC_PREFIX}/include" NO_DEFAULT_PATH REQUIRED)
  find_library(LZO_LIBRARY NAMES liblzo2.a PATHS "${KESTRAN_STATIC_PREFIX}/lib" NO_DEFAULT_PATH REQUIRED)
else()
  find_package(Boost 1.81 CONFIG REQUIRED COMPONENTS program_options filesystem regex)
  # liblzo2 installs no CMake config of its own.
  find_path(LZO_INCLUDE_DIR lzo/lzo1x.h REQUIRED)
  find_library(LZO_LIBRARY NAMES lzo2 REQUIRED)
endif()

add_library(kestran_lzo INTERFACE)
target_include_directories(kestran_lzo SYSTEM INTERFACE ${LZO_INCLUDE_DIR})
target_link_libraries(kestran_lzo INTERFACE ${LZO_LIBRARY})
