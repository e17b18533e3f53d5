# Installation and the Debian package. One install() per executable, so that a new program adds
# its own line; everything else the desktop needs lives in packaging/.
include(GNUInstallDirs)

set(QUORVEL_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)
set(QUORVEL_PACKAGING_OUT ${PROJECT_BINARY_DIR}/packaging)

install(TARGETS quorvel-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS quorvelctl RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# Man pages: written by hand, the version filled in, compressed as Debian wants them.
set(QUORVEL_MAN_PAGES quorvel quorvel-sim quorvelctl)
set(QUORVEL_MAN_OUTPUTS)
foreach(page IN LISTS QUORVEL_MAN_PAGES)
  configure_file(${QUORVEL_PACKAGING_DIR}/man/${page}.1.in ${QUORVEL_PACKAGING_OUT}/man/${page}.1 @ONLY)
  add_custom_command(
    OUTPUT ${QUORVEL_PACKAGING_OUT}/man/${page}.1.gz
    # -n keeps the name and time out of the header, so a rebuild gives the same bytes.
    COMMAND gzip -9nf -k ${page}.1
    WORKING_DIRECTORY ${QUORVEL_PACKAGING_OUT}/man
    DEPENDS ${QUORVEL_PACKAGING_OUT}/man/${page}.1
    COMMENT "Compressing man page ${page}.1")
  list(APPEND QUORVEL_MAN_OUTPUTS ${QUORVEL_PACKAGING_OUT}/man/${page}.1.gz)
endforeach()
add_custom_target(quorvel_man_pages ALL DEPENDS ${QUORVEL_MAN_OUTPUTS})
install(FILES ${QUORVEL_MAN_OUTPUTS} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

if(QUORVEL_BUILD_UI)
  install(TARGETS quorvel RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

  # The theme icons come from the code that draws the window icon.
  add_executable(quorvel-render-icons ${QUORVEL_PACKAGING_DIR}/render_icons.cpp)
  target_link_libraries(quorvel-render-icons PRIVATE quorvel_widgets Qt6::Svg)
  set(QUORVEL_ICON_SIZES 16 24 32 48 64 128 256 512)
  set(QUORVEL_ICON_ROOT ${QUORVEL_PACKAGING_OUT}/icons/hicolor)
  set(QUORVEL_ICON_OUTPUTS ${QUORVEL_ICON_ROOT}/scalable/apps/quorvel.svg)
  foreach(size IN LISTS QUORVEL_ICON_SIZES)
    list(APPEND QUORVEL_ICON_OUTPUTS ${QUORVEL_ICON_ROOT}/${size}x${size}/apps/quorvel.png)
  endforeach()
  add_custom_command(
    OUTPUT ${QUORVEL_ICON_OUTPUTS}
    COMMAND quorvel-render-icons ${QUORVEL_ICON_ROOT}
    DEPENDS quorvel-render-icons
    COMMENT "Drawing the application icons")
  add_custom_target(quorvel_icons ALL DEPENDS ${QUORVEL_ICON_OUTPUTS})
  install(DIRECTORY ${QUORVEL_ICON_ROOT} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons)

  # The file names are the application's desktop id; main.cpp announces the same one.
  install(FILES ${QUORVEL_PACKAGING_DIR}/org.quorvel.Quorvel.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${QUORVEL_PACKAGING_DIR}/org.quorvel.Quorvel.metainfo.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
endif()

set(QUORVEL_PACKAGE_MAINTAINER "QUORVEL developers <devel@quorvel.invalid>"
    CACHE STRING "Maintainer field of the Debian package")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quorvel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "QUORVEL")
set(CPACK_PACKAGE_CONTACT ${QUORVEL_PACKAGE_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "control application for the QUORVEL networked digital mixer")
# Lines under 80 columns, as dpkg shows them.
string(CONCAT CPACK_PACKAGE_DESCRIPTION
  "Desktop control application for the QUORVEL digital mixer over the network:\n"
  "inputs with automatic microphone mixing, outputs, dynamics, equalisers, the\n"
  "routing matrix, effects, AUX sends, groups, presets, scenes, discovery,\n"
  "firmware update and conference units. With a device simulator (quorvel-sim)\n"
  "and a command-line client (quorvelctl).")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT) # quorvel_<version>_<arch>.deb
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${QUORVEL_PACKAGE_MAINTAINER})
# Depends from the libraries the binaries are linked against (dpkg-shlibdeps), so it follows
# the build instead of a hand-kept list.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
