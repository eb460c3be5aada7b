#!/usr/bin/env python3
"""Writes a benchmark level: N copies of one textured sphere (2000 triangles) on a grid, lit
by L lights, seen by one camera that frames the whole grid.

    python3 bench/frame/make_level.py N L OUTDIR [--spacing RADII] [--far-first] [--two-sided]
                                      [--wide [--cut]] [--drtool PATH] [--build BUILD]

OUTDIR becomes a complete level directory that meshes runs in: "POLYGON01", the object file,
the mesh, the texture, the default textures, the Phong effect, the command base, ini.txt
(640 x 480) and mouse.cur. Tree files are written in drtool's text form (kept as *.txt next to
the result) and compiled with drtool. The same scene is also written to scene.txt, the plain
list the minimal OpenGL program (bench/frame/minimal_gl.cpp) draws from.

--spacing sets the grid step in sphere radii (default 2.8, 70 units; 3 packs them so that they
overlap on screen); --far-first lists the spheres farthest from the camera first, so that
they are drawn back to front. --wide spreads the spheres over a square 6 radii apart and puts the camera
inside it near the floor, looking ahead and down, so that about a tenth of them are in view;
--cut then keeps only the spheres the camera sees (any part of them inside its view volume),
the same frame with the rest left out.

The effect is the demo's Phong effect with back faces culled in both techniques (CullMode CCW,
as the minimal program culls them in every pass); --two-sided keeps the demo's CullMode None
in both, and the minimal program then draws both sides too.
"""
import argparse
import math
import os
import shutil
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.normpath(os.path.join(HERE, "..", ".."))
DEMO = os.path.join(ROOT, "demo")
sys.path.insert(0, os.path.join(DEMO, "tools"))
import make_assets  # noqa: E402  (the demo's .x and BMP writers)

RADIUS = 25.0     # sphere radius; it rests on y = 0, so its centre is at y = 25
SPACING = 70.0    # default grid step between sphere centres (2.8 radii)
WIDE_SPACING = 6.0 * RADIUS
# The engine's projection: vertical field of view, aspect ratio, near and far planes.
FOV_Y, ASPECT, Z_NEAR, Z_FAR = math.pi / 4, 4.0 / 3.0, 1.0, 15000.0
SLICES, STACKS = 40, 26   # 40 * 2 * (26 - 1) = 2000 triangles
SCREEN = (640, 480)
# The client area of a SCREEN-sized window with a caption and a sizing frame (8 pixels a side,
# 23 more on top): what the engine's back buffer gets, and the minimal program's window.
CLIENT = (SCREEN[0] - 16, SCREEN[1] - 39)
LIGHT_COLOURS = [(1.0, 0.85, 0.65), (0.3, 0.5, 1.0), (0.35, 1.0, 0.4), (1.0, 0.35, 0.3),
                 (0.9, 0.9, 0.3), (0.8, 0.4, 1.0), (0.3, 0.95, 0.95), (1.0, 1.0, 1.0)]


def grid(n, spacing=SPACING):
    """Sphere centres on the floor: a square grid of ceil(sqrt(n)) columns, centred on 0."""
    cols = max(1, math.ceil(math.sqrt(n)))
    rows = math.ceil(n / cols)
    out = []
    for k in range(n):
        i, j = k % cols, k // cols
        out.append(((i - (cols - 1) / 2) * spacing, 0.0, (j - (rows - 1) / 2) * spacing))
    return out, (max(cols, rows) - 1) / 2 * spacing


def camera(extent):
    """Eye and look-at point: above and in front of the grid, far enough for all of it to show."""
    half = extent + RADIUS * 1.3
    d = half / math.tan(math.pi / 8) + RADIUS
    return (0.0, 0.75 * d + RADIUS, -d), (0.0, RADIUS, 0.0)


def sub(a, b):
    return tuple(x - y for x, y in zip(a, b))


def dot(a, b):
    return sum(x * y for x, y in zip(a, b))


def cross(a, b):
    return (a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0])


def unit(a):
    n = math.sqrt(dot(a, a))
    return tuple(x / n for x in a)


def in_view(centre, eye, look):
    """Whether any part of a sphere (its centre on the floor, lifted by RADIUS) lies inside the
    camera's view volume: its bounding sphere against the six planes."""
    z = unit(sub(look, eye))
    x = unit(cross((0.0, 1.0, 0.0), z))
    y = cross(z, x)
    c = sub((centre[0], centre[1] + RADIUS, centre[2]), eye)
    cx, cy, cz = dot(c, x), dot(c, y), dot(c, z)
    r = RADIUS * 1.01
    if cz < Z_NEAR - r or cz > Z_FAR + r:
        return False
    ty = math.tan(FOV_Y / 2)
    tx = ty * ASPECT
    # Distance to each side plane through the eye: the plane x = tx * z has the normal
    # (1, 0, -tx) / sqrt(1 + tx^2).
    for t, v in ((tx, cx), (ty, cy)):
        k = math.sqrt(1 + t * t)
        if (v - t * cz) / k > r or (-v - t * cz) / k > r:
            return False
    return True


def wide_camera(centres, extent):
    """Eye near the floor at the middle of one side, looking across and down: the pitch is the
    one that leaves the count of spheres in view closest to a tenth of them."""
    eye = (0.0, 4 * RADIUS, -extent * 0.55)
    best = None
    for step in range(1, 450):
        drop = math.tan(math.radians(step * 0.1))
        look = (eye[0], eye[1] - drop * 100.0, eye[2] + 100.0)
        seen = sum(1 for c in centres if in_view(c, eye, look))
        score = abs(seen - len(centres) / 10)
        if best is None or score < best[0]:
            best = (score, look)
    return eye, best[1]


def lights(count, extent):
    """Lights on a ring above the grid, each reaching every sphere."""
    out = []
    ring = extent + 120.0
    for i in range(count):
        a = 2 * math.pi * i / count - math.pi / 3   # the first light in front, to the right
        out.append({
            "name": "light%d" % (i + 1),
            "pos": (ring * math.cos(a), 160.0 + extent * 0.5, ring * math.sin(a)),
            "colour": LIGHT_COLOURS[i % len(LIGHT_COLOURS)],
            "falloff": 4.0 * ring + 400.0,
            "specular": 16.0,
            "specular_intensity": 0.4,
            "ambient": 0.08 if i == 0 else 0.0,
            "attenuation": 0.5,
        })
    return out


def num(x):
    return ("%.4f" % x).rstrip("0").rstrip(".") if abs(x) > 1e-9 else "0"


def vec(v):
    return " ".join(num(c) for c in v)


def level_text(n, l, centres, eye, look, light_list):
    out = ["# Benchmark level: %d spheres, %d lights (bench/frame/make_level.py)." % (n, l),
           "POLYGON01 {"]
    out.append("    _LIGHTS_ { %s }" % " ".join(x["name"] for x in light_list))
    for x in light_list:
        out += ["    %s {" % x["name"],
                "        _POSITION_ { %s }" % vec(x["pos"]),
                "        _COLOR_ { %s }" % vec(x["colour"]),
                "        _FALLOFF_ { %s }" % num(x["falloff"]),
                "        _SPECULAR_ { %s }" % num(x["specular"]),
                "        _SPECULAR_INTENSY_ { %s }" % num(x["specular_intensity"]),
                "        _AMBIENT_ { %s }" % num(x["ambient"]),
                "        _ATTENUATION_ { %s }" % num(x["attenuation"]),
                "    }"]
    out.append("    _OBJECTS_ {")
    for k, c in enumerate(centres):
        out += ["        ball%d {" % (k + 1),
                "            _OBJECT_TYPE_ { _OBJECT_SIMPLE_ }",
                '            _OBJECT_PATH_ { "objects\\\\ball.dr" }',
                "            _POSITION_ { %s }" % vec(c),
                "            _ROTATION_ { 0 0 0 }",
                "        }"]
    out.append("    }")
    out += ["    _CAMERAS_ { view }",
            "    view {",
            "        _POSITION_ { %s }" % vec(eye),
            "        _LOOK_ { %s }" % vec(look),
            "        _UP_ { 0 1 0 }",
            "        _MOVESPEED_ { 2 }",
            "    }",
            "    _EFFECTS_ { phong }",
            "    phong {",
            '        _FILE_FX_ { "fx\\\\ald_Phong.fx" }',
            "        _FILE_ { none }",
            "    }",
            "}"]
    return "\n".join(out) + "\n"


def scene_text(centres, eye, look, light_list, two_sided):
    """The same scene for the minimal program: one record a line, numbers separated by blanks."""
    out = ["# mesh, texture, camera (eye, look-at), then one line a light and one an object",
           "cull %s" % ("none" if two_sided else "back"),
           "mesh meshes/ball.x",
           "texture textures/ball.bmp",
           "screen %d %d" % SCREEN,
           "client %d %d" % CLIENT,
           "camera %s %s" % (vec(eye), vec(look))]
    for x in light_list:
        out.append("light %s %s %s %s %s %s %s" % (
            vec(x["pos"]), vec(x["colour"]), num(x["falloff"]), num(x["specular"]),
            num(x["specular_intensity"]), num(x["ambient"]), num(x["attenuation"])))
    for c in centres:
        out.append("object %s" % vec(c))
    return "\n".join(out) + "\n"


def ball_texture(x, y):
    """128 x 128: a marble-like pattern with a darker band every 32 texels, so the lighting
    and the texture lookups both show."""
    r, g, b = make_assets.marble(x % 64, y % 64)
    k = 0.7 if (y // 32) % 2 else 1.0
    return (r * k, g * k, b * k)


def phong_effect(two_sided, onepass=False):
    """The demo's Phong effect (with --onepass, demo_onepass's, which also takes three lights in
    one pass); unless two-sided, every technique culls back faces."""
    path = os.path.join(DEMO, "onepass", "fx", "ald_Phong.fx") if onepass else os.path.join(DEMO, "fx", "ald_Phong.fx")
    with open(path) as f:
        text = f.read()
    if two_sided:
        return text
    culled = text.replace("CullMode = None;", "CullMode = CCW;")
    if culled.count("CullMode = CCW;") != (4 if onepass else 2):
        raise SystemExit("make_level.py: %s no longer sets CullMode = None in its techniques" % path)
    return culled


def compile_tree(drtool, text_path, out_path):
    subprocess.run([drtool, "build", text_path, out_path], check=True)


def main(argv):
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("spheres", type=int)
    ap.add_argument("lights", type=int)
    ap.add_argument("outdir")
    ap.add_argument("--spacing", type=float, default=SPACING / RADIUS,
                    help="grid step in sphere radii (default 2.8)")
    ap.add_argument("--far-first", action="store_true",
                    help="list the spheres farthest from the camera first")
    ap.add_argument("--onepass", action="store_true",
                    help="the effect also offers ald_Phong_lights: up to three lights in one pass")
    ap.add_argument("--two-sided", action="store_true",
                    help="draw both sides of the spheres (no culling) in every pass")
    ap.add_argument("--wide", action="store_true",
                    help="spread wide, the camera seeing about a tenth of the spheres")
    ap.add_argument("--cut", action="store_true",
                    help="with --wide: keep only the spheres in view")
    ap.add_argument("--drtool", help="path of drtool (default: BUILD/tools/drtool/drtool)")
    ap.add_argument("--build", default=os.path.join(ROOT, "build"), help="build folder")
    a = ap.parse_args(argv)
    if a.spheres < 1 or a.spheres > 10000 or a.lights < 1 or a.lights > 64:
        ap.error("spheres must be 1..10000 and lights 1..64")
    if not 2.0 <= a.spacing <= 100.0:
        ap.error("spacing must be 2..100 radii")
    if a.cut and not a.wide:
        ap.error("--cut goes with --wide")
    drtool = a.drtool or os.path.join(a.build, "tools", "drtool", "drtool")
    if not os.access(drtool, os.X_OK):
        ap.error("drtool not found at %s (build it, or pass --drtool)" % drtool)

    out = a.outdir
    for d in ("meshes", "objects", "fx", os.path.join("textures", "_def"), "Wendlor2.0"):
        os.makedirs(os.path.join(out, d), exist_ok=True)

    if a.wide:
        centres, extent = grid(a.spheres, WIDE_SPACING)
        eye, look = wide_camera(centres, extent)
        if a.cut:
            centres = [c for c in centres if in_view(c, eye, look)]
    else:
        centres, extent = grid(a.spheres, a.spacing * RADIUS)
        eye, look = camera(extent)
    if a.far_first:
        centres.sort(key=lambda c: -dot(sub(c, eye), sub(c, eye)))
    light_list = lights(a.lights, extent)

    mesh = make_assets.sphere_mesh(radius=RADIUS, slices=SLICES, stacks=STACKS, lift=RADIUS)
    mesh.mats = [make_assets.material((1.0, 1.0, 1.0, 1.0), 32.0, (0.5, 0.5, 0.5), "ball.bmp")]
    x_path = os.path.join(out, "meshes", "ball.x")
    make_assets.write_x(x_path, "ball", mesh)
    with open(x_path) as f:
        x_text = f.read().replace("demo/tools/make_assets.py", "bench/frame/make_level.py", 1)
    with open(x_path, "w") as f:
        f.write(x_text)
    make_assets.write_bmp(os.path.join(out, "textures", "ball.bmp"), 128, 128, ball_texture)
    for name in os.listdir(os.path.join(DEMO, "textures", "_def")):
        shutil.copy(os.path.join(DEMO, "textures", "_def", name),
                    os.path.join(out, "textures", "_def", name))
    with open(os.path.join(out, "fx", "ald_Phong.fx"), "w") as f:
        f.write(phong_effect(a.two_sided, a.onepass))
    shutil.copy(os.path.join(DEMO, "mouse.cur"), os.path.join(out, "mouse.cur"))
    with open(os.path.join(out, "ini.txt"), "w") as f:
        f.write("[SCREEN] = %d, %d\n[BACK_RENDERER_COLOR] = 24, 28, 40\n"
                "[MULTISAMPLE_TYPE] = 0\n[MULTISAMPLEANTIALIAS] = 0\n[FILLMODE] = 3\n" % SCREEN)

    texts = {
        "POLYGON01": level_text(len(centres), a.lights, centres, eye, look, light_list),
        os.path.join("objects", "ball.dr"):
            'ball {\n    _MODEL_FILE_ { "meshes\\\\ball.x" }\n    _FX_ { phong }\n}\n',
    }
    for target, text in texts.items():
        text_path = os.path.join(out, target + ".txt")
        with open(text_path, "w") as f:
            f.write(text)
        compile_tree(drtool, text_path, os.path.join(out, target))
    compile_tree(drtool, os.path.join(DEMO, "trees", "GlobalCommandBase.txt"),
                 os.path.join(out, "GlobalCommandBase.DR"))
    with open(os.path.join(out, "scene.txt"), "w") as f:
        f.write(scene_text(centres, eye, look, light_list, a.two_sided))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
