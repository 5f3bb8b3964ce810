#!/usr/bin/env python3
"""Start to first frame of the Windows build under wine, on an X server of its own:
    bench/win_first_frame.py [WINDOWS_BUILD] [STARTS]   (make windows first)
Each start runs `wine tavrick-cards-probe.exe` in a warm prefix (its first start is not
counted) and reads the probe's first-frame line (wall clock); prints each start and the median."""

import os
import statistics
import subprocess
import sys
import time

from run import Xvfb  # the X server and session bus the native starts are measured on

ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
BUILD = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "build", "windows"))
STARTS = int(sys.argv[2]) if len(sys.argv) > 2 else 10


def start_once(env):
    t0 = time.time()
    p = subprocess.Popen(["wine", os.path.join(BUILD, "app", "tavrick-cards-probe.exe")],
                         stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True, env=env)
    try:
        for line in p.stdout:
            key, _, value = line.partition(" ")
            if key == "first-frame":
                return float(value) - t0
        raise RuntimeError("the probe ended before its first frame")
    finally:
        p.kill()
        p.wait()
        subprocess.run(["wineserver", "-w"], env=env)


def main():
    with Xvfb():
        env = dict(os.environ, WINEPREFIX=os.path.join(BUILD, "wine-bench"), WINEDEBUG="-all",
                   WINEDLLOVERRIDES="mscoree,mshtml=")
        start_once(env)  # makes the prefix
        times = []
        for i in range(STARTS):
            times.append(start_once(env))
            print("start %d: first frame after %.0f ms" % (i + 1, times[-1] * 1000), flush=True)
        print("median start to first frame under wine: %.0f ms" % (statistics.median(times) * 1000))


if __name__ == "__main__":
    main()
