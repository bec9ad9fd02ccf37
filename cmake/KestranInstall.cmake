# What "cmake --install" puts where, below CMAKE_INSTALL_PREFIX (default /usr/local):
#   bin/kestran-db                                the command-line tool
#   share/man/man1/kestran-db.1                   its manual page
#   share/bash-completion/completions/kestran-db  its bash completion
#   lib/kestran/kestran.wfx                       the Linux plug-in, with
#   lib/kestran/kestran.ini.sample                its settings sample beside it
# The plug-in reads kestran.ini beside its own file. The Windows files go into the
# release zip instead (scripts/package.sh).
include(GNUInstallDirs)
install(TARGETS kestran-db RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/tools/kestran-db/share/kestran-db.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PROJECT_SOURCE_DIR}/tools/kestran-db/share/kestran-db.bash
  DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME kestran-db)
if(NOT WIN32)
  install(TARGETS kestran_wfx LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}/kestran)
  install(FILES ${PROJECT_SOURCE_DIR}/src/resources/kestran.ini.sample DESTINATION ${CMAKE_INSTALL_LIBDIR}/kestran)
endif()
