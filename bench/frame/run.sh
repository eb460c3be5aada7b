#!/usr/bin/env bash
# The frame benchmark: builds meshes, drtool and the minimal OpenGL program, writes the
# benchmark levels, and runs each level in a real window (the SDL backend) under a private
# Xvfb, then the minimal program on the same scene. Prints one line per level with both
# programs' mean, p50 and p99 frame times and CPU time per frame, and the ratios
# meshes / minimal of the means and of the CPU times.
#
#   bash bench/frame/run.sh [SECONDS]        (default 10 seconds per run)
#
# Environment: BUILD (build folder, default build/), LEVELS (spheres x lights, default below),
# REPEAT (runs of each program per level, alternating; the median mean is reported, default
# 1), JOBS (parallel compiles, default 2), MALLOC (the heap setting both programs run with:
# "keep", the default, keeps freed memory in the process, so that a program's frame time does
# not depend on when glibc gives the driver's large per-frame buffers back to the kernel;
# "default" runs both with glibc's own thresholds).
# A level "NxL" is a grid 2.8 radii apart; "NxLd" is packed densely (3 radii apart, spheres
# overlap on screen); "NxLo" is NxL drawn with the one-pass demo's effect, which takes up to
# three lights in one pass, still against the minimal program's pass per light; "NxLp" is that
# level against the minimal program lighting per pixel in one pass too (the same lighting, all
# lights summed in one draw per object); "NxLw" is spread wide with about a tenth in view, and
# is compared not with the minimal program but with meshes on the same level cut down to the
# spheres in view.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
SECONDS_PER_RUN=${1:-10}
BUILD=${BUILD:-$ROOT/build}
LEVELS=${LEVELS:-"1x1 25x1 100x1 400x1 25x3 100x3 200x3"}
REPEAT=${REPEAT:-1}
JOBS=${JOBS:-2}
MALLOC=${MALLOC:-keep}
case "$MALLOC" in keep | default) ;; *) echo "run.sh: MALLOC is keep or default, not '$MALLOC'" >&2; exit 2 ;; esac

for tool in cmake ninja python3 Xvfb; do
    command -v "$tool" >/dev/null || { echo "run.sh: $tool is needed" >&2; exit 2; }
done

if [ ! -f "$BUILD/build.ninja" ]; then
    cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
ninja -C "$BUILD" -j"$JOBS" meshes drtool bench_frame_minimal >/dev/null
# Both programs run with the same heap setting.
if [ "$MALLOC" = keep ]; then
    export GLIBC_TUNABLES=glibc.malloc.trim_threshold=536870912:glibc.malloc.mmap_threshold=536870912
else
    unset GLIBC_TUNABLES
fi

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

echo "frame benchmark: ${SECONDS_PER_RUN} s a run, $REPEAT run(s) each, malloc $MALLOC, window 640x480, times in ms"
run_meshes() {   # LEVEL_DIR -> "mean p50 p99 cpu"
    local line
    line=$(cd "$1" && MESHES_PLATFORM=sdl MESHES_BENCH=$SECONDS_PER_RUN "$MESHES" 2>/dev/null | grep '^meshes:' || true)
    [ -n "$line" ] || { echo "run.sh: meshes printed no statistics in $1 (see its LOG.dr)" >&2; return 1; }
    echo "$line" | figures
}

run_minimal() {
    local line
    line=$("$MINIMAL" "$1" "$SECONDS_PER_RUN" ${MINIMAL_ONE_PASS:+one-pass} | grep '^minimal:' || true)
    [ -n "$line" ] || { echo "run.sh: the minimal program printed no statistics in $1" >&2; return 1; }
    echo "$line" | figures
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "n/a" }'; }

for level in $LEVELS; do
    kind=${level##*[0-9]}   # "", d, o, p or w
    nl=${level%"$kind"}
    n=${nl%x*}
    l=${nl#*x}
    dir=$OUT/n${n}_l${l}${kind}
    rm -rf "$dir"
    base_label=minimal
    [ "$kind" = p ] && base_label=minimal1p
    case "$kind" in
        "") python3 "$ROOT/bench/frame/make_level.py" "$n" "$l" "$dir" --drtool "$BUILD/tools/drtool/drtool"
            base=run_minimal; base_dir=$dir ;;
        d) python3 "$ROOT/bench/frame/make_level.py" "$n" "$l" "$dir" --spacing 3 --drtool "$BUILD/tools/drtool/drtool"
            base=run_minimal; base_dir=$dir ;;
        o | p) python3 "$ROOT/bench/frame/make_level.py" "$n" "$l" "$dir" --onepass --drtool "$BUILD/tools/drtool/drtool"
            base=run_minimal; base_dir=$dir ;;
        w) base_dir=${dir}_cut
            rm -rf "$base_dir"
            python3 "$ROOT/bench/frame/make_level.py" "$n" "$l" "$dir" --wide --drtool "$BUILD/tools/drtool/drtool"
            python3 "$ROOT/bench/frame/make_level.py" "$n" "$l" "$base_dir" --wide --cut --drtool "$BUILD/tools/drtool/drtool"
            base=run_meshes; base_label="cut($(grep -c '^object' "$base_dir/scene.txt"))" ;;
        *) echo "run.sh: level '$level' is not NxL, NxLd, NxLo, NxLp or NxLw" >&2; exit 2 ;;
    esac
    MINIMAL_ONE_PASS=$([ "$kind" = p ] && echo 1 || true)
    engine_runs=""
    base_runs=""
    for _ in $(seq "$REPEAT"); do
        engine_runs+="$(run_meshes "$dir")"$'\n'
        base_runs+="$($base "$base_dir")"$'\n'
    done
    read -r em ep eq ec <<<"$(printf '%s' "$engine_runs" | median_run)"
    read -r mm mp mq mc <<<"$(printf '%s' "$base_runs" | median_run)"
    printf '%-8s meshes mean %7.3f p50 %7.3f p99 %7.3f cpu %7.3f | %s mean %7.3f p50 %7.3f p99 %7.3f cpu %7.3f | ratio %s cpu %s | load %s\n' \
        "$level" "$em" "$ep" "$eq" "$ec" "$base_label" "$mm" "$mp" "$mq" "$mc" "$(ratio "$em" "$mm")" "$(ratio "$ec" "$mc")" \
        "$(cut -d' ' -f1 /proc/loadavg)"
done
