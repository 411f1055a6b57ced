# Installing the program: the binary, its desktop entry and icon in the usual places below the
# prefix, and a Debian package of the same (cpack -G DEB). Harmless while there is no program
# target yet.

if(NOT TARGET tivolo)
  return()
endif()

include(GNUInstallDirs)

# Installing (and packaging) needs the program only, not every test and benchmark.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

install(TARGETS tivolo RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${CMAKE_SOURCE_DIR}/packaging/tivolo.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/tivolo.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

set(CPACK_PACKAGE_NAME tivolo)
set(CPACK_PACKAGE_VENDOR "Tivolo")
set(CPACK_PACKAGE_CONTACT "Tivolo developers <tivolo@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Edit the recording timers of an enigma2 receiver over FTP and telnet")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://localhost/tivolo")
# The libraries the binary links come from dpkg-shlibdeps; the platform plugin that lets Qt
# open a window on X11 or Wayland is loaded at run time, so no linker sees it.
find_program(TIVOLO_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(TIVOLO_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
else()
  string(CONCAT CPACK_DEBIAN_PACKAGE_DEPENDS "libc6, libstdc++6, libqt6core6 (>= 6.4), "
         "libqt6gui6 (>= 6.4), libqt6widgets6 (>= 6.4), libqt6concurrent6 (>= 6.4), "
         "qt6-qpa-plugins, libcurl4")
endif()
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-dejavu-core")
set(CPACK_GENERATOR DEB)
include(CPack)
