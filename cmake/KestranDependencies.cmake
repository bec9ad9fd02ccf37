# Boost (program_options, regex, filesystem, string algorithms) and liblzo2.
find_package(Boost 1.81 CONFIG REQUIRED COMPONENTS program_options filesystem regex)

# liblzo2 installs no CMake config of its own.
find_path(LZO_INCLUDE_DIR lzo/lzo1x.h REQUIRED)
find_library(LZO_LIBRARY NAMES lzo2 REQUIRED)
add_library(kestran_lzo INTERFACE)
target_include_directories(kestran_lzo SYSTEM INTERFACE ${LZO_INCLUDE_DIR})
target_link_libraries(kestran_lzo INTERFACE ${LZO_LIBRARY})
