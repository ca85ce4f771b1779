#!/usr/bin/env python3
"""The host side of the virtual machine test (started by scripts/vm-test.sh).

Boots QEMU with an on-board 16550 UART and QEMU's USB serial adapter, each backed by a socket
that this script holds, and answers the guest's requests over a virtio control port: it sends
readings into a device paced like a thermometer at the line's rate, and unplugs and replugs
the adapter through QEMU's monitor (QMP). The guest runs the end-to-end script's scenarios
and leaves its log and exit status in a shared folder.
"""
import argparse
import json
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import time

# One guest per kind of computer: a desktop with an on-board port and the adapter, and a
# laptop with the adapter alone.
BOOTS = {"desktop": True, "laptop": False}
ADAPTER = ["usb-serial", "id=adapter", "chardev=usb", "bus=xhci.0", "serial=ZELVAX0001"]


def connect(path, seconds=30):
    deadline = time.monotonic() + seconds
    while True:
        try:
            peer = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
            peer.connect(path)
            return peer
        except OSError:
            peer.close()
            if time.monotonic() > deadline:
                raise
            time.sleep(0.05)


class Monitor:
    """QEMU's machine protocol: commands, and the events that come between their answers."""

    def __init__(self, path):
        self.sock = connect(path)
        self.file = self.sock.makefile("rw")
        self.events = []
        self.file.readline()  # the greeting
        self.command("qmp_capabilities")

    def _next(self, seconds):
        self.sock.settimeout(seconds)
        try:
            line = self.file.readline()
        finally:
            self.sock.settimeout(None)
        if not line:
            raise ConnectionError("QEMU closed its monitor")
        return json.loads(line)

    def command(self, name, **arguments):
        self.file.write(json.dumps({"execute": name, "arguments": arguments}) + "\n")
        self.file.flush()
        while True:
            message = self._next(30)
            if "event" in message:
                self.events.append(message)
            elif "error" in message:
                raise RuntimeError(f"{name}: {message['error'].get('desc')}")
            else:
                return message.get("return")

    def wait_event(self, name, seconds):
        deadline = time.monotonic() + seconds
        while True:
            for event in self.events:
                if event["event"] == name:
                    self.events.remove(event)
                    return event
            if time.monotonic() > deadline:
                raise TimeoutError(f"no {name} from QEMU")
            message = self._next(max(0.1, deadline - time.monotonic()))
            if "event" in message:
                self.events.append(message)


class Feeder:
    """The thermometer's side of one device: a reading followed by CR LF, each character paced
    at the line's rate, over and over until stopped."""

    def __init__(self, sock):
        self.sock = sock
        self.stop_event = threading.Event()
        self.thread = None

    def send(self, text, baud):
        character_time = 10 / baud  # start bit, eight data bits, stop bit
        for byte in (text + "\r\n").encode("latin-1"):
            self.sock.sendall(bytes([byte]))
            time.sleep(character_time)

    def stream(self, text, baud, every=0.5):
        self.stop()
        self.stop_event.clear()

        def run():
            while not self.stop_event.is_set():
                self.send(text, baud)
                self.stop_event.wait(every)

        self.thread = threading.Thread(target=run, daemon=True)
        self.thread.start()

    def stop(self):
        self.stop_event.set()
        if self.thread:
            self.thread.join()
            self.thread = None


def serve(control, monitor, feeders):
    """Answers the guest's requests, one line each, until it says it is done."""
    lines = control.makefile("rw")
    for request in lines:
        words = request.split()
        if not words:
            continue
        verb = words[0]
        try:
            if verb == "done":
                lines.write("ok\n")
                lines.flush()
                break
            if verb == "stream":
                feeders[words[1]].stream(" ".join(words[3:]), int(words[2]))
            elif verb == "stop":
                feeders[words[1]].stop()
            elif verb == "unplug":
                # A real adapter takes nothing while it is away: the feeder stops first.
                feeders["usb"].stop()
                monitor.command("device_del", id="adapter")
                monitor.wait_event("DEVICE_DELETED", 10)
            elif verb == "replug":
                options = dict(word.split("=", 1) for word in ADAPTER[1:])
                monitor.command("device_add", driver=ADAPTER[0], **options)
            else:
                raise ValueError(f"unknown request {request.strip()!r}")
            reply = "ok"
        except Exception as error:  # the guest reports it as a failed check
            reply = f"error {error}"
        lines.write(reply + "\n")
        lines.flush()


def boot(name, args, work):
    results = os.path.join(work, name)
    os.mkdir(results)
    sockets = {what: os.path.join(work, f"{name}-{what}.sock") for what in
               ("monitor", "control", "usb", "uart")}
    uart = BOOTS[name]
    command = [
        "qemu-system-x86_64", "-machine", "q35", "-cpu", "max", "-smp", "1", "-m", "1024",
        "-nographic", "-nodefaults", "-no-user-config", "-no-reboot",
        "-kernel", args.kernel, "-initrd", args.initramfs,
        "-append", f"quiet console=hvc0 panic=-1 zelvax.project={args.project} "
                   f"zelvax.build={args.build} zelvax.boot={name}",
        "-virtfs", "local,path=/,mount_tag=hostroot,security_model=none,readonly=on,multidevs=remap",
        "-virtfs", f"local,path={results},mount_tag=results,security_model=none",
        "-device", "virtio-serial-pci",
        "-chardev", f"file,id=console,path={results}/console.log", "-device",
        "virtconsole,chardev=console",
        "-chardev", f"socket,id=control,path={sockets['control']},server=on,wait=off",
        "-device", "virtserialport,chardev=control,name=zelvax.control",
        "-chardev", f"socket,id=usb,path={sockets['usb']},server=on,wait=off",
        "-device", "qemu-xhci,id=xhci", "-device", ",".join(ADAPTER),
        "-qmp", f"unix:{sockets['monitor']},server=on,wait=off",
    ]
    if uart:
        command += ["-chardev", f"socket,id=uart,path={sockets['uart']},server=on,wait=off",
                    "-serial", "chardev:uart"]
    else:
        command += ["-serial", "none"]
    # QEMU's own emulation; KVM only when asked for, since a /dev/kvm may exist and not work.
    accel = "kvm" if os.environ.get("ZELVAX_VM_KVM") == "1" else "tcg"
    command[1:1] = ["-accel", accel]

    started = time.monotonic()
    qemu = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                            stderr=subprocess.STDOUT, text=True)
    try:
        monitor = Monitor(sockets["monitor"])
        # The adapter attaches only while its socket has a peer: connect before the guest looks.
        feeders = {"usb": Feeder(connect(sockets["usb"]))}
        if uart:
            feeders["uart"] = Feeder(connect(sockets["uart"]))
        control = connect(sockets["control"])
        server = threading.Thread(target=serve, args=(control, monitor, feeders), daemon=True)
        server.start()
        qemu.wait(timeout=args.seconds)
    except subprocess.TimeoutExpired:
        print(f"vm: the {name} guest did not finish in {args.seconds} s", flush=True)
        qemu.kill()
    except (OSError, ConnectionError) as error:
        print(f"vm: the {name} guest could not be started: {error}", flush=True)
        qemu.kill()
    qemu.wait()
    seconds = time.monotonic() - started
    output = qemu.stdout.read()

    log = os.path.join(results, "guest.log")
    status_file = os.path.join(results, "status")
    if os.path.exists(log):
        with open(log, encoding="utf-8", errors="replace") as text:
            sys.stdout.write(text.read())
    status = open(status_file).read().strip() if os.path.exists(status_file) else None
    if status != "0":
        print(f"vm: the {name} guest failed (status {status}); QEMU said:\n{output}", flush=True)
        console = os.path.join(results, "console.log")
        if os.path.exists(console):
            with open(console, encoding="utf-8", errors="replace") as text:
                print("vm: the guest's console:\n" + text.read()[-4000:], flush=True)
    print(f"vm: {name} guest: boot, scenarios and power-off took {seconds:.1f} s", flush=True)
    return status == "0"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--kernel", required=True)
    parser.add_argument("--initramfs", required=True)
    parser.add_argument("--project", required=True)
    parser.add_argument("--build", required=True)
    parser.add_argument("--seconds", type=int, default=600)
    parser.add_argument("--boot", choices=sorted(BOOTS), nargs="*", default=list(BOOTS))
    args = parser.parse_args()
    if not shutil.which("qemu-system-x86_64"):
        print("vm: qemu-system-x86_64 is missing", flush=True)
        return 1
    work = tempfile.mkdtemp(prefix="zelvax-vm-")
    try:
        passed = [boot(name, args, work) for name in args.boot]
    finally:
        shutil.rmtree(work, ignore_errors=True)
    print(f"vm: {sum(passed)} of {len(passed)} guests passed", flush=True)
    return 0 if all(passed) else 1


if __name__ == "__main__":
    sys.exit(main())
