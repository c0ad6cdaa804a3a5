# Debian packages, made by `cpack -G DEB` in a build tree: the runtime
# library (libkelmar3), what hosts build against (libkelmar-dev) and the
# tools (kelmar-tools), one package per install component.  Their
# dependencies on system libraries come from dpkg-shlibdeps, the ones among
# themselves name this exact version, so `apt-get install ./*.deb` pulls in
# everything they need.
set(CPACK_PACKAGE_NAME kelmar)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Kelmar developers <kelmar@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Planar YUV 4:2:0 to RGB and packed 4:2:2 conversion for video display")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL runtime development tools)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The tools link the library of this very build: dpkg-shlibdeps finds it in
# the build tree, and the tools package names it below.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${PROJECT_BINARY_DIR})
set(kelmar_deb_version ${PROJECT_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE})
set(kelmar_runtime_package libkelmar${PROJECT_VERSION_MAJOR})

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME ${kelmar_runtime_package})
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_RUNTIME_DESCRIPTION "The shared library libkelmar.so.${PROJECT_VERSION_MAJOR}.")
# A shlibs file, so that packages built against the library depend on it.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")

set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME libkelmar-dev)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS "${kelmar_runtime_package} (= ${kelmar_deb_version})")
set(CPACK_DEBIAN_DEVELOPMENT_DESCRIPTION
    "Development files: the header kelmar.h, the CMake package (find_package(kelmar))\nand the pkg-config file kelmar.pc.")

set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME kelmar-tools)
set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION video)
set(CPACK_DEBIAN_TOOLS_PACKAGE_DEPENDS "${kelmar_runtime_package} (= ${kelmar_deb_version})")
set(CPACK_DEBIAN_TOOLS_DESCRIPTION
    "kelmar-convert converts clips and pictures into every layout of the library;\nkelmar-play plays clips in a window through it.")

# The GStreamer plugin (gst/), when it is built.
if(TARGET gstkelmar)
  list(APPEND CPACK_COMPONENTS_ALL gstreamer)
  set(CPACK_DEBIAN_GSTREAMER_PACKAGE_NAME gstreamer1.0-kelmar)
  set(CPACK_DEBIAN_GSTREAMER_PACKAGE_SECTION video)
  set(CPACK_DEBIAN_GSTREAMER_PACKAGE_DEPENDS "${kelmar_runtime_package} (= ${kelmar_deb_version})")
  set(CPACK_DEBIAN_GSTREAMER_DESCRIPTION
      "The GStreamer element kelmarconvert: I420 to BGR, RGB16, RGB15, RGB8P, UYVY\nand YUY2 with the Kelmar library.")
endif()

include(CPack)
