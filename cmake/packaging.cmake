# The Debian package. After a build, `cpack -G DEB` in the build folder makes
# vorpel_<version>_<arch>.deb with the four programs, a manual page for each,
# the desktop entry and icon, the AppStream metadata, the copyright file and
# the changelog; dpkg-shlibdeps works out the dependencies. The same files go
# where `cmake --install` puts them. The package data lives in packaging/.
include(GNUInstallDirs)

set(_packaging ${PROJECT_SOURCE_DIR}/packaging)
set(_packaging_out ${PROJECT_BINARY_DIR}/packaging)

# The changelog's latest entry names the package's version and maintainer.
file(STRINGS ${_packaging}/changelog _changelog)
list(GET _changelog 0 _latest)
if(NOT _latest MATCHES "^vorpel \\(([^)]+)\\)" OR NOT CMAKE_MATCH_1 STREQUAL PROJECT_VERSION)
  message(FATAL_ERROR "packaging/changelog: add an entry for version ${PROJECT_VERSION} at its top")
endif()
list(FILTER _changelog INCLUDE REGEX "^ -- .+>  ")
list(GET _changelog 0 _signature)
string(REGEX REPLACE "^ -- (.+>)  .*" "\\1" _maintainer "${_signature}")

# The changelog and the manual pages (with the version filled in) go in
# compressed with gzip -9n, without name or time stamp, as Debian wants them.
set(_programs vorpel-console vorpel-callserver vorpel-provision)
if(TARGET vorpel)
  list(PREPEND _programs vorpel)
endif()
configure_file(${_packaging}/changelog ${_packaging_out}/changelog COPYONLY)
set(_plain ${_packaging_out}/changelog)
foreach(_program ${_programs})
  configure_file(${_packaging}/man/${_program}.1 ${_packaging_out}/${_program}.1 @ONLY)
  list(APPEND _plain ${_packaging_out}/${_program}.1)
endforeach()
set(_compressed)
foreach(_file ${_plain})
  add_custom_command(OUTPUT ${_file}.gz COMMAND gzip -9nkf ${_file} DEPENDS ${_file} VERBATIM)
  list(APPEND _compressed ${_file}.gz)
endforeach()
add_custom_target(vorpel_package_files ALL DEPENDS ${_compressed})
list(POP_FRONT _compressed _changelog_gz)

install(TARGETS vorpel-console vorpel-callserver vorpel-provision)  # vorpel: src/ui/qt
install(FILES ${_compressed} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${_packaging}/copyright ${_changelog_gz} DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/vorpel)
if(TARGET vorpel)
  install(FILES ${_packaging}/org.vorpel.vorpel.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vorpel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "soft IP telephone terminal")
set(CPACK_PACKAGE_DESCRIPTION [=[
Vorpel stands in for a desk IP phone towards its call server: it registers
over UDP, keeps a sequenced and acknowledged link, shows the display and
lamps that the server drives, reports the keys pressed, and carries voice
as G.729 Annex A over RTP with AES-256 encrypted payloads.

The package holds the phone window (vorpel), a console front end for
scripts and terminals (vorpel-console), the tool that writes a terminal's
account (vorpel-provision) and a small call server for trying terminals
out and testing them (vorpel-callserver).]=])
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${_maintainer}")
set(CPACK_DEBIAN_PACKAGE_SECTION comm)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
include(CPack)
