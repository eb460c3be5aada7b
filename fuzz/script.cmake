meshes_fuzzer(fuzz_script SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/script.cpp LIBS platform)
