# Tests of the Windows build, run under Wine through the cross-compiling emulator.
# GoogleTest is built from its sources with the cross compiler.
set(MESHES_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources for the Windows build")
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(${MESHES_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

# One CTest test per program: listing the cases would start Wine once per case at build time.
function(meshes_test name label)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} gtest gtest_main)
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR})
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES LABELS "${label};windows" TIMEOUT 300)
endfunction()

# Only the libraries and drtool are built for Windows. The engine, platform and end-to-end
# tests drive the Linux platform layer (headless or SDL backend), which this build replaces
# with the real Win32 and Direct3D 9; the program itself is checked from Linux by the Wine
# stage of scripts/test.sh.
foreach(dir strings param_tree drtool wine)
  add_subdirectory(${dir})
endforeach()
