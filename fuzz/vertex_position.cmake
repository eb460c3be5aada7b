meshes_fuzzer(fuzz_vertex_position SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/vertex_position.cpp
  ${CMAKE_SOURCE_DIR}/platform/sdl_gl/effect_position.cpp)
