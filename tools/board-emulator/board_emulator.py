#!/usr/bin/env python3
"""A board at the far end of a pseudo-terminal, for tests of the card programmer.

Opens a pseudo-terminal pair, prints the device path (the end a program opens as its serial
port) on stdout, then plays the chosen board on the other end until it is stopped (SIGTERM,
SIGINT), stays idle for --idle seconds after the first byte, --timeout passes or the program
that started it ends. Then it writes a JSON report: every chunk of bytes with its arrival
time (and, when the emulator itself ran late, the window the chunk came in), the bytes the
board lost, the lines it took, the program it stored and the LED
timeline of every run, the runs worked out in simulated time.

With --answer it also answers as an interpreter does, at once, on the same line: every byte
echoed as it comes, "OK" after a command line it takes, "ERROR: <why>" after one it cannot
(Dov ends its lines with CR LF, Velto with LF). What it answered is in the report too.

The board takes in a line only as fast as it can work on it; bytes that come while it
works wait in a small receive buffer and what does not fit is lost. That is why the sender
pauses after each line: sent with its pauses nothing is lost, sent without them a program
of a few lines is.

    board_emulator.py --board dov --idle 3 --report out.json
    board_emulator.py --board velto --answer
"""

import argparse
import json
import os
import re
import select
import signal
import sys
import termios
import time

# --- the model's figures -------------------------------------------------------------------

BAUD = 115200
BYTE_SECONDS = 10.0 / BAUD   # start bit, 8 data bits, stop bit

# Dov, a BASIC board: works on a line once its LF has come, about this long per byte of it
# (terminator included), before it takes the next byte from its buffer.
DOV_MS_PER_BYTE = 35
DOV_SAVE_MS = 900            # "SAVE 0" writes the program to flash
DOV_RX_BUFFER = 32           # bytes that can wait while it works; the rest are lost
DOV_TICKS_PER_SECOND = 60    # WAIT counts sixtieths of a second
# While RUN runs the program the board reads nothing either: bytes wait in the buffer.

# Velto, a script board: "cat uart > ." takes every byte into the script "." up to the 0x04
# byte; storing the script then keeps the board deaf this long (whatever comes is lost).
VELTO_STORE_MS = 1500
VELTO_END_OF_SCRIPT = 0x04

BOARDS = ("dov", "velto")

# How much later than asked the emulator may wake before it counts itself late.
LATE_SLACK = 0.02


# --- the boards ----------------------------------------------------------------------------

class Board:
    """Bytes in, with their arrival times (seconds); what the board made of them out."""

    def __init__(self):
        self.lost = []        # (offset in the stream, time)
        self.lines = []       # what the board took, in order
        self.errors = []
        self.runs = []
        self.offset = 0

    def feed(self, t, byte):
        raise NotImplementedError

    def ready_at(self):
        """When the board could next take a byte without losing it."""
        return 0.0

    def finish(self):
        pass

    def lose(self, t):
        self.lost.append((self.offset, t))

    def error(self, t, text, why):
        self.errors.append({"t": round(t, 4), "text": text, "error": why})

    def took(self, t, text, work_ms, result="ok"):
        self.lines.append({"t": round(t, 4), "text": text, "work_ms": work_ms, "result": result})


class DovBoard(Board):
    """NEW, numbered lines of LED 0|1 and WAIT n joined by ':', SAVE 0, RUN."""

    STATEMENT = re.compile(r"^(LED [01]|WAIT \d+)$")
    NUMBERED = re.compile(r"^(\d+)(?: (.*))?$")

    def __init__(self):
        super().__init__()
        self.buffer = []          # (arrival, byte) waiting while the board works
        self.busy_until = float("-inf")
        self.line = bytearray()
        self.memory = {}
        self.saved = None

    def feed(self, t, byte):
        self._drain(t)
        if self.busy_until <= t and not self.buffer:
            self._take(t, byte)
        elif len(self.buffer) < DOV_RX_BUFFER:
            self.buffer.append((t, byte))
        else:
            self.lose(t)
        self.offset += 1

    def ready_at(self):
        return self.busy_until

    def finish(self):
        self._drain(float("inf"))

    def _drain(self, t):
        while self.buffer and self.busy_until <= t:
            arrival, byte = self.buffer.pop(0)
            self._take(max(arrival, self.busy_until), byte)

    def _take(self, t, byte):
        self.line.append(byte)
        if byte != 0x0A:
            return
        raw = bytes(self.line)
        self.line = bytearray()
        text = raw.rstrip(b"\r\n").decode("latin-1")
        work = len(raw) * DOV_MS_PER_BYTE
        result = "ok"
        if text == "":
            pass
        elif text == "NEW":
            self.memory = {}
        elif text == "SAVE 0":
            work = DOV_SAVE_MS
            self.saved = self.listing()
        elif text == "RUN":
            work += int(round(self._run(t + work / 1000.0) * 1000))
        else:
            result = self._enter(t, text)
        self.took(t, text, work, result)
        self.busy_until = t + work / 1000.0

    @classmethod
    def check(cls, text):
        """Why the board cannot take a line, or None if it can."""
        if text in ("", "NEW", "SAVE 0", "RUN"):
            return None
        m = cls.NUMBERED.match(text)
        if not m:
            return "unknown command"
        if m.group(2) is not None and not all(cls.STATEMENT.match(s) for s in m.group(2).split(":")):
            return "syntax error"
        return None

    def _enter(self, t, text):
        why = self.check(text)
        if why:
            self.error(t, text, why)
            return "error"
        m = self.NUMBERED.match(text)
        number = int(m.group(1))
        if m.group(2) is None:
            self.memory.pop(number, None)
        else:
            self.memory[number] = m.group(2)
        return "ok"

    def listing(self):
        return ["%d %s" % (n, self.memory[n]) for n in sorted(self.memory)]

    def _run(self, start):
        clock = 0.0
        timeline = []
        for n in sorted(self.memory):
            for s in self.memory[n].split(":"):
                word, arg = s.split(" ")
                if word == "LED":
                    timeline.append({"t": round(clock, 4), "led": int(arg)})
                else:
                    clock += int(arg) / DOV_TICKS_PER_SECOND
        self.runs.append({"t": round(start, 4), "timeline": timeline, "duration": round(clock, 4)})
        return clock

    def report(self):
        return {"program": self.listing(), "saved": self.saved,
                "unfinished_line": self.line.decode("latin-1") if self.line else None}


class VeltoBoard(Board):
    """A shell of lines: "cat uart > ." takes a script up to 0x04, "ms ." runs it."""

    STATEMENT = re.compile(r"\s*(?:led\(([01])\);|sleep\((\d+)\);)")

    def __init__(self):
        super().__init__()
        self.mode = "shell"
        self.deaf_until = float("-inf")
        self.line = bytearray()
        self.capture = bytearray()
        self.script = None

    def ready_at(self):
        return self.deaf_until

    def feed(self, t, byte):
        if t < self.deaf_until:
            self.lose(t)
        elif self.mode == "capture":
            if byte == VELTO_END_OF_SCRIPT:
                self.script = bytes(self.capture).decode("latin-1")
                self.mode = "shell"
                self.deaf_until = t + VELTO_STORE_MS / 1000.0
                self.took(t, "\x04", VELTO_STORE_MS)
            else:
                self.capture.append(byte)
        else:
            self.line.append(byte)
            if byte == 0x0A:
                self._command(t, bytes(self.line).rstrip(b"\n").decode("latin-1"))
                self.line = bytearray()
        self.offset += 1

    def _command(self, t, text):
        result = "ok"
        if text == "":
            pass
        elif text == "cat uart > .":
            self.mode = "capture"
            self.capture = bytearray()
        elif text == "ms .":
            if self.script is None:
                self.error(t, text, "no script")
                result = "error"
            elif not self._run(t):
                result = "error"
        else:
            self.error(t, text, "unknown command")
            result = "error"
        self.took(t, text, 0, result)

    @classmethod
    def statements(cls, script):
        """The script's statements as match objects, and the text it could not read (or "")."""
        found, pos = [], 0
        while script[pos:].strip():
            m = cls.STATEMENT.match(script, pos)
            if not m:
                return found, script[pos:].strip()[:40]
            found.append(m)
            pos = m.end()
        return found, ""

    @classmethod
    def check(cls, text, script):
        """Why the shell cannot take a command line (with `script` the stored one, or None),
        or None if it can."""
        if text in ("", "cat uart > ."):
            return None
        if text != "ms .":
            return "unknown command"
        if script is None:
            return "no script"
        return "syntax error" if cls.statements(script)[1] else None

    def _run(self, start):
        clock = 0.0
        timeline = []
        found, bad = self.statements(self.script)
        if bad:
            self.error(start, bad, "syntax error")
            return False
        for m in found:
            if m.group(1) is not None:
                timeline.append({"t": round(clock, 4), "led": int(m.group(1))})
            else:
                clock += int(m.group(2)) / 1000.0
        self.runs.append({"t": round(start, 4), "timeline": timeline, "duration": round(clock, 4)})
        return True

    def report(self):
        return {"program": self.script,
                "unfinished_line": self.line.decode("latin-1") if self.line else None,
                "taking_script": self.mode == "capture"}


class Answerer:
    """What the board writes back as an interpreter does, as the bytes come: each byte echoed,
    then "OK" after a command line it takes and "ERROR: <why>" after one it cannot. Velto's
    script between "cat uart > ." and the 0x04 is echoed; the 0x04 that ends it is answered
    like a command. Empty lines get the echo alone."""

    def __init__(self, board_name):
        self.board = board_name
        self.end = b"\r\n" if board_name == "dov" else b"\n"
        self.line = bytearray()
        self.capture = None      # Velto: the script coming in, while it comes
        self.script = None       # Velto: the last script stored
        self.said = []           # the answer lines, in order

    def _say(self, text):
        self.said.append(text)
        return text.encode("latin-1") + self.end

    def feed(self, data):
        """The bytes to send back for `data`."""
        out = bytearray()
        for byte in data:
            out.append(byte)
            if self.capture is not None:
                if byte == VELTO_END_OF_SCRIPT:
                    self.script = bytes(self.capture).decode("latin-1")
                    self.capture = None
                    out += self._say("OK")
                else:
                    self.capture.append(byte)
                continue
            if byte != 0x0A:
                self.line.append(byte)
                continue
            text = bytes(self.line).rstrip(b"\r").decode("latin-1")
            self.line = bytearray()
            if text == "":
                continue
            if self.board == "dov":
                why = DovBoard.check(text)
            else:
                why = VeltoBoard.check(text, self.script)
                if why is None and text == "cat uart > .":
                    self.capture = bytearray()
            out += self._say("OK" if why is None else "ERROR: " + why)
        return bytes(out)


def make_board(name):
    return DovBoard() if name == "dov" else VeltoBoard()


def simulate(board_name, chunks):
    """The report of a board that received `chunks`, a list of (seconds, bytes) or (seconds,
    bytes, since): a chunk read late came some time after `since`, not at `seconds`."""
    board = make_board(board_name)
    arrival = None
    out_chunks = []
    start = chunks[0][0] if chunks else 0.0
    late = 0
    for chunk in chunks:
        t, data = chunk[0] - start, chunk[1]
        since = chunk[2] - start if len(chunk) > 2 and chunk[2] is not None else None
        out_chunks.append({"t": round(t, 4), "hex": data.hex(), "text": data.decode("latin-1")})
        if since is not None:
            out_chunks[-1]["since"] = round(since, 4)
            late += 1
        for byte in data:
            # A chunk read at once still came over the wire one byte after the other.
            earliest = t if since is None else since
            arrival = earliest if arrival is None else max(earliest, arrival + BYTE_SECONDS)
            if since is not None:
                # Its bytes may have come at any time in the window: each is taken as having
                # come when the board could take it, if that was within the window. What
                # even then finds no room was lost.
                arrival = min(t, max(arrival, board.ready_at()))
            board.feed(arrival, byte)
    board.finish()

    received = b"".join(c[1] for c in chunks)
    lost_runs = []
    for offset, t in board.lost:
        if lost_runs and lost_runs[-1]["offset"] + len(lost_runs[-1]["hex"]) // 2 == offset:
            lost_runs[-1]["hex"] += received[offset:offset + 1].hex()
        else:
            lost_runs.append({"t": round(t, 4), "offset": offset, "hex": received[offset:offset + 1].hex()})
    last = board.runs[-1] if board.runs else None
    report = {
        "board": board_name,
        "chunks": out_chunks,
        "bytes": len(received),
        "received": received.hex(),
        "received_text": received.decode("latin-1"),
        "lost_bytes": len(board.lost),
        "lost": lost_runs,
        "late_chunks": late,
        "lines": board.lines,
        "errors": board.errors,
        "runs": board.runs,
        "ran": last is not None,
        "led_timeline": last["timeline"] if last else [],
    }
    report.update(board.report())
    return report


# --- the device ----------------------------------------------------------------------------

def line_settings(fd):
    """What the sender set on the line, as the terminal shared by both ends records it."""
    try:
        iflag, oflag, cflag, lflag, ispeed, ospeed, cc = termios.tcgetattr(fd)
    except termios.error:
        return None
    speeds = {getattr(termios, "B%d" % b): b for b in (9600, 19200, 38400, 57600, 115200, 230400)
              if hasattr(termios, "B%d" % b)}
    sizes = {termios.CS5: 5, termios.CS6: 6, termios.CS7: 7, termios.CS8: 8}
    return {
        "baud": speeds.get(ospeed, ospeed),
        "data_bits": sizes.get(cflag & termios.CSIZE),
        "parity": "none" if not cflag & termios.PARENB else ("odd" if cflag & termios.PARODD else "even"),
        "stop_bits": 2 if cflag & termios.CSTOPB else 1,
        # Output processing would turn LF into CR LF on the way: the bytes would not be the program's.
        "raw_output": not oflag & termios.OPOST,
    }


def serve(board, idle, timeout, announce, answer=False):
    master, slave = os.openpty()
    # Our own hold on the far end: between the sender's opens the device stays, and reads
    # never see a hang-up.
    path = os.ttyname(slave)
    os.set_blocking(master, False)
    announce(path)

    stopping = {"why": None}

    def on_signal(signum, _frame):
        stopping["why"] = "signal"

    signal.signal(signal.SIGTERM, on_signal)
    signal.signal(signal.SIGINT, on_signal)

    chunks = []
    settings = None
    started = time.monotonic()
    parent = os.getppid()
    poller = select.poll()
    poller.register(master, select.POLLIN)
    answerer = Answerer(board) if answer else None
    unsent = b""        # answered but not yet taken by the line (the sender reads slowly)
    unsent_since = None
    while stopping["why"] is None:
        now = time.monotonic()
        # A signal is noticed within this; and a wake later than this (and some slack) means
        # the emulator was not running: what it reads then came some time since `now`.
        waits = [0.01]
        if timeout is not None:
            waits.append(started + timeout - now)
        if idle is not None and chunks:
            waits.append(chunks[-1][0] + idle - now)
        wait = min(waits)
        if os.getppid() != parent:
            stopping["why"] = "parent gone"   # a test that died must not leave boards behind
            break
        if wait <= 0:
            stopping["why"] = "timeout" if timeout is not None and now >= started + timeout else "idle"
            break
        events = poller.poll(wait * 1000)
        if events:
            data = read_all(master)
            if data:
                t = time.monotonic()
                if settings is None:
                    settings = line_settings(slave)
                chunks.append((t, data, now if t - now > wait + LATE_SLACK else None))
                if answerer:
                    unsent += answerer.feed(data)
        if unsent:
            unsent = unsent[write_some(master, unsent):]
            # A sender that never reads would fill the line: then the answer is dropped.
            unsent_since = unsent_since or time.monotonic()
            if not unsent or time.monotonic() - unsent_since > 5:
                unsent, unsent_since = b"", None
            poller.modify(master, select.POLLIN | (select.POLLOUT if unsent else 0))
    rest = read_all(master)
    if rest:
        chunks.append((time.monotonic(), rest))

    report = simulate(board, chunks)
    report["device"] = path
    report["stop"] = stopping["why"]
    report["line_settings"] = settings
    report["first_byte_after"] = round(chunks[0][0] - started, 4) if chunks else None
    if answerer:
        report["answered"] = answerer.said
    os.close(master)
    os.close(slave)
    return report


def read_all(fd):
    data = b""
    while True:
        try:
            part = os.read(fd, 65536)
        except BlockingIOError:
            break
        except OSError:
            break   # EIO: no one holds the far end
        if not part:
            break
        data += part
    return data


def write_some(fd, data):
    """How many bytes of `data` the line took now."""
    try:
        return os.write(fd, data)
    except (BlockingIOError, InterruptedError):
        return 0
    except OSError:
        return len(data)   # EIO: no one holds the far end; the answer has nobody to go to


def write_report(report, path):
    text = json.dumps(report, indent=1)
    if not path:
        sys.stdout.write(text + "\n")
        sys.stdout.flush()
        return
    # Whole or not at all: whoever waits for the file never reads half of it.
    tmp = path + ".part"
    with open(tmp, "w") as f:
        f.write(text + "\n")
    os.replace(tmp, path)


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--board", choices=BOARDS, default="dov")
    parser.add_argument("--idle", type=float, help="stop this many seconds after the last byte")
    parser.add_argument("--timeout", type=float, help="stop this many seconds after the start")
    parser.add_argument("--report", help="write the JSON report here (default: stdout)")
    parser.add_argument("--answer", action="store_true",
                        help="answer as an interpreter: echo, OK after a line, ERROR for a bad one")
    args = parser.parse_args(argv)

    def announce(path):
        sys.stdout.write(path + "\n")
        sys.stdout.flush()

    report = serve(args.board, args.idle, args.timeout, announce, args.answer)
    write_report(report, args.report)
    return 0


if __name__ == "__main__":
    sys.exit(main())
