include(${CMAKE_SOURCE_DIR}/platform/core/core_sources.cmake)
meshes_fuzzer(fuzz_xfile SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/xfile.cpp LIBS platform_core)
