#!/usr/bin/env bash
# Sets up, builds and runs meshes on the demo level in a window. Without a display it runs the
# demo under a private Xvfb for a few seconds (the program closes itself after DEMO_SECONDS,
# default 5), keeps a screenshot and the log, and says where they are.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)" --target meshes drtool demo_level
demo=$PWD/build/demo
meshes=$PWD/build/meshes
drtool=$PWD/build/tools/drtool/drtool

if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  echo "Running meshes in $demo (close the window to end it)."
  rc=0
  "$meshes" "$demo" || rc=$?
  echo "Log: $demo/LOG.dr  (read it with: $drtool dump $demo/LOG.dr)"
  exit $rc
fi

seconds=${DEMO_SECONDS:-5}
frame=${DEMO_SHOT_FRAME:-30}
rm -f "$demo/LOG.dr" "$demo/demo.png"
echo "No display: running the demo under Xvfb for $seconds seconds."
# MESHES_BENCH closes the window after that time, as its close box would, so the log is saved;
# timeout only guards against a run that does not end.
rc=0
MESHES_BENCH=$seconds MESHES_NO_DIALOGS=1 MESHES_SCREENSHOT="$demo/demo.png@$frame" \
  timeout --signal=TERM --kill-after=10 $((seconds + 120)) \
  xvfb-run -a -s "-screen 0 1024x768x24" "$meshes" "$demo" || rc=$?
[ $rc -eq 0 ] || echo "meshes ended with exit code $rc." >&2
if [ -s "$demo/demo.png" ]; then
  echo "Screenshot: $demo/demo.png  (frame $frame)"
else
  echo "No screenshot: fewer than $frame frames were drawn; try DEMO_SECONDS=$((seconds * 4))." >&2
fi
if [ ! -s "$demo/LOG.dr" ]; then
  echo "The run did not save $demo/LOG.dr." >&2
  exit 1
fi
echo "Log:        $demo/LOG.dr  (read it with: $drtool dump $demo/LOG.dr)"
exit $rc
