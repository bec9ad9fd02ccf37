# One place for the warning flags every target of the project is built with.
add_library(kestran_warnings INTERFACE)
target_compile_options(kestran_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wcast-align -Wformat=2
  -Wimplicit-fallthrough -Wmissing-declarations)
if(KESTRAN_WERROR)
  target_compile_options(kestran_warnings INTERFACE -Werror)
endif()
