# The engine static library (app/ render/ scene/ console/) and the program meshes.
file(GLOB MESHES_ENGINE_SOURCES CONFIGURE_DEPENDS
  ${CMAKE_SOURCE_DIR}/app/*.cpp ${CMAKE_SOURCE_DIR}/render/*.cpp
  ${CMAKE_SOURCE_DIR}/scene/*.cpp ${CMAKE_SOURCE_DIR}/console/*.cpp)
list(FILTER MESHES_ENGINE_SOURCES EXCLUDE REGEX ".*/app/main\\.cpp$")
list(FILTER MESHES_ENGINE_SOURCES EXCLUDE REGEX ".*/scene/effect_binding\\.cpp$")
if(MESHES_ENGINE_SOURCES AND TARGET platform)
  # Effect parameters bound by semantic: the engine's, and fxtool's to show and draw with.
  add_library(effect_binding STATIC ${CMAKE_SOURCE_DIR}/scene/effect_binding.cpp)
  target_include_directories(effect_binding PUBLIC ${CMAKE_SOURCE_DIR} $<$<NOT:$<BOOL:${WIN32}>>:${CMAKE_SOURCE_DIR}/platform>)
  target_link_libraries(effect_binding PUBLIC platform)
  add_library(engine STATIC ${MESHES_ENGINE_SOURCES})
  # On Windows the SDK headers are used, so platform/ stays off the include path there.
  target_include_directories(engine PUBLIC ${CMAKE_SOURCE_DIR} $<$<NOT:$<BOOL:${WIN32}>>:${CMAKE_SOURCE_DIR}/platform>)
  if(WIN32)
    # "core/..." (the platform's portable helpers) still resolves, searched after the system
    # folders so that "windows.h", "d3d9.h" and "d3dx9.h" are the SDK's.
    target_compile_options(engine PUBLIC -idirafter ${CMAKE_SOURCE_DIR}/platform)
  endif()
  target_link_libraries(engine PUBLIC zarvik_strings dynrows platform effect_binding)
  target_compile_definitions(engine PRIVATE MESHES_VERSION="${PROJECT_VERSION}")
  if(EXISTS ${CMAKE_SOURCE_DIR}/app/main.cpp)
    add_executable(meshes ${CMAKE_SOURCE_DIR}/app/main.cpp)
    # A GUI program on Windows: WinMain entry, no console window.
    set_target_properties(meshes PROPERTIES WIN32_EXECUTABLE ON)
    target_link_libraries(meshes PRIVATE engine $<TARGET_NAME_IF_EXISTS:platform_entry>)
    install(TARGETS meshes RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endif()
