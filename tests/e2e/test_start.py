#!/usr/bin/env python3
"""How the real program starts: with a window or not at all, and one program per field.

A display with no server behind it, and one whose server refuses connections, end the start
with a message and a failure status; a server that refuses only the first connections (as one
that is resetting does) gets its window. SDL's offscreen driver, which SDL falls back to by
itself, is never used unless SDL_VIDEODRIVER names it.

Two starts with one home: the second hands its file to the first and ends, the first opens it
as one undoable step; a first copy that does not answer (stopped) leaves the second to start
on its own, saying so, and never writing the first one's field.

Saved fields: 10,000 loose cards start within a second; a named pipe in place of the saved
field, or given on the command line, is refused at once and left as it is.

Run through run_e2e.sh (E2E_SUITE=test_start.py), which starts an X server of its own."""

import glob
import json
import os
import signal
import socket
import stat
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
            s.close()

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


LESSON = ('{"format":"tavrick-cards","version":1,"target":"Velto","cards":['
          '{"kind":"wait-3","x":600,"y":3000,"row":20,"side":"right"}]}')
OTHER_LESSON = ('{"format":"tavrick-cards","version":1,"target":"Dov","cards":['
                '{"kind":"led-on","x":600,"y":3000,"row":10,"side":"left"},'
                '{"kind":"led-off","x":600,"y":3000,"row":10,"side":"right"}]}')


def slot_kind(layout, row, side):
    """The kind of the card in a slot (rows 10, 20 ...; side 0 left), or None."""
    index = layout["rows"][row // 10 - 1]["slots"][side]["card"]
    return None if index < 0 else layout["cards"][index]["kind"]


class OneProgramOneField(unittest.TestCase):

    def setUp(self):
        self.name = self.id().rsplit(".", 1)[-1].replace("test_", "")
        self.home = os.path.join(driver.OUT, "data", self.name)
        os.makedirs(self.home, exist_ok=True)
        self.field = os.path.join(self.home, "tavrick-cards", "field.json")
        self.copies = []

    def tearDown(self):
        for h in self.copies:
            try:
                os.kill(h.proc.pid, signal.SIGCONT)
            except OSError:
                pass
            h.quit()
            h.kill()

    def copy(self, *args):
        h = Harness([], os.path.join(driver.OUT, "%s-copy%d.log" % (self.name, len(self.copies) + 1)),
                    self.home, list(args))
        self.copies.append(h)
        return h

    def lesson(self, name, text):
        path = os.path.join(self.home, name)
        with open(path, "w") as f:
            f.write(text)
        return path

    def later_start(self, *args):
        """A start that should hand over and end: (exit status, stdout, stderr, seconds)."""
        env = dict(os.environ, XDG_DATA_HOME=self.home, SDL_VIDEODRIVER=driver.VIDEO_DRIVER,
                   SDL_AUDIODRIVER="dummy")
        t0 = time.monotonic()
        # Started from another folder, with the file named relative to it, as a file manager may.
        p = subprocess.run([driver.HARNESS, "--print-layout", "--print-events"] + list(args),
                           env=env, cwd=self.home, stdin=subprocess.DEVNULL, capture_output=True,
                           text=True, timeout=driver.WAIT)
        return p.returncode, p.stdout, p.stderr, time.monotonic() - t0

    def test_a_second_start_hands_its_file_to_the_first_and_ends(self):
        first = self.copy()
        Screen(first)
        self.assertEqual(first.first["cards"], [])
        self.lesson("lesson.cards", LESSON)
        since = first.event_count()
        status, out, err, seconds = self.later_start("lesson.cards")
        self.assertEqual(status, 0, err)
        self.assertEqual(out, "", "the second start showed a screen of its own")
        self.assertIn("handed " + os.path.join(self.home, "lesson.cards"), err)
        self.assertLess(seconds, 10)
        screen = first.wait_layout("the handed file open in the first copy",
                                   lambda L: slot_kind(L, 20, 1) == 3 and L["target"] == 1)
        self.assertEqual(len(screen["cards"]), 1)
        first.wait_event("the first copy's autosave", lambda e: e["event"] == "saved", since)
        with open(self.field) as f:
            saved = json.load(f)
        self.assertEqual(saved["target"], "Velto")
        # One step: undo in the first copy gives back the empty field it replaced.
        window = Screen(first).window
        driver.xdotool("windowfocus", "--sync", window, "key", "ctrl+z")
        first.wait_layout("the field as before the hand-over", lambda L: L["cards"] == [] and L["target"] == 0)

        # A start without a file only brings the open copy to the front.
        status, out, err, _ = self.later_start()
        self.assertEqual((status, out), (0, ""), err)
        self.assertIn("brought the copy already open to the front", err)
        self.assertEqual(first.layout()["cards"], [])
        # Whatever went through, only the first copy ever wrote into the folder.
        self.assertEqual(sorted(os.listdir(os.path.dirname(self.field))), ["field.json", "instance.lock"])

    def test_a_first_copy_that_does_not_answer_keeps_its_field(self):
        first = self.copy(self.lesson("lesson.cards", LESSON))
        first.wait_event("the first copy's autosave", lambda e: e["event"] == "saved")
        with open(self.field, "rb") as f:
            kept = f.read()
        stat = os.stat(self.field)
        os.kill(first.proc.pid, signal.SIGSTOP)

        def stopped():
            with open("/proc/%d/stat" % first.proc.pid) as f:
                return f.read().rsplit(")", 1)[1].split()[0] == "T"
        driver.wait_for("the first copy stopped", stopped)

        # The second start waits for an answer, then opens on its own with the field shown,
        # the file it was given opened over it, and autosave off.
        t0 = time.monotonic()
        second = self.copy(self.lesson("other.cards", OTHER_LESSON))
        self.assertGreaterEqual(time.monotonic() - t0, 4.5, "it did not wait for the first copy")
        second.wait_event("the notice that this window keeps nothing by itself",
                          lambda e: e["event"] == "notice" and "does not answer" in e["text"])
        screen = second.wait_layout("the given file open", lambda L: slot_kind(L, 10, 0) == 0)
        self.assertEqual(slot_kind(screen, 10, 1), 1)
        Screen(second)
        # Well past the autosave's delay: nothing written by the second copy, not even on quit.
        time.sleep(1.5)
        self.assertEqual(second.quit(), 0)
        self.assertFalse([e for e in second.events if e["event"] == "saved"])
        self.assertEqual(os.stat(self.field).st_mtime_ns, stat.st_mtime_ns)
        with open(self.field, "rb") as f:
            self.assertEqual(f.read(), kept)
        self.assertEqual(glob.glob(self.field + ".*"), [])

        # The first copy, going on, still has its field and keeps it.
        os.kill(first.proc.pid, signal.SIGCONT)
        self.assertEqual(slot_kind(first.layout(), 20, 1), 3)
        self.assertEqual(first.quit(), 0)
        with open(self.field) as f:
            self.assertEqual(json.load(f)["target"], "Velto")


class SavedFields(unittest.TestCase):

    def setUp(self):
        self.name = self.id().rsplit(".", 1)[-1].replace("test_", "")
        self.home = os.path.join(driver.OUT, "data", self.name)
        self.folder = os.path.join(self.home, "tavrick-cards")
        os.makedirs(self.folder, exist_ok=True)
        self.harness = None

    def tearDown(self):
        if self.harness:
            self.assertEqual(self.harness.quit(), 0)
            self.harness.kill()

    def start(self, *args):
        self.harness = Harness([], os.path.join(driver.OUT, self.name + "-harness.log"), self.home, list(args))
        return self.harness.first

    def test_a_saved_field_of_10000_loose_cards_starts_whole_and_quits(self):
        # How fast is make bench's (field_load.py); here: every card is there, and the start
        # and the quit end (a quadratic load of this many cards took minutes).
        kinds = ["led-on", "led-off", "wait-1", "wait-3", "wait-5", "wait-10"]
        cards = [{"kind": kinds[i % 6], "x": 700 + (i * 37) % 1300, "y": 200 + (i * 53) % 3800}
                 for i in range(10000)]
        with open(os.path.join(self.folder, "field.json"), "w") as f:
            json.dump({"format": "tavrick-cards", "version": 1, "target": "Dov", "cards": cards}, f)
        screen = self.start()
        self.assertEqual(len(screen["cards"]), 10000)
        self.assertEqual(self.harness.quit(), 0)
        self.harness.kill()
        self.harness = None

    def test_a_pipe_as_the_saved_field_or_on_the_command_line_is_refused_at_once(self):
        field = os.path.join(self.folder, "field.json")
        os.mkfifo(field)
        lesson = os.path.join(self.home, "lesson.cards")
        os.mkfifo(lesson)
        screen = self.start(lesson)
        self.assertEqual(screen["cards"], [])
        told = [e["text"] for e in self.harness.events if e["event"] == "notice"]
        self.assertTrue(any("This is not a program file: lesson.cards" in t for t in told) or
                        "This is not a program file: lesson.cards" in (screen["notice"] or {}).get("text", ""),
                        told)
        kept = glob.glob(field + ".bad-*")
        self.assertEqual(len(kept), 1)
        self.assertTrue(stat_is_fifo(kept[0]) and stat_is_fifo(lesson), "a pipe was not left as it was")
        self.assertFalse(os.path.exists(field))


def stat_is_fifo(path):
    return stat.S_ISFIFO(os.lstat(path).st_mode)


if __name__ == "__main__":
    unittest.main()
