if(TARGET platform_shader)
  meshes_fuzzer(fuzz_asm_shader SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/asm_shader.cpp
    LIBS platform_shader)
endif()
