#!/usr/bin/env bash
# Cross-builds the Windows program with mingw-w64 and lays out dist/windows/ with meshes.exe,
# the two DLLs, drtool.exe, fxtool.exe, the demo level and README.txt, plus dist/meshes-windows.zip.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh --windows
cmake -S . -B build-win -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/mingw-w64-x86_64.cmake >/dev/null
cmake --build build-win -j "$(nproc)" --target meshes drtool fxtool demo_level

out=dist/windows
rm -rf "$out" dist/meshes-windows.zip
mkdir -p "$out"
cp build-win/bin/meshes.exe build-win/bin/drtool.exe build-win/bin/fxtool.exe build-win/bin/zarvik_strings.dll \
   build-win/bin/dynrows.dll packaging/windows/README.txt "$out/"
# The demo level: everything the build laid out in build-win/demo, apart from CMake's files
# and the files a run leaves behind.
(cd build-win/demo && find . -path ./CMakeFiles -prune -o -type f -print -o -type d -print) |
  while read -r f; do
    case "$f" in
      .|./cmake_install.cmake|./LOG.dr|./Wendlor2.0/*) ;;
      *) if [ -d "build-win/demo/$f" ]; then mkdir -p "$out/$f"; else cp "build-win/demo/$f" "$out/$f"; fi ;;
    esac
  done
mkdir -p "$out/Wendlor2.0"
(cd dist && zip -qr meshes-windows.zip windows)
echo "Windows program: $PWD/$out  (zip: $PWD/dist/meshes-windows.zip)"
