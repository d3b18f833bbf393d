# Where an installation puts Kestrane, and the Debian package built from it
# (cpack -G DEB, or scripts/package.sh): the programs, the help book, the
# menu entry with its icon, the recordings' file type, man pages and the
# Debian documentation files.
include(GNUInstallDirs)

set(KS_PACKAGING ${PROJECT_SOURCE_DIR}/packaging)
set(KS_PACKAGE_BUILD ${CMAKE_BINARY_DIR}/packaging)
file(MAKE_DIRECTORY ${KS_PACKAGE_BUILD})

install(TARGETS kestrane-tool kestrane-devsim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(KS_BUILD_GUI)
  install(TARGETS kestrane RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  # The program looks for its help book beside itself, then in ../share/kestrane.
  install(FILES ${CMAKE_BINARY_DIR}/app/kestrane_help.zip DESTINATION ${CMAKE_INSTALL_DATADIR}/kestrane)
  install(FILES ${KS_PACKAGING}/kestrane.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${KS_PACKAGING}/kestrane.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
endif()
install(FILES ${KS_PACKAGING}/kestrane-mime.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages RENAME kestrane.xml)

# Man pages, compressed as Debian keeps them: the program's written by hand,
# the two command-line tools' made from their own --help, so they never drift.
find_program(KS_HELP2MAN help2man)
find_program(KS_GZIP gzip REQUIRED)
set(KS_MAN_PAGES)
function(ks_gzip_man source name)
  add_custom_command(OUTPUT ${KS_PACKAGE_BUILD}/${name}.gz
    COMMAND ${KS_GZIP} -9n -c ${source} > ${KS_PACKAGE_BUILD}/${name}.gz
    DEPENDS ${source} ${ARGN} VERBATIM)
  set(KS_MAN_PAGES ${KS_MAN_PAGES} ${KS_PACKAGE_BUILD}/${name}.gz PARENT_SCOPE)
endfunction()
ks_gzip_man(${KS_PACKAGING}/kestrane.1 kestrane.1)
if(KS_HELP2MAN)
  foreach(tool_and_summary "kestrane-tool|Kestrane's jobs without its window"
                           "kestrane-devsim|simulated position trackers on a pseudo-terminal")
    string(REPLACE "|" ";" pair "${tool_and_summary}")
    list(GET pair 0 tool)
    list(GET pair 1 summary)
    add_custom_command(OUTPUT ${KS_PACKAGE_BUILD}/${tool}.1
      COMMAND ${KS_HELP2MAN} --no-info --no-discard-stderr --version-string=${PROJECT_VERSION} --name=${summary}
              --output=${KS_PACKAGE_BUILD}/${tool}.1 $<TARGET_FILE:${tool}>
      DEPENDS ${tool} VERBATIM)
    ks_gzip_man(${KS_PACKAGE_BUILD}/${tool}.1 ${tool}.1)
  endforeach()
else()
  message(STATUS "help2man not found: the package goes without the tools' man pages")
endif()
ks_gzip_man(${KS_PACKAGING}/changelog changelog)
add_custom_target(kestrane_man_pages ALL DEPENDS ${KS_MAN_PAGES})
list(FILTER KS_MAN_PAGES INCLUDE REGEX "\\.1\\.gz$")
install(FILES ${KS_MAN_PAGES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${KS_PACKAGING}/copyright ${KS_PACKAGE_BUILD}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kestrane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Kestrane developers <maintainers@kestrane.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "freehand 3D ultrasound: record, reslice, outline and measure")
# One string, wrapped as Debian descriptions are.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
       "Kestrane records the frames of an ordinary 2D ultrasound probe with the"
       "probe's pose from a position tracker, calibrates the probe, reslices the"
       "frames along any plane, exports voxel volumes, outlines objects and builds"
       "their surfaces, reads CT and maps cortical bone thickness, and runs scripts"
       "over folders of recordings. kestrane-tool runs the same jobs from a shell;"
       "kestrane-devsim simulates the trackers so recording can be tried without"
       "hardware.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
include(CPack)
