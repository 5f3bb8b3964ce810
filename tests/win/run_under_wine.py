#!/usr/bin/env python3
"""Runs a Windows test executable under wine with pseudo-terminals behind its COM ports.

The prefix is made once (wineboot) and reused; one persistent wineserver serves the whole run
and is stopped at the end. The ports the tests get, by environment variable:

  TAVRICK_WIRE_OUT <-> TAVRICK_WIRE_IN  a null-modem pair: bytes written to the first come out
                                        of the second, forwarded here, so the test reads them;
                                        and what the test writes to the second (the board's
                                        answer) comes back out of the first
  TAVRICK_SILENT_PORT                   a board that never takes a byte (nobody reads it)
  TAVRICK_ABSENT_PORT                   no device at all
"""

import argparse
import os
import pty
import select
import signal
import subprocess
import sys
import threading
import time
import tty

PORTS = {"TAVRICK_WIRE_OUT": 20, "TAVRICK_WIRE_IN": 21, "TAVRICK_SILENT_PORT": 22}
ABSENT_PORT = 199


class Pty:
    """One pair; the slave stays open here so the line settings and queued bytes outlive the
    test's own open and close, as they would on a real serial port."""

    def __init__(self):
        self.master, self.slave = pty.openpty()
        # A UART does no newline or echo games; the pty must not either.
        tty.setraw(self.slave)
        self.path = os.ttyname(self.slave)

    def close(self):
        os.close(self.master)
        os.close(self.slave)


def forward(source, sink, stop):
    """Copies what the test writes to one port into the other port's receive side, and the
    answer written to the other back. The answer is dropped when nobody takes it (the
    sending side closed): it must not hold up the way out."""
    os.set_blocking(source, False)
    while not stop.is_set():
        ready, _, _ = select.select([source, sink], [], [], 0.05)
        if source in ready:
            try:
                data = os.read(source, 65536)
            except OSError:
                continue
            view = memoryview(data)
            while view:
                view = view[os.write(sink, view):]
        if sink in ready:
            try:
                answer = os.read(sink, 65536)
                os.write(source, answer)
            except OSError:
                pass


def wine_env(prefix):
    env = dict(os.environ)
    env["WINEPREFIX"] = prefix
    env["WINEDEBUG"] = "-all"
    # No Mono or Gecko: nothing here needs them, and their installers would want the network.
    env["WINEDLLOVERRIDES"] = "mscoree,mshtml="
    env.pop("DISPLAY", None)
    env.pop("WAYLAND_DISPLAY", None)
    return env


def link(dosdevices, number, target):
    path = os.path.join(dosdevices, "com%d" % number)
    if os.path.islink(path) or os.path.exists(path):
        os.unlink(path)
    if target:
        os.symlink(target, path)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--prefix", required=True, help="wine prefix, made on first use")
    parser.add_argument("--timeout", type=float, default=300, help="seconds for the test run")
    parser.add_argument("command", nargs="+", help="the .exe and its arguments")
    args = parser.parse_args()
    # A stopped run still takes its links down and stops the server (the finally below).
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))

    prefix = os.path.abspath(args.prefix)
    env = wine_env(prefix)
    started = time.monotonic()
    os.makedirs(prefix, exist_ok=True)
    # One server for the whole run, so wineboot and the tests share it with no start-up in
    # between. Bounded, so that a run killed before the -k below leaves none behind for long.
    # It keeps the output streams it is started with; its exit report is noise.
    subprocess.run(["wineserver", "-p60"], env=env, check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    stop = threading.Event()
    ptys = {}
    forwarder = None
    try:
        if not os.path.exists(os.path.join(prefix, "system.reg")):
            subprocess.run(["wineboot", "-i"], env=env, check=True, stdin=subprocess.DEVNULL,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        print("wine prefix ready in %.1f s" % (time.monotonic() - started), flush=True)

        dosdevices = os.path.join(prefix, "dosdevices")
        for variable, number in PORTS.items():
            ptys[variable] = Pty()
            link(dosdevices, number, ptys[variable].path)
            env[variable] = "COM%d" % number
        link(dosdevices, ABSENT_PORT, None)
        env["TAVRICK_ABSENT_PORT"] = "COM%d" % ABSENT_PORT

        forwarder = threading.Thread(
            target=forward,
            args=(ptys["TAVRICK_WIRE_OUT"].master, ptys["TAVRICK_WIRE_IN"].master, stop),
            daemon=True)
        forwarder.start()

        exe = [os.path.abspath(args.command[0])] + args.command[1:]
        try:
            result = subprocess.run(["wine"] + exe, env=env, timeout=args.timeout,
                                    stdin=subprocess.DEVNULL)
        except subprocess.TimeoutExpired:
            print("tests did not finish within %.0f s" % args.timeout, flush=True)
            return 1
        return result.returncode
    finally:
        stop.set()
        if forwarder:
            forwarder.join()
        dosdevices = os.path.join(prefix, "dosdevices")
        for variable, number in PORTS.items():
            if os.path.isdir(dosdevices):
                link(dosdevices, number, None)
        for p in ptys.values():
            p.close()
        subprocess.run(["wineserver", "-k"], env=env, check=False,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


if __name__ == "__main__":
    sys.exit(main())
