# Installation and the Debian package (cpack -G DEB), included by the top CMakeLists.txt.
#
# Installed under a prefix (the package's is /usr):
#   bin/tessaro, bin/tessaro-cli        the launcher (tessaro-launcher) under both names
#   lib/tessaro/                        the programs themselves
#   share/tessaro/                      language.ini, the pictures and README.md
#   share/applications, share/metainfo  the desktop entry and the AppStream metadata
#   share/icons/hicolor/*/apps          the icon at 16 ... 256 pixels
#   share/man/man1, completions         manual pages and bash and zsh completions
#   lib/udev/rules.d/60-tessaro.rules   lets the seat user open the link adapter
# udev reads rules below /usr/lib and /etc only: the rule counts with the prefix /usr.

set(TESSARO_APP_ID "org.tessaro.Tessaro" CACHE STRING "The AppStream id of the desktop application")
set(TESSARO_PROJECT_LICENSE "LicenseRef-proprietary" CACHE STRING "SPDX expression of the licence")
set(TESSARO_SCREENSHOT_URL "https://tessaro.org/screenshots" CACHE STRING
    "Where the published window pictures (docs/window-family*-en.png) are found")
set(TESSARO_PACKAGE_MAINTAINER "Tessaro maintainers <maintainers@users.noreply.c-seed-102228cd.example>"
    CACHE STRING "The Debian package's maintainer")
# The release date: SOURCE_DATE_EPOCH when set (reproducible builds), else today.
string(TIMESTAMP TESSARO_RELEASE_DATE "%Y-%m-%d" UTC)
string(TIMESTAMP TESSARO_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)

set(pkg ${PROJECT_SOURCE_DIR}/packaging)
set(generated ${PROJECT_BINARY_DIR}/packaging)
configure_file(${pkg}/tessaro.metainfo.xml.in ${generated}/${TESSARO_APP_ID}.metainfo.xml @ONLY)
configure_file(${pkg}/changelog.in ${generated}/changelog @ONLY)

# The icon in the sizes of the hicolor theme.
set(icon_sizes 16 24 32 48 64 128 256)
set(icon_files)
foreach(size IN LISTS icon_sizes)
  list(APPEND icon_files ${generated}/icons/${size}/tessaro.png)
endforeach()
string(REPLACE ";" "," icon_size_list "${icon_sizes}")
add_custom_command(OUTPUT ${icon_files}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${generated}/icons
  COMMAND ${CMAKE_COMMAND} -DPYTHON=${Python3_EXECUTABLE}
          -DSCRIPT=${PROJECT_SOURCE_DIR}/scripts/draw_resources.py
          -DSOURCE=${PROJECT_SOURCE_DIR}/resources/tessaro.png
          -DOUT=${generated}/icons -DSIZES=${icon_size_list}
          -P ${pkg}/make_icons.cmake
  DEPENDS ${PROJECT_SOURCE_DIR}/scripts/draw_resources.py ${PROJECT_SOURCE_DIR}/resources/tessaro.png
          ${pkg}/make_icons.cmake
  COMMENT "Drawing the icon at ${icon_size_list} pixels"
  VERBATIM)
# Compressed as Debian wants them, without a time stamp in the gzip header.
add_custom_command(OUTPUT ${generated}/changelog.gz ${generated}/tessaro.1.gz
  COMMAND gzip -9nc ${generated}/changelog > ${generated}/changelog.gz
  COMMAND gzip -9nc ${pkg}/tessaro.1 > ${generated}/tessaro.1.gz
  DEPENDS ${generated}/changelog ${pkg}/tessaro.1)
add_custom_target(tessaro_package_files ALL
  DEPENDS ${icon_files} ${generated}/changelog.gz ${generated}/tessaro.1.gz)

install(PROGRAMS ${pkg}/tessaro-launcher DESTINATION ${CMAKE_INSTALL_BINDIR} RENAME tessaro)
install(PROGRAMS ${pkg}/tessaro-launcher DESTINATION ${CMAKE_INSTALL_BINDIR} RENAME tessaro-cli)
install(FILES ${PROJECT_SOURCE_DIR}/resources/language.ini ${PROJECT_SOURCE_DIR}/resources/Ravoklogo.png
              ${PROJECT_SOURCE_DIR}/resources/tessaro.png ${PROJECT_SOURCE_DIR}/README.md
        DESTINATION ${CMAKE_INSTALL_DATADIR}/tessaro)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/resources/res DESTINATION ${CMAKE_INSTALL_DATADIR}/tessaro)
install(FILES ${pkg}/org.tessaro.Tessaro.desktop RENAME ${TESSARO_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${generated}/${TESSARO_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
foreach(size IN LISTS icon_sizes)
  install(FILES ${generated}/icons/${size}/tessaro.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()
install(FILES ${generated}/tessaro.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${pkg}/60-tessaro.rules DESTINATION lib/udev/rules.d)
install(FILES ${pkg}/copyright ${generated}/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES ${pkg}/lintian-overrides RENAME tessaro DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides)

# The Debian package: dependencies from the binaries (dpkg-shlibdeps), the maintainer
# scripts that have udev apply the rule at once, and the file name Debian gives it.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tessaro)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${TESSARO_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "udev, fonts-noto-cjk")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "sudo | pkexec")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "configure brushless-motor ESCs through a USB link adapter")
# The long description (cpack puts the summary above it).
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Tessaro configures the brushless-motor speed controllers (ESCs) of RC cars,
aircraft, multirotors and boats through a USB link adapter (10c4:8468). It
identifies the ESC, reads its parameters into a form made for its family,
writes them back, restores the factory defaults, keeps settings files and
backups and flashes firmware images, in English or Chinese.
.
The package holds the window (tessaro), the command line (tessaro-cli),
a udev rule that lets the logged-in user open the adapter, and a built-in
simulated adapter and ESC to try both without hardware.")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${pkg}/postinst
                                       ${pkg}/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
