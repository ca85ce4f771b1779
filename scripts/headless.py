"""A private display with an accessibility bus, for running the program without a display.

Used by the headless demo and the end-to-end test: it starts Xvfb (or, for the wayland
platform, a headless weston with a runtime folder of its own), the AT-SPI bus, the
simulated thermometer and the program, drives the program from outside as a user would
(keyboard through xdotool, buttons and menus through the accessibility interface), reads what
it shows, takes screenshots, and cleans up everything it started.
"""
import os
import shutil
import subprocess
import tempfile
import time


class HeadlessSession:
    def __init__(self, app, thermometer, platform="xcb"):
        self.app = app
        self.platform = platform
        self.thermometer = thermometer
        self.work = tempfile.mkdtemp(prefix="zelvax-")
        self.processes = []
        self.env = dict(os.environ)
        self.program = None

    def __enter__(self):
        if self.platform == "wayland":
            self._start_compositor()
        else:
            self._start_x_server()
        self._start_accessibility_bus()
        return self

    def __exit__(self, *exc):
        for process in reversed(self.processes):
            if process.poll() is None:
                process.terminate()
                try:
                    process.wait(timeout=3)
                except subprocess.TimeoutExpired:
                    process.kill()
                    process.wait()
        shutil.rmtree(self.work, ignore_errors=True)
        return False

    def spawn(self, argv, **kwargs):
        """Starts a process that is ended with the session."""
        process = subprocess.Popen(argv, **{"env": self.env, **kwargs})
        self.processes.append(process)
        return process

    def _start_x_server(self):
        read_end, write_end = os.pipe()
        self.spawn(["Xvfb", "-displayfd", str(write_end), "-screen", "0", "640x400x24", "-wr", "-noreset",
                     "-nolisten", "tcp"], pass_fds=[write_end], stderr=subprocess.DEVNULL)
        os.close(write_end)
        with os.fdopen(read_end) as pipe:
            display = pipe.readline().strip()
        if not display:
            raise RuntimeError("Xvfb did not start")
        self.env["DISPLAY"] = ":" + display
        os.environ["DISPLAY"] = self.env["DISPLAY"]

    def _start_compositor(self):
        runtime = os.path.join(self.work, "runtime")
        os.mkdir(runtime, 0o700)
        self.env["XDG_RUNTIME_DIR"] = runtime
        self.env.pop("DISPLAY", None)
        os.environ.pop("DISPLAY", None)
        socket = "wayland-zelvax"
        self.spawn(["weston", "--backend=headless-backend.so", "--use-pixman", "--idle-time=0",
                    f"--socket={socket}"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wait_for(lambda: os.path.exists(os.path.join(runtime, socket)), 10, "weston's socket")
        self.env["WAYLAND_DISPLAY"] = socket

    def _start_accessibility_bus(self):
        launcher = "/usr/libexec/at-spi-bus-launcher"
        if os.path.exists(launcher) and "DBUS_SESSION_BUS_ADDRESS" in self.env:
            self.spawn([launcher, "--launch-immediately"], stderr=subprocess.DEVNULL)
            time.sleep(0.5)
        # Screen readers switch Qt's bridge on through the bus; here nobody does, so ask.
        self.env["QT_LINUX_ACCESSIBILITY_ALWAYS_ON"] = "1"

    def start_thermometer(self, *arguments):
        link = os.path.join(self.work, "com1")
        self.spawn([self.thermometer, "--link", link, *arguments], stdout=subprocess.DEVNULL)
        wait_for(lambda: os.path.lexists(link), 5, "the thermometer's line")
        self.env["ZELVAX_COM1"] = link

    def start_program(self, argv=None, title="^ZELVAX", stderr=subprocess.DEVNULL):
        """Starts the program (or another window program) and, on X, waits for its window;
        on Wayland no client can see another's windows, so the caller asks AT-SPI."""
        self.env["QT_QPA_PLATFORM"] = self.platform
        process = self.spawn(argv or [self.app], stderr=stderr)
        if self.platform != "wayland":
            # A first start in a fresh virtual machine under emulation builds Qt's and
            # fontconfig's caches: generous, since this waits and measures nothing.
            self.window = wait_for(lambda: self.find_window(title), 30, "the window " + title)
        if argv is None:
            self.program = process
        return process

    def find_window(self, title):
        found = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", title],
                               env=self.env, capture_output=True, text=True).stdout.split()
        return found[0] if found else None

    def caption(self, window=None):
        return subprocess.run(["xdotool", "getwindowname", window or self.window], env=self.env,
                              capture_output=True, text=True).stdout.rstrip("\n")

    def keys(self, *names, window=None):
        """Types keys into the main window, one at a time as a person would."""
        subprocess.run(["xdotool", "windowfocus", "--sync", window or self.window], env=self.env)
        for name in names:
            self._type(name)

    def _type(self, name):
        """One key, to whichever window has the keyboard (an open menu, say)."""
        if name == "alt":
            # Held for a moment: a press of no length is lost on its way through a screen
            # reader's key handling, and the menu bar never opens.
            subprocess.run(["xdotool", "keydown", "alt", "sleep", "0.15", "keyup", "alt"],
                           env=self.env, check=True)
        else:
            subprocess.run(["xdotool", "key", name], env=self.env, check=True)
        time.sleep(0.15)

    def choose_line(self, position, window=None, listen=0):
        """Opens "Linka" from the keyboard and picks the entry at that position (1-4), after
        stopping on it for `listen` seconds, as a screen reader's user does to hear it: a screen
        reader lets go of an entry whose menu closed before it could say it."""
        self.keys("alt", "Right", "Down", *(["Down"] * (position - 1)), window=window)
        time.sleep(listen * time_scale())
        self._type("Return")

    def screenshot(self, path):
        with open(path, "wb") as out:
            xwd = subprocess.Popen(["xwd", "-root", "-silent"], env=self.env,
                                   stdout=subprocess.PIPE)
            pnm = subprocess.Popen(["xwdtopnm"], stdin=xwd.stdout, stdout=subprocess.PIPE,
                                   stderr=subprocess.DEVNULL)
            subprocess.run(["pnmtopng"], stdin=pnm.stdout, stdout=out,
                           stderr=subprocess.DEVNULL, check=True)
            xwd.wait()
            pnm.wait()
        return path


def time_scale():
    # Under emulation (an ARM build run by qemu-user) every time limit stretches alike.
    return max(1.0, float(os.environ.get("ZELVAX_TIME_SCALE", 1)))


def wait_for(condition, seconds, what):
    deadline = time.monotonic() + seconds * time_scale()
    while time.monotonic() < deadline:
        value = condition()
        if value:
            return value
        time.sleep(0.05)
    raise TimeoutError("timed out waiting for " + what)


def has_role(node, role):
    """Whether an accessible node has a role, named as in "push button". Compared by the role
    itself, not by its name: the accessibility stack renames roles between releases (a push
    button is "button" from at-spi2-core 2.56 on)."""
    import pyatspi
    roles = {"text": (pyatspi.ROLE_TEXT, pyatspi.ROLE_ENTRY), "panel": (pyatspi.ROLE_PANEL,),
             "frame": (pyatspi.ROLE_FRAME,), "menu item": (pyatspi.ROLE_MENU_ITEM,),
             "push button": (pyatspi.ROLE_PUSH_BUTTON,), "tool tip": (pyatspi.ROLE_TOOL_TIP,)}
    return node.getRole() in roles[role]
