#!/usr/bin/env python3
"""How long a start takes with a saved field of many loose cards, and how long the quit.

    bench/field_load.py BUILD_DIR [COUNT...]      (default counts: 10000 30000 60000)

Each count gets a field.json of that many cards off the slots in a data folder of its own; the
probe (tavrick-cards-probe, built by `make bench`) starts on an Xvfb of its own. Prints, per
count, the file's size, the time from the process start to the first frame, from SIGTERM to
the process's end, and the notice when the start refused the file. run.py reports the
10,000-card start in bench/RESULTS.md."""

import json
import os
import random
import shutil
import signal
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.dont_write_bytecode = True
KINDS = ["led-on", "led-off", "wait-1", "wait-3", "wait-5", "wait-10"]
LIMIT = 120.0


def write_field(folder, count):
    rng = random.Random(count)
    cards = [{"kind": KINDS[i % 6], "x": rng.randint(700, 2000), "y": rng.randint(200, 4000)}
             for i in range(count)]
    os.makedirs(folder, exist_ok=True)
    path = os.path.join(folder, "field.json")
    with open(path, "w") as f:
        json.dump({"format": "tavrick-cards", "version": 1, "target": "Dov", "cards": cards}, f,
                  separators=(",", ":"))
    return os.path.getsize(path)


def start(build, count):
    """{"bytes", "first_frame_s", "quit_s", "kept_aside"} for one start with `count` cards."""
    data = tempfile.mkdtemp(prefix="tavrick-load-")
    try:
        size = write_field(os.path.join(data, "tavrick-cards"), count)
        t0 = time.monotonic()
        proc = subprocess.Popen([os.path.join(build, "tavrick-cards-probe")], stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE, text=True,
                                env=dict(os.environ, XDG_DATA_HOME=data, SDL_AUDIODRIVER="dummy"))
        first = None
        deadline = t0 + LIMIT
        while first is None and time.monotonic() < deadline:
            line = proc.stdout.readline()
            if not line:
                break
            key, _, value = line.partition(" ")
            if key == "first-frame":
                first = time.monotonic() - t0
        t1 = time.monotonic()
        proc.send_signal(signal.SIGTERM)
        try:
            proc.communicate(timeout=LIMIT)
            quit_s = time.monotonic() - t1
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.communicate()
            quit_s = None
        kept = any(n.startswith("field.json.bad-") for n in os.listdir(os.path.join(data, "tavrick-cards")))
        return {"cards": count, "bytes": size, "first_frame_s": first, "quit_s": quit_s, "kept_aside": kept}
    finally:
        shutil.rmtree(data, ignore_errors=True)


def main():
    build = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(HERE, "..", "build"))
    counts = [int(a) for a in sys.argv[2:]] or [10000, 30000, 60000]
    from run import Xvfb
    with Xvfb():
        for n in counts:
            r = start(build, n)
            fmt = lambda s: "never" if s is None else "%.2f s" % s
            print("%6d cards, %5.2f MB: first frame after %s, quit took %s%s" % (
                n, r["bytes"] / 1e6, fmt(r["first_frame_s"]), fmt(r["quit_s"]),
                ", the file was kept aside (refused)" if r["kept_aside"] else ""), flush=True)


if __name__ == "__main__":
    main()
