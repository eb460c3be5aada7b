include(${CMAKE_SOURCE_DIR}/platform/core/core_sources.cmake)
meshes_fuzzer(fuzz_cursor SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/cursor.cpp LIBS platform_core)
