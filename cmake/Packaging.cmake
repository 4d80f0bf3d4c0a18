# The Debian package: `cpack -G DEB` in a build directory (scripts/package.sh) makes
# kavor-updater_<version>_<arch>.deb from the install layout of Install.cmake.
#
# No config.ini is shipped, only config.ini.example: config.ini is the administrator's (and the
# options dialog's, which rewrites it), and a file the package does not own is one dpkg can never
# overwrite, ask about at an upgrade, or remove. Without it every setting takes its default.
# No maintainer scripts: installing the package starts and enables nothing.

set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME "kavor-updater")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_VENDOR "Kavor Updater developers")
set(CPACK_PACKAGE_CONTACT "Kavor Updater developers <kavor-updater@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Kavor antivirus database updater")
set(CPACK_PACKAGING_INSTALL_PREFIX "${CMAKE_INSTALL_PREFIX}")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME "DEB-DEFAULT")
set(CPACK_DEBIAN_PACKAGE_SECTION "utils")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
# Run-time dependencies from the binaries' shared libraries, through dpkg-shlibdeps.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Fetches the Kavor vendor's update page over HTTP or HTTPS (directly or
through an HTTP proxy), downloads the ZIP archives the installation still needs
into an archive directory and unpacks them into the Kavor directory with its
own ZIP extractor.

A window for updates by hand, and a silent run (kavor-updater -U) for the
systemd timer that the package ships but does not enable. Settings live in
config.ini in /opt/kavor-updater; config.ini.example there shows every key.")
include(CPack)
