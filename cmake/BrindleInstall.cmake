# Installs the public header, the library and the CMake package (find_package(Brindle), target
# Brindle::brindle), all in the component "library" (cmake --install <build> --component
# library). On Windows that library is Brindle.dll (bin/) with its import library and the
# Brindle.def it is made from (lib/); on POSIX systems libbrindle, with Brindle::brindle_static
# and brindle.pc besides.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

if(WIN32)
  set(brindle_libraries Brindle)
  install(FILES $<TARGET_PROPERTY:Brindle,BINARY_DIR>/Brindle.def
    DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT library)
else()
  set_target_properties(brindle_static PROPERTIES EXPORT_NAME brindle_static)
  set(brindle_libraries brindle_shared brindle_static)
endif()
install(TARGETS ${brindle_libraries} EXPORT BrindleTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT library
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT library
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT library
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES ${PROJECT_SOURCE_DIR}/include/brindle/brindle.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/brindle COMPONENT library)

set(brindle_cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/Brindle)
install(EXPORT BrindleTargets NAMESPACE Brindle:: DESTINATION ${brindle_cmake_dir}
  COMPONENT library)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/BrindleConfig.cmake.in
  ${PROJECT_BINARY_DIR}/BrindleConfig.cmake INSTALL_DESTINATION ${brindle_cmake_dir})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/BrindleConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/BrindleConfig.cmake
  ${PROJECT_BINARY_DIR}/BrindleConfigVersion.cmake DESTINATION ${brindle_cmake_dir}
  COMPONENT library)
if(WIN32)
  return()
endif()

# The .pc file finds the prefix from its own place, so the tree can be installed anywhere.
file(RELATIVE_PATH BRINDLE_PC_PREFIX "/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/")
string(REGEX REPLACE "/$" "" BRINDLE_PC_PREFIX "${BRINDLE_PC_PREFIX}")
list(JOIN BRINDLE_SYSTEM_LIBS " -l" brindle_private_libs)
set(BRINDLE_PC_LIBS_PRIVATE "-l${brindle_private_libs}")
configure_file(${PROJECT_SOURCE_DIR}/cmake/brindle.pc.in ${PROJECT_BINARY_DIR}/brindle.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/brindle.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
  COMPONENT library)
