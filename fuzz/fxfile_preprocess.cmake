include(${CMAKE_SOURCE_DIR}/platform/core/core_sources.cmake)
meshes_fuzzer(fuzz_fxfile_preprocess SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/fxfile_preprocess.cpp LIBS platform_core)
