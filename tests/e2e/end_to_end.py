#!/usr/bin/env python3
"""The real program under a real X server, driven and read from outside its process.

A user's session: the window appears asking for a line, the user picks COM1 at 9600 baud from
the keyboard, readings arrive from the simulated thermometer, the caption and the three
fields follow them, the about box comes and goes, and "Konec" ends the program cleanly.
The fields are read through the accessibility interface, as a screen reader reads them.
"""
import argparse
import os
import re
import signal
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..", "scripts"))
from headless import HeadlessSession, wait_for  # noqa: E402

import pyatspi  # noqa: E402

DEG = " \u00b0C"
failures = []


def check(condition, message):
    print(("ok   " if condition else "FAIL ") + message, flush=True)
    if not condition:
        failures.append(message)


def accessible_program():
    desktop = pyatspi.Registry.getDesktop(0)
    for i in range(desktop.childCount):
        app = desktop.getChildAtIndex(i)
        if app is not None and app.name == "zelvax":
            return app
    return None


def descendants(node):
    for i in range(node.childCount):
        child = node.getChildAtIndex(i)
        if child is None:
            continue
        yield child
        yield from descendants(child)


def find(role, name):
    app = accessible_program()
    if app is None:
        return None
    for node in descendants(app):
        if node.getRoleName() == role and node.name == name:
            return node
    return None


def field_text(name):
    node = find("text", name)
    if node is None:
        return None
    text = node.queryText()
    return text.getText(0, text.characterCount)


def press(role, name):
    node = wait_for(lambda: find(role, name), 5, f"{role} {name!r}")
    node.queryAction().doAction(0)


def caption():
    """The main window's title, as the accessibility interface reports it."""
    app = accessible_program()
    for i in range(app.childCount if app else 0):
        window = app.getChildAtIndex(i)
        if window is not None and window.getRoleName() == "frame" and \
                window.name.startswith("ZELVAX"):
            return window.name
    return None


def about_box_text():
    app = accessible_program()
    for node in descendants(app) if app else ():
        if node.getRoleName() == "text":
            text = node.queryText()
            content = text.getText(0, text.characterCount)
            if "ZELVAX v1.1" in content:
                return content
    return None


def lock_files(device):
    """QSerialPort's lock files for the device, in the directories it may use."""
    name = "LCK.." + device.replace("/", "_")
    folders = ("/var/lock", "/run/lock", "/etc/locks", "/var/spool/locks", "/var/spool/uucp",
               tempfile.gettempdir())
    return [os.path.join(f, name) for f in folders if os.path.exists(os.path.join(f, name))]


def ends_like_konec(args, signal_number, name):
    """A signal ends the program as "Konec" does: exit status 0 and the port's lock gone."""
    with HeadlessSession(args.app, args.thermometer) as session:
        session.start_thermometer("--interval", "200")
        program = session.start_program()
        session.choose_line(3)
        wait_for(lambda: session.caption().startswith("ZELVAX   "), 10, "a reading")
        device = session.env["ZELVAX_COM1"]
        check(lock_files(device) != [], f"{name}: the open port holds a lock file")
        program.send_signal(signal_number)
        status = program.wait(timeout=5)
        check(status == 0, f"{name} ends the program with status {status}")
        check(lock_files(device) == [], f"{name}: no lock file is left behind")


def wayland_session(args):
    """The same user on a Wayland compositor, where nothing outside the program sees its
    windows or types into them: the line is chosen, and everything read, through AT-SPI."""
    with HeadlessSession(args.app, args.thermometer, platform="wayland") as session:
        session.start_thermometer("--mode", "script", "wait:300", "send:21.3\\r\\n", "wait:600",
                                  "send:-1.5\\r\\n", "wait:20000")
        program = session.start_program()
        wait_for(lambda: find("text", "Teplota"), 15, "the accessible fields")
        check(caption() == "ZELVAX", f"wayland: caption before a line is chosen: {caption()!r}")

        press("menu item", "  9600,N,8,1 - COM1")
        wait_for(lambda: field_text("Teplota") == "-1.5" + DEG, 15, "the last reading")
        print("caption:", caption(), flush=True)
        check(caption() == "ZELVAX   -1.5" + DEG, f"wayland: caption {caption()!r}")
        check(field_text("Maximun") == "21.3" + DEG, f"wayland: Maximun {field_text('Maximun')!r}")
        check(find("panel", "9600,N,8,1 - COM1") is not None, "wayland: the frame names the line")

        # The compositor, not the program, places the about box here.
        press("menu item", "Program")
        check(wait_for(about_box_text, 5, "the about box") is not None, "wayland: the about box")

        press("menu item", "Konec")
        status = program.wait(timeout=5)
        check(status == 0, f"wayland: Konec ends the program with status {status}")


class ScreenReader:
    """Orca, started as a blind user has it. What it speaks is read from its debug log, so no
    sound device is needed; Orca writes that log in large blocks, so it is read once Orca has
    ended."""

    SPOKEN = re.compile(r"SPEECH OUTPUT: '(.*?)'\s*[\[{]")

    def __init__(self, session):
        self.log = os.path.join(session.work, "orca-debug.txt")
        env = dict(session.env, HOME=session.work)
        # Orca, not the test, switches the program's accessibility bridge on.
        session.env.pop("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", None)
        session.spawn(["openbox"], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.orca = session.spawn(["orca", "--replace", f"--debug-file={self.log}"], env=env,
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wait_for(lambda: self._on_the_bus(), 30, "Orca on the accessibility bus")
        time.sleep(2)  # Orca settles before the program starts, as after a login

    @staticmethod
    def _on_the_bus():
        desktop = pyatspi.Registry.getDesktop(0)
        return any(app is not None and app.name == "orca"
                   for app in map(desktop.getChildAtIndex, range(desktop.childCount)))

    def stop(self):
        """Ends Orca and returns every utterance it made, in order."""
        self.orca.terminate()
        self.orca.wait(timeout=30)
        with open(self.log, encoding="utf-8", errors="replace") as log:
            return [m.group(1) for m in map(self.SPOKEN.search, log) if m]


def longest_repeat(utterances):
    """The most times one utterance follows itself."""
    longest, run = 0, 0
    for i, said in enumerate(utterances):
        run = run + 1 if i and said == utterances[i - 1] else 1
        longest = max(longest, run)
    return longest


def tab_round_the_window(session):
    """Tabs through the fields and the button back to Teplota, pausing on each as a
    listener does."""
    for _ in range(4):
        session.keys("Tab")
        time.sleep(1)


def screen_reader_session(args):
    """A blind user with Orca and the keyboard alone: a line whose device is missing says
    "Error" once and why, and a working line reads its readings out."""
    with HeadlessSession(args.app, args.thermometer) as session:
        session.start_thermometer("--mode", "script", "wait:1000", "send:21.3\\r\\n", "wait:60000")
        session.env["ZELVAX_COM2"] = os.path.join(session.work, "missing-device")
        orca = ScreenReader(session)
        program = session.start_program()
        wait_for(lambda: find("text", "Teplota"), 15, "the accessible fields")
        time.sleep(1)

        session.choose_line(3)  # "  9600,N,8,1 - COM1"
        wait_for(lambda: field_text("Teplota") == "21.3" + DEG, 10, "the reading")
        time.sleep(1)
        tab_round_the_window(session)

        session.choose_line(1)  # "  9600,N,8,1 - COM2"
        wait_for(lambda: field_text("Teplota") == "Error", 10, "Error on the missing device")
        time.sleep(3)  # some twenty runs of the cycle on the failed line
        tab_round_the_window(session)
        press("menu item", "Konec")
        check(program.wait(timeout=5) == 0, "screen reader: Konec ends the program")
        heard = orca.stop()
        print("Orca said:", *(f"  {said}" for said in heard), sep="\n", flush=True)
        for words, what in (("ZELVAX frame", "the window"), ("Linka", "the Linka menu"),
                            ("  9600,N,8,1 - COM2", "a line entry"),
                            ("9600,N,8,1 - COM2 panel", "the frame's line after the choice"),
                            ("Maximun", "the Maximun field"), ("Minimun", "the Minimun field"),
                            ("Teplota", "the Teplota field"),
                            ("Reset z\u00e1znamu teplot", "the button"),
                            ("Error", "Error for the missing device"),
                            ("missing-device neexistuje", "the explanation of the Error"),
                            ("21.3" + DEG, "a live reading")):
            check(any(words in said for said in heard), f"screen reader: Orca says {what}")
        # From the first "Error" to the user's next key, only the cycle runs on the failed line.
        failed = heard[heard.index("Error"):] if "Error" in heard else []
        failed = failed[:next((i for i, said in enumerate(failed) if said == "tab "), None)]
        print("while the line fails:", failed, flush=True)
        repeats = longest_repeat(failed)
        check(repeats <= 2, f"screen reader: no utterance said more than twice in a row ({repeats})")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--app", required=True)
    parser.add_argument("--thermometer", required=True)
    parser.add_argument("--out", required=True)
    parser.add_argument("--platform", choices=("xcb", "wayland"), default="xcb")
    parser.add_argument("--screen-reader", action="store_true",
                        help="drive the program from the keyboard with Orca and check its speech")
    args = parser.parse_args()

    if args.screen_reader:
        screen_reader_session(args)
        print(f"{len(failures)} failed" if failures else "end-to-end with Orca: all checks passed")
        return 1 if failures else 0

    if args.platform == "wayland":
        wayland_session(args)
        print(f"{len(failures)} failed" if failures else "end-to-end on wayland: all checks passed")
        return 1 if failures else 0

    with HeadlessSession(args.app, args.thermometer) as session:
        session.start_thermometer("--mode", "script", "wait:300", "send:21.3\\r\\n", "wait:600",
                                  "send:22.0\\r\\n", "wait:600", "send:-1.5\\r\\n", "wait:20000")
        program = session.start_program()

        check(session.caption() == "ZELVAX", f"caption before a line is chosen: {session.caption()!r}")
        wait_for(lambda: find("text", "Teplota"), 10, "the accessible fields")
        check(find("panel", "Nastavte linku") is not None, "the frame asks for a line")
        for name in ("Teplota", "Maximun", "Minimun"):
            check(field_text(name) == "", f"{name} is empty before a line is chosen")

        session.choose_line(3)  # "  9600,N,8,1 - COM1"
        captions = []

        def saw_last_reading():
            caption = session.caption()
            if not captions or captions[-1] != caption:
                captions.append(caption)
                print("caption:", caption, flush=True)
            return caption == "ZELVAX   -1.5" + DEG

        wait_for(saw_last_reading, 15, "the readings in the caption")
        for reading in ("21.3", "22.0", "-1.5"):
            check("ZELVAX   " + reading + DEG in captions, f"caption showed {reading}")
        check(find("panel", "9600,N,8,1 - COM1") is not None, "the frame names the chosen line")
        check(field_text("Teplota") == "-1.5" + DEG, f"Teplota: {field_text('Teplota')!r}")
        check(field_text("Maximun") == "22.0" + DEG, f"Maximun: {field_text('Maximun')!r}")
        check(field_text("Minimun") == "-1.5" + DEG, f"Minimun: {field_text('Minimun')!r}")

        press("push button", "Reset z\u00e1znamu teplot")
        time.sleep(0.3)
        check(field_text("Maximun") == "22.0" + DEG, "the reset leaves the fields as they were")

        press("menu item", "Program")
        about = wait_for(about_box_text, 5, "the about box")
        check("15.11. 1999" in about, "the about box shows the date")
        shot = session.screenshot(os.path.join(args.out, "e2e-screenshot.png"))
        print("screenshot:", shot, flush=True)
        wait_for(lambda: about_box_text() is None, 9, "the about box to go")
        check(True, "the about box went away by itself")

        press("menu item", "Konec")
        status = program.wait(timeout=5)
        check(status == 0, f"Konec ends the program with status {status}")

    for name in ("SIGTERM", "SIGINT"):
        ends_like_konec(args, getattr(signal, name), name)

    print(f"{len(failures)} failed" if failures else "end-to-end: all checks passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
