# A Debian package: scripts/package.sh builds it with the hardening flags of dpkg-buildflags
# and a SOURCE_DATE_EPOCH from the last commit, then checks it with Debian's own tools.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zelvax)
# The project has no mail domain; a lintian override says so for this address.
set(CPACK_PACKAGE_CONTACT "ZELVAX developers <zelvax@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "display for a serial thermometer")
# Debian shows the description as it stands, so its lines are kept short here.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
  "ZELVAX shows what a digital thermometer reports over a serial line: the"
  "current temperature, the lowest and the highest reading since the line was"
  "chosen, and the current reading in the window caption. A button restarts"
  "both records."
  ""
  "It uses the serial ports present on the computer, USB adapters included,"
  "and explains on hover why a line shows an error. The window is in Czech.")
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The libraries alone do not bring the platform plugins the window needs, and from Qt 6.5 on
# the X11 plugin loads libxcb-cursor at run time, which no package's Depends brings: without
# it the window can't open on X11, as on a system with no desktop installed yet.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, libxcb-cursor0")
# Native on Wayland desktops, and Qt's own texts in Czech like the window's.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland, qt6-translations-l10n")
# Each Debian release gets a build of its own, against its own libraries; scripts/package.sh
# names the release here ("+deb13"), so that an upgrade of the system brings the new build.
set(ZELVAX_PACKAGE_RELEASE "" CACHE STRING "Suffix of the package version naming its release")
set(CPACK_DEBIAN_PACKAGE_VERSION "${PROJECT_VERSION}${ZELVAX_PACKAGE_RELEASE}")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# A cross build is labelled with its target, not with the machine that built it.
if(ZELVAX_DEBIAN_ARCH)
  set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${ZELVAX_DEBIAN_ARCH})
endif()
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
include(CPack)
