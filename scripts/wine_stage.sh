#!/usr/bin/env bash
# The Windows stage of the tests: cross-builds the program, the libraries, drtool and their
# tests with mingw-w64 into build-win/, runs the tests under Wine, then checks the Windows
# build against the Linux one in build/ (tests/wine/wine_checks.py). Needs build/ first.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh --windows
jobs=$(nproc)
[ -x build/meshes ] && [ -x build/tools/drtool/drtool ] || {
  echo "wine_stage.sh: the Linux build (build/) is needed first" >&2
  exit 1
}
export WINEDEBUG=-all
start=$(date +%s)
cmake -S . -B build-win -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/mingw-w64-x86_64.cmake >/dev/null
cmake --build build-win -j "$jobs"
# Console programs only: no display for Wine here.
env -u DISPLAY ctest --test-dir build-win --output-on-failure -j "$jobs"
python3 tests/wine/wine_checks.py build build-win
echo "Wine stage: $(( $(date +%s) - start )) s"
