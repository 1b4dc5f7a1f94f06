# Installs the headers, the static libraries, a CMake package (orvaneConfig,
# its version file and the exported targets orvane::orvane and
# orvane::<library>) and a pkg-config file, all relocatable: the files find
# each other relative to where they were installed.
include(CMakePackageConfigHelpers)

set(ORVANE_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/orvane)
set(targets orvane)
foreach(library ${ORVANE_LIBRARIES})
  list(APPEND targets orvane_${library})
endforeach()

install(TARGETS ${targets} EXPORT orvaneTargets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
        INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/orvane
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
        FILES_MATCHING PATTERN "*.h")
install(EXPORT orvaneTargets NAMESPACE orvane:: DESTINATION ${ORVANE_CMAKE_DIR})

configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/orvaneConfig.cmake.in
                              ${PROJECT_BINARY_DIR}/orvaneConfig.cmake
                              INSTALL_DESTINATION ${ORVANE_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/orvaneConfigVersion.cmake
                                 VERSION ${PROJECT_VERSION}
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/orvaneConfig.cmake
              ${PROJECT_BINARY_DIR}/orvaneConfigVersion.cmake
        DESTINATION ${ORVANE_CMAKE_DIR})

# pkg-config: the libraries highest layer first, as a static link needs them.
set(ORVANE_PC_LIBS)
set(reversed ${ORVANE_LIBRARIES})
list(REVERSE reversed)
foreach(library ${reversed})
  get_target_property(type orvane_${library} TYPE)
  if(NOT type STREQUAL "INTERFACE_LIBRARY")
    string(APPEND ORVANE_PC_LIBS " -lorvane_${library}")
  endif()
endforeach()
file(RELATIVE_PATH ORVANE_PC_PREFIX /root/${CMAKE_INSTALL_LIBDIR}/pkgconfig /root)
string(REGEX REPLACE "/$" "" ORVANE_PC_PREFIX "\${pcfiledir}/${ORVANE_PC_PREFIX}")
configure_file(${CMAKE_CURRENT_LIST_DIR}/orvane.pc.in ${PROJECT_BINARY_DIR}/orvane.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/orvane.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
