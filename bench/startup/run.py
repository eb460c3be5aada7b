#!/usr/bin/env python3
"""Start-up benchmark: the time to the first frame and the peak memory of meshes on a level of
many objects that all name one object file (one 2000-triangle sphere, one texture), against
the same level with few objects, in a real window under a private Xvfb.

    python3 bench/startup/run.py [--repeat R] [--objects "10 1000 1000d"] [--build BUILD]

Each run starts meshes with MESHES_BENCH set so short that the window closes at the second
frame. For each run it takes, from the program's own report, the wall and CPU time from its
start to the end of the first Present; from the kernel (wait4), the whole run's CPU time and
maximum resident set size. The levels run alternately, R times each; the medians are printed,
then each level's excess over the first one.
"""
import argparse
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.normpath(os.path.join(HERE, "..", ".."))
MAKE_LEVEL = os.path.join(ROOT, "bench", "frame", "make_level.py")
STARTUP = re.compile(r"meshes start-up: first scene after ([0-9.]+) s, cpu ([0-9.]+) s, max RSS ([0-9.]+) MB; "
                     r"first frame after ([0-9.]+) s, cpu ([0-9.]+) s, max RSS ([0-9.]+) MB")


def start_xvfb():
    display = 80
    while os.path.exists("/tmp/.X%d-lock" % display) or os.path.exists("/tmp/.X11-unix/X%d" % display):
        display += 1
    proc = subprocess.Popen(["Xvfb", ":%d" % display, "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    for _ in range(100):
        if os.path.exists("/tmp/.X11-unix/X%d" % display):
            return proc, ":%d" % display
        time.sleep(0.05)
    proc.kill()
    sys.exit("run.py: Xvfb did not start on :%d" % display)


def run_once(meshes, level, display):
    env = dict(os.environ, DISPLAY=display, MESHES_PLATFORM="sdl", MESHES_BENCH="0.001",
               MESHES_NO_DIALOGS="1")
    env.pop("SDL_VIDEODRIVER", None)   # a real X11 window
    start = time.monotonic()
    proc = subprocess.Popen([meshes], cwd=level, env=env, stdout=subprocess.PIPE,
                            stderr=subprocess.DEVNULL)
    out = proc.stdout.read().decode(errors="replace")
    _, status, usage = os.wait4(proc.pid, 0)
    wall = time.monotonic() - start
    m = STARTUP.search(out)
    if status != 0 or "meshes: " not in out:
        sys.exit("run.py: meshes failed in %s (status %d): %s" % (level, status, out.strip()))
    nan = float("nan")   # a build older than the start-up line
    f = [float(m.group(i)) if m else nan for i in range(1, 7)]
    return {"load_wall": f[0], "load_cpu": f[1], "load_rss_mb": f[2],
            "first_wall": f[3], "first_cpu": f[4], "first_rss_mb": f[5],
            "run_cpu": usage.ru_utime + usage.ru_stime, "run_wall": wall,
            "max_rss_mb": usage.ru_maxrss / 1024.0}


def distinct_meshes(level, drtool):
    """Gives every object of a level its own object file and its own copy of the mesh."""
    with open(os.path.join(level, "POLYGON01.txt")) as f:
        text = f.read()
    with open(os.path.join(level, "objects", "ball.dr.txt")) as f:
        object_text = f.read()
    parts = text.split('"objects\\\\ball.dr"')
    out = [parts[0]]
    for k, rest in enumerate(parts[1:], 1):
        shutil.copy(os.path.join(level, "meshes", "ball.x"), os.path.join(level, "meshes", "ball%d.x" % k))
        own = os.path.join(level, "objects", "ball%d.dr" % k)
        with open(own + ".txt", "w") as f:
            f.write(object_text.replace("ball.x", "ball%d.x" % k))
        subprocess.run([drtool, "build", own + ".txt", own], check=True)
        out.append('"objects\\\\ball%d.dr"' % k + rest)
    with open(os.path.join(level, "POLYGON01.txt"), "w") as f:
        f.write("".join(out))
    subprocess.run([drtool, "build", os.path.join(level, "POLYGON01.txt"), os.path.join(level, "POLYGON01")],
                   check=True)


def main(argv):
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--repeat", type=int, default=5)
    ap.add_argument("--objects", default="10 1000",
                    help="object counts, the first is the base; Nd: N objects, each with its own "
                         "object file and its own copy of the mesh")
    ap.add_argument("--build", default=os.path.join(ROOT, "build"))
    ap.add_argument("--keep", action="store_true", help="keep the levels (printed)")
    ap.add_argument("--baseline", help="another build folder whose meshes runs alternately with "
                                       "this one's, as a baseline (it is not built here)")
    a = ap.parse_args(argv)
    a.build = os.path.abspath(a.build)
    for tool in ("Xvfb", "ninja"):
        if not shutil.which(tool):
            sys.exit("run.py: %s is needed" % tool)
    subprocess.run(["ninja", "-C", a.build, "meshes", "drtool"], check=True, stdout=subprocess.DEVNULL)
    meshes = os.path.join(a.build, "meshes")
    drtool = os.path.join(a.build, "tools", "drtool", "drtool")
    counts = a.objects.split()
    work = tempfile.mkdtemp(prefix="bench_startup_")
    levels = {}
    for n in counts:
        levels[n] = os.path.join(work, "n" + n)
        subprocess.run([sys.executable, MAKE_LEVEL, n.rstrip("d"), "1", levels[n], "--drtool", drtool],
                       check=True, stdout=subprocess.DEVNULL)
        if n.endswith("d"):
            distinct_meshes(levels[n], drtool)
    programs = [("meshes", meshes)]
    if a.baseline:
        programs.append(("baseline", os.path.join(os.path.abspath(a.baseline), "meshes")))
    xvfb, display = start_xvfb()
    runs = {(p, n): [] for p, _ in programs for n in counts}
    try:
        run_once(meshes, levels[counts[0]], display)   # warm the page cache and the driver
        for _ in range(a.repeat):
            for n in counts:
                for label, program in programs:
                    runs[(label, n)].append(run_once(program, levels[n], display))
    finally:
        xvfb.kill()
        xvfb.wait()
        if not a.keep:
            shutil.rmtree(work, ignore_errors=True)
    keys = ["load_wall", "load_cpu", "load_rss_mb", "first_wall", "first_cpu", "first_rss_mb",
            "run_cpu", "max_rss_mb"]
    print("start-up benchmark: %d runs of each level and program, alternating; medians; s and MB"
          % a.repeat)
    for label, _ in programs:
        med = {n: {k: statistics.median(r[k] for r in runs[(label, n)]) for k in keys} for n in counts}
        print("%s (%s)" % (label, dict(programs)[label]))
        print("%-10s | %-25s | %-25s | %-18s" % ("objects", "loaded (first BeginScene)",
                                               "first frame (Present)", "whole run"))
        print("%-10s | %7s %7s %9s | %7s %7s %9s | %7s %10s" % ("", "wall", "cpu", "max RSS", "wall",
                                                              "cpu", "max RSS", "cpu", "max RSS"))
        row = "%-10s | %7.3f %7.3f %9.1f | %7.3f %7.3f %9.1f | %7.3f %10.1f"
        for n in counts:
            print(row % (n, *[med[n][k] for k in keys]))
        base = med[counts[0]]
        for n in counts[1:]:
            print(row.replace("%7.3f", "%+7.3f").replace("%9.1f", "%+9.1f").replace("%10.1f", "%+10.1f") %
                  ("%s-%s" % (n, counts[0]), *[med[n][k] - base[k] for k in keys]))
    if a.keep:
        print("levels kept in", work)


if __name__ == "__main__":
    main(sys.argv[1:])
