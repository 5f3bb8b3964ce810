#!/usr/bin/env python3
"""Frame times of the arm64 build run under qemu-aarch64, beside the native build's, and what
they say about a Raspberry Pi. Writes bench/RESULTS-arm64.md (`make bench-arm64`).

No Pi is at hand, so the Pi figure is an estimate: the native CPU time of a frame times how much
slower a Pi core is than this machine's for such code (PI_SLOWDOWN below: single-thread
integer benchmarks put a Pi 4's Cortex-A72 at about a fifth of a current server x86 core and a
Pi 5's Cortex-A76 at about half; rounded up here). The emulated run checks the arm64 build takes
no slow path of its own: emulation alone costs this machine several times its native speed, so
an emulated frame far beyond native x that factor would be a finding of its own.
CPU time per frame is used, not wall time: the machine's cores are shared while it runs.
"""
import json
import os
import platform
import shutil
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
PI_SLOWDOWN = {"Pi 4 (Cortex-A72, 1.5-1.8 GHz)": 6.0, "Pi 5 (Cortex-A76, 2.4 GHz)": 2.5}
BUDGET_MS = 16.0


def run(cmd):
    out = subprocess.run(cmd + ["--benchmark_format=json", "--benchmark_filter=Frame"],
                         env=dict(os.environ, SDL_VIDEODRIVER="dummy"), capture_output=True, text=True,
                         check=True).stdout
    res = {}
    for b in json.loads(out)["benchmarks"]:
        name = b["name"].split("/min_time")[0]
        size = "1024x768" if name == "FullFieldFrame" else "x".join(name.split("/")[1:3])
        res[size] = {"cpu_ms": b["cpu_time"], "p50_ms": b["p50_ms"], "p99_ms": b["p99_ms"]}
    return res


def cpu_name():
    try:
        with open("/proc/cpuinfo") as f:
            for line in f:
                if line.startswith("model name"):
                    return line.split(":", 1)[1].strip()
    except OSError:
        pass
    return platform.machine()


def main():
    native_build, arm_build = sys.argv[1], sys.argv[2]
    qemu = shutil.which("qemu-aarch64")
    if not qemu:
        sys.exit("qemu-aarch64 is missing (make deps-arm64 installs qemu-user)")
    native = run([os.path.join(native_build, "tavrick_engine_bench")])
    arm = run([qemu, os.path.join(arm_build, "tavrick_engine_bench")])
    lines = ["# Frame times for a Raspberry Pi", "",
             "Written by `make bench-arm64` (bench/arm64_frame.py); how the estimate is made is said there.",
             "A full field (60 cards) drawn by the software renderer, CPU time per frame (ms).", "",
             "| window | native | arm64 under qemu | emulation factor | "
             + " | ".join(f"estimate, {k}" for k in PI_SLOWDOWN) + " |",
             "|---" * (4 + len(PI_SLOWDOWN)) + "|"]
    worst = 0.0
    for size in ("640x480", "800x600", "1024x768"):
        n, a = native[size], arm[size]
        est = [n["cpu_ms"] * f for f in PI_SLOWDOWN.values()]
        worst = max(worst, *est)
        lines.append(f"| {size} | {n['cpu_ms']:.2f} | {a['cpu_ms']:.2f} | {a['cpu_ms'] / n['cpu_ms']:.1f}x | "
                     + " | ".join(f"{e:.1f}" for e in est) + " |")
    lines += ["", f"Budget for a frame at 60 Hz: {BUDGET_MS:.0f} ms; the largest estimate is {worst:.1f} ms.",
              f"Machine: {os.cpu_count()} cores, {cpu_name()}, "
              f"{platform.platform()}.", ""]
    text = "\n".join(lines)
    with open(os.path.join(ROOT, "bench", "RESULTS-arm64.md"), "w") as f:
        f.write(text)
    print(text)


if __name__ == "__main__":
    main()
