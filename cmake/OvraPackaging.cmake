# Debian packages of the install components, built by scripts/package.sh:
#   libovra-player0     the shared library (runtime)
#   libovra-player-dev  headers, CMake package, pkg-config file, the static
#                       host kit and the library's link name (dev)
#   ovra-tools          ovra-pack, ovra-inspect, ovra-view (tools)
# Dependencies on other packages come from dpkg-shlibdeps; the ones between
# these three are stated here, at the exact version.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ovra-player)
set(CPACK_PACKAGE_VENDOR "ovra_player developers")
set(CPACK_PACKAGE_CONTACT "ovra_player developers <ovra-player@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Streams huge level-of-detail 3D models into a host's renderer")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL runtime dev tools)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
# The tools load the library these packages build, which no installed
# package provides yet.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${PROJECT_BINARY_DIR}/src)

set(ovra_exact "(= ${PROJECT_VERSION})")
set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME libovra-player${PROJECT_VERSION_MAJOR})
set(CPACK_DEBIAN_RUNTIME_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_COMPONENT_RUNTIME_DESCRIPTION "ovra_player shared library
 Streams a level-of-detail model from a tzm file into a host application's
 renderer through byte-range requests.")

set(CPACK_DEBIAN_DEV_PACKAGE_NAME libovra-player-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
# The host kit is a static library that fetches over HTTP with libcurl.
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS
    "${CPACK_DEBIAN_RUNTIME_PACKAGE_NAME} ${ovra_exact}, libcurl4-openssl-dev | libcurl-dev")
set(CPACK_COMPONENT_DEV_DESCRIPTION "ovra_player development files
 Headers, CMake package (ovra::ovra_player, ovra::ovra_host), pkg-config file
 and the static host kit of ovra_player.")

set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME ovra-tools)
set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_TOOLS_PACKAGE_DEPENDS "${CPACK_DEBIAN_RUNTIME_PACKAGE_NAME} ${ovra_exact}")
set(CPACK_COMPONENT_TOOLS_DESCRIPTION "ovra_player command-line tools
 ovra-pack packs 3D models that assimp reads into streamable tzm files;
 ovra-inspect checks them; ovra-view streams them into an OpenGL window or
 headless.")

include(CPack)
