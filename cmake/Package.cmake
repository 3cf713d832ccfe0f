# The Debian package, built by scripts/package with `cpack -G DEB` from a
# build configured with MC_INSTALL_LAYOUT=package. Its dependencies on Qt 6
# and FFmpeg's libraries come from the program's own links (dpkg-shlibdeps);
# what it loads at run time without linking is listed here: the Qt platform
# plugins, and the GStreamer plugins that let the preview play DVD titles,
# Video CD tracks and ordinary video files.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME morvane-converter)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Morvane")
set(CPACK_PACKAGE_CONTACT "Morvane Converter developers <support@morvane.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "convert videos, DVD titles and Video CDs for handheld screens")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Turns ordinary video files, the title files of a DVD and the track of a\n\
Video CD into Windows Media Video files sized for small handheld screens,\n\
one file at a time or a whole list, with a preview of the source, screen\n\
sizes, quality levels, size caps, cropping and named profiles.")
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${MC_HOME_PAGE})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "qt6-qpa-plugins, gstreamer1.0-plugins-base, gstreamer1.0-plugins-good, gstreamer1.0-plugins-bad, gstreamer1.0-libav")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
# Paths in the install rules are relative to the file system's root.
set(CPACK_PACKAGING_INSTALL_PREFIX "/")
set(CPACK_STRIP_FILES ON)
include(CPack)
