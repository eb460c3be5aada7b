#!/usr/bin/env bash
# The frame benchmark: builds meshes, drtool and the minimal OpenGL program, writes the
# benchmark levels, and runs each level in a real window (the SDL backend) under a private
# Xvfb, then the minimal program on the same scene. Prints one line per level with both
# programs' mean, p50 and p99 frame times and CPU time per frame, and the ratios
# meshes / minimal of the means and of the CPU times.
#
#   bash bench/frame/run.sh [SECONDS]        (default 10 seconds per run)
#
# Environment: BUILD (build folder, default build/), LEVELS (default "1x1 25x1 25x3 100x3",
# spheres x lights), REPEAT (runs of each program per level, alternating; the median mean is
# reported, default 1), JOBS (parallel compiles, default 2).
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
SECONDS_PER_RUN=${1:-10}
BUILD=${BUILD:-$ROOT/build}
LEVELS=${LEVELS:-"1x1 25x1 25x3 100x3"}
REPEAT=${REPEAT:-1}
JOBS=${JOBS:-2}

for tool in cmake ninja python3 Xvfb; do
    command -v "$tool" >/dev/null || { echo "run.sh: $tool is needed" >&2; exit 2; }
done

if [ ! -f "$BUILD/build.ninja" ]; then
    cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
ninja -C "$BUILD" -j"$JOBS" meshes drtool bench_frame_minimal >/dev/null

MESHES=$BUILD/meshes
MINIMAL=$BUILD/bench/frame/bench_frame_minimal
OUT=$BUILD/bench/frame/levels

# A private X server on the first free display from :70 up.
display=70
while [ -e "/tmp/.X$display-lock" ] || [ -e "/tmp/.X11-unix/X$display" ]; do
    display=$((display + 1))
done
Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
XVFB_PID=$!
trap 'kill "$XVFB_PID" 2>/dev/null || true' EXIT
for _ in $(seq 50); do
    [ -e "/tmp/.X11-unix/X$display" ] && break
    sleep 0.1
done
[ -e "/tmp/.X11-unix/X$display" ] || { echo "run.sh: Xvfb did not start on :$display" >&2; exit 2; }
export DISPLAY=":$display"
unset SDL_VIDEODRIVER   # a real X11 window, never an off-screen driver

# "<label>: F frames in S s, mean M ms, p50 P ms, p99 Q ms, cpu C ms" -> "M P Q C"
figures() {
    sed -n 's/.*frames in .* s, mean \([0-9.]*\) ms, p50 \([0-9.]*\) ms, p99 \([0-9.]*\) ms, cpu \([0-9.]*\) ms.*/\1 \2 \3 \4/p'
}

# The run whose mean is the median of those given as "mean p50 p99 cpu" lines.
median_run() { sort -n -k1,1 | awk '{ a[NR] = $0 } END { print a[int((NR + 1) / 2)] }'; }

echo "frame benchmark: ${SECONDS_PER_RUN} s a run, $REPEAT run(s) each, window 640x480, times in ms"
for level in $LEVELS; do
    n=${level%x*}
    l=${level#*x}
    dir=$OUT/n${n}_l${l}
    rm -rf "$dir"
    python3 "$ROOT/bench/frame/make_level.py" "$n" "$l" "$dir" --drtool "$BUILD/tools/drtool/drtool"
    engine_runs=""
    minimal_runs=""
    for _ in $(seq "$REPEAT"); do
        line=$(cd "$dir" && MESHES_PLATFORM=sdl MESHES_BENCH=$SECONDS_PER_RUN "$MESHES" 2>/dev/null | grep '^meshes:' || true)
        [ -n "$line" ] || { echo "run.sh: meshes printed no statistics for $level (see $dir/LOG.dr)" >&2; exit 1; }
        engine_runs+="$(echo "$line" | figures)"$'\n'
        line=$("$MINIMAL" "$dir" "$SECONDS_PER_RUN" | grep '^minimal:' || true)
        [ -n "$line" ] || { echo "run.sh: the minimal program printed no statistics for $level" >&2; exit 1; }
        minimal_runs+="$(echo "$line" | figures)"$'\n'
    done
    read -r em ep eq ec <<<"$(printf '%s' "$engine_runs" | median_run)"
    read -r mm mp mq mc <<<"$(printf '%s' "$minimal_runs" | median_run)"
    ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "n/a" }'; }
    printf 'N=%-3s L=%s  meshes mean %7.3f p50 %7.3f p99 %7.3f cpu %7.3f | minimal mean %7.3f p50 %7.3f p99 %7.3f cpu %7.3f | ratio %s cpu %s\n' \
        "$n" "$l" "$em" "$ep" "$eq" "$ec" "$mm" "$mp" "$mq" "$mc" "$(ratio "$em" "$mm")" "$(ratio "$ec" "$mc")"
done
