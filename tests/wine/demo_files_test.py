#!/usr/bin/env python3
"""The Windows stage's demo comparison after a run of the demo: files a run leaves in the Linux
build's demo folder (a screenshot, the log, a level file edited to try live reload) do not
count; a file the Windows build lays out differently does.

  demo_files_test.py LINUX_BUILD
"""
import os
import shutil
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import wine_checks  # noqa: E402


def main():
    build = os.path.abspath(sys.argv[1])
    work = tempfile.mkdtemp(prefix="demo-files-")
    try:
        # A Linux build whose demo folder a run has used, and a Windows build laid out as the
        # Linux build makes it.
        lin, win = os.path.join(work, "lin"), os.path.join(work, "win")
        for side in (lin, win):
            shutil.copytree(os.path.join(build, "demo"), os.path.join(side, "demo"),
                            ignore=shutil.ignore_patterns("CMakeFiles", "*.png", "LOG.dr"))
            shutil.copy(os.path.join(build, "demo_files.txt"), side)
        os.makedirs(os.path.join(lin, "tools", "drtool"))
        os.symlink(os.path.join(build, "tools", "drtool", "drtool"),
                   os.path.join(lin, "tools", "drtool", "drtool"))
        for name in ("demo.png", "screenshot-1.png", "LOG.dr"):
            open(os.path.join(lin, "demo", name), "wb").write(b"left by a run")
        open(os.path.join(lin, "demo", "POLYGON01"), "ab").write(b"edited")
        b = wine_checks.Builds(lin, win)
        wine_checks.check_demo_identical(b, work)
        ok = not wine_checks.failures
        if not ok:
            print("FAIL: files left by a run were compared")
        # A difference in what the Windows build makes is still found.
        open(os.path.join(win, "demo", "ini.txt"), "ab").write(b"\n")
        wine_checks.failures.clear()
        wine_checks.check_demo_identical(b, work)
        if wine_checks.failures != ["demo file ini.txt differs between the builds"]:
            print("FAIL: a changed ini.txt gave %r" % wine_checks.failures)
            ok = False
        return 0 if ok else 1
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
