include(${CMAKE_SOURCE_DIR}/platform/core/core_sources.cmake)
meshes_fuzzer(fuzz_fxfile SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/fxfile.cpp LIBS platform_core)
