#!/usr/bin/env python3
"""The board emulator itself: paced programs are stored whole, unpaced ones lose bytes.

The model is checked on byte streams with given arrival times; the device end through a
real pseudo-terminal, written the way the card programmer writes (raw, 115200 8N1, one
line at a time, then its pause)."""

import json
import os
import select
import signal
import subprocess
import sys
import tempfile
import termios
import time
import tty
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.dont_write_bytecode = True  # no __pycache__ left in the source tree
import board_emulator as emu  # noqa: E402

# The programmer's lines for the field "row 10: LED on, wait 1 s; row 30: LED off", with
# the pause that follows each.
DOV = [(b"NEW\r\n", 200), (b"10 LED 1:WAIT 60\r\n", 720), (b"30 LED 0\r\n", 400),
       (b"SAVE 0\r\n", 1000), (b"RUN\r\n", 200)]
VELTO = [(b"cat uart > .\n", 0), (b"led(1);sleep(1000);\n", 0), (b"led(0);\n", 0),
         (b"\x04", 2000), (b"ms .\n", 0)]


def paced(lines):
    t, chunks = 0.0, []
    for data, pause in lines:
        chunks.append((t, data))
        t += pause / 1000.0
    return chunks


def unpaced(lines):
    return [(0.0, b"".join(data for data, _ in lines))]


class Model(unittest.TestCase):
    def test_dov_paced_program_is_stored_whole_and_runs(self):
        r = emu.simulate("dov", paced(DOV))
        self.assertEqual(r["lost_bytes"], 0)
        self.assertEqual(r["errors"], [])
        self.assertEqual(bytes.fromhex(r["received"]), b"".join(d for d, _ in DOV))
        self.assertEqual(r["program"], ["10 LED 1:WAIT 60", "30 LED 0"])
        self.assertEqual(r["saved"], ["10 LED 1:WAIT 60", "30 LED 0"])
        self.assertEqual(r["led_timeline"], [{"t": 0.0, "led": 1}, {"t": 1.0, "led": 0}])

    def test_dov_unpaced_program_loses_bytes(self):
        r = emu.simulate("dov", unpaced(DOV))
        self.assertGreater(r["lost_bytes"], 0)
        self.assertNotEqual(r.get("saved"), ["10 LED 1:WAIT 60", "30 LED 0"])
        self.assertFalse(r["ran"] and r["led_timeline"] == [{"t": 0.0, "led": 1}, {"t": 1.0, "led": 0}])

    def test_a_late_read_of_a_paced_program_loses_nothing(self):
        # The emulator did not run while the whole paced program came: one chunk, read at
        # the end, with the window it came in.
        for board, lines in (("dov", DOV), ("velto", VELTO)):
            chunks = paced(lines)
            late = [(chunks[-1][0], b"".join(d for _, d in chunks), chunks[0][0] - 0.01)]
            r = emu.simulate(board, late)
            self.assertEqual((r["lost_bytes"], r["late_chunks"]), (0, 1), board)
            self.assertTrue(r["ran"], board)
        # But a window too short for the board's work still loses bytes.
        r = emu.simulate("dov", [(0.05, b"".join(d for d, _ in DOV), 0.0)])
        self.assertGreater(r["lost_bytes"], 0)

    def test_dov_buffer_holds_what_comes_early(self):
        # The next line before the board is done with "NEW" waits in the buffer, as long as
        # it fits; one byte too many and that byte is gone.
        r = emu.simulate("dov", [(0.0, b"NEW\r\n"), (0.01, b"10 LED 1\r\n"), (1.0, b"RUN\r\n")])
        self.assertEqual((r["lost_bytes"], r["program"]), (0, ["10 LED 1"]))
        r = emu.simulate("dov", [(0.0, b"NEW\r\n"), (0.01, b"1" * 31 + b"\r\n")])
        self.assertEqual(r["lost"], [{"t": r["lost"][0]["t"], "offset": 5 + 32, "hex": "0a"}])

    def test_dov_save_takes_longer_than_a_short_line(self):
        # RUN sent after the pause a six-byte line would get is too early for SAVE 0.
        lines = [(b"NEW\r\n", 200), (b"10 LED 1\r\n", 400), (b"SAVE 0\r\n", 320)]
        lines += [(b"9" * 40 + b"\r\n", 0)]
        r = emu.simulate("dov", paced(lines))
        self.assertGreater(r["lost_bytes"], 0)

    def test_dov_corrupted_line_is_refused_not_stored(self):
        r = emu.simulate("dov", paced([(b"NEW\r\n", 200), (b"10 LED 1:WAT 60\r\n", 720),
                                       (b"RUN\r\n", 200)]))
        self.assertEqual(r["program"], [])
        self.assertEqual([e["error"] for e in r["errors"]], ["syntax error"])

    def test_velto_paced_script_is_stored_and_runs(self):
        r = emu.simulate("velto", paced(VELTO))
        self.assertEqual(r["lost_bytes"], 0)
        self.assertEqual(r["program"], "led(1);sleep(1000);\nled(0);\n")
        self.assertEqual(r["led_timeline"], [{"t": 0.0, "led": 1}, {"t": 1.0, "led": 0}])

    def test_velto_unpaced_script_never_runs(self):
        r = emu.simulate("velto", unpaced(VELTO))
        self.assertEqual(r["lost"], [{"t": r["lost"][0]["t"], "offset": r["bytes"] - 5,
                                      "hex": b"ms .\n".hex()}])
        self.assertFalse(r["ran"])


class Answers(unittest.TestCase):
    """--answer: the board's side of the line, as an interpreter writes it."""

    def test_dov_echoes_and_says_ok_or_why_not_line_by_line(self):
        a = emu.Answerer("dov")
        # Bytes come in pieces; the answer follows the line's LF, never sooner.
        self.assertEqual(a.feed(b"NE"), b"NE")
        self.assertEqual(a.feed(b"W\r\n10 LED 1:WAT 60\r\n"),
                         b"W\r\nOK\r\n10 LED 1:WAT 60\r\nERROR: syntax error\r\n")
        self.assertEqual(a.feed(b"\r\nLIST\r\n"), b"\r\nLIST\r\nERROR: unknown command\r\n")
        self.assertEqual(a.feed(b"SAVE 0\r\nRUN\r\n"), b"SAVE 0\r\nOK\r\nRUN\r\nOK\r\n")
        self.assertEqual(a.said, ["OK", "ERROR: syntax error", "ERROR: unknown command", "OK", "OK"])

    def test_velto_echoes_the_script_and_answers_its_end_and_the_commands(self):
        a = emu.Answerer("velto")
        self.assertEqual(a.feed(b"ms .\n"), b"ms .\nERROR: no script\n")
        sent = b"".join(d for d, _ in VELTO)
        self.assertEqual(a.feed(sent), b"cat uart > .\nOK\nled(1);sleep(1000);\nled(0);\n\x04OK\n"
                                       b"ms .\nOK\n")
        a.feed(b"cat uart > .\nled(2);\n\x04")
        self.assertEqual(a.feed(b"ms .\n"), b"ms .\nERROR: syntax error\n")
        self.assertEqual(a.feed(b"reboot\n"), b"reboot\nERROR: unknown command\n")


class Device(unittest.TestCase):
    """The emulator as a program, at the end of a real pseudo-terminal."""

    def start(self, *args):
        out = tempfile.NamedTemporaryFile(suffix=".json", delete=False)
        out.close()
        os.unlink(out.name)
        self.addCleanup(lambda: os.path.exists(out.name) and os.unlink(out.name))
        proc = subprocess.Popen([sys.executable, os.path.join(HERE, "board_emulator.py"),
                                 "--report", out.name, "--timeout", "60"] + list(args),
                                stdout=subprocess.PIPE, text=True)
        self.addCleanup(proc.stdout.close)
        self.addCleanup(lambda: proc.poll() is None and proc.kill())
        path = proc.stdout.readline().strip()
        self.assertTrue(path.startswith("/dev/"), path)
        return proc, path, out.name

    def open_like_the_programmer(self, path):
        fd = os.open(path, os.O_RDWR | os.O_NOCTTY)
        tty.setraw(fd)
        attrs = termios.tcgetattr(fd)
        attrs[4] = attrs[5] = termios.B115200
        termios.tcsetattr(fd, termios.TCSANOW, attrs)
        return fd

    def finish(self, proc, report):
        self.assertEqual(proc.wait(timeout=30), 0)
        with open(report) as f:
            return json.load(f)

    def test_paced_write_arrives_whole_with_the_line_settings(self):
        proc, path, report = self.start("--board", "dov")
        fd = self.open_like_the_programmer(path)
        for data, pause in DOV:
            os.write(fd, data)
            time.sleep(pause / 1000.0)
        os.close(fd)
        proc.send_signal(signal.SIGTERM)
        r = self.finish(proc, report)
        self.assertEqual(r["stop"], "signal")
        self.assertEqual(bytes.fromhex(r["received"]), b"".join(d for d, _ in DOV))
        self.assertEqual(r["lost_bytes"], 0)
        self.assertEqual(r["saved"], ["10 LED 1:WAIT 60", "30 LED 0"])
        self.assertEqual(r["line_settings"], {"baud": 115200, "data_bits": 8, "parity": "none",
                                              "stop_bits": 1, "raw_output": True})
        # Arrival times are taken as the bytes come, not when the report is written.
        starts = [c["t"] for c in r["chunks"]]
        self.assertEqual(starts, sorted(starts))
        self.assertGreater(starts[-1] - starts[0], 1.0)

    def test_answer_mode_answers_on_the_line_as_the_lines_come(self):
        proc, path, report = self.start("--board", "dov", "--answer")
        fd = self.open_like_the_programmer(path)
        heard = b""
        for data, pause in DOV:
            os.write(fd, data)
            deadline = time.monotonic() + 5
            want = data + b"OK\r\n"
            while not heard.endswith(want) and time.monotonic() < deadline:
                ready, _, _ = select.select([fd], [], [], 0.05)
                if ready:
                    heard += os.read(fd, 4096)
            self.assertTrue(heard.endswith(want), heard)
            time.sleep(pause / 1000.0)
        os.close(fd)
        proc.send_signal(signal.SIGTERM)
        r = self.finish(proc, report)
        self.assertEqual(heard, b"".join(d + b"OK\r\n" for d, _ in DOV))
        self.assertEqual(r["answered"], ["OK"] * len(DOV))
        self.assertEqual(r["saved"], ["10 LED 1:WAIT 60", "30 LED 0"])

    def test_answers_a_sender_does_not_read_do_not_stop_the_board(self):
        proc, path, report = self.start("--board", "dov", "--answer")
        fd = self.open_like_the_programmer(path)
        line = b"10 LED 1\r\n"
        for _ in range(600):   # some 9 KB of echo and answers, more than the line holds
            os.write(fd, line)
        time.sleep(0.5)
        proc.send_signal(signal.SIGTERM)
        r = self.finish(proc, report)
        os.close(fd)
        self.assertEqual(r["bytes"], 600 * len(line))

    def test_unpaced_write_loses_bytes_and_idle_ends_the_run(self):
        proc, path, report = self.start("--board", "velto", "--idle", "0.5")
        fd = self.open_like_the_programmer(path)
        os.write(fd, b"".join(d for d, _ in VELTO))
        r = self.finish(proc, report)
        os.close(fd)
        self.assertEqual(r["stop"], "idle")
        self.assertGreater(r["lost_bytes"], 0)
        self.assertFalse(r["ran"])


if __name__ == "__main__":
    unittest.main()
