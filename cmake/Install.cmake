# Where `cmake --install` puts the program, and the Debian package made of it.
#   <prefix>/bin/tessaly
#   <prefix>/share/tessaly/help.doc, description.txt     (AppFolder reads them there)
#   <prefix>/share/applications/org.tessaly.Tessaly.desktop
#   <prefix>/share/metainfo/org.tessaly.Tessaly.metainfo.xml
#   <prefix>/share/icons/hicolor/scalable/apps/org.tessaly.Tessaly.svg
set(TESSALY_APP_ID org.tessaly.Tessaly)

# Only system libraries are linked: no run path in the installed program.
set_target_properties(tessaly PROPERTIES INSTALL_RPATH "")
install(TARGETS tessaly tessaly_starter RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES resources/Data/help.doc resources/Data/description.txt
  DESTINATION ${CMAKE_INSTALL_DATADIR}/tessaly)
install(FILES resources/desktop/${TESSALY_APP_ID}.desktop
  DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES resources/desktop/${TESSALY_APP_ID}.metainfo.xml
  DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES resources/icons/app.svg
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
  RENAME ${TESSALY_APP_ID}.svg)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tessaly)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "The Tessaly developers <tessaly@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Personal organizer with address book, day planner and e-mail")
set(CPACK_PACKAGE_DESCRIPTION
  "A login guards an address book, a day planner with desktop reminders, e-mail (SMTP and POP3), rich-text notes and a calculator, all in one window.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
# The libraries we link are found by dpkg-shlibdeps; what Qt loads at run time
# (the platform plugins, the SVG icon engine) is named here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, libqt6svg6")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-liberation2")
include(CPack)
