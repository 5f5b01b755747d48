# The Debian package (scripts/package): `cpack -G DEB` in a build configured
# with CMAKE_INSTALL_PREFIX=/usr, so the folders built into the programs are
# the ones the package installs to.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME moskvid)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Moskvid developers")
set(CPACK_PACKAGE_CONTACT "Moskvid developers <maintainers@moskvid.org>")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "video converter for portable players and game consoles")
# CPack puts the summary on the Description line and this text under it,
# line by line as written (Debian wants lines under 80 characters).
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
  "Moskvid converts video, audio and picture files for portable players and"
  "game consoles (PSP, PS3) and into common audio formats (MP3, M4A, WAV, WMA,"
  "AAC). Files are collected in a list, trimmed or cropped one by one, and"
  "converted into one of fourteen output formats whose video and audio"
  "settings can be adjusted. A preview plays files frame by frame and saves"
  "snapshots."
  ""
  "The package holds the desktop application moskvid and moskvid-cli for"
  "terminals and scripts.")

set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Moskvid developers <maintainers@moskvid.org>")
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://moskvid.org/")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# dpkg-shlibdeps finds what the programs link: Qt, libjpeg, the C++ runtime.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The FFmpeg libraries are opened with dlopen at run time and never linked,
# so dpkg-shlibdeps cannot see them: they are named here, with the sonames
# the loader asks for (the major versions of the headers built against).
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libavcodec59, libavformat59, libavutil57, libswscale6, libswresample4, libavfilter8")

include(CPack)
