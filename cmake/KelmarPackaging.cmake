# Debian packages, made by `cpack -G DEB` in a build tree: the runtime
# library (libkelmar3), what hosts build against (libkelmar-dev) and the
# tools (kelmar-tools), one package per install component.  Their
# dependencies on system libraries come from dpkg-shlibdeps, the ones among
# themselves name this exact version, so `apt-get install ./*.deb` pulls in
# everything they need.  Each carries the copyright file and changelog that
# Debian policy asks for; lintian finds no error in them.
#
# A further package is one more component: its CPACK_DEBIAN_<COMPONENT>_*
# settings below, the component in CPACK_COMPONENTS_ALL and a call of
# kelmar_deb_documents().
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
set(CPACK_DEBIAN_PACKAGE_SOURCE kelmar)
# Debian ships stripped programs and libraries.
set(CPACK_STRIP_FILES ON)
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
# The linker cache is refreshed by dpkg's ldconfig trigger, not by
# maintainer scripts: a package with a postrm stays in the `rc` state after
# `apt-get remove`.  CPack writes such scripts for every package with a
# library in /usr/lib; cmake/KelmarDebTriggers.cmake takes them out again
# once the packages are made.
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/cmake/debian/triggers)
set(CPACK_POST_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/KelmarDebTriggers.cmake)

set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME libkelmar-dev)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS "${kelmar_runtime_package} (= ${kelmar_deb_version})")
set(CPACK_DEBIAN_DEVELOPMENT_DESCRIPTION
    "Development files: the header kelmar.h, the CMake package\n(find_package(kelmar)) and the pkg-config file kelmar.pc.")

set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME kelmar-tools)
set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION video)
set(CPACK_DEBIAN_TOOLS_PACKAGE_DEPENDS "${kelmar_runtime_package} (= ${kelmar_deb_version})")
set(CPACK_DEBIAN_TOOLS_DESCRIPTION
    "kelmar-convert converts clips and pictures into every layout of the library;\nkelmar-play plays clips in a window through it.")

# kelmar_deb_documents(COMPONENT PACKAGE): the copyright file and the
# changelog in /usr/share/doc/PACKAGE, in the package of COMPONENT only (not
# in a plain `cmake --install`).
set(kelmar_deb_changelog ${PROJECT_BINARY_DIR}/debian/changelog.Debian.gz)
set(KELMAR_DEB_VERSION ${kelmar_deb_version})
configure_file(${PROJECT_SOURCE_DIR}/cmake/debian/changelog.in
               ${PROJECT_BINARY_DIR}/debian/changelog.Debian @ONLY)
# gzip -9n: the smallest file, with no name or time stamp in it.
execute_process(COMMAND gzip -9nc ${PROJECT_BINARY_DIR}/debian/changelog.Debian
                OUTPUT_FILE ${kelmar_deb_changelog} RESULT_VARIABLE gzip_result)
if(NOT gzip_result EQUAL 0)
  message(FATAL_ERROR "gzip failed on the Debian changelog: ${gzip_result}")
endif()
function(kelmar_deb_documents component package)
  install(FILES ${PROJECT_SOURCE_DIR}/cmake/debian/copyright ${kelmar_deb_changelog}
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${package}
          COMPONENT ${component} EXCLUDE_FROM_ALL)
endfunction()
kelmar_deb_documents(runtime ${kelmar_runtime_package})
kelmar_deb_documents(development libkelmar-dev)
kelmar_deb_documents(tools kelmar-tools)

# The GStreamer plugin (gst/), when it is built.
if(TARGET gstkelmar)
  list(APPEND CPACK_COMPONENTS_ALL gstreamer)
  set(CPACK_DEBIAN_GSTREAMER_PACKAGE_NAME gstreamer1.0-kelmar)
  set(CPACK_DEBIAN_GSTREAMER_PACKAGE_SECTION video)
  set(CPACK_DEBIAN_GSTREAMER_PACKAGE_DEPENDS "${kelmar_runtime_package} (= ${kelmar_deb_version})")
  set(CPACK_DEBIAN_GSTREAMER_DESCRIPTION
      "The GStreamer element kelmarconvert: I420 to BGR, RGB16, RGB15, RGB8P, UYVY\nand YUY2 with the Kelmar library.")
  kelmar_deb_documents(gstreamer gstreamer1.0-kelmar)
endif()

include(CPack)
