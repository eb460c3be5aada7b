#!/usr/bin/env bash
# Sets up, builds and runs every test: the normal build, the sanitizer build, a short fuzz run,
# then the Windows build with its tests under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
jobs=$(nproc)
FUZZ_SECONDS=${FUZZ_SECONDS:-20}   # each fuzz target; the tree-file loader gets 60 s

echo "== build and test"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"

echo "== sanitizer build (address, undefined): unit and integration tests"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DMESHES_SANITIZE=ON -DMESHES_BENCH=OFF >/dev/null
cmake --build build-asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=0 ctest --test-dir build-asan --output-on-failure -j "$jobs" -L 'unit|integration'

echo "== fuzz targets, ${FUZZ_SECONDS}s each (fuzz_tree 60s)"
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMESHES_FUZZ=ON >/dev/null
cmake --build build-fuzz -j "$jobs"
fuzzers=$(find build-fuzz/fuzz -maxdepth 1 -type f -name 'fuzz_*' -perm -u+x | sort)
if [ -n "$fuzzers" ]; then
  for f in $fuzzers; do
    name=$(basename "$f")
    per=$FUZZ_SECONDS; [ "$name" = fuzz_tree ] && [ "$per" -lt 60 ] && per=60
    work=$(mktemp -d)
    cp -r "fuzz/corpus/$name/." "$work/" 2>/dev/null || true
    # The whole effect compile starts from the effect files the tests compile.
    [ "$name" = fuzz_effect_compile ] && cp tests/platform_sdl_gl_fx/corpus/*.fx \
      tests/platform_sdl_gl_fx/corpus/invalid/*.fx demo/fx/*.fx "$work/"
    echo "-- $name for ${per}s"
    ASAN_OPTIONS=detect_leaks=0 "$f" -max_total_time="$per" -rss_limit_mb=2048 -timeout=10 -print_final_stats=0 "$work" 2>&1 | tail -n 3
    rm -rf "$work"
  done
fi

echo "== Windows build (mingw-w64) and its tests under Wine"
bash scripts/wine_stage.sh
echo "All test stages passed."
