# Man pages, bash completion, install rules and the Debian package.
include(GNUInstallDirs)

set(LQCL_DOCS_DIR ${PROJECT_BINARY_DIR}/docs)
add_custom_command(
  OUTPUT ${LQCL_DOCS_DIR}/lqcl.1 ${LQCL_DOCS_DIR}/tolvo-sim.1 ${LQCL_DOCS_DIR}/lqcl.bash
  COMMAND sh ${PROJECT_SOURCE_DIR}/scripts/gen-docs.sh ${PROJECT_SOURCE_DIR} ${LQCL_DOCS_DIR} ${PROJECT_VERSION}
  DEPENDS ${PROJECT_SOURCE_DIR}/scripts/gen-docs.sh
          ${PROJECT_SOURCE_DIR}/docs/man/commands.tsv
          ${PROJECT_SOURCE_DIR}/docs/man/lqcl.1.in
          ${PROJECT_SOURCE_DIR}/docs/man/tolvo-sim.1
          ${PROJECT_SOURCE_DIR}/docs/completion/lqcl.bash.in
  COMMENT "Generating the man pages and the bash completion")
add_custom_target(lqcl_docs ALL DEPENDS ${LQCL_DOCS_DIR}/lqcl.1 ${LQCL_DOCS_DIR}/lqcl.bash)

install(TARGETS lqcl RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET tolvo-sim)
  install(TARGETS tolvo-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
install(FILES ${LQCL_DOCS_DIR}/lqcl.1 ${LQCL_DOCS_DIR}/tolvo-sim.1
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${LQCL_DOCS_DIR}/lqcl.bash
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME lqcl)
install(FILES ${PROJECT_SOURCE_DIR}/README.md
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/ DESTINATION ${CMAKE_INSTALL_DOCDIR}
        FILES_MATCHING PATTERN "*.md")
install(DIRECTORY ${PROJECT_SOURCE_DIR}/sim/scenarios/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/scenarios
        FILES_MATCHING PATTERN "*.json")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME lqcl)
set(CPACK_PACKAGE_VENDOR "LQCL")
set(CPACK_PACKAGE_CONTACT "LQCL maintainers <lqcl@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "command-line management of Tolvo RAID storage systems, with an emulator")
set(CPACK_PACKAGE_FILE_NAME "lqcl_${PROJECT_VERSION}_amd64")
set(CPACK_DEBIAN_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
include(CPack)
