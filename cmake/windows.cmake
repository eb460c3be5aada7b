# The Windows build: the program calls the real Win32, Direct3D 9 and D3DX, so neither the
# SDL2 + OpenGL backend nor the headless one is built. Programs and DLLs share one folder, so
# each .exe finds zarvik_strings.dll and dynrows.dll beside it.
set(MESHES_SDL OFF CACHE BOOL "" FORCE)
# The benchmarks time the Linux platform layer's backends.
set(MESHES_BENCH OFF CACHE BOOL "" FORCE)
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
set(CMAKE_ARCHIVE_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/lib)
# The DLLs carry the libraries' own names (no "lib" prefix); their import libraries are
# zarvik_strings.dll.a and dynrows.dll.a.
set(CMAKE_SHARED_LIBRARY_PREFIX "")
set(CMAKE_IMPORT_LIBRARY_PREFIX "")

# Windows programs run on the build machine (the tests, drtool.exe building the demo level)
# go through Wine with a prefix of their own under the build folder, made on first use.
if(CMAKE_CROSSCOMPILING AND CMAKE_CROSSCOMPILING_EMULATOR)
  set(MESHES_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix CACHE PATH "Wine prefix for running the Windows programs")
  set(CMAKE_CROSSCOMPILING_EMULATOR
      ${CMAKE_SOURCE_DIR}/scripts/wine_run.sh ${MESHES_WINEPREFIX} ${CMAKE_CROSSCOMPILING_EMULATOR})
endif()
