if(TARGET engine)
  meshes_fuzzer(fuzz_launch SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/launch.cpp LIBS engine)
endif()
