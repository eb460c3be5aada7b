if(TARGET platform_shader)
  meshes_fuzzer(fuzz_effect_compile SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/effect_compile.cpp
    LIBS platform_shader)
endif()
