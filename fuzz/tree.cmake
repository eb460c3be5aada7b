meshes_fuzzer(fuzz_tree SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/tree.cpp LIBS dynrows zarvik_strings)
