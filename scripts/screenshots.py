#!/usr/bin/env python3
"""Screenshots of the real window on a private X server, at the scale factors given: the window
itself, a field's context menu (Qt's own texts), the "Linka" menu with an entry's tooltip,
and the current field's tooltip explaining an "Error" (no serial port present, then garbage
from a thermometer at the wrong rate). Prints the icon sizes the window offers
(_NET_WM_ICON), since Xvfb has no window manager to draw them.

    dbus-run-session -- /usr/bin/python3 scripts/screenshots.py --app build/app/zelvax \\
        --thermometer build/tools/zelvax-thermometer --out build/screenshots --scale 1 1.5 2
"""
import argparse
import os
import re
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from headless import HeadlessSession, has_role, wait_for  # noqa: E402

import pyatspi  # noqa: E402


def accessible(role, name):
    desktop = pyatspi.Registry.getDesktop(0)
    for i in range(desktop.childCount):
        app = desktop.getChildAtIndex(i)
        if app is None or app.name != "zelvax":
            continue
        found = pyatspi.findDescendant(
            app, lambda node: has_role(node, role) and node.name == name)
        if found is not None:
            return found
    return None


def hover(session, role, name):
    """Rests the pointer on a control until its tooltip shows."""
    node = wait_for(lambda: accessible(role, name), 5, f"{role} {name!r}")
    box = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    # Away first, over the window and off it, so the tooltip comes up afresh.
    for x, y in ((box.x + box.width // 2, box.y + box.height * 3), (600, 380)):
        subprocess.run(["xdotool", "mousemove", str(x), str(y)], env=session.env, check=True)
        time.sleep(0.5)
    subprocess.run(["xdotool", "mousemove", str(box.x + box.width // 2),
                    str(box.y + box.height // 2)], env=session.env, check=True)
    time.sleep(1.5)
    return node


def icon_sizes(session):
    """The sizes of the icons in the window's _NET_WM_ICON, as xprop lists them."""
    listing = subprocess.run(["xprop", "-id", session.window, "_NET_WM_ICON"], env=session.env,
                             capture_output=True, text=True).stdout
    return re.findall(r"Icon \((\d+ x \d+)\)", listing)


def shoot(args, scale):
    with HeadlessSession(args.app, args.thermometer) as session:
        session.env["QT_SCALE_FACTOR"] = scale
        session.env.pop("ZELVAX_COM2", None)
        # What 23.4 at 19200 baud can look like to a line set to 9600.
        session.start_thermometer("--mode", "script", "wait:500",
                                  "send:\\xf8\\x86\\x98\\x1e\\xe6\\xfe\\x98\\r\\n", "wait:60000")
        session.start_program()
        wait_for(lambda: accessible("text", "Teplota"), 10, "the accessible fields")
        time.sleep(0.5)
        out = lambda name: os.path.join(args.out, f"{name}-{scale}x.png")  # noqa: E731
        print("window:", session.screenshot(out("window")), flush=True)
        print(f"icon sizes at {scale}x:", ", ".join(icon_sizes(session)), flush=True)
        wm_class = subprocess.run(["xprop", "-id", session.window, "WM_CLASS"], env=session.env,
                                  capture_output=True, text=True).stdout.strip()
        print(wm_class, flush=True)

        hover(session, "text", "Maximun")
        subprocess.run(["xdotool", "click", "3"], env=session.env, check=True)
        time.sleep(0.5)
        print("context menu:", session.screenshot(out("context-menu")), flush=True)
        session.keys("Escape")

        session.keys("alt", "Right", "Down")
        hover(session, "menu item", "  9600,N,8,1 - COM1")
        print("menu, COM1:", session.screenshot(out("menu-tooltip")), flush=True)
        hover(session, "menu item", "  9600,N,8,1 - COM2")
        print("menu, COM2:", session.screenshot(out("menu-tooltip-com2")), flush=True)
        session.keys("Escape", "Escape")

        session.choose_line(3)  # COM1: the thermometer sends garbage
        text1 = wait_for(lambda: accessible("text", "Teplota"), 5, "Teplota")
        wait_for(lambda: "Přijatý" in (text1.description or ""), 10, "a rejected reading")
        hover(session, "text", "Teplota")
        print("garbage:", text1.description, flush=True)
        print("garbage:", session.screenshot(out("garbage-tooltip")), flush=True)

        session.choose_line(1)  # COM2: unset, and present only where the computer has two
        wait_for(lambda: "COM2" in (text1.description or ""), 5, "an explanation")
        hover(session, "text", "Teplota")
        print("COM2:", text1.description, flush=True)
        print("error:", session.screenshot(out("error-tooltip")), flush=True)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--app", required=True)
    parser.add_argument("--thermometer", required=True)
    parser.add_argument("--out", required=True)
    parser.add_argument("--scale", nargs="*", default=["1"])
    args = parser.parse_args()
    os.makedirs(args.out, exist_ok=True)
    if len(args.scale) == 1:
        shoot(args, args.scale[0])
        return
    # AT-SPI's client keeps to the first bus it met, so each scale gets a process and a bus.
    for scale in args.scale:
        subprocess.run(["dbus-run-session", "--", sys.executable, os.path.abspath(__file__),
                        "--app", args.app, "--thermometer", args.thermometer, "--out", args.out,
                        "--scale", scale], check=True)


if __name__ == "__main__":
    main()
