# What an installation holds and the Debian package made of it (cpack, or scripts/package):
# wvestor and wvestor-db in bin/ (their install rules are beside their targets), the desktop
# menu's launcher and entry with the icon, and under share/wvestor the pictures every new
# installation directory is given.
include(GNUInstallDirs)

if(TARGET wvestor)
  install(PROGRAMS ${CMAKE_SOURCE_DIR}/packaging/wvestor-escritorio
          DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${CMAKE_SOURCE_DIR}/packaging/wvestor.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${CMAKE_SOURCE_DIR}/resources/art/ICO_KESTROM.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps RENAME wvestor.svg)
  install(FILES ${CMAKE_SOURCE_DIR}/resources/bitmaps/ICO_KESTROM.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/64x64/apps RENAME wvestor.png)
  install(FILES ${CMAKE_SOURCE_DIR}/resources/empresa.jpg
                ${CMAKE_SOURCE_DIR}/resources/logo_impresion.bmp
          DESTINATION ${CMAKE_INSTALL_DATADIR}/wvestor)
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME wvestor)
set(CPACK_PACKAGE_VENDOR wvestor)
set(CPACK_PACKAGE_CONTACT "wvestor <soporte@example.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Invoicing for small lodging businesses (Spanish interface)")
set(CPACK_PACKAGE_DESCRIPTION
    "Catalogues of customers, articles and invoicing concepts, invoice capture with room and\n\
guests, I.V.A. and lodging tax, invoices printed on a pre-printed form, over xBase\n\
(DBF/CDX/FPT) tables that several workstations share. Includes wvestor-db, the data tool.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
# The shared libraries the programs link with are found by dpkg-shlibdeps (dpkg-dev); FreeImage
# is opened when the first picture is decoded, so it is named here, and so are the fonts that
# stand in for the original ones.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libfreeimage3, fonts-liberation")
# xdg-open and xdg-mime: the web page, the system information report, the default programs.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
include(CPack)
