# Reads the plug-in's dynamic section (readelf -d) and fails when it needs any library
# but the C and C++ runtime: libc, libm, libgcc_s, libstdc++ and the dynamic loader.
# Every other library would have to be on the user's system for the host to load the
# plug-in. Prints the libraries it needs.
#   cmake -DPLUGIN=FILE -P check_needed_libraries.cmake
execute_process(COMMAND readelf -d ${PLUGIN} OUTPUT_VARIABLE section RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "readelf -d failed on ${PLUGIN}")
endif()
string(REGEX MATCHALL "\\(NEEDED\\)[^\n]*\\[[^]\n]+\\]" entries "${section}")
set(needed)
set(refused)
foreach(entry IN LISTS entries)
  string(REGEX REPLACE ".*\\[([^]]+)\\]$" "\\1" library "${entry}")
  list(APPEND needed ${library})
  if(NOT library MATCHES "^(libc|libm|libgcc_s|libstdc\\+\\+)\\.so\\.[0-9]+$" AND NOT library MATCHES "^ld-linux[-a-z0-9_]*\\.so\\.[0-9]+$")
    list(APPEND refused ${library})
  endif()
endforeach()
if(NOT needed)
  message(FATAL_ERROR "no NEEDED entries in the dynamic section of ${PLUGIN}: not the shared object expected")
endif()
string(REPLACE ";" " " needed_text "${needed}")
if(refused)
  string(REPLACE ";" " " refused_text "${refused}")
  message(FATAL_ERROR "${PLUGIN} needs ${refused_text} beyond the C and C++ runtime (all it needs: ${needed_text})")
endif()
message(STATUS "needed libraries: ${needed_text}")
