# Debian packages of libkavo, one per install component:
#   libkavo1     the shared library (libkavo.so.1 and its real file)
#   libkavo-dev  the header, the libkavo.so link, libkavo.a when built, the
#                pkg-config file and the CMake package
#   kavo-tools   the kavo tool with the bundled examples
# Build them in a build folder with `cpack -G DEB`. Dependencies on other
# packages come from dpkg-shlibdeps; those between the three are exact
# versions.
set(CPACK_PACKAGE_NAME kavo)
set(CPACK_PACKAGE_VENDOR "libkavo")
set(CPACK_PACKAGE_CONTACT "libkavo developers <libkavo@localhost>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL runtime dev)
if(KAVO_BUILD_TOOLS)
  list(APPEND CPACK_COMPONENTS_ALL tools)
endif()
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The tool's libkavo.so.1 is found in the build, and comes from libkavo1.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${PROJECT_BINARY_DIR})
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY "=")

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME libkavo${PROJECT_VERSION_MAJOR})
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_RUNTIME_DESCRIPTION
  "home-screen model of a media-library player (shared library)
libkavo reads a player's catalogue, local library, watch progress, favourites,
the media server's home document and the playback settings as JSON, and gives
back the home rows, each item's resume decision and next episode, and the
detail of a selected item with its ranked playback sources and autoplay
events. It has a flat C interface.")

set(CPACK_DEBIAN_DEV_PACKAGE_NAME libkavo-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "libyyjson-dev (>= 0.12)")
set(CPACK_COMPONENT_DEV_DEPENDS runtime)
set(CPACK_DEBIAN_DEV_DESCRIPTION
  "home-screen model of a media-library player (development files)
The header kavo.h, the link to the shared library, the static library when it
was built, a pkg-config file (kavo) and a CMake package (find_package(kavo),
targets kavo::kavo and kavo::kavo_static).")

set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME kavo-tools)
set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION utils)
set(CPACK_COMPONENT_TOOLS_DEPENDS runtime)
set(CPACK_DEBIAN_TOOLS_DESCRIPTION
  "home-screen model of a media-library player (command-line tool)
The kavo tool drives libkavo the way a player does: it shows the home rows of
an inputs file as a table, as JSON or as an HTML page, the detail of one item,
replays recorded calls, and computes hashes and resume keys.")

include(CPack)
