# What `cmake --install` puts where, and the Debian package `cpack -G DEB`
# makes of it. The man pages and completions are written by the built
# programs from their own command description, so they cannot drift from
# the parser.
include(GNUInstallDirs)

set(manuals ${PROJECT_BINARY_DIR}/manuals)
set(manual_files ${manuals}/tidewell.1 ${manuals}/tidewell.bash ${manuals}/_tidewell
    ${manuals}/tidewell.fish)
# Debian installs man pages gzipped; -n leaves out the name and time, so the
# same page gives the same bytes.
add_custom_command(OUTPUT ${manual_files} ${manuals}/tidewell.1.gz
                   COMMAND ${CMAKE_COMMAND} -E make_directory ${manuals}
                   COMMAND tidewell --write-manuals ${manuals}
                   COMMAND gzip -9nkf ${manuals}/tidewell.1
                   DEPENDS tidewell VERBATIM)
list(APPEND manual_files ${manuals}/tidewell.1.gz)
if(TARGET tidewell-gui)
  list(APPEND manual_files ${manuals}/tidewell-gui.1 ${manuals}/tidewell-gui.1.gz)
  add_custom_command(OUTPUT ${manuals}/tidewell-gui.1 ${manuals}/tidewell-gui.1.gz
                     COMMAND ${CMAKE_COMMAND} -E make_directory ${manuals}
                     COMMAND tidewell-gui --write-manual ${manuals}/tidewell-gui.1
                     COMMAND gzip -9nkf ${manuals}/tidewell-gui.1
                     DEPENDS tidewell-gui VERBATIM)
endif()
add_custom_target(tidewell_manuals ALL DEPENDS ${manual_files})

# The changelog, whose newest entry must be this version's. The package is
# made here, where the program is, so its version has no Debian revision
# (a native package) and its changelog is changelog.gz.
file(STRINGS data/debian/changelog newest LIMIT_COUNT 1)
if(NOT newest MATCHES "^tidewell \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "data/debian/changelog: its newest entry is not ${PROJECT_VERSION}: add one")
endif()
set(debian_changelog ${PROJECT_BINARY_DIR}/debian/changelog)
add_custom_command(OUTPUT ${debian_changelog}.gz
                   COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/data/debian/changelog
                           ${debian_changelog}
                   COMMAND gzip -9nf ${debian_changelog}
                   DEPENDS data/debian/changelog VERBATIM)
add_custom_target(tidewell_debian_changelog ALL DEPENDS ${debian_changelog}.gz)

install(TARGETS tidewell RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${manuals}/tidewell.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${manuals}/tidewell.bash RENAME tidewell
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
install(FILES ${manuals}/_tidewell DESTINATION ${CMAKE_INSTALL_DATADIR}/zsh/vendor-completions)
install(FILES ${manuals}/tidewell.fish
        DESTINATION ${CMAKE_INSTALL_DATADIR}/fish/vendor_completions.d)
if(TARGET tidewell-gui)
  install(TARGETS tidewell-gui RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${manuals}/tidewell-gui.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES data/${TIDEWELL_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES data/${TIDEWELL_APP_ID}.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
  install(FILES data/${TIDEWELL_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
endif()
# The compiler's version notes (.comment) say nothing a user needs; strip
# keeps them, so they go here, after it.
foreach(program tidewell tidewell-gui)
  if(TARGET ${program})
    install(CODE "execute_process(COMMAND \"${CMAKE_OBJCOPY}\" --remove-section=.comment
      \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/${program}\"
      COMMAND_ERROR_IS_FATAL ANY)")
  endif()
endforeach()
# Debian keeps a package's licence in /usr/share/doc/PACKAGE/copyright (the
# package's name, not the project's), in its machine-readable form that
# points to the GPL text every system has.
install(FILES data/debian/copyright DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tidewell)
install(FILES ${debian_changelog}.gz DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tidewell)
install(FILES README.md NOTICE.md DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tidewell)

set(CPACK_PACKAGE_NAME tidewell)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Tidewell")
set(CPACK_PACKAGE_CONTACT "Tidewell developers <maintainers@tidewell.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Search and replace in the fields of contacts, appointments and tasks")
# Debian reads at most 80 characters a line here.
set(CPACK_PACKAGE_DESCRIPTION
    "Tidewell matches and replaces text in chosen fields of every contact,\n\
appointment and task of vdir folders of vCard and iCalendar files, as\n\
vdirsyncer, khard, khal and todoman keep them, and of CardDAV and CalDAV\n\
servers. It journals every old value for undo and rewrites only the lines\n\
it changed. It comes with a terminal command and a window.")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://tidewell.org/)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
# The dependencies are read off the shared libraries the programs link
# (dpkg-shlibdeps, from dpkg-dev).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# None is linked, so dpkg-shlibdeps cannot see them: libcurl is loaded when
# a server store first needs it, libical when a series is first checked, and
# Qt reads the window's SVG icon through a plugin.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libcurl4, libical3")
if(TARGET tidewell-gui)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libcurl4, libical3, libqt6svg6")
endif()
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "bash-completion")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "vdirsyncer, khard, khal, todoman")
include(CPack)
