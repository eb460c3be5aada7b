# The text compiler of drtool (outside input), checked through exact round trips; each input
# is also read as a tree file.
meshes_fuzzer(fuzz_drtool_text SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/drtool_text.cpp
  ${PROJECT_SOURCE_DIR}/tools/drtool/tree_records.cpp
  ${PROJECT_SOURCE_DIR}/tools/drtool/tree_text.cpp)
