#!/usr/bin/env python3
"""Checks the Windows build (build-win, run under Wine) against the Linux build (build).

  wine_checks.py LINUX_BUILD WINDOWS_BUILD

1. The demo level laid out by both builds is byte for byte the same: the files the builds make
   (demo_files.txt), not what a run of the demo left in the folder.
2. drtool and drtool.exe dump each other's tree files to the same text, and compile the same
   text to the same bytes, also through standard input and output.
3. meshes (Linux, in a window) and meshes.exe (Wine) start the demo level and levels made here,
   each in a private Xvfb, and are closed as the user would close them; their LOG.dr files hold
   the same messages of the same kinds, line by line. Stamps and the time in the start line are
   left out. The one other difference allowed is Wine's: its D3DX cannot compile HLSL, so each
   effect file the level loads fails there; the lines that failure writes are named exactly
   below (expected_under_wine).
4. fxtool.exe checks an effect file under Wine: it reports Wine's refusal without crashing.
5. Levels drawn without effects are rendered by both, at several window sizes, and the pictures
   are compared region by region with the text masked; so is the console shown over a wireframe
   scene, opened by a key press from the X server (WINE_PICTURES=0 leaves the pictures out).
5. Small .x files of ours (and their textures), one per construct on which the two D3DX loaders
   part ways, are drawn by both; where Wine's loader is at fault, Wine draws the same mesh written
   so that it reads it right, and the fault is named beside the construct (XFILE_CONSTRUCTS).
Exits 0 when every check passes, 1 otherwise, saying what differs.
"""
import math
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
failures = []


def fail(what):
    failures.append(what)
    print("FAIL: " + what, flush=True)


class Builds:
    def __init__(self, linux, windows):
        self.linux = os.path.abspath(linux)
        self.windows = os.path.abspath(windows)
        self.drtool = os.path.join(self.linux, "tools", "drtool", "drtool")
        self.meshes = os.path.join(self.linux, "meshes")
        self.bin = os.path.join(self.windows, "bin")
        self.prefix = os.path.join(self.windows, "wineprefix")

    def wine(self, program, args, input=None, env=None, timeout=300):
        """Runs a program of the Windows build under Wine with the build's prefix. Its output
        goes through files, not pipes: the service processes Wine starts alongside a program
        inherit its handles and outlive it, so a pipe would never reach its end."""
        cmd = [os.path.join(ROOT, "scripts", "wine_run.sh"), self.prefix, "wine",
               os.path.join(self.bin, program)] + list(args)
        with tempfile.TemporaryFile() as fin, tempfile.TemporaryFile() as fout, \
                tempfile.TemporaryFile() as ferr:
            if input is not None:
                fin.write(input)
                fin.seek(0)
            code = subprocess.run(cmd, stdin=fin, stdout=fout, stderr=ferr, env=env,
                                  timeout=timeout).returncode
            fout.seek(0)
            ferr.seek(0)
            return subprocess.CompletedProcess(cmd, code, fout.read(), ferr.read())

    def wine_env(self):
        return dict(os.environ, WINEPREFIX=self.prefix, WINEDEBUG="-all")

    def start_server(self):
        """Makes the prefix if need be and keeps one Wine server running until stop_server:
        each program then starts in a fraction of a second instead of seconds."""
        if self.wine("drtool.exe", ["--help"]).returncode != 0:
            raise RuntimeError("drtool.exe does not run under Wine")
        subprocess.run(["wineserver", "-p"], env=self.wine_env())  # fails if one runs already

    def stop_server(self):
        subprocess.run(["wineserver", "-k"], env=self.wine_env())

    def wine_popen(self, program, args, **kw):
        cmd = [os.path.join(ROOT, "scripts", "wine_run.sh"), self.prefix, "wine",
               os.path.join(self.bin, program)] + list(args)
        return subprocess.Popen(cmd, **kw)


class Xvfb:
    """A private X server on a free display. A key held down is pressed once: its autorepeat
    starts after a minute (the server ignores xset's autorepeat settings)."""

    def __enter__(self):
        r, w = os.pipe()
        self.proc = subprocess.Popen(
            ["Xvfb", "-displayfd", str(w), "-screen", "0", "1280x1024x24", "-nolisten", "tcp",
             "-ardelay", "60000", "-arinterval", "60000"],
            pass_fds=(w,), stderr=subprocess.DEVNULL)
        os.close(w)
        data = b""
        while not data.endswith(b"\n"):
            chunk = os.read(r, 64)
            if not chunk:
                break
            data += chunk
        os.close(r)
        if not data.strip():
            raise RuntimeError("Xvfb did not start")
        self.display = ":" + data.decode().strip()
        return self

    def __exit__(self, *exc):
        self.proc.terminate()
        try:
            self.proc.wait(10)
        except subprocess.TimeoutExpired:
            self.proc.kill()


# ---------------------------------------------------------------- tree files

def tree_files(folder):
    out = []
    for base, _, files in os.walk(folder):
        for f in files:
            if f.lower().endswith(".dr") or f == "POLYGON01":
                out.append(os.path.join(base, f))
    return sorted(out)


def demo_manifest(build):
    """The files a build lays out in demo/: (kind, file, source) from its demo_files.txt."""
    path = os.path.join(build, "demo_files.txt")
    if not os.path.isfile(path):
        fail("%s lists no demo files (demo_files.txt is missing)" % build)
        return []
    rows = []
    for line in open(path, encoding="utf-8").read().splitlines():
        parts = line.split("\t")
        if len(parts) == 3:
            rows.append(tuple(parts))
    return rows


def check_demo_identical(b, work):
    """The Windows build lays out the files the Linux build makes, with the bytes the Linux
    build makes them with: sources copied as they are, trees compiled by drtool. Only the
    files the builds make count; what a run of the demo left in build/demo (screenshots, logs,
    a level file edited to try live reload) does not."""
    lin = demo_manifest(b.linux)
    win = set(row[1] for row in demo_manifest(b.windows))
    for rel in sorted(win - set(row[1] for row in lin)):
        fail("demo file %s is made by the Windows build only" % rel)
    for kind, rel, source in lin:
        other = os.path.join(b.windows, "demo", rel)
        if rel not in win or not os.path.isfile(other):
            fail("demo file %s is missing from the Windows build" % rel)
            continue
        if kind == "tree":
            made = os.path.join(work, "demo_tree.dr")
            if subprocess.run([b.drtool, "build", source, made], capture_output=True).returncode:
                fail("demo file %s: drtool cannot build %s" % (rel, source))
                continue
        else:
            made = source
        if open(made, "rb").read() != open(other, "rb").read():
            fail("demo file %s differs between the builds" % rel)
    print("demo level: %d files compared" % len(lin), flush=True)


def check_drtool(b, files, work):
    for path in files:
        name = os.path.relpath(path, ROOT) if path.startswith(ROOT) else os.path.basename(path)
        data = open(path, "rb").read()
        lin = subprocess.run([b.drtool, "dump", path], capture_output=True)
        win = b.wine("drtool.exe", ["dump", path])
        if lin.returncode != 0 or win.returncode != 0:
            fail("%s: dump exit codes %d (Linux) and %d (Windows)" %
                 (name, lin.returncode, win.returncode))
            continue
        if lin.stdout != win.stdout:
            fail("%s: drtool and drtool.exe dump it differently" % name)
            continue
        text = os.path.join(work, "tree.txt")
        with open(text, "wb") as f:
            f.write(lin.stdout)
        # Text from one tool compiled by the other gives the file back, byte for byte:
        # drtool.exe writes a file, and through its standard output.
        out = os.path.join(work, "tree.dr")
        if os.path.exists(out):
            os.remove(out)
        r = b.wine("drtool.exe", ["build", text, out])
        if r.returncode != 0 or open(out, "rb").read() != data:
            fail("%s: drtool.exe builds drtool's text into other bytes" % name)
        r = b.wine("drtool.exe", ["build", "-", "-"], input=win.stdout)
        if r.returncode != 0 or r.stdout != data:
            fail("%s: drtool.exe build - - (standard streams) gives other bytes" % name)
        r = subprocess.run([b.drtool, "build", "-", "-"], input=win.stdout, capture_output=True)
        if r.returncode != 0 or r.stdout != data:
            fail("%s: drtool builds drtool.exe's text into other bytes" % name)
        # A file fed through standard input dumps the same as from a file.
        r = b.wine("drtool.exe", ["dump", "-"], input=data)
        if r.stdout != lin.stdout:
            fail("%s: drtool.exe dump - (standard input) differs" % name)
    print("drtool round trips: %d files" % len(files), flush=True)


# ---------------------------------------------------------------- levels and logs

OBJECT_FILES = {
    "plain_torus.txt": 'torus { _MODEL_FILE_ { "meshes\\\\torus.x" } }',
    "plain_crate.txt": 'crate { _MODEL_FILE_ { "meshes\\\\crate.x" } }',
    "phong_cube.txt": 'cube { _MODEL_FILE_ { "meshes\\\\cube.x" } _FX_ { phong } }',
    "two_fx_sphere.txt": 'sphere { _MODEL_FILE_ { "meshes\\\\sphere.x" } _FX_ { phong rim } }',
    "lost_mesh.txt": 'lost { _MODEL_FILE_ { "meshes\\\\no_such.x" } }',
}


def level_text(objects, effects, lights=("sun",), extra="", light_at=()):
    """The level file's text; lights stand above and before the scene, out of view, unless
    `light_at` gives their positions."""
    parts = ["POLYGON01 {", " _LIGHTS_ { %s }" % " ".join(lights)]
    for i, light in enumerate(lights):
        at = light_at[i] if i < len(light_at) else "%d 150 -100" % (-60 + 120 * i)
        parts.append(' %s { _POSITION_ { %s } _COLOR_ { 1 0.9 0.8 } _FALLOFF_ { 600 } }'
                     % (light, at))
    parts.append(" _OBJECTS_ {")
    for name, path, pos, rot, *kind in objects:
        parts.append('  %s { _OBJECT_TYPE_ { %s } _OBJECT_PATH_ { "objects\\\\%s" }'
                     ' _POSITION_ { %s } _ROTATION_ { %s } }'
                     % (name, kind[0] if kind else "_OBJECT_SIMPLE_", path, pos, rot))
    parts.append(" }")
    parts.append(" _CAMERAS_ { front top }")
    parts.append(" front { _POSITION_ { 0 80 -220 } _LOOK_ { 0 20 0 } _UP_ { 0 1 0 } _MOVESPEED_ { 2 } }")
    parts.append(" top { _POSITION_ { 0 300 -60 } _LOOK_ { 0 0 0 } _UP_ { 0 1 0 } _MOVESPEED_ { 2 } }")
    parts.append(" _EFFECTS_ { %s }" % " ".join(e for e, _ in effects))
    for e, fx in effects:
        parts.append(' %s { _FILE_FX_ { "fx\\\\%s" } _FILE_ { none } }' % (e, fx))
    parts.append(extra)
    parts.append("}")
    return "\n".join(parts) + "\n"


# A mesh as other tools write it, kept beside this script.
HUT_X = open(os.path.join(os.path.dirname(os.path.abspath(__file__)), "hut.x")).read()

# Levels made here, beside the demo. Each is the demo folder's files with its own POLYGON01,
# object files and ini.txt.
LEVELS = {
    # No effects at all: both logs must be equal line for line.
    "plain": dict(
        objects=[("ring", "plain_torus.dr", "-40 0 -30", "0 0 0"),
                 ("crate", "plain_crate.dr", "60 0 10", "0 30 0")],
        effects=[], ini="[SCREEN] = 640, 480\n[BACK_RENDERER_COLOR] = 40, 40, 60\n"),
    # Effects named but one file missing, a missing mesh, a missing object file, and an
    # object with two effects.
    "faults": dict(
        objects=[("cube", "phong_cube.dr", "0 0 0", "0 45 0"),
                 ("ball", "two_fx_sphere.dr", "50 0 40", "0 0 0"),
                 ("lost", "lost_mesh.dr", "0 0 0", "0 0 0"),
                 ("ghost", "no_such_object.dr", "0 0 0", "0 0 0")],
        effects=[("phong", "ald_Phong.fx"), ("rim", "ald_Rim.fx"), ("gone", "no_such.fx")],
        ini="[SCREEN] = 500, 400\n[FILLMODE] = 2\n"),
    # A mesh written by hand as other tools write them: templates, a frame hierarchy with
    # transforms, faces of four corners, two materials of which one names a texture found
    # nowhere (and no default texture to fall back on); an entry of another object type, an
    # object file without a mesh, an effect name no effect has; three lights.
    "handmade": dict(
        objects=[("hut", "hut.dr", "0 0 0", "0 45 0"),
                 ("shed", "hut.dr", "50 0 0", "0 0 0", "_OBJECT_DYNAMIC_"),
                 ("thing", "no_mesh.dr", "0 0 0", "0 0 0"),
                 ("ring", "odd_fx_torus.dr", "-60 5 30", "90 0 0"),
                 ("crate", "plain_crate.dr", "70 0 -30", "0 10 0")],
        effects=[("phong", "ald_Phong.fx"), ("rim", "ald_Rim.fx")],
        lights=("red", "blue", "white"),
        files={"meshes/hut.x": HUT_X,
               "objects/hut.txt": 'hut { _MODEL_FILE_ { "meshes\\\\hut.x" } _FX_ { } }',
               "objects/no_mesh.txt": "thing { _SIZE_ { 3 } }",
               "objects/odd_fx_torus.txt":
                   'odd { _MODEL_FILE_ { "meshes\\\\torus.x" } _FX_ { phong no_such_fx } }'},
        remove=["textures/_def/def.bmp"],
        ini="[SCREEN] = 700, 500\n[BACK_RENDERER_COLOR] = 20, 60, 20\n[FILLMODE] = 3\n"),
}


def make_level(b, demo, folder, layout, lights=("sun",)):
    shutil.copytree(demo, folder, ignore=shutil.ignore_patterns("CMakeFiles", "cmake_install.cmake",
                                                                "LOG.dr"))
    for rel in layout.get("remove", []):
        os.remove(os.path.join(folder, rel))
    files = dict(("objects/" + name, text) for name, text in OBJECT_FILES.items())
    files.update(layout.get("files", {}))
    for rel, text in files.items():
        src = os.path.join(folder, rel)
        with open(src, "w") as f:
            f.write(text + "\n")
        if rel.startswith("objects/"):
            subprocess.run([b.drtool, "build", src, src[:-4] + ".dr"], check=True)
    src = os.path.join(folder, "POLYGON01.txt")
    with open(src, "w") as f:
        f.write(level_text(layout["objects"], layout["effects"], layout.get("lights", lights),
                           light_at=layout.get("light_at", ())))
    subprocess.run([b.drtool, "build", src, os.path.join(folder, "POLYGON01")], check=True)
    with open(os.path.join(folder, "ini.txt"), "w") as f:
        f.write(layout["ini"])


def run_linux(b, folder, display, seconds=2):
    log = os.path.join(folder, "LOG.dr")
    if os.path.exists(log):
        os.remove(log)
    env = dict(os.environ, DISPLAY=display, MESHES_BENCH=str(seconds), MESHES_NO_DIALOGS="1")
    env.pop("MESHES_PLATFORM", None)
    r = subprocess.run([b.meshes], cwd=folder, env=env, capture_output=True, timeout=180)
    if r.returncode != 0:
        fail("%s: meshes ended with %d: %s" % (folder, r.returncode, r.stderr.decode(errors="replace")))
    return log


def run_wine(b, folder, display, settle=3.0, shot=None):
    """Starts meshes.exe in `folder`, waits for its window and `settle` seconds, optionally
    takes a screenshot of the root window, then closes the window with WM_CLOSE."""
    log = os.path.join(folder, "LOG.dr")
    if os.path.exists(log):
        os.remove(log)
    env = dict(os.environ, DISPLAY=display)
    proc = b.wine_popen("meshes.exe", [], cwd=folder, env=env, stdout=subprocess.DEVNULL,
                        stderr=subprocess.DEVNULL)
    try:
        r = b.wine("close_window.exe", ["Zarvik", "120", str(int(settle * 1000))], env=env,
                   timeout=200)
        if r.returncode != 0:
            fail("%s: close_window: %s" % (folder, r.stderr.decode(errors="replace").strip()))
        code = proc.wait(60)
        if code != 0:
            fail("%s: meshes.exe ended with %d" % (folder, code))
    finally:
        if proc.poll() is None:
            proc.kill()
    return log


def read_log(b, path):
    """The log's messages as (text without its stamp, kind), from drtool's dump."""
    r = subprocess.run([b.drtool, "dump", path], capture_output=True)
    if r.returncode != 0:
        return None
    lines = r.stdout.decode("latin-1").split("\n")
    out = []
    i = 0
    while i < len(lines):
        m = re.match(r'^    ("(?:[^"\\]|\\.)*"|\S+) \{$', lines[i])
        if m and i + 1 < len(lines):
            text = m.group(1)
            if text.startswith('"'):
                text = text[1:-1]
            kind = lines[i + 1].strip()
            out.append((text, kind))
            i += 2
        else:
            i += 1
    return out


def normalise(messages):
    out = []
    for n, (text, kind) in enumerate(messages):
        if n == 0:
            text = re.sub(r"time: [0-9-]+", "time: T", text)
        else:
            text = re.sub(r"^\[\d+:\d+\] ", "", text)
        out.append((text, kind))
    return out


def expected_under_wine(linux, effect_files):
    """The Linux log turned into what Wine must write: every effect file that loads on Linux
    fails under Wine, because Wine's D3DX cannot compile HLSL. Exactly these lines change:
      - the render manager's own effect: 'missed:  fx\\ald_Phong.fx' (error) is added before
        'Rendering manager inicialized with N errors.', whose N grows by one;
      - each '[+] Effect:  NAME' line of the effect manager becomes the effect's file name as an
        error line, as a failed effect load writes it."""
    out = []
    for text, kind in linux:
        m = re.match(r"^Rendering manager inicialized with (\d+) errors\.$", text)
        if m and ("missed:  fx\\\\ald_Phong.fx", "_ERROR_") not in linux:
            out.append(("missed:  fx\\\\ald_Phong.fx", "_ERROR_"))
            out.append(("Rendering manager inicialized with %d errors." % (int(m.group(1)) + 1), kind))
            continue
        m = re.match(r"^\[\+\] Effect:  (.*)$", text)
        if m and m.group(1) in effect_files:
            out.append((effect_files[m.group(1)], "_ERROR_"))
            continue
        out.append((text, kind))
    return out


def compare_logs(name, linux, wine, effect_files):
    if linux is None or wine is None:
        fail("%s: a log is missing or unreadable (Linux %s, Wine %s)" %
             (name, linux is not None, wine is not None))
        return
    want = expected_under_wine(normalise(linux), effect_files)
    got = normalise(wine)
    if want == got:
        print("%s: logs agree (%d lines)" % (name, len(got)), flush=True)
        return
    for i in range(max(len(want), len(got))):
        a = want[i] if i < len(want) else None
        c = got[i] if i < len(got) else None
        if a != c:
            fail("%s: log line %d: expected %r, Wine wrote %r" % (name, i + 1, a, c))
            break


def effect_files_of(level_txt_or_demo):
    """Effect name -> its file as the log writes it ('fx\\\\name.fx', escaped as dumped)."""
    text = open(level_txt_or_demo).read()
    out = {}
    for m in re.finditer(r'(\w+)\s*\{\s*_FILE_FX_\s*\{\s*"([^"]*)"', text):
        out[m.group(1)] = m.group(2)
    return out


# ---------------------------------------------------------------- pictures

# Levels drawn without effects, so that Wine's Direct3D 9 draws exactly what ours does.
PICTURE_LEVELS = {
    # One material, no texture, and a textured crate of three materials (three subsets),
    # turned about y.
    "materials": dict(
        objects=[("ring", "plain_torus.dr", "-50 0 -40", "0 0 0"),
                 ("crate", "plain_crate.dr", "50 0 20", "0 30 0")],
        ini="[SCREEN] = 640, 480\n[BACK_RENDERER_COLOR] = 40, 40, 60\n"),
    # The same seen larger in another window size, the crate turned further, two lights so
    # that each object is drawn twice. (The lights' markers are lines, compared with the
    # console's picture below.)
    "rotated": dict(
        objects=[("crate", "plain_crate.dr", "0 0 0", "0 135 0"),
                 ("ring", "plain_torus.dr", "-70 0 60", "0 60 0")],
        lights=("sun", "lamp"),
        ini="[SCREEN] = 800, 600\n[BACK_RENDERER_COLOR] = 90, 90, 90\n"),
    # A small window; the fill mode in the settings is overridden by each frame.
    "small": dict(
        objects=[("crate", "plain_crate.dr", "0 0 0", "0 20 0"),
                 ("ring", "plain_torus.dr", "-60 0 -20", "0 0 0")],
        ini="[SCREEN] = 500, 400\n[FILLMODE] = 2\n[BACK_RENDERER_COLOR] = 10, 10, 10\n"),
}
GRID = (8, 6)          # regions across and down
TOLERANCE = 12         # largest difference of a region's mean, per channel (0 to 255)
TEXT_MASK = (0, 0, 260, 70)   # the info text at the top left, in client pixels


def region_means(png, mask=TEXT_MASK, grid=GRID):
    """Mean colour of each grid region, the text blacked out first. `mask` is one rectangle
    (x0, y0, x1, y1) in client pixels or a list of them."""
    masks = [mask] if isinstance(mask[0], int) else mask
    draw = []
    for x0, y0, x1, y1 in masks:
        draw += ["-draw", "rectangle %d,%d %d,%d" % (x0, y0, x1, y1)]
    r = subprocess.run(["convert", png, "-fill", "black"] + draw +
                       ["-scale", "%dx%d!" % grid, "-depth", "8", "txt:-"],
                       capture_output=True, check=True)
    out = {}
    for line in r.stdout.decode().splitlines():
        m = re.match(r"^(\d+),(\d+): \(\s*([\d.]+),\s*([\d.]+),\s*([\d.]+)", line)
        if m:
            out[(int(m.group(1)), int(m.group(2)))] = tuple(float(m.group(i)) for i in (3, 4, 5))
    return out


def window_id(display, title="|Zarvik|0.0.4|June 1|"):
    """The X window of the program once it is shown (it is created hidden and shown only when
    the level has loaded)."""
    env = dict(os.environ, DISPLAY=display)
    r = subprocess.run(["xwininfo", "-root", "-tree"], env=env, capture_output=True)
    for line in r.stdout.decode(errors="replace").splitlines():
        if '"%s"' % title in line:
            wid = line.split()[0]
            info = subprocess.run(["xwininfo", "-id", wid], env=env, capture_output=True)
            if b"IsViewable" in info.stdout:
                return wid
    return None


def grab_window(wid, env, png):
    """The window's area of the screen as a PNG; False when it holds a single colour."""
    info = subprocess.run(["xwininfo", "-id", wid], env=env, capture_output=True).stdout.decode()
    geo = {}
    for key in ("Absolute upper-left X", "Absolute upper-left Y", "Width", "Height"):
        m = re.search(r"%s:\s+(-?\d+)" % key, info)
        if not m:
            return False
        geo[key] = int(m.group(1))
    subprocess.run(["import", "-window", "root", "-crop", "%dx%d+%d+%d" % (
        geo["Width"], geo["Height"], geo["Absolute upper-left X"], geo["Absolute upper-left Y"]),
        "+repage", png], env=env, check=False)
    colours = subprocess.run(["identify", "-format", "%k", png], capture_output=True).stdout
    return colours.strip().isdigit() and int(colours.strip()) > 2


def steady_picture(wid, env, png, mask):
    """Takes pictures of the window until two in a row agree: the first frames differ from the
    later ones (the view is set after the objects are drawn), and a frame being presented may
    read back blank."""
    previous = None
    for _ in range(8):
        time.sleep(1.5)
        if not grab_window(wid, env, png):
            previous = None
            continue
        means = region_means(png, mask)
        if previous is not None and all(
                max(abs(p - q) for p, q in zip(means[k], previous[k])) <= 2 for k in means):
            return True
        previous = means
    return False


def wait_window(display, seconds=120):
    deadline = time.time() + seconds
    while time.time() < deadline:
        wid = window_id(display)
        if wid:
            return wid
        time.sleep(0.5)
    return None


def shoot_wine(b, folder, display, png, mask=TEXT_MASK):
    """meshes.exe's client area as a PNG, taken from the X server while it runs."""
    env = dict(os.environ, DISPLAY=display)
    proc = b.wine_popen("meshes.exe", [], cwd=folder, env=env, stdout=subprocess.DEVNULL,
                        stderr=subprocess.DEVNULL)
    try:
        wid = wait_window(display)
        if wid:
            steady_picture(wid, env, png, mask)
        r = b.wine("close_window.exe", ["Zarvik", "60"], env=env, timeout=120)
        if r.returncode != 0:
            fail("%s: close_window: %s" % (folder, r.stderr.decode(errors="replace").strip()))
        proc.wait(60)
    finally:
        if proc.poll() is None:
            proc.kill()
    return os.path.exists(png)


def shoot_linux(b, folder, display, png):
    env = dict(os.environ, DISPLAY=display, MESHES_BENCH="3", MESHES_NO_DIALOGS="1",
               MESHES_SCREENSHOT=png + "@40")
    env.pop("MESHES_PLATFORM", None)
    subprocess.run([b.meshes], cwd=folder, env=env, capture_output=True, timeout=180)
    return os.path.exists(png)


def compare_regions(name, lin, win, mask, grid=GRID):
    a, c = region_means(lin, mask, grid), region_means(win, mask, grid)
    worst = max(max(abs(p - q) for p, q in zip(a[k], c[k])) for k in a)
    bad = sorted(k for k in a if max(abs(p - q) for p, q in zip(a[k], c[k])) > TOLERANCE)
    if bad:
        fail("%s: %d of %d regions differ by more than %d (worst %.0f); first %s: Linux %s,"
             " Wine %s" % (name, len(bad), len(a), TOLERANCE, worst, bad[0],
                           tuple(round(v) for v in a[bad[0]]), tuple(round(v) for v in c[bad[0]])))
    else:
        print("%s: pictures agree (largest region difference %.0f)" % (name, worst), flush=True)


def compare_pictures(b, x, work, demo_linux):
    for name, layout in PICTURE_LEVELS.items():
        folder = os.path.join(work, "pic-" + name)
        make_level(b, demo_linux, folder, dict(layout, effects=[]),
                   lights=layout.get("lights", ("sun",)))
        lin = os.path.join(work, "pic-%s-linux.png" % name)
        win = os.path.join(work, "pic-%s-wine.png" % name)
        mask = layout.get("mask", TEXT_MASK)
        if not shoot_linux(b, folder, x.display, lin) or \
                not shoot_wine(b, folder, x.display, win, mask):
            fail("%s: no picture (Linux %s, Wine %s)" % (name, os.path.exists(lin), os.path.exists(win)))
            continue
        compare_regions(name, lin, win, mask)



# ---------------------------------------------------------------- .x constructs

# Small .x files of ours (xfiles/, or written here: XFILE_WRITTEN), one per construct on which
# two D3DX loaders can part ways, drawn side by side without effects. Each entry: the file
# meshes draws, the file meshes.exe draws under the same name in its place (None: the same
# file), and where it stands.
XFILE_DIR = os.path.join(os.path.dirname(os.path.abspath(__file__)), "xfiles")
XFILE_CONSTRUCTS = [
    # Frames: a frame's transform comes first, then its parent's (row vectors), as D3DX forms
    # a frame's combined matrix (D3DXFRAME; the SDK samples multiply TransformationMatrix by
    # the parent's combined matrix). Wine's D3DXLoadMeshFromX (parse_frame in d3dx9_36/mesh.c)
    # multiplies the other way round, parent first: nested frames that turn and move come out
    # turned about the wrong point. (The plate, a second mesh, also meets the next fault.)
    ("frames.x", "frames_flat.x", "-60 0 0"),
    # Meshes after the first: their indices are offset by the vertices before them. Wine offsets
    # them by three times the triangles before them, so a later mesh takes other meshes'
    # vertices, or none.
    ("two_meshes.x", "two_meshes_merged.x", "0 0 -20"),
    # A material list with fewer face indexes than faces: D3DX reads it and the remaining
    # faces take the last index. Wine refuses the whole mesh ("[M.F] cannot find" in the log).
    ("short_list.x", "short_list_full.x", "60 0 0"),
    # D3DX knows the templates it adds to the format (skin weights, effect instances, vertex
    # duplication) without the file declaring them: the SDK's own media rely on it. Wine's
    # D3DX registers only the retained-mode templates and refuses such a file.
    ("extensions.x", "extensions_plain.x", "55 0 70"),
    # The frames in the binary layout (written here from frames.x): Wine reads the layout
    # right, and is only at fault with the frames.
    ("frames_bin.x", "frames_flat.x", "-30 0 90"),
    # A thin pipe whose texture coordinates wrap many times round and along it (written here),
    # textured with a 24-bit TGA of a fine checker of two colours: it is drawn from the small
    # levels of the texture's mip chain. D3DXCreateTextureFromFile makes the full chain with
    # its default mip filter, D3DX_FILTER_BOX (each texel the mean of four below it), so the
    # pipe shows the mean of the two colours. Wine's D3DX applies a point filter for every
    # filter but none ("until D3DX_FILTER_LINEAR, D3DX_FILTER_TRIANGLE and D3DX_FILTER_BOX are
    # implemented", d3dx9_36/surface.c), so each of its levels keeps one texel of four and the
    # pipe comes out in one of the two colours, sharper than the mean. (Wine chooses the level
    # as Direct3D does: the stage's anisotropic mip filter is taken as linear, anisotropy 1.)
    # Wine is given the same pipe with a DDS file holding the box-filtered chain, which
    # D3DX loads as it is.
    ("wrapped_pipe.x", "wrapped_pipe_dds.x", "0 -30 -60"),
    # The TGA's own decoding, where both loaders agree: 24-bit BGR pixels, run-length packets,
    # and the origin bit (the left plate's file is stored bottom-up and run-length encoded,
    # the right one's top-down and plain), on plates that show the whole picture.
    ("tga_plates.x", None, "0 70 60"),
]

# Textures of the constructs (xfile_level writes them into the level's textures folder).
CHECKER = ((250, 240, 20), (20, 30, 200))     # the pipe's two colours, texel by texel
TGA_SIZE = (64, 32)


def checker(x, y):
    return CHECKER[(x + y) % 2]


def quadrants(x, y):
    """A picture whose every side differs: a white top row, then four coloured quarters."""
    w, h = TGA_SIZE
    if y == 0:
        return (255, 255, 255)
    return ((200, 30, 30), (30, 200, 30), (30, 30, 200), (200, 200, 30))[(x >= w // 2) + 2 * (y >= h // 2)]


def tga24(pixel, rle=False, top_down=False):
    """A 24-bit true-colour TGA of pixel(x, y) (y = 0 the top row): BGR bytes, rows stored
    bottom-up unless `top_down` (bit 5 of the descriptor), run-length packets with `rle`."""
    w, h = TGA_SIZE
    out = [struct.pack("<BBBHHBHHHHBB", 0, 0, 10 if rle else 2, 0, 0, 0, 0, 0, w, h, 24,
                       0x20 if top_down else 0)]
    for y in (range(h) if top_down else range(h - 1, -1, -1)):
        row = [pixel(x, y) for x in range(w)]
        x = 0
        while x < w:
            n = 1
            if rle:
                while x + n < w and n < 128 and row[x + n] == row[x]:
                    n += 1
                out.append(bytes([0x80 | (n - 1) if n > 1 else 0]))
            r, g, b = row[x]
            out.append(bytes([b, g, r]) * (1 if rle else n))
            x += n
    return b"".join(out)


def box_chain_dds(pixel):
    """A DDS (X8R8G8B8) of pixel(x, y) with its full mip chain, each texel of a level the
    rounded mean of the four below it, as D3DX_FILTER_BOX makes it."""
    w, h = TGA_SIZE
    levels = [[[pixel(x, y) for x in range(w)] for y in range(h)]]
    while len(levels[-1]) > 1 or len(levels[-1][0]) > 1:
        up = levels[-1]
        rows, cols = len(up), len(up[0])
        levels.append([[tuple((sum(up[min(2 * y + dy, rows - 1)][min(2 * x + dx, cols - 1)][c]
                                   for dy in (0, 1) for dx in (0, 1)) + 2) // 4 for c in range(3))
                        for x in range(max(1, cols // 2))] for y in range(max(1, rows // 2))])
    # Header: caps, height, width, pitch, mip count and a 32-bit RGB pixel format.
    out = [struct.pack("<4sIIIIIII44s", b"DDS ", 124, 0x2100F, h, w, w * 4, 0, len(levels),
                       bytes(44)),
           struct.pack("<IIIIIIII", 32, 0x40, 0, 32, 0xFF0000, 0xFF00, 0xFF, 0),
           struct.pack("<IIIII", 0x401008, 0, 0, 0, 0)]
    for level in levels:
        out += [bytes([b, g, r, 255]) for row in level for (r, g, b) in row]
    return b"".join(out)


def pipe_x(texture, radius=2.0, length=120.0, sides=12, rings=8, round_wraps=3, along_wraps=40):
    """A thin pipe along x whose texture wraps `round_wraps` times round and `along_wraps`
    times along it."""
    vertices, uvs = [], []
    for s in range(rings + 1):
        for k in range(sides + 1):
            a = 2 * math.pi * k / sides
            vertices.append("%.4f;%.4f;%.4f;" % (-length / 2 + length * s / rings,
                                                 radius * math.cos(a), radius * math.sin(a)))
            uvs.append("%.4f;%.4f;" % (round_wraps * k / sides, along_wraps * s / rings))
    n = sides + 1
    faces = ["4;%d,%d,%d,%d;" % (s * n + k, s * n + k + 1, (s + 1) * n + k + 1, (s + 1) * n + k)
             for s in range(rings) for k in range(sides)]
    return ("xof 0303txt 0032\nMesh {\n %d;\n %s;\n %d;\n %s;\n"
            " MeshTextureCoords { %d; %s; }\n"
            " MeshMaterialList { 1; %d; %s;\n"
            "  Material { 1.0;1.0;1.0;1.0;; 0.0; 0.0;0.0;0.0;; 0.6;0.6;0.6;;"
            ' TextureFilename { "%s"; } } }\n}\n'
            % (len(vertices), ",\n ".join(vertices), len(faces), ",\n ".join(faces), len(uvs),
               ", ".join(uvs), len(faces), ",".join("0" for _ in faces), texture))


def plates_x():
    """Two plates side by side, each showing a whole texture, the left one the bottom-up
    run-length file, the right one the top-down plain file."""
    def plate(x0):
        return "%.1f;15.0;0.0;, %.1f;15.0;0.0;, %.1f;0.0;0.0;, %.1f;0.0;0.0;" % (x0, x0 + 30, x0 + 30, x0)
    material = ("  Material { 1.0;1.0;1.0;1.0;; 0.0; 0.0;0.0;0.0;; 0.6;0.6;0.6;;"
                ' TextureFilename { "%s"; } }\n')
    return ("xof 0303txt 0032\nMesh {\n 8;\n %s,\n %s;\n 2;\n 4;0,1,2,3;, 4;4,5,6,7;;\n"
            " MeshTextureCoords { 8; 0.0;0.0;, 1.0;0.0;, 1.0;1.0;, 0.0;1.0;,"
            " 0.0;0.0;, 1.0;0.0;, 1.0;1.0;, 0.0;1.0;; }\n"
            " MeshMaterialList { 2; 2; 0,1;\n%s%s }\n}\n"
            % (plate(-32.0), plate(2.0), material % "marks_rle.tga", material % "marks_top.tga"))


# Files the constructs use that are written here rather than kept in xfiles/.
XFILE_WRITTEN = {
    "frames_bin.x": lambda: binary_x(open(os.path.join(XFILE_DIR, "frames.x")).read()),
    "wrapped_pipe.x": lambda: pipe_x("wrapped_pipe.tga"),
    "wrapped_pipe_dds.x": lambda: pipe_x("wrapped_pipe_box.dds"),
    "tga_plates.x": plates_x,
}
XFILE_TEXTURES = {
    "wrapped_pipe.tga": lambda: tga24(checker),
    "wrapped_pipe_box.dds": lambda: box_chain_dds(checker),
    "marks_rle.tga": lambda: tga24(quadrants, rle=True),
    "marks_top.tga": lambda: tga24(quadrants, top_down=True),
}


def binary_x(text):
    """A text .x file of ours written in the binary layout (header 'bin ', 32-bit floats):
    names, strings, braces, and each run of whole numbers or of decimals as one integer or
    float list token, as exporters write them. Template declarations are left out: the files
    use only templates both loaders know."""
    body = re.sub(r"(//|#)[^\n]*", "", text.split("\n", 1)[1])
    body = re.sub(r"template\s+\w+\s*\{[^{}]*\}", "", body)
    out, run, kind = [b"xof 0303bin 0032"], [], None

    def flush():
        if run:
            code, fmt = (6, "<I") if kind == "int" else (7, "<f")
            out.append(struct.pack("<HI", code, len(run)) +
                       b"".join(struct.pack(fmt, int(v) if kind == "int" else float(v)) for v in run))
            run.clear()
    for tok in re.findall(r'"[^"]*"|[{}]|[-+]?[0-9][0-9.eE+-]*|[A-Za-z_][\w]*', body):
        if tok[0].isdigit() or tok[0] in "+-":
            k = "int" if re.fullmatch(r"[0-9]+", tok) else "float"
            if k != kind:
                flush()
                kind = k
            run.append(tok)
            continue
        flush()
        kind = None
        if tok in "{}":
            out.append(struct.pack("<H", 10 if tok == "{" else 11))
        elif tok[0] == '"':
            data = tok[1:-1].encode()
            out.append(struct.pack("<HI", 2, len(data)) + data + struct.pack("<I", 20))
        else:
            out.append(struct.pack("<HI", 1, len(tok)) + tok.encode())
    flush()
    return b"".join(out)


XFILE_LEVEL = dict(ini="[SCREEN] = 640, 480\n[BACK_RENDERER_COLOR] = 40, 40, 60\n",
                   effects=[], lights=("sun",))


def xfile_level(b, demo_linux, folder, wine):
    """The constructs' level; with `wine`, each construct's file is replaced by the one Wine is
    given in its place."""
    objects, files = [], {}
    for i, (mine, theirs, pos) in enumerate(XFILE_CONSTRUCTS):
        name = os.path.splitext(mine)[0]
        files["objects/%s.txt" % name] = '%s { _MODEL_FILE_ { "meshes\\\\x_%s" } }' % (name, mine)
        objects.append((name, "%s.dr" % name, pos, "0 0 0"))
    make_level(b, demo_linux, folder, dict(XFILE_LEVEL, objects=objects, files=files))
    for mine, theirs, _ in XFILE_CONSTRUCTS:
        src = (theirs or mine) if wine else mine
        if src in XFILE_WRITTEN:
            data = XFILE_WRITTEN[src]()
            data = data if isinstance(data, bytes) else data.encode()
        else:
            data = open(os.path.join(XFILE_DIR, src), "rb").read()
        with open(os.path.join(folder, "meshes", "x_" + mine), "wb") as f:
            f.write(data)
    for name, make in XFILE_TEXTURES.items():
        with open(os.path.join(folder, "textures", name), "wb") as f:
            f.write(make())


def compare_xfiles(b, x, work, demo_linux):
    lin_dir, win_dir = os.path.join(work, "xfiles-linux"), os.path.join(work, "xfiles-wine")
    xfile_level(b, demo_linux, lin_dir, False)
    xfile_level(b, demo_linux, win_dir, True)
    lin, win = os.path.join(work, "xfiles-linux.png"), os.path.join(work, "xfiles-wine.png")
    if not shoot_linux(b, lin_dir, x.display, lin) or not shoot_wine(b, win_dir, x.display, win):
        fail("xfiles: no picture (Linux %s, Wine %s)" % (os.path.exists(lin), os.path.exists(win)))
        return
    compare_logs("xfiles", read_log(b, os.path.join(lin_dir, "LOG.dr")),
                 read_log(b, os.path.join(win_dir, "LOG.dr")), {})
    # The meshes are small: finer regions, so that one of them drawn wrong shows.
    compare_regions("xfiles", lin, win, TEXT_MASK, (16, 12))


# ---------------------------------------------------------------- the console over wireframe

# The console shown over a level drawn without effects; the scene is then drawn as wireframe.
# Both programs get the console key from the X server, as a user's key press, and their windows
# are grabbed from the screen.
CONSOLE_LEVEL = dict(
    objects=[("crate", "plain_crate.dr", "40 0 0", "0 30 0"),
             ("ring", "plain_torus.dr", "-60 0 -20", "0 0 0")],
    lights=("sun", "lamp"), light_at=("-70 10 -60", "50 10 -120"),
    ini="[SCREEN] = %d, %d\n[BACK_RENDERER_COLOR] = 40, 40, 60\n")
CONSOLE_SCREEN = (640, 480)
CONSOLE_BACKGROUND = (40, 40, 60)
# The console's texts, in client pixels: the log lines and the command line, the title and its
# shadow, the clock. The panel, its frame and the scene around them are compared.
CONSOLE_MASKS = [(0, 10, 480, 142), (370, 0, 640, 62), (550, 58, 630, 84)]
CONSOLE_GRID = (16, 12)
CONSOLE_KEY = "grave"   # the key left of 1 on a US layout
# Where the console's panel meets its frame, below the log lines, in client pixels.
CONSOLE_BAND = (150, 130, 390, 148)
# A drawn pixel matches when the other picture has one of a near colour at most this far away.
MATCH_DISTANCE = 2
MATCH_COLOUR = 20
# A region fails when more than this share of its drawn pixels (and at least 12) find no match.
UNMATCHED_SHARE = 0.2


def window_geometry(wid, env):
    info = subprocess.run(["xwininfo", "-id", wid], env=env, capture_output=True).stdout.decode()
    out = []
    for key in ("Absolute upper-left X", "Absolute upper-left Y", "Width", "Height"):
        m = re.search(r"%s:\s+(-?\d+)" % key, info)
        if not m:
            return None
        out.append(int(m.group(1)))
    return out


def largest_difference(a, c):
    return max(max(abs(p - q) for p, q in zip(a[k], c[k])) for k in a if k in c)


def band_mean(geo, env):
    """Mean colour of the band where the console's panel meets its frame, below the log lines:
    one small grab, quick enough to let the key go soon after the console opens."""
    x, y = geo[0], geo[1]
    x0, y0, x1, y1 = CONSOLE_BAND
    r = subprocess.run(["import", "-window", "root", "-crop", "%dx%d+%d+%d" % (
        x1 - x0, y1 - y0, x + x0, y + y0), "+repage", "-depth", "8", "txt:-"],
        env=env, capture_output=True)
    pixels = re.findall(rb"\n\d+,\d+: \(\s*(\d+),\s*(\d+),\s*(\d+)", r.stdout)
    if not pixels:
        return None
    return tuple(sum(int(p[i]) for p in pixels) / len(pixels) for i in range(3))


def show_console(wid, env, png, hidden):
    """Holds the console key over the window until the console is seen, then lets it go;
    returns None when the console stays shown, else what went wrong. The key is held, not
    tapped: Wine reads the X server's events between frames, and a press and a release read
    together leave the key up in every keyboard state the program reads. It is let go at once:
    the console hides again when the key is still down at its next poll, 1.6 s after it
    opened (the X server has no autorepeat, which would hide it at once)."""
    geo = window_geometry(wid, env)
    if not geo:
        return "the window is gone"
    x, y, w, h = geo
    before = band_mean(geo, env)
    if not before:
        return "the window cannot be grabbed"
    # With no window manager the X server gives the keys to the window under the pointer.
    subprocess.run(["xdotool", "mousemove", "--sync", str(x + w // 2), str(y + h // 2)], env=env)
    subprocess.run(["xdotool", "keydown", CONSOLE_KEY], env=env)
    seen = False
    try:
        deadline = time.time() + 20
        while not seen and time.time() < deadline:
            # A frame being presented may read back black, which does not count.
            now = band_mean(geo, env)
            seen = bool(now and any(now)) and max(abs(p - q) for p, q in zip(now, before)) > 20
    finally:
        subprocess.run(["xdotool", "keyup", CONSOLE_KEY], env=env)
    if not seen:
        return "the console key shows no console"
    if not steady_picture(wid, env, png, CONSOLE_MASKS):
        return "no steady picture with the console"
    if largest_difference(region_means(png, CONSOLE_MASKS, CONSOLE_GRID), hidden) <= 25:
        return "the console closed again"
    return None


def shoot_console(side, proc, display, png, size=None):
    """The shown window of `proc` with the console opened; the process is left running.
    Returns True, or what went wrong; with `size` (width, height) and a client area of
    another size, that size instead, and nothing is shot."""
    env = dict(os.environ, DISPLAY=display)
    wid = wait_window(display)
    geo = wid and window_geometry(wid, env)
    if not geo:
        return "no window"
    if size and tuple(geo[2:]) != tuple(size):
        return tuple(geo[2:])
    hidden = os.path.splitext(png)[0] + "-hidden.png"
    if not steady_picture(wid, env, hidden, CONSOLE_MASKS):
        return "no steady picture"
    before = region_means(hidden, CONSOLE_MASKS, CONSOLE_GRID)
    problems = []
    # A machine busy with other work may draw so few frames a second that the console sees
    # the key still down at its poll: then it is pressed again.
    for _ in range(6):
        problem = show_console(wid, env, png, before)
        if not problem:
            if problems:
                print("console: %s shows it at the %d. press (before: %s)" %
                      (side, len(problems) + 1, "; ".join(problems)), flush=True)
            return True
        problems.append(problem)
        if proc.poll() is not None:
            break
        # The console may have opened and closed again: wait until a new press may open it,
        # and until it has hidden if it is still shown.
        time.sleep(2)
    return "; ".join(problems)


def drawn_pixels(png, background, masks):
    """The picture's size and, for each pixel drawn over the clear colour and not masked, its
    colour: {(x, y): (r, g, b)}."""
    size = subprocess.run(["identify", "-format", "%w %h", png], capture_output=True).stdout
    w, h = (int(v) for v in size.split())
    data = subprocess.run(["convert", png, "-depth", "8", "rgb:-"], capture_output=True,
                          check=True).stdout
    br, bg, bb = background
    out = {}
    for y in range(h):
        spans = [(x0, x1) for x0, y0, x1, y1 in masks if y0 <= y <= y1]
        row = 3 * y * w
        for x in range(w):
            i = row + 3 * x
            r, g, b = data[i], data[i + 1], data[i + 2]
            if max(abs(r - br), abs(g - bg), abs(b - bb)) <= 24:
                continue
            if any(x0 <= x <= x1 for x0, x1 in spans):
                continue
            out[(x, y)] = (r, g, b)
    return (w, h), out


def unmatched(mine, theirs):
    """The drawn pixels of `mine` that `theirs` has not drawn nearby in a near colour."""
    d = MATCH_DISTANCE
    near = [(0, 0)] + [(dx, dy) for dy in range(-d, d + 1) for dx in range(-d, d + 1)
                       if (dx, dy) != (0, 0)]
    out = []
    for (x, y), c in mine.items():
        for dx, dy in near:
            o = theirs.get((x + dx, y + dy))
            if o and max(abs(o[0] - c[0]), abs(o[1] - c[1]), abs(o[2] - c[2])) <= MATCH_COLOUR:
                break
        else:
            out.append((x, y))
    return out


def compare_drawn(name, lin_png, win_png):
    """Compares what the two pictures draw, region by region: each drawn pixel of one must be
    drawn nearby in a near colour in the other. The wireframe's lines differ in width: Direct3D 9
    has no line width, its lines are one pixel wide (its line rasterization rules light one
    pixel per step along the major axis), and D3DRS_ANTIALIASEDLINEENABLE, which the engine
    sets, only asks for their edges to be smoothed. Wine turns that state into OpenGL's smooth
    lines, which come out two pixels wide and solid while blending is off; our backend draws
    one pixel. Region means differ with the share of lines, so this compares whether each line
    is there, where, and in which colour."""
    size_l, lin = drawn_pixels(lin_png, CONSOLE_BACKGROUND, CONSOLE_MASKS)
    size_w, win = drawn_pixels(win_png, CONSOLE_BACKGROUND, CONSOLE_MASKS)
    if size_l != size_w:
        fail("%s: pictures of %dx%d (Linux) and %dx%d (Wine)" % ((name,) + size_l + size_w))
        return
    w, h = size_l
    gx, gy = CONSOLE_GRID
    region = lambda p: (p[0] * gx // w, p[1] * gy // h)
    drawn, missing = {}, {}
    for side, mine, theirs in (("Linux", lin, win), ("Wine", win, lin)):
        for p in mine:
            k = (side, region(p))
            drawn[k] = drawn.get(k, 0) + 1
        for p in unmatched(mine, theirs):
            k = (side, region(p))
            missing[k] = missing.get(k, 0) + 1
    bad = sorted((k for k, n in missing.items() if n >= 12 and n > UNMATCHED_SHARE * drawn[k]),
                 key=lambda k: -missing[k])
    worst = max([missing[k] / drawn[k] for k in missing] + [0])
    if bad:
        side, (rx, ry) = bad[0]
        fail("%s: %d region(s) hold pixels drawn in one picture only; worst: %d of the %d pixels"
             " %s draws in region (%d, %d) are not in the other picture" %
             (name, len(bad), missing[bad[0]], drawn[bad[0]], side, rx, ry))
    else:
        print("%s: pictures agree (%d and %d pixels drawn; in a region at most %.0f%% unmatched)"
              % (name, len(lin), len(win), 100 * worst), flush=True)


def compare_console(b, x, work, demo_linux):
    folder = os.path.join(work, "console")
    make_level(b, demo_linux, folder, dict(CONSOLE_LEVEL, effects=[], ini=CONSOLE_LEVEL["ini"] %
                                           CONSOLE_SCREEN), lights=CONSOLE_LEVEL["lights"])
    lin = os.path.join(work, "console-linux.png")
    win = os.path.join(work, "console-wine.png")
    env = dict(os.environ, DISPLAY=x.display, MESHES_BENCH="120", MESHES_NO_DIALOGS="1")
    env.pop("MESHES_PLATFORM", None)
    proc = subprocess.Popen([b.meshes], cwd=folder, env=env, stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)
    try:
        lin_ok = shoot_console("Linux", proc, x.display, lin)
    finally:
        proc.terminate()
        proc.wait(60)
    size = lin_ok is True and subprocess.run(["identify", "-format", "%w %h", lin],
                                             capture_output=True).stdout.split()
    size = tuple(int(v) for v in size) if size else None
    # The two window systems take frames and captions of other sizes from the same outer size.
    # Wine's window is made as much larger or smaller as it takes to get the same client area,
    # and so the same back buffer: the panel lies at the same pixels over the same scene.
    screen = CONSOLE_SCREEN
    win_ok = False
    env = dict(os.environ, DISPLAY=x.display)
    for _ in range(2):
        with open(os.path.join(folder, "ini.txt"), "w") as f:
            f.write(CONSOLE_LEVEL["ini"] % screen)
        proc = b.wine_popen("meshes.exe", [], cwd=folder, env=env, stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)
        try:
            win_ok = shoot_console("Wine", proc, x.display, win, size)
            r = b.wine("close_window.exe", ["Zarvik", "60"], env=env, timeout=120)
            if r.returncode != 0:
                fail("console: close_window: %s" % r.stderr.decode(errors="replace").strip())
            proc.wait(60)
        finally:
            if proc.poll() is None:
                proc.kill()
        if not isinstance(win_ok, tuple):
            break
        screen = (screen[0] + size[0] - win_ok[0], screen[1] + size[1] - win_ok[1])
    if lin_ok is not True or win_ok is not True:
        fail("console: no picture with the console shown (Linux: %s; Wine: %s)" %
             (lin_ok if lin_ok is not True else "shot", win_ok if win_ok is not True else "shot"))
        return
    compare_drawn("console", lin, win)


def main():
    if len(sys.argv) != 3:
        print(__doc__)
        return 2
    b = Builds(sys.argv[1], sys.argv[2])
    demo_linux = os.path.join(b.linux, "demo")
    work = tempfile.mkdtemp(prefix="wine-checks-")
    check_demo_identical(b, work)

    with Xvfb() as x:
        # Every Wine program sees the private display, also the desktop process that the first
        # one starts and the server keeps.
        os.environ["DISPLAY"] = x.display
        b.start_server()
        try:
            run_all(b, x, work, demo_linux)
        finally:
            b.stop_server()
    if failures:
        print("Files kept in " + work)
        print("%d Wine check(s) failed." % len(failures))
        return 1
    shutil.rmtree(work, ignore_errors=True)
    print("All Wine checks passed.")
    return 0


def check_fxtool(b, demo_linux):
    """fxtool.exe goes through the real D3DX's effect compiler, which Wine 8 does not have: it
    must say so and fail with exit code 1 rather than crash."""
    effect = os.path.join(demo_linux, "fx", "ald_Phong.fx")
    r = b.wine("fxtool.exe", ["check", effect])
    out = r.stdout.decode(errors="replace")
    if r.returncode not in (0, 1) or not re.search(r"ald_Phong\.fx: (ok|failed)", out):
        fail("fxtool.exe check ended with %d: %r" % (r.returncode, out))
    if b.wine("fxtool.exe", ["check"]).returncode != 2:
        fail("fxtool.exe check without a file is not a usage error")


def run_all(b, x, work, demo_linux):
    check_fxtool(b, demo_linux)
    levels = [("demo", os.path.join(work, "demo"), None)]
    shutil.copytree(demo_linux, levels[0][1],
                    ignore=shutil.ignore_patterns("CMakeFiles", "cmake_install.cmake", "LOG.dr"))
    for name, layout in LEVELS.items():
        folder = os.path.join(work, name)
        make_level(b, demo_linux, folder, layout)
        levels.append((name, folder, layout))
    for name, folder, layout in levels:
        lin = run_linux(b, folder, x.display)
        keep = os.path.join(work, name + "-linux-LOG.dr")
        if os.path.exists(lin):
            shutil.copy(lin, keep)
        win = run_wine(b, folder, x.display)
        source = os.path.join(ROOT, "demo", "trees", "POLYGON01.txt") if layout is None \
            else os.path.join(folder, "POLYGON01.txt")
        compare_logs(name, read_log(b, keep) if os.path.exists(keep) else None,
                     read_log(b, win) if os.path.exists(win) else None,
                     effect_files_of(source))
        if os.path.exists(win):
            shutil.copy(win, os.path.join(work, name + "-wine-LOG.dr"))

    # drtool round trips over the demo's tree files, the levels made here and the logs written.
    files, seen = [], set()
    for f in (tree_files(demo_linux) + tree_files(os.path.join(work, "faults")) +
              [os.path.join(work, n) for n in sorted(os.listdir(work)) if n.endswith("LOG.dr")]):
        data = open(f, "rb").read()
        if data not in seen:
            seen.add(data)
            files.append(f)
    check_drtool(b, files, work)
    if os.environ.get("WINE_PICTURES", "1") != "0":
        compare_pictures(b, x, work, demo_linux)
        compare_xfiles(b, x, work, demo_linux)
        compare_console(b, x, work, demo_linux)


if __name__ == "__main__":
    sys.exit(main())
