#!/usr/bin/env python3
"""The demo on a machine without a display: the program runs on a private X server, a
scripted user picks "  9600,N,8,1 - COM1" from the keyboard, and the window caption is printed
as the simulated thermometer's readings arrive. A screenshot is left at the path given."""
import sys
import time

from headless import HeadlessSession, wait_for


def main(app, thermometer, screenshot):
    with HeadlessSession(app, thermometer) as session:
        session.start_thermometer("--baud", "9600", "--interval", "1000", "--count", "30")
        program = session.start_program()
        print("window:", session.caption(), flush=True)
        session.choose_line(3)
        print("picked \"  9600,N,8,1 - COM1\" from \"Linka\"", flush=True)

        last = session.caption()
        for _ in range(5):
            last = wait_for(lambda: (lambda c: c if c != last else None)(session.caption()),
                            5, "the next reading")
            print("caption:", last, flush=True)
        print("screenshot:", session.screenshot(screenshot), flush=True)

        session.keys("alt", "Return")  # "Konec" is the first menu on the bar
        program.wait(timeout=5)
        print("the program ended with status", program.returncode, flush=True)


if __name__ == "__main__":
    main(*sys.argv[1:4])
