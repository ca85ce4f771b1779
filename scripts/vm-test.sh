#!/usr/bin/env bash
# The program on real kernel serial drivers: a USB serial adapter (QEMU's FTDI, ftdi_sio), an
# on-board 16550 UART and a board with native USB (a CDC-ACM gadget on the guest's software
# USB device controller, through cdc_acm), in a virtual machine that runs Debian's own kernel with udev. The guest
# shares this machine's root file system read-only (with a tmpfs on top), so it runs the very
# build that was tested here. The end-to-end script drives the program inside the guest, while
# scripts/vm_host.py feeds readings into the emulated devices and unplugs and replugs the
# adapter.
#
#   scripts/vm-test.sh [BUILD_DIR]     boots the guests and runs every scenario (default build/ci)
#   scripts/vm-test.sh --guest         what the guest runs as its first process (not by hand)
set -euo pipefail

project=$(cd "$(dirname "$0")/.." && pwd)

start_udev() {
  setsid /lib/systemd/systemd-udevd >>/tmp/udevd.log 2>&1 </dev/null &
  for _ in $(seq 100); do udevadm control --ping 2>/dev/null && break; sleep 0.1; done
  udevadm trigger --action=add
  udevadm settle --timeout=30
}

guest() {
  # The guest's first process: a minimal system, udev, then the scenarios; the results go to
  # the folder the host shares, and the guest powers itself off.
  export PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8
  mount -t proc proc /proc
  mount -t sysfs sys /sys
  mount -t devtmpfs dev /dev
  exec >/dev/hvc0 2>&1 # the console the host keeps
  mkdir -p /dev/pts /dev/shm
  mount -t devpts -o gid=5,mode=620,ptmxmode=666 devpts /dev/pts
  mount -t tmpfs tmpfs /dev/shm
  mount -t tmpfs tmpfs /run
  # /tmp stays the shared one, written to the tmpfs on top: the project may live there.
  mkdir -p -m 1777 /run/lock
  mkdir -p /results
  mount -t 9p -o trans=virtio,version=9p2000.L,msize=262144 results /results
  local args
  args=$(cat /proc/cmdline)
  local boot build
  boot=$(sed -n 's/.*zelvax.boot=\([^ ]*\).*/\1/p' <<<"$args")
  build=$(sed -n 's/.*zelvax.build=\([^ ]*\).*/\1/p' <<<"$args")
  # The scenarios run the build as an ordinary user too, who must reach it through folders
  # such as a home of mode 0700; this changes the guest's copy of them only.
  local folder
  for folder in "$project" "$build"; do
    while [ "$folder" != / ]; do
      chmod o+x "$folder"
      folder=$(dirname "$folder")
    done
  done
  (
    set +e
    start_udev
    control=
    for port in /sys/class/virtio-ports/*; do
      [ "$(cat "$port/name" 2>/dev/null)" = zelvax.control ] && control=/dev/$(basename "$port")
    done
    chmod 0666 "$control"
    ls -l /dev/ttyUSB0 /dev/serial/by-id/*
    echo "guest: booted in $(cut -d' ' -f1 /proc/uptime) s; serial ports: $(ls /dev/ttyUSB* /dev/ttyACM* /dev/ttyS0 2>/dev/null | tr '\n' ' ')"
    dbus-run-session -- /usr/bin/python3 "$project/tests/e2e/end_to_end.py" --vm "$boot" \
      --control "$control" --app "$build/app/zelvax" --thermometer "$build/tools/zelvax-thermometer" \
      --out /tmp
    echo $? >/results/status
  ) >/results/guest.log 2>&1
  sync
  /bin/busybox poweroff -f
}

# Sourced with --functions by the guest's scenarios, which start udev again.
[ "${1:-}" = --functions ] && return 0

if [ "${1:-}" = --guest ]; then
  guest
  exit 0
fi

SECONDS=0
trap 'echo "vm: the whole step took $SECONDS s" >&2' EXIT
build=$(cd "${1:-$project/build/ci}" && pwd)
[ -x "$build/app/zelvax" ] || { echo "vm-test: no program at $build/app/zelvax; build first" >&2; exit 1; }
"$project/scripts/install-deps.sh"
# depmod and modprobe, which only read the unpacked kernel here, are not in an ordinary user's PATH.
PATH=$PATH:/usr/sbin:/sbin

# Debian's kernel, unpacked once into a cache outside the work tree; never installed here.
cache=${ZELVAX_VM_CACHE:-${XDG_CACHE_HOME:-${HOME:-/var/tmp}/.cache}/zelvax-vm}
mkdir -p "$cache"
# The modules that reach the shared root and the devices: the guest can't load any later, since
# the shared root has this machine's modules, not its kernel's.
guest_modules="virtio_pci virtio_console 9pnet_virtio 9p overlay xhci_pci ftdi_sio dummy_hcd libcomposite usb_f_acm cdc_acm"
if [ ! -f "$cache/initramfs.cpio.gz" ] || [ "$(cat "$cache/initramfs.modules" 2>/dev/null)" != "$guest_modules" ]; then
  echo "vm-test: fetching and unpacking Debian's kernel into $cache" >&2
  kernel_package() {
    apt-cache depends linux-image-amd64 2>/dev/null | sed -n 's/.*Depends: \(linux-image-[0-9].*\)/\1/p' | head -n1
  }
  # A fresh root has no package lists yet, and apt-cache fails until they are fetched.
  package=$(kernel_package || true)
  if [ -z "$package" ]; then
    sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo apt-get update -qq
    package=$(kernel_package || true)
  fi
  [ -n "$package" ] || { echo "vm-test: apt knows no linux-image-amd64 (run apt-get update)" >&2; exit 1; }
  rm -rf "$cache/kernel" "$cache/initramfs" "$cache"/*.deb
  (cd "$cache" && apt-get download "$package" >/dev/null 2>&1 ||
    { echo "vm-test: apt-get download $package failed" >&2; exit 1; })
  dpkg-deb -x "$cache"/linux-image-*.deb "$cache/kernel"
  rm -f "$cache"/linux-image-*.deb
  # Debian 12's kernel keeps its modules in lib/modules, 13's in usr/lib/modules (compressed,
  # which busybox's insmod reads); depmod and modprobe look in one or the other by release.
  for place in lib usr/lib; do
    [ -d "$cache/kernel/$place/modules" ] && modules=$place/modules
  done
  for place in lib usr/lib; do
    [ -e "$cache/kernel/$place/modules" ] && continue
    mkdir -p "$cache/kernel/$place"
    ln -rs "$cache/kernel/$modules" "$cache/kernel/$place/modules"
  done
  version=$(ls "$cache/kernel/$modules")
  depmod -b "$cache/kernel" "$version"

  # The initramfs: busybox and the modules that reach the shared root and the two devices.
  root=$cache/initramfs
  mkdir -p "$root"/{bin,proc,sys,dev,host,rw,newroot,modules}
  cp /bin/busybox "$root/bin/busybox"
  : >"$root/modules.list"
  for module in $guest_modules; do
    modprobe -d "$cache/kernel" -S "$version" --show-depends "$module" | awk '$1 == "insmod" {print $2}'
  done | awk '!seen[$0]++' | while read -r file; do
    cp "$file" "$root/modules/"
    basename "$file" >>"$root/modules.list"
  done
  cat >"$root/init" <<'EOF'
#!/bin/busybox sh
/bin/busybox --install -s /bin
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev
for module in $(cat /modules.list); do insmod /modules/$module; done
mount -t 9p -o trans=virtio,version=9p2000.L,ro,msize=262144,cache=loose hostroot /host
mount -t tmpfs tmpfs /rw
mkdir -p /rw/upper /rw/work
mount -t overlay overlay -o lowerdir=/host,upperdir=/rw/upper,workdir=/rw/work /newroot
project=$(sed -n 's/.*zelvax.project=\([^ ]*\).*/\1/p' /proc/cmdline)
umount /proc /sys
exec switch_root /newroot /bin/bash "$project/scripts/vm-test.sh" --guest
EOF
  chmod +x "$root/init"
  (cd "$root" && find . | cpio -o -H newc 2>/dev/null | gzip -1) >"$cache/initramfs.cpio.gz.new"
  mv "$cache/initramfs.cpio.gz.new" "$cache/initramfs.cpio.gz"
  echo "$guest_modules" >"$cache/initramfs.modules"
fi

/usr/bin/python3 "$project/scripts/vm_host.py" --kernel "$(ls "$cache"/kernel/boot/vmlinuz-*)" \
  --initramfs "$cache/initramfs.cpio.gz" --project "$project" --build "$build"
