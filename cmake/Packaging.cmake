# The Debian package: `cpack -G DEB` in the build folder makes
# zarnet_<version>_<arch>.deb with everything `cmake --install` puts down,
# under /usr, where XScreenSaver, mate-screensaver and xfce4-screensaver look
# for their hacks. The library dependencies come from dpkg-shlibdeps.

set(CPACK_PACKAGE_NAME "zarnet")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_VENDOR "Zarnet developers")
set(CPACK_PACKAGE_CONTACT "Zarnet developers <zarnet@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "3-D jigsaw-puzzle screen saver")
set(CPACK_PACKAGE_DESCRIPTION
  "Each screen shows a picture (a grab of the desktop, the desktop's wallpaper, or a
random picture from a folder) cut into interlocking 3-D pieces. The board stands
assembled, blows apart, the pieces drift and spin, lock onto their neighbours
into rigid groups and fly home, and the cycle repeats. Drawn with OpenGL.
.
Runs as a hack of XScreenSaver, mate-screensaver and xfce4-screensaver; its
settings are edited in zarnet-settings.")
set(CPACK_GENERATOR "DEB")

# Packages install under /usr whatever prefix the build was configured with.
# DESTDIR staging keeps CMAKE_INSTALL_PREFIX at /usr while the install runs,
# so the entries written at install time name the hack's real path.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX "/usr")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")

set(CPACK_STRIP_FILES ON)                # debug information stays in the build
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # zarnet_<version>_<arch>.deb
set(CPACK_DEBIAN_PACKAGE_SECTION "x11")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# libGL dispatches to a vendor library; Mesa's software renderer draws when
# no other is there.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libglx-mesa0 | libglx-vendor, libgl1-mesa-dri")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xscreensaver | mate-screensaver | xfce4-screensaver")
# XScreenSaver's helper that chooses a GL visual for its GL hacks.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "xscreensaver-gl")
set(CPACK_DEBIAN_PACKAGE_ENHANCES "xscreensaver, mate-screensaver, xfce4-screensaver")

include(CPack)
