#!/usr/bin/env python3
"""From the mouse to the board: the harness in a real X window, driven with the real mouse,
sending to board emulators at the end of pseudo-terminals.

Positions come from the harness's layout lines; every action goes through the mouse.
Run through run_e2e.sh, which starts an X server of its own."""

import os
import shutil
import signal
import subprocess
import sys
import time
import unittest

sys.dont_write_bytecode = True  # no __pycache__ left in the source tree
import driver  # noqa: E402
from driver import Board, Harness, Screen, center, near  # noqa: E402

# Longest any one test may take, whatever it waits for: some four times what one takes on
# a quiet machine, so that a loaded one still makes it.
TEST_SECONDS = 150

LED_ON, LED_OFF, WAIT1, WAIT3 = 0, 1, 2, 3
LEFT, RIGHT = 0, 1
GREEN = (39, 172, 56)
# Below the port label and clear of the drawer's small print: the bar's green only while
# the drawer is open.
DRAWER_BAR = (500, 10)

DOV_FRAME = (b"NEW\r\n", b"SAVE 0\r\nRUN\r\n")


def dov(*lines):
    return DOV_FRAME[0] + b"".join(l + b"\r\n" for l in lines) + DOV_FRAME[1]


class Timeout(Exception):
    pass


def on_alarm(signum, frame):
    raise Timeout("the test took longer than %d s" % TEST_SECONDS)


class EndToEnd(unittest.TestCase):

    def setUp(self):
        os.makedirs(driver.OUT, exist_ok=True)
        self.name = self.id().rsplit(".", 1)[-1].replace("test_", "")
        self.boards = []
        self.harness = None
        self.screen = None
        self.steps = 0
        self.managed = False
        signal.signal(signal.SIGALRM, on_alarm)
        signal.alarm(TEST_SECONDS)
        shutil.rmtree(self.data_home(), ignore_errors=True)
        os.makedirs(self.data_home())

    def tearDown(self):
        status = None
        try:
            if self.screen:
                self.shot("end")
            status = self.harness.quit() if self.harness else 0
        finally:
            signal.alarm(0)
            if self.harness:
                self.harness.kill()
            for b in self.boards:
                b.kill()
        self.assertEqual(status, 0, "the program did not close cleanly")

    # --- helpers -------------------------------------------------------------------------

    def board(self, kind="dov", answer=False):
        b = Board("%s-board%d" % (self.name, len(self.boards) + 1), kind, answer)
        self.boards.append(b)
        return b

    def data_home(self):
        """This test's own folder for what the program keeps between runs."""
        return os.path.join(driver.OUT, "data", self.name)

    def start(self, *ports, extra_args=(), lang=None, built_in=False):
        # The boards here hang on USB ports, as a child's do, unless the case is about a board
        # on a built-in port (which is no default choice).
        if not built_in:
            ports = [p if p.endswith(",usb") else p + ",usb" for p in ports]
        self.harness = Harness(ports, os.path.join(driver.OUT, self.name + "-harness.log"),
                               self.data_home(), extra_args, lang=lang)
        self.screen = Screen(self.harness, managed=self.managed)
        # Drawn: the field's white and the green line beside the palette are on the screen.
        self.screen.wait_pixels("the first frame", lambda px: px.at((800, 300)) == (255, 255, 255)
                                and near(px.at((252, 400)), GREEN, 10))
        self.shot("start")
        return self.harness.first

    def shot(self, what):
        self.steps += 1
        self.screen.shot(os.path.join(driver.OUT, "%s-%02d-%s.png" % (self.name, self.steps, what)))

    def place(self, kind, row, side):
        """Drags a palette card into a slot, and checks that it snapped there."""
        h, s = self.harness, self.screen
        screen = h.layout()
        before = len(screen["cards"])
        start = center(screen["palette"][kind]["box"])
        s.press(start)
        # Straight to the right first: the direction that takes a card off the palette,
        # until the ghost has crossed the palette's edge and the field card exists.
        s.move((start[0] + 264, start[1]))
        h.wait_layout("the new card on the field",
                      lambda L: len(L["cards"]) == before + 1 and L["placing"])
        # The pointer's last steps may still be on their way to the window.
        screen = h.settled("the new card to follow the pointer to its end",
                           lambda L: L["cards"][before]["box"], every=0.03)
        card = center(screen["cards"][before]["box"])
        grip = (s.mouse[0] - card[0], s.mouse[1] - card[1])
        slot = screen["rows"][row // 10 - 1]["slots"][side]
        half_w = screen["cards"][before]["box"][2] / 2
        goal = (slot["connector"][0] + half_w, center(slot["box"])[1])
        # Down (or up) beside the slots, across along the edge between two rows, then into
        # the slot from above: no other free slot comes near on the way.
        edge = goal[1] + slot["box"][3] / 2
        s.move((s.mouse[0], edge + grip[1]))
        s.move((goal[0] + grip[0], edge + grip[1]))
        s.move((goal[0] + grip[0], goal[1] + grip[1]), step=3)
        index = before
        h.wait_layout("the card snapped into row %d" % row,
                      lambda L: L["rows"][row // 10 - 1]["slots"][side]["card"] == index)
        s.release()
        screen = h.wait_layout("the card laid down", lambda L: not L["placing"])
        self.assertEqual(screen["cards"][index]["opacity"], 255)
        self.assertEqual(screen["rows"][row // 10 - 1]["slots"][side]["card"], index)
        return screen

    def drop(self, kind, row, side, steps, grip):
        """As a child drags: takes the palette card at `grip` from its middle, goes straight
        for the slot in `steps` big moves (0: small ones, slowly) and lets go with the pointer
        on the slot's middle, without waiting for anything on the way."""
        h, s = self.harness, self.screen
        screen = h.layout()
        before = len(screen["cards"])
        middle = center(screen["palette"][kind]["box"])
        start = (middle[0] + grip[0], middle[1] + grip[1])
        goal = center(screen["rows"][row // 10 - 1]["slots"][side]["box"])
        s.press(start)
        if steps:
            s.move(goal, step=max(abs(goal[0] - start[0]), abs(goal[1] - start[1])) / steps + 0.01, pause=0.02)
        else:
            s.move(goal, step=5, pause=0.01)
        s.release()
        screen = h.wait_layout("the card laid down", lambda L: not L["placing"] and len(L["cards"]) == before + 1)
        card = screen["rows"][row // 10 - 1]["slots"][side]["card"]
        self.assertEqual(card, before, "the card let go on row %d %s is not in it (%s steps)"
                         % (row, "left" if side == LEFT else "right", steps or "slow"))
        self.assertTrue(screen["cards"][card]["inSlot"])
        self.assertEqual(screen["cards"][card]["rotation"], 0)
        return screen

    def play(self):
        """Taps play; the send's start and end as the harness reports them."""
        h = self.harness
        since = h.event_count()
        self.screen.tap(center(h.layout()["controls"]["play"]))
        started = h.wait_event("the send to start", lambda e: e["event"] == "send-started", since)
        done = h.wait_event("the send to end", lambda e: e["event"] == "send-done", since, timeout=60)
        self.assertTrue(done["ok"], done)
        h.wait_layout("the sending overlay gone", lambda L: not L["overlay"])
        return started, done

    def assert_received_whole(self, report, expected):
        self.assertEqual(report["lost_bytes"], 0, report["lost"])
        self.assertEqual(bytes.fromhex(report["received"]), expected)
        self.assertEqual(report["errors"], [])
        self.assertEqual(report["line_settings"], {"baud": 115200, "data_bits": 8, "parity": "none",
                                                   "stop_bits": 1, "raw_output": True})

    # --- the tests -----------------------------------------------------------------------

    def test_dov_program_arrives_byte_for_byte(self):
        board = self.board("dov")
        self.start(board.usb())
        self.place(LED_ON, 10, LEFT)
        self.place(WAIT1, 10, RIGHT)
        screen = self.place(LED_OFF, 30, LEFT)
        self.assertEqual([p["countText"] for p in screen["palette"]], ["1", "1", "1", "0", "0", "0"])
        self.shot("three-cards")

        # (What the overlay does while the program goes out, the scene tests check: here it
        # would be a race with the send's pauses.)
        _, done = self.play()
        self.assertEqual((done["written"], done["lines"]), (5, 5))
        self.shot("sent")

        report = board.stop()
        self.assert_received_whole(report, dov(b"10 LED 1:WAIT 60", b"30 LED 0"))
        self.assertEqual([l["text"] for l in report["lines"]],
                         ["NEW", "10 LED 1:WAIT 60", "30 LED 0", "SAVE 0", "RUN"])
        self.assertEqual(report["saved"], ["10 LED 1:WAIT 60", "30 LED 0"])
        self.assertEqual(report["led_timeline"], [{"t": 0.0, "led": 1}, {"t": 1.0, "led": 0}])

    def test_a_japanese_desktop_gets_a_japanese_screen(self):
        self.start(lang="ja_JP.UTF-8")
        h, s = self.harness, self.screen
        # No board, whatever this machine has plugged in.
        h.proc.stdin.write("ports\n")
        h.proc.stdin.flush()
        first = h.wait_layout("the search's end in Japanese",
                              lambda L: L["controls"]["boardText"] == "ボードが ありません")
        first = first["controls"]

        def inked(box):
            # Letters drawn: dark pixels on the box's white, not an empty box.
            return sum(1 for p in s.grab().region(box) if max(p) < 200)
        self.assertGreater(inked(first["board"]), 20, "the board box's words are not drawn")
        # Play with no board plugged in: the notice says so in Japanese, drawn.
        since = h.event_count()
        s.tap(center(first["play"]))
        h.wait_event("the notice", lambda e: e["event"] == "notice" and e["text"].startswith("ボードが みつかりません"), since)
        screen = h.wait_layout("the notice on the screen", lambda L: L["notice"] is not None)
        self.shot("japanese-notice")
        x, y, w, hh = screen["notice"]["box"]
        colours = set(s.grab().region((x, y, w, hh)))
        self.assertGreater(len(colours), 3, "the notice's words are not drawn")

    def test_quick_and_slow_drags_land_in_both_columns_and_play_sends_them(self):
        board = self.board("dov")
        self.start(board.usb())
        # Held anywhere on the card, let go on the slot's middle, quickly (5 to 10 moves) or slowly.
        drops = [(LED_ON, 10, LEFT, 6, (40, 20)), (WAIT1, 10, RIGHT, 0, (-50, -15)),
                 (LED_OFF, 20, LEFT, 9, (70, -30)), (WAIT3, 20, RIGHT, 5, (0, 0)),
                 (LED_ON, 40, RIGHT, 0, (30, 30)), (WAIT1, 50, LEFT, 10, (-70, 25)),
                 (LED_OFF, 50, RIGHT, 7, (85, -40))]
        for kind, row, side, steps, grip in drops:
            screen = self.drop(kind, row, side, steps, grip)
        self.assertEqual([p["countText"] for p in screen["palette"]], ["2", "2", "2", "1", "0", "0"])
        self.shot("dropped")
        _, done = self.play()
        self.assertEqual((done["written"], done["lines"]), (7, 7))
        report = board.stop()
        self.assert_received_whole(report, dov(b"10 LED 1:WAIT 60", b"20 LED 0:WAIT 180", b"40 LED 1",
                                               b"50 WAIT 60:LED 0"))

    def window_manager(self):
        """Full screen and minimising are the desktop's: a window manager grants them."""
        # A finished start leaves these marks on the root window; the last one's may outlive
        # it, so they go first (a window mapped while a window manager starts may never show).
        ready = ("_NET_SUPPORTING_WM_CHECK", "_OB_THEME", "_NET_WORKAREA", "_NET_CLIENT_LIST")
        for mark in ready:
            subprocess.run(["xprop", "-root", "-remove", mark], check=False,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wm = subprocess.Popen(["openbox", "--sm-disable"], stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL)
        self.addCleanup(lambda: (wm.terminate(), wm.wait()))
        self.managed = True
        driver.wait_for("the window manager", lambda: all(
            (mark + "(").encode() in subprocess.run(["xprop", "-root"], stdout=subprocess.PIPE).stdout
            for mark in ready))

    def test_full_screen_shows_the_whole_design_and_touches_still_land(self):
        self.window_manager()
        first = self.start()
        h, s = self.harness, self.screen
        s.tap(center(first["controls"]["settings"]))
        screen = h.wait_layout("the drawer open", lambda L: L["drawer"]["open"] and not L["drawer"]["moving"])
        s.tap(center(screen["controls"]["fullscreen"]))
        screen = h.wait_layout("the window filling the screen", lambda L: L["viewport"]["fullscreen"]
                               and L["viewport"]["frame"] == [1280.0, 1024.0])
        s.refresh(screen)
        s.wait_pixels("the field drawn at the new size",
                      lambda px: px.at((800, 300)) == (255, 255, 255))
        self.shot("full-screen")
        # 1280 x 1024 shows 1024 x 768 whole: scaled by 1.25, with bars above and below.
        self.assertAlmostEqual(screen["viewport"]["scale"][0], 1.25, places=2)
        self.assertAlmostEqual(screen["viewport"]["origin"][1], 32, places=0)
        s.tap(center(screen["controls"]["target"]))
        h.wait_layout("the target panel, opened by a touch at its design point",
                      lambda L: L["targetPanel"] is not None)
        s.tap((500, 300))
        h.wait_layout("the panel closed", lambda L: L["targetPanel"] is None)
        s.tap(center(screen["controls"]["fullscreen"]))
        screen = h.wait_layout("the window back", lambda L: not L["viewport"]["fullscreen"]
                               and L["viewport"]["frame"] == [1024.0, 768.0])

    def test_card_in_row_300_after_scrolling(self):
        board = self.board("dov")
        self.start(board.usb())
        h, s = self.harness, self.screen
        offset = lambda L: tuple(L["field"]["offset"])
        top = h.first["field"]["offset"][1]

        # A drag on an empty part of the field scrolls it; then the wheel does the rest, a row
        # or more a notch, and the field ends a little below row 300.
        empty = (840, 150)
        s.press(empty)
        s.move((840, 450), step=8)
        s.release()
        screen = h.settled("the field to stop coasting", offset)
        self.assertGreater(screen["field"]["offset"][1], top + 200)
        last = lambda L: center(L["rows"][29]["slots"][LEFT]["box"])[1]
        s.wheel(empty, 40)
        screen = h.settled("the wheel to reach the field's end", offset)
        self.assertAlmostEqual(screen["field"]["offset"][1], screen["field"]["limits"][1], delta=0.5)
        self.assertTrue(60 < last(screen) < 200, last(screen))
        self.assertIsNotNone(screen["controls"]["toTop"])
        self.shot("scrolled-to-row-300")

        self.place(LED_ON, 300, LEFT)
        self.shot("card-in-row-300")
        self.play()
        report = board.stop()
        self.assert_received_whole(report, dov(b"300 LED 1"))
        self.assertEqual(report["led_timeline"], [{"t": 0.0, "led": 1}])

    def test_both_panels_through_real_clicks_send_velto_to_the_second_port(self):
        first_board, second_board = self.board("dov"), self.board("velto")
        # The ports are listed in the order of their names; pseudo-terminal numbers come in any
        # order, so each board is reached through a name of a known order.
        # Short names, as the drawer's label shows the whole name.
        one, two = "/tmp/tc%da" % os.getpid(), "/tmp/tc%db" % os.getpid()
        for link, board in ((one, first_board), (two, second_board)):
            if os.path.lexists(link):
                os.unlink(link)
            os.symlink(board.path, link)
            self.addCleanup(os.unlink, link)
        screen = self.start(one + "=Board One,usb", two + "=Board Two,usb")
        h, s = self.harness, self.screen
        self.assertEqual(screen["controls"]["portLabelText"], one + " [ Board One ]")
        self.assertEqual(screen["controls"]["boardText"], "Board One")

        # The target panel: Velto, beside the button.
        button = screen["controls"]["target"]
        dov_button = s.grab().region(button)
        s.tap(center(button))
        screen = h.wait_layout("the target panel", lambda L: L["targetPanel"] and len(L["targetPanel"]) == 2)
        self.shot("target-panel")
        velto = [o for o in screen["targetPanel"] if o["target"] == 1][0]
        self.assertLess(velto["box"][0] + velto["box"][2], button[0])  # beside the button, to its left
        s.tap(center(velto["box"]))
        h.wait_layout("the panel closed on Velto", lambda L: L["targetPanel"] is None and L["target"] == 1)
        s.wait_pixels("the button showing Velto", lambda px: px.region(button) != dov_button)

        # The port list in the drawer: the second board.
        s.tap(center(screen["controls"]["settings"]))
        screen = h.wait_layout("the drawer open", lambda L: L["drawer"]["open"] and not L["drawer"]["moving"])
        s.wait_pixels("the drawer's bar", lambda px: near(px.at(DRAWER_BAR), GREEN, 10))
        label = screen["controls"]["portLabel"]
        s.tap(center(label))
        screen = h.wait_layout("the port list", lambda L: L["portList"] and len(L["portList"]) == 2)
        self.shot("port-list")
        entries = sorted(screen["portList"], key=lambda e: e["index"])
        # For people: the board first, its port under it, the one in use marked.
        self.assertEqual([(e["text"], e["port"], e["chosen"]) for e in entries],
                         [("Board One", one, True), ("Board Two", two, False)])
        # Above the label that opened it, the first port at the top.
        self.assertGreater(entries[1]["box"][1], label[1] + label[3])
        self.assertGreater(entries[0]["box"][1], entries[1]["box"][1])
        s.tap(center(entries[1]["box"]))
        h.wait_layout("the second port chosen", lambda L: L["portList"] is None and
                      L["controls"]["portLabelText"] == two + " [ Board Two ]")

        self.place(LED_ON, 10, LEFT)
        self.place(WAIT1, 10, RIGHT)
        self.place(LED_OFF, 30, LEFT)
        self.shot("three-cards")
        started, _ = self.play()
        self.assertEqual(started["port"], two)
        report = second_board.stop()
        script = b"led(1);sleep(1000);\nled(0);\n"
        self.assert_received_whole(report, b"cat uart > .\n" + script + b"\x04" + b"ms .\n")
        self.assertEqual(report["program"], script.decode())
        self.assertTrue(report["ran"])
        self.assertEqual(report["led_timeline"], [{"t": 0.0, "led": 1}, {"t": 1.0, "led": 0}])
        self.assertEqual(first_board.stop()["bytes"], 0)

    def test_the_board_answers_and_what_it_said_is_shown(self):
        board = self.board("dov", answer=True)
        self.start(board.usb("Board"))
        h, s = self.harness, self.screen
        self.place(LED_ON, 10, LEFT)
        since = h.event_count()
        self.play()
        sign = h.wait_event("the sign of success", lambda e: e["event"] == "sent-sign", since)
        self.assertEqual(sign["text"], "Sent to Board")
        ended = h.wait_event("the board's second to answer", lambda e: e["event"] == "answer-ended",
                             since, timeout=10)
        self.assertTrue(ended["heard"])
        said = ["NEW", "OK", "10 LED 1", "OK", "SAVE 0", "OK", "RUN", "OK"]
        self.assertEqual([e["text"] for e in h.events[since:] if e["event"] == "board-said"], said)
        screen = h.layout()
        self.assertFalse(screen["controls"]["boardMark"])

        # The board box's list has the way to what it said.
        s.tap(center(screen["controls"]["board"]))
        screen = h.wait_layout("the port list", lambda L: L["portList"] and L["portListBoardSaid"])
        s.tap(center(screen["portListBoardSaid"]))
        screen = h.wait_layout("what the board said", lambda L: L["boardSaidView"] is not None)
        self.assertEqual(screen["boardSaidView"]["lines"], said)
        self.shot("what-the-board-said")
        s.tap(center(screen["boardSaidView"]["close"]))
        h.wait_layout("the view closed", lambda L: L["boardSaidView"] is None)

        report = board.stop()
        self.assert_received_whole(report, dov(b"10 LED 1"))
        self.assertEqual(report["answered"], ["OK"] * 4)

    def test_play_with_only_a_built_in_port_sends_nothing_and_says_no_board(self):
        # The bare path is a port without a USB transport, as ttyS0 is on most computers.
        board = self.board("dov")
        screen = self.start(board.path, built_in=True)
        h, s = self.harness, self.screen
        self.assertEqual(screen["controls"]["boardText"], "No board")
        self.assertEqual(screen["selectedPort"], -1)
        self.place(LED_ON, 10, LEFT)
        since = h.event_count()
        s.tap(center(h.layout()["controls"]["play"]))
        notice = h.wait_event("the notice", lambda e: e["event"] == "notice", since)
        self.assertEqual(notice["text"], "No board found: plug in the board's USB cable")
        screen = h.wait_layout("the notice on the screen", lambda L: L["notice"] is not None)
        self.assertFalse(screen["overlay"])
        self.shot("no-board")
        self.assertEqual([e for e in h.events[since:] if e["event"] in ("send-started", "sent-sign")], [])
        self.assertEqual(board.stop()["bytes"], 0)

    def test_a_send_goes_on_while_the_window_is_minimised(self):
        self.window_manager()
        board = self.board("dov")
        self.start(board.usb())
        h, s = self.harness, self.screen
        for row in (10, 20, 30):
            self.place(LED_ON if row != 20 else LED_OFF, row, LEFT)
        since = h.event_count()
        s.tap(center(h.layout()["controls"]["play"]))
        h.wait_event("the send to start", lambda e: e["event"] == "send-started", since)
        driver.xdotool("windowminimize", "--sync", s.window)
        # Minimised, the program goes on: it answers, the send ends, and all of it arrives.
        h.wait_layout("the program told it is minimised", lambda L: L["viewport"]["hidden"])
        done = h.wait_event("the send to end", lambda e: e["event"] == "send-done", since, timeout=60)
        self.assertTrue(done["ok"], done)
        self.assertTrue(h.layout()["viewport"]["hidden"], "the send ended only once the window was back")
        driver.xdotool("windowactivate", "--sync", s.window)
        h.wait_layout("the window back", lambda L: not L["viewport"]["hidden"])
        report = board.stop()
        self.assert_received_whole(report, dov(b"10 LED 1", b"20 LED 0", b"30 LED 1"))

    def test_closing_the_window_during_a_send_leaves_the_board_ready(self):
        # Velto's card lines go out at once; its Ctrl-D is followed by two seconds for the board
        # to store the script. Closed then, the window lets the send end as Stop ends it: "ms ."
        # never follows, and the board is not left taking a script.
        board = self.board("velto")
        self.start(board.usb())
        h, s = self.harness, self.screen
        s.tap(center(h.layout()["controls"]["target"]))
        screen = h.wait_layout("the target panel", lambda L: L["targetPanel"])
        s.tap(center([o for o in screen["targetPanel"] if o["target"] == 1][0]["box"]))
        h.wait_layout("Velto chosen", lambda L: L["target"] == 1 and L["targetPanel"] is None)
        self.place(LED_ON, 10, LEFT)
        since = h.event_count()
        s.tap(center(h.layout()["controls"]["play"]))
        h.wait_event("the send to start", lambda e: e["event"] == "send-started", since)
        time.sleep(0.5)  # in the Ctrl-D's pause
        asked = time.monotonic()
        self.assertEqual(h.quit(), 0)
        self.assertLess(time.monotonic() - asked, 5)
        self.screen = None
        report = board.stop()
        self.assertEqual(bytes.fromhex(report["received"]), b"cat uart > .\nled(1);\n\x04")
        self.assertFalse(report["taking_script"])
        self.assertFalse(report["ran"])

    def test_a_program_file_given_on_the_command_line_opens(self):
        path = os.path.join(self.data_home(), "lesson.cards")
        with open(path, "w") as f:
            f.write('{"format":"tavrick-cards","version":1,"target":"Velto","cards":['
                    '{"kind":"wait-3","x":600,"y":3000,"row":20,"side":"right"}]}')
        screen = self.start(extra_args=[path])
        slot = screen["rows"][1]["slots"][RIGHT]["card"]
        self.assertGreaterEqual(slot, 0)
        self.assertEqual(screen["cards"][slot]["kind"], 3)
        self.assertEqual(screen["target"], 1)
        # Opening was one step: undo (the keyboard's, this time) gives the empty field it replaced.
        driver.xdotool("windowfocus", "--sync", self.screen.window, "key", "ctrl+z")
        self.harness.wait_layout("the field as before", lambda L: L["cards"] == [] and L["target"] == 0)
        driver.xdotool("key", "ctrl+shift+z")
        self.harness.wait_layout("the file's field again", lambda L: len(L["cards"]) == 1 and L["target"] == 1)


    # --- by keyboard alone -----------------------------------------------------------------

    def said(self, since):
        return [e["text"] for e in self.harness.events[since:] if e["event"] == "say"]

    def keys(self, *names, says=None):
        """Presses keys; with `says`, waits until that sentence has been said."""
        since = self.harness.event_count()
        self.screen.keys(*names)
        if says:
            self.harness.wait_event("to hear " + repr(says),
                                    lambda e: e["event"] == "say" and e["text"] == says, since)
        return since

    def test_three_blinks_made_tried_and_sent_with_the_keyboard_alone(self):
        board = self.board("dov")
        self.start(board.path)
        self.keys("Tab", says="Palette: LED on")
        palette = 0  # the palette's focused card, remembered while the focus is elsewhere
        kinds = [LED_ON, WAIT1, LED_OFF, WAIT1] * 3
        for n, kind in enumerate(kinds):
            row, side = 10 * (n // 2 + 1), n % 2
            if n:
                self.keys("Tab", "Tab")  # from the field, past the buttons, to the palette
            step = "Down" if kind > palette else "Up"
            moves = [step] * abs(kind - palette)
            palette = kind
            name = {LED_ON: "LED on", LED_OFF: "LED off", WAIT1: "Wait 1 second"}[kind]
            if moves:
                self.keys(*moves, says="Palette: " + name)
            self.keys("Return", says="%s taken: Row %d, %s slot, empty"
                      % (name, row, "left" if side == LEFT else "right"))
            self.keys("space", says="%s put into row %d, %s slot" % (name, row, "left" if side == LEFT else "right"))
        screen = self.harness.wait_layout("twelve cards in their slots",
                                          lambda L: sum(1 for c in L["cards"] if c["inSlot"]) == 12)
        self.assertEqual([p["countText"] for p in screen["palette"]], ["3", "3", "6", "0", "0", "0"])
        self.assertIsNotNone(screen["focus"], "the ring is on the screen")
        self.shot("made-by-keys")

        # Back to row 10 and along it by arrows: each slot said with its card.
        self.keys("Up", "Up", "Up", "Up", "Up", "Left", says="Row 10, left slot: LED on")

        # Tried on the screen: the try button is the fourth of the buttons.
        since = self.keys("Tab", says="Board choice: Dov")
        self.keys("Right", "Right", "Right", says="Try on the screen")
        self.keys("Return")
        self.harness.wait_event("the run on the screen to end", lambda e: e["event"] == "sim-end",
                                since, timeout=30)
        heard = self.said(since)
        self.assertEqual([t for t in heard if t in ("LED on", "LED off")], ["LED on", "LED off"] * 3)
        self.assertIn("waiting 1 second", heard)
        self.assertIn("The program has ended.", heard)
        self.keys("Escape")

        # Sent with F5.
        since = self.harness.event_count()
        self.screen.keys("F5")
        done = self.harness.wait_event("the send to end", lambda e: e["event"] == "send-done", since, timeout=60)
        self.assertTrue(done["ok"], done)
        self.harness.wait_event("to hear it sent", lambda e: e["event"] == "say" and e["text"] == "Sent", since)
        progress = [t for t in self.said(since) if t.startswith("Sending to Test Port: ")]
        self.assertTrue(progress, self.said(since))
        self.assertTrue(progress[-1].endswith(" of 9"), progress)
        self.shot("sent-by-keys")

        report = board.stop()
        lines = []
        for i in range(3):
            lines += [b"%d LED 1:WAIT 60" % (20 * i + 10), b"%d LED 0:WAIT 60" % (20 * i + 20)]
        self.assert_received_whole(report, dov(*lines))
        self.assertEqual(report["led_timeline"], [{"t": float(t), "led": 1 - t % 2} for t in range(6)])


if __name__ == "__main__":
    unittest.main()
