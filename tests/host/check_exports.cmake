# Lists the Linux plug-in's defined dynamic symbols and compares them with the host's names.
execute_process(COMMAND nm -D --defined-only ${PLUGIN} OUTPUT_VARIABLE symbols RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "nm failed on ${PLUGIN}")
endif()
string(REGEX MATCHALL "[^ \n]+\n" lines "${symbols}")
set(names)
foreach(line IN LISTS lines)
  string(STRIP "${line}" name)
  list(APPEND names ${name})
endforeach()
list(SORT names)
# The eight the Windows DLLs export too, then Double Commander's: the background flags,
# the content fields (columns) and the extension entry.
set(expected ExtensionInitialize FsContentGetDefaultView FsContentGetSupportedField FsContentGetValue
  FsExecuteFile FsFindClose FsFindFirst FsFindNext FsGetBackgroundFlags FsGetDefRootName FsGetFile FsInit
  FsStatusInfo)
if(NOT names STREQUAL expected)
  message(FATAL_ERROR "exported: ${names}\nexpected: ${expected}")
endif()
