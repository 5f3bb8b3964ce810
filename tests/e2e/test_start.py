#!/usr/bin/env python3
"""How the real program starts: with a window or not at all.

A display with no server behind it, and one whose server refuses connections, end the start
with a message and a failure status; a server that refuses only the first connections (as one
that is resetting does) gets its window. SDL's offscreen driver, which SDL falls back to by
itself, is never used unless SDL_VIDEODRIVER names it.

Run through run_e2e.sh (E2E_SUITE=test_start.py), which starts an X server of its own."""

import os
import socket
import subprocess
import sys
import threading
import time
import unittest

sys.dont_write_bytecode = True  # no __pycache__ left in the source tree
import driver  # noqa: E402
from driver import Harness, Screen  # noqa: E402

PRODUCT = os.path.join(driver.BUILD, "tavrick-cards")
# The program tries a display again for 2 s; the rest is the start and a loaded machine.
GIVE_UP_SECONDS = 15


def free_display():
    """A display number with neither a server nor a lock."""
    for n in range(300, 400):
        if not os.path.exists("/tmp/.X11-unix/X%d" % n) and not os.path.exists("/tmp/.X%d-lock" % n):
            return n
    raise AssertionError("no free display number")


class RefusingServer:
    """A display whose server closes the first `refuse` connections at once (all of them with
    None), and passes the others through to the real X server of the test run."""

    def __init__(self, refuse):
        self.refuse = refuse
        self.number = free_display()
        self.path = "/tmp/.X11-unix/X%d" % self.number
        self.display = ":%d" % self.number
        self.refused = 0
        self.passed = 0
        os.makedirs("/tmp/.X11-unix", exist_ok=True)
        self.sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        self.sock.bind(self.path)
        self.sock.listen(16)
        self.real = "/tmp/.X11-unix/X" + os.environ["DISPLAY"].lstrip(":").split(".")[0]
        self.thread = threading.Thread(target=self._serve, daemon=True)
        self.thread.start()

    def _serve(self):
        while True:
            try:
                conn, _ = self.sock.accept()
            except OSError:
                return
            if self.refuse is None or self.refused < self.refuse:
                self.refused += 1
                conn.close()
                continue
            self.passed += 1
            upstream = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
            upstream.connect(self.real)
            for a, b in ((conn, upstream), (upstream, conn)):
                threading.Thread(target=self._pipe, args=(a, b), daemon=True).start()

    @staticmethod
    def _pipe(src, dst):
        try:
            while True:
                data = src.recv(65536)
                if not data:
                    break
                dst.sendall(data)
        except OSError:
            pass
        for s in (src, dst):
            try:
                s.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass

    def close(self):
        self.sock.close()
        try:
            os.unlink(self.path)
        except OSError:
            pass


def start_without_driver(display, data_home):
    """The product started as a desktop starts it (no SDL_VIDEODRIVER) on `display`:
    (exit status or None if it was still running, stderr, seconds)."""
    env = dict(os.environ, DISPLAY=display, XDG_DATA_HOME=data_home, SDL_AUDIODRIVER="dummy")
    for k in ("SDL_VIDEODRIVER", "WAYLAND_DISPLAY"):
        env.pop(k, None)
    t0 = time.monotonic()
    proc = subprocess.Popen([PRODUCT], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    try:
        _, err = proc.communicate(timeout=GIVE_UP_SECONDS)
        return proc.returncode, err, time.monotonic() - t0
    except subprocess.TimeoutExpired:
        proc.kill()
        _, err = proc.communicate()
        return None, err, time.monotonic() - t0


class AWindowOrAClearEnd(unittest.TestCase):

    def setUp(self):
        self.name = self.id().rsplit(".", 1)[-1].replace("test_", "")
        self.home = os.path.join(driver.OUT, "data", self.name)
        os.makedirs(self.home, exist_ok=True)
        self.harness = None
        self.server = None

    def tearDown(self):
        if self.harness:
            self.harness.quit()
            self.harness.kill()
        if self.server:
            self.server.close()

    def assert_clear_end(self, status, err, seconds, display):
        self.assertIsNotNone(status, "the program ran on without a window: " + err)
        self.assertNotEqual(status, 0, err)
        self.assertIn("tavrick-cards: the window could not be opened", err)
        self.assertIn("DISPLAY=" + display, err)
        self.assertLess(seconds, GIVE_UP_SECONDS)

    def test_a_display_with_no_server_ends_the_start_with_its_reason(self):
        display = ":%d" % free_display()
        status, err, seconds = start_without_driver(display, self.home)
        self.assert_clear_end(status, err, seconds, display)
        # It tried again for a moment before it gave up.
        self.assertGreaterEqual(seconds, 1.5)

    def test_a_server_that_refuses_every_connection_ends_the_start(self):
        self.server = RefusingServer(refuse=None)
        status, err, seconds = start_without_driver(self.server.display, self.home)
        self.assert_clear_end(status, err, seconds, self.server.display)
        self.assertGreater(self.server.refused, 1, "the display was not tried again")

    def test_a_server_that_refuses_the_first_connections_gets_its_window(self):
        self.server = RefusingServer(refuse=3)
        self.harness = Harness([], os.path.join(driver.OUT, self.name + "-harness.log"), self.home,
                               env_changes={"DISPLAY": self.server.display, "SDL_VIDEODRIVER": None})
        self.assertEqual(self.server.refused, 3)
        self.assertGreaterEqual(self.server.passed, 1)
        # The window is on the real server (found there by the program's process id).
        Screen(self.harness)


if __name__ == "__main__":
    unittest.main()
