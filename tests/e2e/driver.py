"""What the end-to-end tests drive: the harness in a real window, the real mouse through
xdotool, the screen through ImageMagick, and boards played by the board emulator.

Every wait here waits for something to happen (a line from a program, a window, a pixel)
and gives up after a deadline, so a broken build fails instead of hanging."""

import json
import os
import select
import signal
import subprocess
import sys
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.normpath(os.path.join(HERE, "..", ".."))
BUILD = os.environ.get("E2E_BUILD") or os.path.join(ROOT, "build")
HARNESS = os.path.join(BUILD, "tavrick-cards-harness")
# How the harness is started: its path, or a runner and its path (wine for the Windows build).
HARNESS_COMMAND = [HARNESS]
VIDEO_DRIVER = "x11"
EMULATOR = os.path.join(ROOT, "tools", "board-emulator", "board_emulator.py")
OUT = os.environ.get("E2E_OUT") or os.path.join(BUILD, "e2e")

# How long any one condition may take on a slow, busy machine.
WAIT = 20.0


def wait_for(what, probe, timeout=WAIT, every=0.05):
    """Calls probe until it returns something true, and returns that."""
    deadline = time.monotonic() + timeout
    while True:
        value = probe()
        if value:
            return value
        if time.monotonic() > deadline:
            raise AssertionError("gave up waiting for " + what)
        time.sleep(every)


def center(box):
    x, y, w, h = box
    return (x + w / 2.0, y + h / 2.0)


def read_line(stream, timeout, what):
    ready, _, _ = select.select([stream], [], [], timeout)
    if not ready:
        raise AssertionError("gave up waiting for " + what)
    return stream.readline()


# --- the board -----------------------------------------------------------------------------

class Board:
    """A board emulator at the end of a fresh pseudo-terminal; with `answer`, it answers as an
    interpreter does (echo, OK, errors)."""

    def __init__(self, name, board="dov", answer=False):
        self.report_path = os.path.join(OUT, name + ".json")
        if os.path.exists(self.report_path):
            os.unlink(self.report_path)
        self.proc = subprocess.Popen(
            [sys.executable, EMULATOR, "--board", board, "--report", self.report_path,
             "--timeout", "600"] + (["--answer"] if answer else []),
            stdout=subprocess.PIPE, text=True)
        self.path = read_line(self.proc.stdout, WAIT, "the board's device path").strip()
        if not self.path.startswith("/"):
            raise AssertionError("the emulator gave no device: %r" % self.path)

    def usb(self, description=None):
        """The harness's port for this board on a USB cable, as a board is plugged in. The bare
        path is a built-in port, which is never chosen by itself."""
        return self.path + ("=" + description if description else "") + ",usb"

    def stop(self):
        """Ends the board and returns its report."""
        if self.proc.poll() is None:
            self.proc.send_signal(signal.SIGTERM)
        self.proc.wait(timeout=WAIT)
        self.proc.stdout.close()
        with open(self.report_path) as f:
            return json.load(f)

    def kill(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()
        if not self.proc.stdout.closed:
            self.proc.stdout.close()


# --- the program -----------------------------------------------------------------------------

class Harness:
    """The harness binary with its layout and event lines read as they come."""

    def __init__(self, ports, log_path, data_home=None, extra_args=(), env_changes=None, lang=None):
        self.log = open(log_path, "a")
        env = dict(os.environ, SDL_VIDEODRIVER=VIDEO_DRIVER, SDL_AUDIODRIVER="dummy")
        # The screen speaks the system's language: English unless the test asks for another.
        for var in ("LANGUAGE", "LC_ALL", "LC_MESSAGES"):
            env.pop(var, None)
        env["LANG"] = lang or "C.UTF-8"
        # The program keeps the field between runs: each test gives it a folder of its own.
        if data_home:
            env["XDG_DATA_HOME"] = data_home
        # Variables to set, or with None to leave out.
        for k, v in (env_changes or {}).items():
            if v is None:
                env.pop(k, None)
            else:
                env[k] = v
        args = HARNESS_COMMAND + ["--print-layout", "--print-events"]
        for p in ports:
            args += ["--port", p]
        args += list(extra_args)
        self.proc = subprocess.Popen(args, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                     stderr=self.log, text=True, bufsize=1, env=env)
        self.cond = threading.Condition()
        self.layouts = []
        self.events = []
        self.ended = False
        self.reader = threading.Thread(target=self._read, daemon=True)
        self.reader.start()
        with self.cond:
            if not self.cond.wait_for(lambda: self.layouts or self.ended, WAIT):
                raise AssertionError("the harness never reported its screen")
            if not self.layouts:
                raise AssertionError("the harness ended before showing its screen")
        self.first = self.layouts[0]

    def _read(self):
        for line in self.proc.stdout:
            word, _, rest = line.partition(" ")
            with self.cond:
                if word == "layout":
                    self.layouts.append(json.loads(rest))
                elif word == "event":
                    self.events.append(json.loads(rest))
                self.cond.notify_all()
        with self.cond:
            self.ended = True
            self.cond.notify_all()

    def layout(self):
        """The screen as it is now."""
        with self.cond:
            n = len(self.layouts)
            if self.ended:
                raise AssertionError("the harness has ended (exit %s)" % self.proc.poll())
            self.proc.stdin.write("layout\n")
            self.proc.stdin.flush()
            if not self.cond.wait_for(lambda: len(self.layouts) > n or self.ended, WAIT):
                raise AssertionError("the harness stopped answering")
            if len(self.layouts) == n:
                raise AssertionError("the harness has ended (exit %s)" % self.proc.poll())
            return self.layouts[n]

    def wait_layout(self, what, test, timeout=WAIT):
        def probe():
            screen = self.layout()
            return screen if test(screen) else None
        return wait_for(what, probe, timeout, every=0.05)

    def settled(self, what, key, timeout=WAIT, every=0.1, looks=4):
        """The screen once key(screen) has stayed the same for a few looks in a row."""
        seen = []

        def probe():
            screen = self.layout()
            seen.append(key(screen))
            return screen if len(seen) >= looks and all(k == seen[-1] for k in seen[-looks:]) else None
        return wait_for(what, probe, timeout, every=every)

    def event_count(self):
        with self.cond:
            return len(self.events)

    def wait_event(self, what, test, since=0, timeout=WAIT):
        with self.cond:
            found = []

            def seen():
                found[:] = [e for e in self.events[since:] if test(e)]
                return found or self.ended
            if not self.cond.wait_for(seen, timeout) or not found:
                raise AssertionError("gave up waiting for " + what)
            return found[0]

    def quit(self):
        """Closes the program the way its window would be closed; its exit status."""
        try:
            if self.proc.poll() is None:
                self.proc.stdin.write("quit\n")
                self.proc.stdin.flush()
            return self.proc.wait(timeout=WAIT)
        except (BrokenPipeError, subprocess.TimeoutExpired):
            self.kill()
            return None

    def kill(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()
        self.reader.join(timeout=WAIT)
        for f in (self.proc.stdin, self.proc.stdout, self.log):
            try:
                f.close()
            except OSError:
                pass


# --- the screen and the mouse --------------------------------------------------------------

def xdotool(*args):
    return subprocess.run(["xdotool"] + [str(a) for a in args], check=True, timeout=60,
                          stdout=subprocess.PIPE, text=True).stdout


class Screen:
    """The harness's window: design points to screen pixels, the mouse, the pixels."""

    def __init__(self, harness, managed=False):
        def find():
            out = subprocess.run(["xdotool", "search", "--pid", str(harness.proc.pid),
                                  "--name", "^TavrickApps$"],
                                 stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True).stdout
            return out.split()
        self.window = wait_for("the window", find)[-1]
        if managed:
            self.wait_placed()
        self.refresh(harness.first)
        self.mouse = None

    def wait_placed(self):
        """Under a window manager the window is framed and moved after it appears: waits for
        the frame, then for the place to hold still, so that taps do not land a title bar off."""
        wait_for("the window framed", lambda: b"_NET_FRAME_EXTENTS(CARDINAL) =" in subprocess.run(
            ["xprop", "-id", self.window, "_NET_FRAME_EXTENTS"], stdout=subprocess.PIPE,
            stderr=subprocess.DEVNULL).stdout)
        seen = [None]

        def still():
            now = xdotool("getwindowgeometry", "--shell", self.window)
            same, seen[0] = now == seen[0], now
            return same
        wait_for("the window to hold still", still, every=0.2)

    def refresh(self, layout):
        """After the window has changed size or place (full screen): where it is now."""
        geometry = {}
        for line in xdotool("getwindowgeometry", "--shell", self.window).splitlines():
            k, _, v = line.partition("=")
            geometry[k] = int(v)
        self.left, self.top = geometry["X"], geometry["Y"]
        self.width, self.height = geometry["WIDTH"], geometry["HEIGHT"]
        vp = layout["viewport"]
        self.frame_h = vp["frame"][1]
        self.origin = vp["origin"]
        self.scale = vp["scale"]

    # Design points (y up) to root-window pixels (y down), and back into the window.
    def to_screen(self, p):
        x = self.left + self.origin[0] + p[0] * self.scale[0]
        y = self.top + self.frame_h - (self.origin[1] + p[1] * self.scale[1])
        return int(round(x)), int(round(y))

    # --- the mouse: the left button is touch 0.

    def press(self, p):
        x, y = self.to_screen(p)
        xdotool("mousemove", x, y, "sleep", 0.03, "mousedown", 1)
        self.mouse = p

    def release(self):
        xdotool("mouseup", 1)

    def move(self, to, step=6.0, pause=0.01):
        """Moves the pointer in small steps, as a hand does; returns where it ended."""
        x0, y0 = self.mouse
        dx, dy = to[0] - x0, to[1] - y0
        n = max(1, int(max(abs(dx), abs(dy)) / step + 0.999))
        args = []
        for i in range(1, n + 1):
            x, y = self.to_screen((x0 + dx * i / n, y0 + dy * i / n))
            args += ["mousemove", x, y, "sleep", pause]
        xdotool(*args)
        self.mouse = to
        return to

    def tap(self, p):
        x, y = self.to_screen(p)
        xdotool("mousemove", x, y, "sleep", 0.03, "mousedown", 1, "sleep", 0.08, "mouseup", 1)
        self.mouse = p

    def keys(self, *names):
        """Presses keys (X names: Tab, Return, Down, shift+Tab) with the window focused."""
        xdotool("windowfocus", "--sync", self.window)
        xdotool("key", "--delay", 40, *names)

    def wheel(self, p, notches):
        """Turns the wheel over p; positive notches towards the user (further down the field)."""
        x, y = self.to_screen(p)
        button = 5 if notches > 0 else 4
        xdotool("mousemove", x, y, "sleep", 0.03)
        if notches:
            xdotool("click", "--repeat", abs(notches), "--delay", 15, button)
        self.mouse = p

    # --- the pixels.

    def grab(self):
        """The window's pixels, RGB rows from the top."""
        geometry = "%dx%d+%d+%d" % (self.width, self.height, self.left, self.top)
        data = subprocess.run(["import", "-window", "root", "-crop", geometry, "-depth", "8", "rgb:-"],
                              check=True, timeout=60, stdout=subprocess.PIPE).stdout
        return Pixels(self, data)

    def shot(self, path):
        geometry = "%dx%d+%d+%d" % (self.width, self.height, self.left, self.top)
        subprocess.run(["import", "-window", "root", "-crop", geometry, "+repage", path],
                       check=True, timeout=60)

    def wait_pixels(self, what, test, timeout=WAIT):
        def probe():
            pixels = self.grab()
            return pixels if test(pixels) else None
        return wait_for(what, probe, timeout, every=0.1)


class Pixels:
    def __init__(self, screen, data):
        self.screen, self.data = screen, data

    def at(self, p):
        x, y = self.screen.to_screen(p)
        x -= self.screen.left
        y -= self.screen.top
        i = (y * self.screen.width + x) * 3
        return tuple(self.data[i:i + 3])

    def region(self, box, step=2):
        """The pixels of a design box, sampled every few points."""
        x, y, w, h = box
        out = []
        yy = y + 1
        while yy < y + h - 1:
            xx = x + 1
            while xx < x + w - 1:
                out.append(self.at((xx, yy)))
                xx += step
            yy += step
        return out


def near(colour, want, slack=40):
    return all(abs(a - b) <= slack for a, b in zip(colour, want))
