#!/usr/bin/env python3
"""The Windows build under wine: installed silently, started, uninstalled; and the harness
driven by the real mouse, sending to board emulators behind COM ports of the wine prefix,
its text in the shipped font (the prefix has no Futura), its field kept in a user folder
whose name is not ASCII.

Run through run_app_tests.sh (an X server of its own, as the end-to-end suite has)."""

import getpass
import glob
import os
import re
import subprocess
import sys
import unittest

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
import driver  # noqa: E402
import test_e2e  # noqa: E402
from driver import center, wait_for  # noqa: E402
from test_e2e import LED_ON, WAIT1, LEFT, RIGHT, GREEN, dov  # noqa: E402
from run_under_wine import link  # noqa: E402  (this folder's runner: the same COM links)

BUILD = os.environ["TAVRICK_WINDOWS_BUILD"]
PREFIX = os.path.join(BUILD, "wine")
NAME = "Tavrick Cards"
# Wine's first start of a prefix, and a busy machine, take long.
WINE_WAIT = 120


def wine(*args, **kw):
    return subprocess.run(["wine"] + list(args), stdin=subprocess.DEVNULL, timeout=WINE_WAIT * 3,
                          **kw)


def user_folder(*parts):
    """A folder of the prefix's Windows user."""
    return os.path.join(PREFIX, "drive_c", "users", getpass.getuser(), *parts)


def link_com(number, target):
    """COMn of the prefix made a link to `target` (None: taken away)."""
    link(os.path.join(PREFIX, "dosdevices"), number, target)


def setUpModule():
    os.environ.update(WINEPREFIX=PREFIX, WINEDEBUG="-all",
                      # No Mono or Gecko: nothing here needs them; they would want the network.
                      WINEDLLOVERRIDES="mscoree,mshtml=")
    os.makedirs(PREFIX, exist_ok=True)
    if not os.path.exists(os.path.join(PREFIX, "system.reg")):
        subprocess.run(["wineboot", "-i"], check=True, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=WINE_WAIT * 3)
    driver.HARNESS_COMMAND = ["wine", driver.HARNESS + ".exe"]
    driver.VIDEO_DRIVER = "windows"
    driver.WAIT = WINE_WAIT
    test_e2e.TEST_SECONDS = 300


def tearDownModule():
    subprocess.run(["wineserver", "-k"], check=False)


def screen_colours():
    data = subprocess.run(["import", "-window", "root", "-depth", "8", "rgb:-"], check=True,
                          stdout=subprocess.PIPE, timeout=60).stdout
    return {data[i:i + 3] for i in range(0, len(data), 3)}


class Installer(unittest.TestCase):

    def test_silent_install_starts_and_uninstall_removes_it(self):
        setup = glob.glob(os.path.join(BUILD, "tavrick-cards-*-setup.exe"))[0]
        folder = user_folder("AppData", "Local", "Programs", NAME)
        shortcut = user_folder("AppData", "Roaming", "Microsoft", "Windows", "Start Menu",
                               "Programs", NAME + ".lnk")
        self.assertEqual(wine(setup, "/S").returncode, 0)
        for f in ("tavrick-cards.exe", "uninstall.exe", "res/r_play.png", "fonts/BetecknaGS.ttf"):
            self.assertTrue(os.path.isfile(os.path.join(folder, f)), f)
        self.assertTrue(os.path.isfile(shortcut))

        program = subprocess.Popen(["wine", os.path.join(folder, "tavrick-cards.exe")],
                                   stdin=subprocess.DEVNULL)
        try:
            wait_for("the window", lambda: subprocess.run(
                ["xdotool", "search", "--onlyvisible", "--name", "^TavrickApps$"],
                stdout=subprocess.PIPE, stderr=subprocess.DEVNULL).stdout.split(), WINE_WAIT)
            # The field's white and the frame's green: the main screen, not a blank window.
            wait_for("the main screen drawn", lambda: {b"\xff\xff\xff", bytes(GREEN)} <=
                     screen_colours(), WINE_WAIT, every=0.2)
            subprocess.run(["import", "-window", "root", os.path.join(driver.OUT, "installed.png")])
        finally:
            program.kill()
            program.wait()
        # The uninstaller runs on from a copy of itself: done when the prefix has no process.
        self.assertEqual(wine(os.path.join(folder, "uninstall.exe"), "/S").returncode, 0)
        subprocess.run(["wineserver", "-w"], timeout=WINE_WAIT)
        self.assertFalse(os.path.exists(folder), os.listdir(folder) if os.path.exists(folder) else "")
        self.assertFalse(os.path.exists(shortcut))
        with open(os.path.join(PREFIX, "user.reg"), encoding="latin-1") as f:
            self.assertNotIn("Uninstall\\\\TavrickCards]", f.read())


class WineEndToEnd(test_e2e.EndToEnd):
    """The end-to-end helpers, with the harness under wine and each board behind a COM port."""

    def data_home(self):
        return user_folder("AppData", "Roaming", "tavrick-cards")

    def start(self, *ports, extra_args=()):
        coms = []
        for i, port in enumerate(ports):
            # PATH[=DESCRIPTION][,usb]: the device goes behind the COM port, the rest stays.
            path, tail = re.match(r"([^=,]*)(.*)", port).groups()
            link_com(5 + i, path)
            self.addCleanup(link_com, 5 + i, None)
            coms.append("COM%d%s" % (5 + i, tail))
        return super().start(*coms, extra_args=extra_args)

    def fallback_text_shown(self):
        # No Futura in the prefix: the board box's "Test Port" is drawn in the shipped face.
        box = self.harness.layout()["controls"]["board"]
        dark = [p for p in self.screen.grab().region(box, step=1) if max(p) < 160]
        self.assertGreater(len(dark), 20, "no text in the board box")

    def test_dov_program_arrives_through_com5(self):
        board = self.board("dov")
        self.start(board.usb())
        self.fallback_text_shown()
        self.place(LED_ON, 10, LEFT)
        self.place(WAIT1, 10, RIGHT)
        started, done = self.play()
        self.assertEqual(started["port"], "COM5")
        self.assertEqual((done["written"], done["lines"]), (4, 4))
        # Whole, with nothing lost: the pauses after each line were kept.
        self.assert_received_whole(board.stop(), dov(b"10 LED 1:WAIT 60"))

    def test_field_is_kept_in_a_folder_with_a_non_ascii_name(self):
        # A Windows user named Zoë: the program's folder is C:\users\Zoë\tavrick-cards.
        shell_folders = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\User Shell Folders"
        env = dict(os.environ, LANG="C.UTF-8")

        def app_data(folder):
            wine("reg", "add", shell_folders, "/v", "AppData", "/t", "REG_EXPAND_SZ", "/d", folder,
                 "/f", env=env, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        app_data(r"C:\users\Zoë")
        self.addCleanup(app_data, r"%USERPROFILE%\AppData\Roaming")
        field = os.path.join(PREFIX, "drive_c", "users", "Zoë", "tavrick-cards", "field.json")
        if os.path.exists(field):
            os.unlink(field)

        self.start()
        since = self.harness.event_count()
        self.place(LED_ON, 10, LEFT)
        self.harness.wait_event("the field saved", lambda e: e["event"] == "saved", since)
        self.assertTrue(os.path.isfile(field))
        self.assertEqual(self.harness.quit(), 0)
        self.harness.kill()
        self.start()
        self.assertEqual(self.harness.first["rows"][0]["slots"][LEFT]["card"], 0)


def load_tests(loader, standard_tests, pattern):
    # Only this file's cases: the inherited Linux ones run in the Linux suite.
    suite = unittest.TestSuite()
    suite.addTests(loader.loadTestsFromTestCase(Installer))
    for name in ("test_dov_program_arrives_through_com5", "test_field_is_kept_in_a_folder_with_a_non_ascii_name"):
        suite.addTest(WineEndToEnd(name))
    return suite


if __name__ == "__main__":
    unittest.main(verbosity=2)
