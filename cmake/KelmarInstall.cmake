# Installation for hosts: the header, the shared library, a CMake package
# (find_package(kelmar) -> kelmar::kelmar) and a pkg-config file.  The
# components are the Debian packages' (cmake/KelmarPackaging.cmake): the
# runtime library, and everything a host builds against.
include(CMakePackageConfigHelpers)

set(KELMAR_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/kelmar)

install(TARGETS kelmar EXPORT kelmarTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT development
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
install(FILES include/kelmar.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT development)

install(EXPORT kelmarTargets NAMESPACE kelmar:: DESTINATION ${KELMAR_CMAKE_DIR}
        COMPONENT development)
configure_package_config_file(cmake/kelmarConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/kelmarConfig.cmake
  INSTALL_DESTINATION ${KELMAR_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/kelmarConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/kelmarConfig.cmake
              ${CMAKE_CURRENT_BINARY_DIR}/kelmarConfigVersion.cmake
        DESTINATION ${KELMAR_CMAKE_DIR} COMPONENT development)

# kelmar.pc is written at install time, so that it names the prefix the
# tree is really installed under (cmake --install --prefix).
install(CODE "
  set(CMAKE_INSTALL_LIBDIR \"${CMAKE_INSTALL_LIBDIR}\")
  set(CMAKE_INSTALL_INCLUDEDIR \"${CMAKE_INSTALL_INCLUDEDIR}\")
  set(PROJECT_VERSION \"${PROJECT_VERSION}\")
  configure_file(\"${CMAKE_CURRENT_SOURCE_DIR}/cmake/kelmar.pc.in\"
                 \"${CMAKE_CURRENT_BINARY_DIR}/kelmar.pc\" @ONLY)" COMPONENT development)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/kelmar.pc
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT development)
