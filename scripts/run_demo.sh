#!/usr/bin/env bash
# Sets up, builds and runs meshes on the demo level in a window. Without a display it runs the
# demo under a private Xvfb for a few seconds and keeps a screenshot and the log.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)" --target meshes drtool demo_level
cd build/demo
if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  exec ../meshes
fi
out=${MESHES_DEMO_OUT:-$PWD}
echo "No display: running the demo under Xvfb for ${DEMO_SECONDS:-5} seconds."
MESHES_SCREENSHOT="$out/demo.png@${DEMO_SHOT_FRAME:-30}" \
  timeout --signal=TERM "${DEMO_SECONDS:-5}" \
  xvfb-run -a -s "-screen 0 1024x768x24" ../meshes || true
echo "Screenshot: $out/demo.png"
echo "Log:        $PWD/LOG.dr  (read it with: ../drtool dump LOG.dr)"
