#!/usr/bin/env bash
# Makes the golden tests' reference pictures anew, after a change that is meant to change what
# the demo looks like. Builds the program, the demo level and the test in BUILD (default:
# build), runs the test with MESHES_GOLDEN_UPDATE so that it writes its three pictures
# (halved) instead of comparing them, puts them in tests/e2e_golden/ref/ and runs the test
# again against them. Look at the new pictures before committing them.
#   usage: tests/e2e_golden/update_refs.sh [BUILD]
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(realpath -m "${1:-$root/build}")
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j 2 --target meshes demo_level e2e_golden_test
test="$build/tests/e2e_golden/e2e_golden_test"
new=$(mktemp -d)
trap 'rm -rf "$new"' EXIT
MESHES_GOLDEN_UPDATE=$new "$test"
for name in first console camera2; do
  if [ ! -s "$new/$name.png" ]; then
    echo "update_refs: $name.png was not made (skipped? see above); references left as they were" >&2
    exit 1
  fi
done
mkdir -p "$root/tests/e2e_golden/ref"
cp "$new"/first.png "$new"/console.png "$new"/camera2.png "$root/tests/e2e_golden/ref/"
"$test"
ls -l "$root/tests/e2e_golden/ref"
