# What `cmake --install` puts where, and the Debian package `cpack -G DEB`
# makes of it. The man pages and completions are written by the built
# programs from their own command description, so they cannot drift from
# the parser.
include(GNUInstallDirs)

set(TIDEWELL_APP_ID org.tidewell.Tidewell)
set(manuals ${PROJECT_BINARY_DIR}/manuals)
set(manual_files ${manuals}/tidewell.1 ${manuals}/tidewell.bash ${manuals}/_tidewell
    ${manuals}/tidewell.fish)
add_custom_command(OUTPUT ${manual_files}
                   COMMAND ${CMAKE_COMMAND} -E make_directory ${manuals}
                   COMMAND tidewell --write-manuals ${manuals}
                   DEPENDS tidewell VERBATIM)
if(TARGET tidewell-gui)
  list(APPEND manual_files ${manuals}/tidewell-gui.1)
  add_custom_command(OUTPUT ${manuals}/tidewell-gui.1
                     COMMAND ${CMAKE_COMMAND} -E make_directory ${manuals}
                     COMMAND tidewell-gui --write-manual ${manuals}/tidewell-gui.1
                     DEPENDS tidewell-gui VERBATIM)
endif()
add_custom_target(tidewell_manuals ALL DEPENDS ${manual_files})

install(TARGETS tidewell RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${manuals}/tidewell.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${manuals}/tidewell.bash RENAME tidewell
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
install(FILES ${manuals}/_tidewell DESTINATION ${CMAKE_INSTALL_DATADIR}/zsh/vendor-completions)
install(FILES ${manuals}/tidewell.fish
        DESTINATION ${CMAKE_INSTALL_DATADIR}/fish/vendor_completions.d)
if(TARGET tidewell-gui)
  install(TARGETS tidewell-gui RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${manuals}/tidewell-gui.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES data/${TIDEWELL_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES data/${TIDEWELL_APP_ID}.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
  install(FILES data/${TIDEWELL_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
endif()
# Debian keeps a package's licence in /usr/share/doc/PACKAGE/copyright (the
# package's name, not the project's).
install(FILES LICENSE DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tidewell RENAME copyright)
install(FILES README.md NOTICE.md DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tidewell)

set(CPACK_PACKAGE_NAME tidewell)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Tidewell")
set(CPACK_PACKAGE_CONTACT "Tidewell developers <tidewell@invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Search and replace in the fields of contacts, appointments and tasks")
set(CPACK_PACKAGE_DESCRIPTION
    "Tidewell matches and replaces text in chosen fields of every contact, appointment and task\n\
of vdir folders of vCard and iCalendar files, as vdirsyncer, khard, khal and todoman keep them,\n\
journals every old value for undo and rewrites only the lines it changed.")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
# The dependencies are read off the shared libraries the programs link
# (dpkg-shlibdeps, from dpkg-dev).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "bash-completion")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "vdirsyncer, khard, khal, todoman")
include(CPack)
