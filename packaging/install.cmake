# What ships with the programs: the manual (also copied beside the executable
# in a build tree, where the program looks for it first), the desktop entry,
# icon, AppStream metainfo, file types, the udev rule and the man pages; and
# the Debian package built from them (`make package`).

include(GNUInstallDirs)

set(KR40_APP_ID org.kr40scope.KR40Scope)
set(KR40_LINUX_DIR ${PROJECT_SOURCE_DIR}/packaging/linux)
file(GLOB_RECURSE KR40_HELP_FILES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/help/*)
# The manual's pictures are the program's own, the ones under docs/.
file(GLOB KR40_HELP_IMAGES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/docs/*.png)

# The manual beside the executable: build/src/help.
set(KR40_HELP_STAMP ${CMAKE_BINARY_DIR}/help.stamp)
add_custom_command(
  OUTPUT ${KR40_HELP_STAMP}
  COMMAND ${CMAKE_COMMAND} -E rm -rf $<TARGET_FILE_DIR:kr40>/help
  COMMAND ${CMAKE_COMMAND} -E copy_directory ${PROJECT_SOURCE_DIR}/help $<TARGET_FILE_DIR:kr40>/help
  COMMAND ${CMAKE_COMMAND} -E make_directory $<TARGET_FILE_DIR:kr40>/help/images
  COMMAND ${CMAKE_COMMAND} -E copy ${KR40_HELP_IMAGES} $<TARGET_FILE_DIR:kr40>/help/images
  COMMAND ${CMAKE_COMMAND} -E touch ${KR40_HELP_STAMP}
  DEPENDS ${KR40_HELP_FILES} ${KR40_HELP_IMAGES}
  COMMENT "Copying the manual beside the program")
add_custom_target(kr40_help ALL DEPENDS ${KR40_HELP_STAMP})

# Man pages, compressed as Debian keeps them.
set(KR40_MAN_PAGES)
foreach(page kr40.1 kr40-cli.1)
  set(gz ${CMAKE_BINARY_DIR}/man/${page}.gz)
  add_custom_command(
    OUTPUT ${gz}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
    COMMAND gzip -9 -n -c ${PROJECT_SOURCE_DIR}/packaging/man/${page} > ${gz}
    DEPENDS ${PROJECT_SOURCE_DIR}/packaging/man/${page}
    VERBATIM)
  list(APPEND KR40_MAN_PAGES ${gz})
endforeach()
add_custom_target(kr40_man ALL DEPENDS ${KR40_MAN_PAGES})

install(TARGETS kr40 kr40-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/help/ DESTINATION ${CMAKE_INSTALL_DATADIR}/kr40/help)
install(FILES ${KR40_HELP_IMAGES} DESTINATION ${CMAKE_INSTALL_DATADIR}/kr40/help/images)
install(FILES ${KR40_LINUX_DIR}/${KR40_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${KR40_LINUX_DIR}/${KR40_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${KR40_LINUX_DIR}/${KR40_APP_ID}.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${KR40_LINUX_DIR}/${KR40_APP_ID}.mime.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages
        RENAME ${KR40_APP_ID}.xml)
# udev reads /usr/lib/udev/rules.d (the architecture's lib folder is not it).
install(FILES ${KR40_LINUX_DIR}/60-kr40.rules DESTINATION lib/udev/rules.d)
install(FILES ${KR40_MAN_PAGES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/kr40 RENAME copyright)

# The Debian package: `make package` (a Release build installed under /usr).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kr40)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "KR40 Scope developers <kr40scope@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Desktop program of the KR40 USB oscilloscope and generator")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
       "KR40 Scope drives the KR40 USB instrument: a two-channel 8-bit oscilloscope with two digital inputs, "
       "a function and arbitrary-waveform generator, a frequency meter and service calibrations. It shows "
       "the signals with markers, measurements and a spectrum view, decodes serial lines, records long "
       "captures and runs without the instrument on a built-in simulated one. kr40-cli offers the same "
       "work without a window.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The run-time libraries (Qt, libftdi1, libpng) come from what the programs link.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The screen asks for Arial and Tahoma by name; Liberation Sans stands in.
# The manual opens in the desktop's browser through xdg-open.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-liberation")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
set(CPACK_STRIP_FILES ON)
include(CPack)
