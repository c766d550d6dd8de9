# Where installing puts things, and the packages CPack makes from a Release
# build: on Linux the Debian packages "tavorin" (the program, its manual page
# and documents) and "tavorin-window" (the window module and the Qt it needs);
# for Windows one zip with the program, the Windows guide as its read-me and
# the licence.
# ./scripts/package runs it all.

if(WIN32)
  # A Windows program sits at the top of its folder, beside its read-me.
  set(CMAKE_INSTALL_BINDIR . CACHE PATH "Where the program is installed")
endif()
include(GNUInstallDirs)

# Install rules without a component of their own belong to the program; the
# window module names its own.
set(CMAKE_INSTALL_DEFAULT_COMPONENT_NAME program)
set(packaging_dir ${PROJECT_SOURCE_DIR}/packaging)
set(packaging_out ${PROJECT_BINARY_DIR}/packaging)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
  ${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_SOURCE_DIR}/docs/windows.md ${packaging_dir}/changelog)

set(CPACK_PACKAGE_NAME tavorin)
set(CPACK_PACKAGE_VENDOR "The Tavorin authors")
set(CPACK_PACKAGE_CONTACT "The Tavorin authors <tavorin@example.org>")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
set(CPACK_OUTPUT_FILE_PREFIX packages)

if(WIN32)
  # Windows text files end their lines with CR LF. The read-me is the Windows
  # guide, docs/windows.md, written in Markdown that reads as plain text; its
  # title gains the version.
  set(guide_title "Tavorin for Windows")
  file(READ ${PROJECT_SOURCE_DIR}/docs/windows.md guide)
  string(FIND "${guide}" "${guide_title}\n===" title_at)
  if(NOT title_at EQUAL 0)
    message(FATAL_ERROR "docs/windows.md does not begin with the title \"${guide_title}\" underlined with '='")
  endif()
  string(FIND "${guide}" "\n\n" body_at)
  string(SUBSTRING "${guide}" ${body_at} -1 guide)
  set(guide_title "Tavorin ${PROJECT_VERSION} for Windows")
  string(LENGTH "${guide_title}" title_length)
  string(REPEAT "=" ${title_length} title_line)
  string(REPLACE "\n" "\r\n" guide "${guide_title}\n${title_line}${guide}")
  file(WRITE ${packaging_out}/README-Windows.txt "${guide}")

  file(READ ${PROJECT_SOURCE_DIR}/LICENSE license)
  string(REPLACE "\n" "\r\n" license "${license}")
  file(WRITE ${packaging_out}/LICENSE.txt "${license}")

  install(FILES ${packaging_out}/README-Windows.txt ${packaging_out}/LICENSE.txt DESTINATION .)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME tavorin-${PROJECT_VERSION}-win64)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
  include(CPack)
  return()
endif()

# The manual page and the change log, compressed as Debian keeps them (no name
# or time stamp inside, so the same sources give the same bytes).
function(tavorin_gzip source output)
  add_custom_command(OUTPUT ${output}
    COMMAND sh -c "gzip -9nc \"$0\" >\"$1\"" ${source} ${output}
    DEPENDS ${source} VERBATIM)
endfunction()
tavorin_gzip(${PROJECT_SOURCE_DIR}/docs/tavorin.1 ${packaging_out}/tavorin.1.gz)
tavorin_gzip(${packaging_dir}/changelog ${packaging_out}/changelog.gz)
add_custom_target(tavorin_documents ALL DEPENDS ${packaging_out}/tavorin.1.gz ${packaging_out}/changelog.gz)

# The change log's newest entry names the version being packaged.
file(STRINGS ${packaging_dir}/changelog changelog_head LIMIT_COUNT 1)
if(NOT changelog_head MATCHES "^tavorin \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "packaging/changelog begins with '${changelog_head}': add an entry for ${PROJECT_VERSION}")
endif()

install(FILES ${packaging_out}/tavorin.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
# A plain install keeps the licence as it is; the packages carry it in Debian's
# machine-readable copyright file (packaging/copyright, which holds the licence
# text of LICENSE), with the change log and lintian's overrides.
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT licence)
foreach(package tavorin tavorin-window)
  set(component program)
  if(package STREQUAL tavorin-window)
    set(component window)
  endif()
  install(FILES ${packaging_dir}/copyright ${packaging_out}/changelog.gz
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${package} COMPONENT ${component} EXCLUDE_FROM_ALL)
  install(FILES ${packaging_dir}/${package}.lintian-overrides RENAME ${package}
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides COMPONENT ${component} EXCLUDE_FROM_ALL)
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL program)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PROGRAM_PACKAGE_NAME tavorin)
set(CPACK_DEBIAN_PROGRAM_DESCRIPTION
  "remote control for one cloud-connected smart switch
Tavorin queries, sets and reports on one switch through its device cloud's
HTTP API, for scripts and schedulers: one operation per run, the outcome as
the exit status. It keeps the cloud's tokens in tokens.txt, refreshes them
when the cloud rejects the access token, and logs every operation in
Tavorin.log.

This package holds the command-line program, which needs no display. Install
tavorin-window as well for the window that opens when it is started without
arguments.")
if(TAVORIN_WITH_WINDOW)
  list(APPEND CPACK_COMPONENTS_ALL window)
  set(CPACK_DEBIAN_WINDOW_PACKAGE_NAME tavorin-window)
  set(CPACK_DEBIAN_WINDOW_PACKAGE_SECTION x11)
  # The X11 platform plugin is loaded at run time, not linked.
  set(CPACK_DEBIAN_WINDOW_PACKAGE_DEPENDS "tavorin (= ${PROJECT_VERSION}), qt6-qpa-plugins")
  set(CPACK_DEBIAN_WINDOW_DESCRIPTION
    "window for the tavorin switch remote control
The window that tavorin opens when started without arguments: three
buttons, on, off and info, for the built-in default device, each showing its
result in a message box. It is a Qt 6 module that the program loads only
then, so that runs with arguments never need Qt or a display.")
endif()
include(CPack)
