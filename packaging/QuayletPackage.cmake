# The Debian package: `scripts/package` runs `cpack -G DEB` in a release build.
# It holds the user's component only; the development service stays out.
set(CPACK_PACKAGE_NAME quaylet)
set(CPACK_PACKAGE_VENDOR Glimmerly)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Upload photos and videos to Glimmerly")
# Lines of at most 80 characters, as Debian's package tools show them.
set(CPACK_PACKAGE_DESCRIPTION
  "A small desktop window that takes drops of photos, videos and folders,\nturns photos upright, converts videos and uploads them to Glimmerly;\nquaylet-upload does the same from a terminal.")
set(CPACK_PACKAGE_CONTACT "Glimmerly <support@glimmerly.example>")
set(CPACK_PACKAGE_HOMEPAGE_URL https://www.glimmerly.example)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
# One package of the one component, installed as a whole project.
set(CPACK_INSTALL_CMAKE_PROJECTS "${PROJECT_BINARY_DIR};${PROJECT_NAME};quaylet;/")

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# What the libraries do not say: the encoders and the browser launcher run as
# child processes, TIFF comes through a Qt plugin, the window opens only
# through a Qt platform plugin (xcb comes with the Qt GUI library, the other
# platforms with qt6-qpa-plugins), and file types are told by the shared MIME
# database.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
  "mencoder, ffmpeg, xdg-utils, qt6-image-formats-plugins, qt6-qpa-plugins, shared-mime-info")

include(CPack)
