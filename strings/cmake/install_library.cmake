# meshes_install_library(TARGET HEADERS ... HEADER_DIR dir DESCRIPTION text [REQUIRES pkg...])
# Installs a shared library of ours with its headers under include/meshes/<dir>, an exported
# CMake package <target>::<target> (find_package(<target>)) and a pkg-config file <target>.pc.
include_guard(GLOBAL)
include(CMakePackageConfigHelpers)

function(meshes_install_library target)
  cmake_parse_arguments(L "" "HEADER_DIR;DESCRIPTION" "HEADERS;REQUIRES" ${ARGN})
  set(pkgdir ${CMAKE_INSTALL_LIBDIR}/cmake/${target})
  install(TARGETS ${target} EXPORT ${target}Targets COMPONENT meshes_libs
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${L_HEADERS} COMPONENT meshes_libs
    DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/meshes/${L_HEADER_DIR})
  install(EXPORT ${target}Targets NAMESPACE ${target}:: COMPONENT meshes_libs
    DESTINATION ${pkgdir})

  set(LIB_TARGET ${target})
  set(LIB_DEPENDENCIES "")
  set(PC_REQUIRES "")
  foreach(dep ${L_REQUIRES})
    string(APPEND LIB_DEPENDENCIES "find_dependency(${dep})\n")
    string(APPEND PC_REQUIRES " ${dep}")
  endforeach()
  configure_package_config_file(${CMAKE_CURRENT_FUNCTION_LIST_DIR}/LibConfig.cmake.in
    ${CMAKE_CURRENT_BINARY_DIR}/${target}Config.cmake INSTALL_DESTINATION ${pkgdir})
  write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/${target}ConfigVersion.cmake
    VERSION 1.0.0 COMPATIBILITY SameMajorVersion)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/${target}Config.cmake
    ${CMAKE_CURRENT_BINARY_DIR}/${target}ConfigVersion.cmake
    COMPONENT meshes_libs DESTINATION ${pkgdir})

  # The .pc file finds its prefix from its own folder, so the install can be moved (--prefix).
  string(REGEX REPLACE "[^/]+" ".." PC_UP "${CMAKE_INSTALL_LIBDIR}/pkgconfig")
  set(PC_NAME ${target})
  set(PC_DESCRIPTION ${L_DESCRIPTION})
  configure_file(${CMAKE_CURRENT_FUNCTION_LIST_DIR}/lib.pc.in ${CMAKE_CURRENT_BINARY_DIR}/${target}.pc @ONLY)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/${target}.pc COMPONENT meshes_libs
    DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
endfunction()
