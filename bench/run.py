#!/usr/bin/env python3
"""Measures the product against the browser block editor peer and prints one table.

    bench/run.py BUILD_DIR [WINDOWS_BUILD_DIR [WEB_SITE_DIR]]

Every figure comes from the runs this script makes; the table it prints is also written to
bench/RESULTS.md together with a description of the machine.
"""

import http.server
import json
import os
import platform
import shutil
import signal
import socketserver
import statistics
import subprocess
import sys
import tempfile
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
BUILD = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "build"))
WINDOWS_BUILD = os.path.abspath(sys.argv[2] if len(sys.argv) > 2 else os.path.join(BUILD, "windows"))
WEB_SITE = os.path.abspath(sys.argv[3] if len(sys.argv) > 3 else os.path.join(BUILD, "web", "site"))
STARTS = 7
# Starts are a user's, not a loop's: each begins once the last one's teardown has settled.
START_GAP = 0.5
IDLE_SECONDS = 10
TICK = os.sysconf("SC_CLK_TCK")


# --- processes -----------------------------------------------------------------------------

def children(pid):
    """pid and every descendant of it."""
    out, todo = [], [pid]
    table = {}
    for p in os.listdir("/proc"):
        if p.isdigit():
            try:
                with open(f"/proc/{p}/stat") as f:
                    ppid = int(f.read().rsplit(")", 1)[1].split()[1])
                table.setdefault(ppid, []).append(int(p))
            except OSError:
                pass
    while todo:
        p = todo.pop()
        out.append(p)
        todo.extend(table.get(p, []))
    return out


def pss_kb(pids):
    total = 0
    for p in pids:
        try:
            with open(f"/proc/{p}/smaps_rollup") as f:
                for line in f:
                    if line.startswith("Pss:"):
                        total += int(line.split()[1])
        except OSError:
            pass
    return total


def cpu_seconds(pids):
    total = 0
    for p in pids:
        try:
            with open(f"/proc/{p}/stat") as f:
                fields = f.read().rsplit(")", 1)[1].split()
            total += (int(fields[11]) + int(fields[12])) / TICK
        except OSError:
            pass
    return total


def idle_share(pid):
    pids = children(pid)
    c0, t0 = cpu_seconds(pids), time.monotonic()
    time.sleep(IDLE_SECONDS)
    return 100.0 * (cpu_seconds(children(pid)) - c0) / (time.monotonic() - t0)


class Xvfb:
    def __enter__(self):
        for n in range(140, 200):
            if not os.path.exists(f"/tmp/.X11-unix/X{n}") and not os.path.exists(f"/tmp/.X{n}-lock"):
                break
        self.display = f":{n}"
        self.proc = subprocess.Popen(["Xvfb", self.display, "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        for _ in range(100):
            if os.path.exists(f"/tmp/.X11-unix/X{n}"):
                break
            time.sleep(0.05)
        os.environ["DISPLAY"] = self.display
        # A desktop session has a session bus; without one every program that asks for it
        # (SDL's input-method set-up does) first tries to start one, which no desktop pays.
        self.bus = None
        if shutil.which("dbus-daemon"):
            self.bus = subprocess.Popen(["dbus-daemon", "--session", "--nofork", "--print-address=1"],
                                        stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
            address = self.bus.stdout.readline().strip()
            if address:
                os.environ["DBUS_SESSION_BUS_ADDRESS"] = address
        return self

    def __exit__(self, *a):
        if self.bus:
            self.bus.terminate()
            self.bus.wait()
        self.proc.terminate()
        self.proc.wait()


# --- the product ---------------------------------------------------------------------------

class Probe:
    """The product's probe, started with its own empty data folder (the user's saved field is
    neither read nor overwritten); reads its "key value" lines up to the first scan's report."""

    def __init__(self, fill=False, try_run=False):
        self.data = tempfile.mkdtemp(prefix="tavrick-bench-")
        args = [os.path.join(BUILD, "tavrick-cards-probe")] + (["--fill"] if fill else []) + \
            (["--try"] if try_run else [])
        self.t0 = time.monotonic()
        self.proc = subprocess.Popen(args, stdout=subprocess.PIPE, text=True,
                                     env=dict(os.environ, XDG_DATA_HOME=self.data))
        self.seen = {}
        self.read_until("scan-reported")
        self.pid = self.proc.pid

    def read_until(self, key):
        while key not in self.seen:
            line = self.proc.stdout.readline()
            if not line:
                raise RuntimeError("the probe ended before it said " + key)
            k, v = line.split()
            self.seen[k] = float(v)

    def stage(self, key):
        return self.seen[key] - self.t0

    def saved_field(self):
        return os.path.join(self.data, "tavrick-cards", "field.json")

    def stop(self):
        self.proc.send_signal(signal.SIGTERM)
        try:
            self.read_until("end")
            self.proc.wait(5)
        except (subprocess.TimeoutExpired, RuntimeError):
            self.proc.kill()
            self.proc.wait()
        shutil.rmtree(self.data, ignore_errors=True)


STAGES = [("main", "process start to main(): loading the shared libraries"),
          ("window-open", "main() to the window open (X11, SDL; the pictures decode meanwhile)"),
          ("screen-built", "window open to the screen built (labels, nodes; decoded pictures taken)"),
          ("first-frame", "screen built to the first frame shown (textures, scaling, drawing, present)")]


def measure_product():
    stages = {key: [] for key, _ in STAGES}
    for _ in range(STARTS):
        p = Probe()
        last = 0.0
        for key, _ in STAGES:
            stages[key].append(p.stage(key) - last)
            last = p.stage(key)
        p.stop()
        time.sleep(START_GAP)
    start_ms = 1000 * statistics.median(sum(stages[k][i] for k, _ in STAGES) for i in range(STARTS))
    p = Probe()
    time.sleep(1.0)
    pss_start = pss_kb([p.pid])
    idle = idle_share(p.pid)
    watching = bool(p.seen.get("watching"))
    p.stop()
    # A full field laid as one edit: the autosave's file is on disk how long after?
    to_disk = []
    for _ in range(3):
        p = Probe(fill=True)
        deadline = time.monotonic() + 10
        while not os.path.exists(p.saved_field()) and time.monotonic() < deadline:
            time.sleep(0.002)
        to_disk.append(time.monotonic() - p.seen["scan-reported"] if os.path.exists(p.saved_field()) else None)
        time.sleep(1.0)
        pss_full = pss_kb([p.pid])
        p.stop()
    # The screen's board in a ten-second wait (of two in a row): the countdown is all it draws.
    p = Probe(try_run=True)
    time.sleep(0.5)
    waiting = idle_share(p.pid)
    p.stop()
    sim_fps = (p.seen["frames-end"] - p.seen["frames-then"]) / (p.seen["end"] - p.seen["scan-reported"])
    return {"start_ms": start_ms, "pss_mb": pss_start / 1024, "pss_full_mb": pss_full / 1024,
            "idle_pct": idle, "watching": watching, "sim_wait_pct": waiting, "sim_fps": sim_fps,
            "to_disk_s": None if None in to_disk else max(to_disk),
            "stages_ms": {k: 1000 * statistics.median(v) for k, v in stages.items()}}


def measure_frames():
    out = subprocess.run([os.path.join(BUILD, "tavrick_engine_bench"), "--benchmark_format=json"],
                         env=dict(os.environ, SDL_VIDEODRIVER="dummy"), capture_output=True, text=True,
                         check=True).stdout
    res = {}
    for b in json.loads(out)["benchmarks"]:
        if b["name"].startswith("FullFieldFrame"):
            res["frame_p50_ms"] = b["p50_ms"]
            res["frame_p99_ms"] = b["p99_ms"]
        elif b["name"].startswith("AutosaveOnTheMainThread"):
            res["autosave_p99_ms"] = b["p99_ms"]
        elif b["name"].startswith("SnapSearch"):
            res["snap_us"] = b["real_time"] if b["time_unit"] == "us" else b["real_time"] / 1000
        elif b["name"].startswith("CardsAddedAndRemoved/"):
            res["cards_%s_ms" % b["name"].split("/")[1]] = b["real_time"]
    return res


def measure_big_field():
    """The start with a saved field of 10,000 loose cards (field_load.py), median of 3."""
    import field_load
    starts = [field_load.start(BUILD, 10000)["first_frame_s"] for _ in range(3)]
    return None if None in starts else statistics.median(starts)


def measure_send():
    emulator = os.path.join(ROOT, "tools", "board-emulator", "board_emulator.py")
    with tempfile.TemporaryDirectory() as tmp:
        report = os.path.join(tmp, "report.json")
        em = subprocess.Popen([sys.executable, emulator, "--board", "dov", "--idle", "3", "--report", report],
                              stdout=subprocess.PIPE, text=True)
        path = em.stdout.readline().strip()
        out = subprocess.run([os.path.join(BUILD, "tavrick_send_bench"), path],
                             env=dict(os.environ, SDL_VIDEODRIVER="dummy"), capture_output=True, text=True)
        em.wait(30)
        r = json.loads(out.stdout)
        with open(report) as f:
            board = json.load(f)
        lost = bool(board.get("lost"))
    return {"send_ratio": r["seconds"] / r["pause_seconds"], "send_s": r["seconds"],
            "pauses_s": r["pause_seconds"], "send_lost": lost, "send_lines": r["lines"]}


def measure_wine():
    """The Windows build's start under wine (make windows builds it); None where it is not built."""
    windows = WINDOWS_BUILD
    if not os.path.exists(os.path.join(windows, "app", "tavrick-cards-probe.exe")) or not shutil.which("wine"):
        return None
    out = subprocess.run([sys.executable, os.path.join(HERE, "win_first_frame.py"), windows, str(STARTS)],
                         capture_output=True, text=True).stdout
    for line in out.splitlines():
        if line.startswith("median start to first frame under wine:"):
            return float(line.split(":")[1].split()[0])
    return None


# --- the peer ------------------------------------------------------------------------------

def measure_peer():
    peer = os.path.join(HERE, "peer")
    chromium = shutil.which("chromium")
    if not chromium or not os.path.exists(os.path.join(peer, "node_modules", "blockly")):
        return None
    done = threading.Event()
    blocks = []

    class Handler(http.server.SimpleHTTPRequestHandler):
        def __init__(self, *a, **k):
            super().__init__(*a, directory=peer, **k)

        def do_GET(self):
            if self.path.startswith("/done"):
                blocks.append(self.path)
                done.set()
                self.send_response(204)
                self.end_headers()
                return
            super().do_GET()

        def log_message(self, *a):
            pass

    server = socketserver.ThreadingTCPServer(("127.0.0.1", 0), Handler)
    port = server.server_address[1]
    threading.Thread(target=server.serve_forever, daemon=True).start()

    def launch():
        profile = tempfile.mkdtemp()
        args = [chromium, "--headless=new", "--no-sandbox", "--disable-gpu", "--disable-quic",
                "--no-first-run", "--disable-background-networking", "--disable-component-update",
                "--disable-sync", "--window-size=1024,768", f"--user-data-dir={profile}",
                f"http://127.0.0.1:{port}/index.html"]
        done.clear()
        t0 = time.monotonic()
        p = subprocess.Popen(args, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if not done.wait(60):
            p.kill()
            raise RuntimeError("the peer page never reported")
        return p, time.monotonic() - t0, profile

    def close(p, profile):
        for pid in reversed(children(p.pid)):
            try:
                os.kill(pid, signal.SIGTERM)
            except OSError:
                pass
        p.wait()
        shutil.rmtree(profile, ignore_errors=True)

    starts = []
    for _ in range(STARTS):
        p, s, profile = launch()
        starts.append(s)
        close(p, profile)
        time.sleep(START_GAP)
    p, _, profile = launch()
    time.sleep(1.5)
    pss = pss_kb(children(p.pid))
    idle = idle_share(p.pid)
    close(p, profile)
    server.shutdown()
    return {"start_ms": 1000 * statistics.median(starts), "pss_full_mb": pss / 1024, "idle_pct": idle,
            "blocks": blocks[-1].split("=")[-1] if blocks else "?"}


def measure_web():
    """The page beside the peer page, both in headless Chromium (bench/web_page.js)."""
    if not shutil.which("chromium") or not os.path.exists(os.path.join(WEB_SITE, "index.html")) or \
            not os.path.exists(os.path.join(ROOT, "tests", "web", "node_modules", "puppeteer-core")) or \
            not os.path.exists(os.path.join(HERE, "peer", "node_modules", "blockly")):
        return None
    out = subprocess.run(["node", os.path.join(HERE, "web_page.js"), WEB_SITE, os.path.join(HERE, "peer")],
                         check=True, capture_output=True, text=True, timeout=600).stdout
    return json.loads(out.strip().splitlines()[-1])


# --- the table -----------------------------------------------------------------------------

def machine():
    cpu = "unknown CPU"
    try:
        with open("/proc/cpuinfo") as f:
            for line in f:
                if line.startswith("model name"):
                    cpu = line.split(":", 1)[1].strip()
                    break
    except OSError:
        pass
    with open("/proc/meminfo") as f:
        mem = int(f.readline().split()[1]) / 1024 / 1024
    return f"{platform.node()}: {os.cpu_count()} cores ({cpu}), {mem:.0f} GiB, {platform.platform()}"


def fmt(x, digits=3):
    return "" if x is None else f"{x:.{digits}f}"


def main():
    load = os.getloadavg()
    when = time.strftime("%Y-%m-%d %H:%M UTC", time.gmtime())
    with Xvfb():
        product = measure_product()
        wine = measure_wine()
        peer = measure_peer()
        product["big_field_s"] = measure_big_field()
    web = measure_web()
    product.update(measure_frames())
    product.update(measure_send())

    def ratio(a, b):
        return f"{b / a:.1f}x" if a and b else ""

    watch = "with the hot-plug watch running" if product["watching"] else "(the hot-plug watch could not start here)"
    rows = [
        ("process start to first frame, median of %d (ms)" % STARTS, "100 or less",
         product["start_ms"], peer and peer["start_ms"]),
        ("process start to first frame under wine, Windows build, median of %d (ms)" % STARTS,
         "for information", wine, None),
        ("memory after start, PSS (MB)", "", product["pss_mb"], None),
        ("memory with a full field, PSS (MB)", "40 or less", product["pss_full_mb"], peer and peer["pss_full_mb"]),
        ("CPU while idle %s, share of a core over %d s (%%)" % (watch, IDLE_SECONDS), "under 0.5",
         product["idle_pct"], peer and peer["idle_pct"]),
        ("CPU while the screen's board waits 10 s, share of a core over %d s (%%)" % IDLE_SECONDS,
         "under 1", product["sim_wait_pct"], None),
        ("frames drawn per second while the screen's board waits", "about 1", product["sim_fps"], None),
        ("autosave of a full field, main thread's cost per change, p99 (ms)", "under 1",
         product.get("autosave_p99_ms"), None),
        ("autosave of a full field, change to file on disk, worst of 3 (s)", "under 1", product["to_disk_s"], None),
        ("frame, full field, software renderer, p50 (ms)", "", product["frame_p50_ms"], None),
        ("frame, full field, software renderer, p99 (ms)", "under 4", product["frame_p99_ms"], None),
        ("one snap search over the full grid (us)", "", product["snap_us"], None),
        ("10,000 loose cards laid and taken off (ms)", "", product.get("cards_10000_ms"), None),
        ("40,000 loose cards laid and taken off (ms)", "about 4 times the 10,000",
         product.get("cards_40000_ms"), None),
        ("start with a saved field of 10,000 loose cards to first frame, median of 3 (s)", "under 1",
         product["big_field_s"], None),
        ("send of a full Dov field / sum of its pauses", "1.01 or less", product["send_ratio"], None),
    ]
    if web:
        page, other = web["page"], web["peer"]
        rows += [
            ("the page: load to first frame, fresh profile, median of 5 (ms)", "1000 or less", page["cold_ms"],
             other["cold_ms"]),
            ("the page: load to first frame from its service worker, median of 5 (ms)", "300 or less",
             page["warm_ms"], None),
            ("the page: bytes fetched on the first load (MB)", "under 3", page["bytes"] / 1e6, other["bytes"] / 1e6),
            ("the page: renderer CPU while idle, share of a core over 10 s (%)", "under 0.5", page["idle_pct"],
             other["idle_pct"]),
            ("the page: renderer memory with a full field, PSS (MB)", "a quarter of the peer's or less",
             page["pss_mb"], other["pss_mb"]),
        ]
    lines = ["| figure | goal | this tool | block editor in Chromium | peer / this tool |",
             "|---|---|---|---|---|"]
    for name, goal, ours, theirs in rows:
        ours_text = fmt(ours) if ours is not None else "not measured"
        lines.append(f"| {name} | {goal} | {ours_text} | {'' if theirs is None else f'{theirs:.1f}'} | "
                     f"{'' if theirs is None or ours is None else ratio(ours, theirs)} |")
    profile = ["| stage of the start | median (ms) |", "|---|---|"]
    for key, what in STAGES:
        profile.append(f"| {what} | {product['stages_ms'][key]:.1f} |")
    notes = [f"Machine: {machine()}.",
             f"Run: {when}; load average at the start {load[0]:.2f} (1 min), {load[1]:.2f} (5 min), "
             f"{load[2]:.2f} (15 min).",
             f"Send: {product['send_lines']} lines in {product['send_s']:.2f} s against {product['pauses_s']:.2f} s "
             f"of pauses; the board emulator lost {'bytes' if product['send_lost'] else 'nothing'}.",
             "Peer: Blockly in headless Chromium, six block kinds, 60 blocks in one stack"
             + (f" ({peer['blocks']} on the page)." if peer else " (not measured: chromium or blockly missing).")]
    text = ("\n".join(lines) + "\n\nWhere the start's time goes (medians of the same starts; they need "
            "not add up to the median of the whole):\n\n" + "\n".join(profile) + "\n\n" + "\n".join(notes) + "\n")
    print(text)
    with open(os.path.join(HERE, "RESULTS.md"), "w") as f:
        f.write("# Benchmark results\n\nWritten by `make bench` (bench/run.py); the last full run.\n\n" + text)


if __name__ == "__main__":
    main()
