# Installation: the library, the host headers, pkg-config and CMake package
# files, velkhost with its man page, the policy schema and examples.
include(CMakePackageConfigHelpers)

install(TARGETS velkconf EXPORT velkconfTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/velkconf
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(EXPORT velkconfTargets NAMESPACE velkconf::
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/velkconf)

configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/velkconfConfig.cmake.in
  ${PROJECT_BINARY_DIR}/velkconfConfig.cmake
  INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/velkconf)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/velkconfConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/velkconfConfig.cmake
              ${PROJECT_BINARY_DIR}/velkconfConfigVersion.cmake
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/velkconf)

# The .pc file finds the prefix from its own folder, so that it holds for
# any prefix given at install time and under DESTDIR.  (An absolute
# libdir or includedir is written as it is.)
file(RELATIVE_PATH VELK_PC_PREFIX
  "/prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/prefix")
string(REGEX REPLACE "/$" "" VELK_PC_PREFIX "\${pcfiledir}/${VELK_PC_PREFIX}")
foreach(dir LIBDIR INCLUDEDIR)
  if(IS_ABSOLUTE "${CMAKE_INSTALL_${dir}}")
    set(VELK_PC_${dir} "${CMAKE_INSTALL_${dir}}")
  else()
    set(VELK_PC_${dir} "\${prefix}/${CMAKE_INSTALL_${dir}}")
  endif()
endforeach()
configure_file(${PROJECT_SOURCE_DIR}/cmake/velkconf.pc.in
  ${PROJECT_BINARY_DIR}/velkconf.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/velkconf.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

install(FILES ${PROJECT_SOURCE_DIR}/tools/velkhost/velkhost.1
  DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/
  DESTINATION ${CMAKE_INSTALL_DATADIR}/velkconf/examples
  FILES_MATCHING PATTERN "*.xml")
install(DIRECTORY ${PROJECT_SOURCE_DIR}/schemas/
  DESTINATION ${CMAKE_INSTALL_DATADIR}/velkconf/schemas
  FILES_MATCHING PATTERN "*.xsd")
