if(TARGET engine)
  meshes_fuzzer(fuzz_ini SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/ini.cpp LIBS engine)
endif()
