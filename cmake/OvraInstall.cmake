include(CMakePackageConfigHelpers)

# Components, one per Debian package (see OvraPackaging.cmake): runtime is
# the shared library alone; dev everything a host builds against; tools the
# command-line programs.
install(TARGETS ovra_player ovra_host EXPORT ovra_playerTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT dev
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime
)
install(DIRECTORY include/ovra hostkit/include/ovra DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT dev)

set(OVRA_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/ovra_player)
install(EXPORT ovra_playerTargets NAMESPACE ovra:: DESTINATION ${OVRA_CMAKE_DIR} COMPONENT dev)
configure_package_config_file(cmake/ovra_playerConfig.cmake.in
  ${PROJECT_BINARY_DIR}/ovra_playerConfig.cmake
  INSTALL_DESTINATION ${OVRA_CMAKE_DIR}
)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/ovra_playerConfigVersion.cmake
  COMPATIBILITY SameMajorVersion
)
install(FILES
  ${PROJECT_BINARY_DIR}/ovra_playerConfig.cmake
  ${PROJECT_BINARY_DIR}/ovra_playerConfigVersion.cmake
  DESTINATION ${OVRA_CMAKE_DIR}
  COMPONENT dev
)

# Relocatable: the prefix is found from the .pc file's own location.
set(OVRA_PC_DIR ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
file(RELATIVE_PATH OVRA_PC_TO_PREFIX /${OVRA_PC_DIR} /)
configure_file(cmake/ovra_player.pc.in ${PROJECT_BINARY_DIR}/ovra_player.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/ovra_player.pc
  DESTINATION ${OVRA_PC_DIR}
  COMPONENT dev
)
