# The readers of outside input shared by every backend (text code page, images, cursors,
# .x meshes, .fx effects), built once as the static library platform_core.
# Included by platform/CMakeLists.txt, the tests and the fuzz targets; safe to include twice.
get_filename_component(CORE_READER_ROOT ${CMAKE_CURRENT_LIST_DIR}/../.. ABSOLUTE)
set(CORE_READER_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/cp1251.cpp
  ${CMAKE_CURRENT_LIST_DIR}/dib.cpp
  ${CMAKE_CURRENT_LIST_DIR}/dds.cpp
  ${CMAKE_CURRENT_LIST_DIR}/image.cpp
  ${CMAKE_CURRENT_LIST_DIR}/cursor.cpp
  ${CMAKE_CURRENT_LIST_DIR}/xfile.cpp
  ${CMAKE_CURRENT_LIST_DIR}/fxfile.cpp
  ${CMAKE_CURRENT_LIST_DIR}/fxfile_preprocess.cpp
  ${CMAKE_CURRENT_LIST_DIR}/fx_include.cpp
  ${CMAKE_CURRENT_LIST_DIR}/fx_state_names.cpp
  ${CMAKE_CURRENT_LIST_DIR}/fx_shader_constants.cpp
  ${CMAKE_CURRENT_LIST_DIR}/fxfile_values.cpp
  ${CMAKE_CURRENT_LIST_DIR}/file_bytes.cpp)
set(CORE_READER_INCLUDES /usr/include/stb)
find_package(ZLIB REQUIRED)
set(CORE_READER_LIBS ZLIB::ZLIB)

if(NOT TARGET platform_core)
  add_library(platform_core STATIC ${CORE_READER_SOURCES})
  target_include_directories(platform_core PUBLIC ${CORE_READER_ROOT})
  target_include_directories(platform_core SYSTEM PRIVATE ${CORE_READER_INCLUDES})
  target_link_libraries(platform_core PUBLIC ${CORE_READER_LIBS})
  set_target_properties(platform_core PROPERTIES POSITION_INDEPENDENT_CODE ON)
endif()
