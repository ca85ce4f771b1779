#!/usr/bin/env python3
"""Measures ZELVAX against a floor, side by side in one run, and writes bench/results.md.

The floor (bench/floor.cpp) is a bare Qt main window with a menu bar, a frame and three line
edits whose 50 ms timer reads the same kind of pseudo-terminal and shows the last line: what
any Qt program doing this job costs. Everything is measured from outside the processes: the
caption through X property events, CPU time through /proc/PID/task/*/schedstat, memory
through /proc/PID/smaps_rollup, start-up as the time from exec to the window's MapNotify.

    bench/run.py [--quick] --build build
"""
import argparse
import datetime
import os
import random
import statistics
import subprocess
import sys
import threading
import time
import tty

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "scripts"))
from headless import HeadlessSession, wait_for  # noqa: E402

from Xlib import X, display as xdisplay  # noqa: E402

DEG = " \u00b0C"


class Line:
    """A pseudo-terminal the benchmark writes to as a thermometer, paced at a baud rate."""

    def __init__(self):
        self.master, self.slave = os.openpty()
        tty.setraw(self.slave)
        self.path = os.ttyname(self.slave)

    def send(self, text, baud):
        """Writes the reading and its line end; returns the time its second character left."""
        character = 10.0 / baud
        second = None
        next_time = time.monotonic()
        for index, byte in enumerate((text + "\r\n").encode("latin-1")):
            while time.monotonic() < next_time:
                pass
            os.write(self.master, bytes([byte]))
            if index == 1:
                second = time.monotonic()
            next_time += character
        return second

    def hang_up(self):
        for fd in (self.master, self.slave):
            try:
                os.close(fd)
            except OSError:
                pass


class CaptionWatcher(threading.Thread):
    """Records the time of every caption change of one window."""

    def __init__(self, window):
        super().__init__(daemon=True)
        self.connection = xdisplay.Display()
        self.window = self.connection.create_resource_object("window", int(window))
        self.name_atom = self.connection.intern_atom("_NET_WM_NAME")
        self.utf8 = self.connection.intern_atom("UTF8_STRING")
        self.window.change_attributes(event_mask=X.PropertyChangeMask)
        self.connection.flush()
        self.changes = []
        self.lock = threading.Condition()
        self.start()

    def run(self):
        while True:
            try:
                event = self.connection.next_event()
            except Exception:  # the X server went away with its session
                return
            now = time.monotonic()
            if event.type == X.PropertyNotify and event.atom == self.name_atom:
                prop = self.window.get_full_property(self.name_atom, self.utf8)
                title = prop.value.decode("utf-8") if prop else ""
                with self.lock:
                    self.changes.append((now, title))
                    self.lock.notify_all()

    def wait_for(self, title, timeout):
        deadline = time.monotonic() + timeout
        with self.lock:
            while True:
                for when, seen in self.changes:
                    if seen == title:
                        return when
                left = deadline - time.monotonic()
                if left <= 0:
                    return None
                self.lock.wait(left)


def cpu_seconds(pid):
    total = 0
    for task in os.listdir(f"/proc/{pid}/task"):
        try:
            with open(f"/proc/{pid}/task/{task}/schedstat") as stat:
                total += int(stat.read().split()[0])
        except OSError:
            pass
    return total / 1e9


def memory_kib(pid):
    values = {}
    with open(f"/proc/{pid}/smaps_rollup") as rollup:
        for row in rollup:
            parts = row.split()
            if parts[0] in ("Rss:", "Pss:"):
                values[parts[0][:-1]] = int(parts[1])
    return values


def spread(values):
    return min(values), statistics.median(values), max(values)


def percentile(values, share):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(round(share * (len(ordered) - 1))))]


class Bench:
    def __init__(self, build, quick):
        self.app = os.path.join(build, "app", "zelvax")
        self.floor = os.path.join(build, "bench", "zelvax-floor")
        self.cycle = os.path.join(build, "bench", "zelvax-cycle")
        self.line_choice = os.path.join(build, "bench", "zelvax-line-choice")
        self.thermometer = os.path.join(build, "tools", "zelvax-thermometer")
        self.quick = quick
        self.rows = []

    def start_both(self, session, baud_entry=4):
        """Ours and the floor, each on its own line; ours has its line chosen."""
        ours_line, floor_line = Line(), Line()
        session.env["ZELVAX_COM1"] = ours_line.path
        ours = session.start_program([self.app], "^ZELVAX")
        ours_window = session.window
        session.choose_line(baud_entry, window=ours_window)
        time.sleep(0.3)
        session.env["ZELVAX_COM1"] = floor_line.path
        floor = session.start_program([self.floor], "^FLOOR")
        session.choose_line(1, window=session.window)
        return (ours, ours_window, ours_line), (floor, session.window, floor_line)

    def ratio_row(self, name, ours, floor, limit, number):
        """A row comparing the medians of ours and the floor's figures against a ratio."""
        ratio = statistics.median(ours) / statistics.median(floor)
        triple = " / ".join([number] * 3)
        self.rows.append((name, triple.format(*spread(ours)), triple.format(*spread(floor)),
                          f"<= {limit} x floor", f"{ratio:.3f} x", ratio <= limit))

    # --- reading latency -------------------------------------------------------------------
    def latency(self, baud, which):
        count = 20 if self.quick else 100
        with HeadlessSession(self.app, self.thermometer) as session:
            line = Line()
            session.env["ZELVAX_COM1"] = line.path
            if which == "ours":
                process = session.start_program([self.app], "^ZELVAX")
                session.choose_line(3 if baud == 9600 else 4)
                prefix = "ZELVAX   "
            else:
                process = session.start_program([self.floor], "^FLOOR")
                session.choose_line(1)
                prefix = "FLOOR   "
            watcher = CaptionWatcher(session.window)
            time.sleep(0.5)
            delays, missed = [], 0
            for index in range(count):
                time.sleep(random.uniform(0.25, 0.45))
                reading = f"{10 + index / 10:.1f}"
                sent = line.send(reading, baud)
                shown = watcher.wait_for(prefix + reading + DEG, 2.0)
                if shown is None:
                    missed += 1
                else:
                    delays.append((shown - sent) * 1000)
            process.terminate()
            line.hang_up()
        return delays, missed

    def measure_latency(self):
        for baud in (9600, 19200):
            ours, ours_missed = self.latency(baud, "ours")
            floor, floor_missed = self.latency(baud, "floor")
            low, mid, high = spread(ours)
            p99 = percentile(ours, 0.99)
            met = ours_missed == 0 and low >= 100 and p99 <= 153
            self.rows.append((
                f"Reading latency at {baud} baud, ms ({len(ours)} readings)",
                f"{low:.1f} / {mid:.1f} / {high:.1f}, p99 {p99:.1f}" + (f", {ours_missed} missed" if ours_missed else ""),
                "{:.1f} / {:.1f} / {:.1f}".format(*spread(floor)) + (f", {floor_missed} missed" if floor_missed else ""),
                "every reading 100-150, p99 <= 153",
                f"p99 - 150 = {p99 - 150:+.1f} ms",
                met))

    # --- CPU ---------------------------------------------------------------------------------
    def cpu_windows(self, ours_pid, floor_pid, seconds, windows, during=None):
        shares = {"ours": [], "floor": []}
        stop = threading.Event()
        if during:
            threading.Thread(target=during, args=(stop,), daemon=True).start()
        total_start = (cpu_seconds(ours_pid), cpu_seconds(floor_pid))
        for _ in range(windows):
            start = (cpu_seconds(ours_pid), cpu_seconds(floor_pid), time.monotonic())
            time.sleep(seconds / windows)
            elapsed = time.monotonic() - start[2]
            shares["ours"].append((cpu_seconds(ours_pid) - start[0]) / elapsed * 100)
            shares["floor"].append((cpu_seconds(floor_pid) - start[1]) / elapsed * 100)
        stop.set()
        totals = ((cpu_seconds(ours_pid) - total_start[0]) / seconds * 100,
                  (cpu_seconds(floor_pid) - total_start[1]) / seconds * 100)
        return shares, totals

    def measure_cpu(self):
        seconds = 10 if self.quick else 60
        with HeadlessSession(self.app, self.thermometer) as session:
            (ours, _, ours_line), (floor, _, floor_line) = self.start_both(session)
            time.sleep(2)

            def one_reading_a_second(stop):
                value = 0
                while not stop.is_set():
                    value += 1
                    for line in (ours_line, floor_line):
                        line.send(f"{20 + value % 50 / 10:.1f}", 19200)
                    stop.wait(1.0)

            idle = None
            for label, during in (("line open, no data", None),
                                  ("one reading a second", one_reading_a_second)):
                shares, totals = self.cpu_windows(ours.pid, floor.pid, seconds, 6, during)
                idle = idle if idle is not None else totals[0]
                self.rows.append((
                    f"CPU, {label}, % of one core over {seconds} s (per {seconds // 6} s window)",
                    "{:.3f} / {:.3f} / {:.3f}, total {:.3f}".format(*spread(shares["ours"]), totals[0]),
                    "{:.3f} / {:.3f} / {:.3f}, total {:.3f}".format(*spread(shares["floor"]), totals[1]),
                    "<= floor + 0.1",
                    f"{totals[0] - totals[1]:+.3f} points",
                    totals[0] - totals[1] <= 0.1))

            # The device goes away: a read that keeps failing must not turn into a busy loop.
            ours_line.hang_up()
            floor_line.hang_up()
            time.sleep(0.5)
            shares, totals = self.cpu_windows(ours.pid, floor.pid, 10, 2)
            self.rows.append((
                "CPU after the device went away, % of one core over 10 s",
                f"{totals[0]:.3f}",
                f"{totals[1]:.3f}" + (" (spins)" if totals[1] > 50 else ""),
                "our idle level + 0.1",
                f"{totals[0] - idle:+.3f} points",
                totals[0] <= idle + 0.1))

    # --- memory ------------------------------------------------------------------------------
    def measure_memory(self):
        repeats = 1 if self.quick else 3
        ours_rss, ours_pss, floor_rss, floor_pss = [], [], [], []
        for _ in range(repeats):
            with HeadlessSession(self.app, self.thermometer) as session:
                started = time.monotonic()
                (ours, _, _), (floor, _, _) = self.start_both(session)
                time.sleep(max(0, 10 - (time.monotonic() - started)))
                ours_memory, floor_memory = memory_kib(ours.pid), memory_kib(floor.pid)
                ours_rss.append(ours_memory["Rss"])
                ours_pss.append(ours_memory["Pss"])
                floor_rss.append(floor_memory["Rss"])
                floor_pss.append(floor_memory["Pss"])
        for label, ours, floor in (("resident set", ours_rss, floor_rss),
                                   ("proportional set", ours_pss, floor_pss)):
            self.ratio_row(f"Memory, {label} after 10 s, KiB ({repeats} runs)", ours, floor,
                           1.05, "{}")

    # --- start-up ----------------------------------------------------------------------------
    def startup(self, session, argv):
        connection = xdisplay.Display()
        connection.screen().root.change_attributes(event_mask=X.SubstructureNotifyMask)
        connection.sync()
        started = time.monotonic()
        process = session.spawn(argv, stderr=subprocess.DEVNULL)
        while True:
            event = connection.next_event()
            if event.type == X.MapNotify:
                mapped = time.monotonic()
                break
        process.terminate()
        process.wait()
        connection.close()
        return (mapped - started) * 1000

    def measure_startup(self):
        runs = 3 if self.quick else 10
        ours, floor = [], []
        with HeadlessSession(self.app, self.thermometer) as session:
            line = Line()
            session.env["ZELVAX_COM1"] = line.path
            session.env["QT_QPA_PLATFORM"] = "xcb"
            self.startup(session, [self.app])  # warm the caches for both
            self.startup(session, [self.floor])
            for _ in range(runs):
                ours.append(self.startup(session, [self.app]))
                floor.append(self.startup(session, [self.floor]))
        self.ratio_row(f"Start-up, exec to mapped window, ms ({runs} runs)", ours, floor, 1.2,
                       "{:.1f}")

    # --- throughput --------------------------------------------------------------------------
    def measure_throughput(self):
        seconds = 10 if self.quick else 60
        harness = subprocess.Popen([self.cycle, "throughput", str(seconds)],
                                   stdout=subprocess.PIPE, text=True)
        with HeadlessSession(self.app, self.thermometer) as session:
            line = Line()
            session.env["ZELVAX_COM1"] = line.path
            ours = session.start_program([self.app], "^ZELVAX")
            session.choose_line(4)
            time.sleep(1)
            stop = threading.Event()

            def stream():
                index = 0
                while not stop.is_set():
                    line.send(f"{10 + index % 300 / 10:.1f}", 19200)
                    index += 1

            writer = threading.Thread(target=stream, daemon=True)
            writer.start()
            time.sleep(5)
            start_rss = memory_kib(ours.pid)["Rss"]
            time.sleep(seconds - 5)
            end_rss = memory_kib(ours.pid)["Rss"]
            stop.set()
            writer.join()
        counted = harness.communicate()[0].split()
        sent, read, runs = int(counted[1]), int(counted[3]), int(counted[5])
        self.rows.append((
            f"Throughput, 19200 baud stream for {seconds} s: bytes read by the handler",
            f"{read} of {sent} in {runs} runs",
            "",
            "every byte exactly once",
            "exact" if read == sent else f"{read - sent:+d}",
            read == sent))
        self.rows.append((
            f"Throughput, resident memory growth from 5 s to {seconds} s, KiB",
            f"{end_rss - start_rss:+d} ({start_rss} -> {end_rss})",
            "",
            "< 1024",
            "",
            end_rss - start_rss < 1024))

    # --- unplugged device --------------------------------------------------------------------
    def measure_unplug(self):
        count = 10 if self.quick else 50
        result = subprocess.run([self.cycle, "unplug", str(count)], capture_output=True,
                                text=True)
        delays = [float(value) for value in result.stdout.split()]
        complete = result.returncode == 0 and len(delays) == count
        low, mid, high = spread(delays) if delays else (0, 0, 0)
        self.rows.append((
            f"Unplugged device: hang-up to \"Error\", ms ({count} hang-ups at varied moments)",
            f"{low:.1f} / {mid:.1f} / {high:.1f}" + ("" if complete else ", incomplete"),
            "",
            "<= 200",
            f"{200 - high:.1f} ms to spare",
            complete and high <= 200))

    # --- choosing a line, and unplugging and replugging it ----------------------------------
    def measure_line_choice(self):
        count = 50 if self.quick else 200
        result = subprocess.run([self.line_choice, "time", str(count)], capture_output=True,
                                text=True)
        times = {"lookup": [], "env": []}
        for line in result.stdout.splitlines():
            kind, value = line.split()
            times[kind].append(float(value))
        for kind, label in (("lookup", "ports present looked up"),
                            ("env", "ZELVAX_COM1 set to a pseudo-terminal")):
            values = times[kind]
            complete = result.returncode == 0 and len(values) == count
            low, mid, high = spread(values) if values else (0, 0, 0)
            p99 = percentile(values, 0.99) if values else 0
            self.rows.append((
                f"Line choice, click to frame caption, ms ({count} choices, {label})",
                f"{low:.2f} / {mid:.2f} / {high:.2f}, p99 {p99:.2f}"
                + ("" if complete else ", incomplete"),
                "",
                "p99 <= 20",
                f"{20 - p99:.2f} ms to spare",
                complete and p99 <= 20))

        cycles = 50 if self.quick else 200
        result = subprocess.run([self.line_choice, "replug", str(cycles)], capture_output=True,
                                text=True)
        figures = {}
        for line in result.stdout.splitlines():
            words = line.split()
            if words[0] == "cycle":
                figures[int(words[1])] = dict(zip(words[2::2], map(int, words[3::2])))
        complete = result.returncode == 0 and 1 in figures and cycles in figures
        first, last = figures.get(1, {}), figures.get(cycles, {})
        for key, label, target, ok in (
                ("fds", "open file descriptors", "no change", lambda d: d == 0),
                ("locks", "lock files in the lock directory", "no change", lambda d: d == 0),
                ("rss", "resident memory, KiB", "< +256", lambda d: d < 256)):
            before, after = first.get(key, 0), last.get(key, 0)
            self.rows.append((
                f"Unplug and replug, {cycles} cycles: {label}, after the first -> the last",
                f"{before} -> {after} ({after - before:+d})"
                + ("" if complete else ", incomplete"),
                "",
                target,
                "",
                complete and ok(after - before)))

    def write(self, path):
        lines = [
            "# Benchmark results",
            "",
            f"One run of `bench/run.py` on {datetime.date.today().isoformat()}, "
            f"{os.cpu_count()} cores, {'quick mode' if self.quick else 'full run'}. Figures are "
            "min / median / max unless stated. The floor is `bench/floor.cpp`: a bare Qt main "
            "window with a menu bar, a frame and three line edits reading the same kind of "
            "pseudo-terminal every 50 ms.",
            "",
            "| measure | ZELVAX | floor | target | ratio or margin | result |",
            "|---|---|---|---|---|---|",
        ]
        for name, ours, floor, target, ratio, met in self.rows:
            lines.append(f"| {name} | {ours} | {floor} | {target} | {ratio} | "
                         f"{'met' if met else 'missed'} |")
        with open(path, "w") as out:
            out.write("\n".join(lines) + "\n")
        print("\n".join(lines))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", default=os.path.join(HERE, "..", "build", "bench"))
    parser.add_argument("--quick", action="store_true")
    parser.add_argument("--out", default=os.path.join(HERE, "results.md"))
    parser.add_argument("--only", nargs="*",
                        help="some of: startup memory cpu latency throughput unplug "
                        "line_choice")
    args = parser.parse_args()
    random.seed(1999)
    bench = Bench(os.path.abspath(args.build), args.quick)
    for step in (bench.measure_startup, bench.measure_memory, bench.measure_cpu,
                 bench.measure_latency, bench.measure_throughput, bench.measure_unplug,
                 bench.measure_line_choice):
        if args.only and step.__name__.removeprefix("measure_") not in args.only:
            continue
        print("==", step.__name__, flush=True)
        step()
    bench.write(args.out)


if __name__ == "__main__":
    main()
