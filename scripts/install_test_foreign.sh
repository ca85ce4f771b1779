#!/usr/bin/env bash
# The cross-built package as a Raspberry Pi user meets it: a minimal Debian bookworm root of
# that architecture (made by mmdebstrap, its programs run by qemu-user), the package installed
# there with apt-get so that apt resolves its Depends, the program started inside the root on
# this machine's X server and fed by a simulated thermometer, then purged. Changes nothing
# outside its own folder, but needs root; run it through scripts/cross.sh ARCH --install-test.
set -euo pipefail
cd "$(dirname "$0")/.."
arch=$1
deb=$(realpath build/release-"$arch"/zelvax_*_"$arch".deb)
thermometer=$(realpath build/cross-"$arch"/tools/zelvax-thermometer)
scripts/install-deps.sh --arch "$arch" mmdebstrap arch-test

root=$(mktemp -d /var/tmp/zelvax-root-XXXXXX)
display=""
mounted=()
cleanup() {
  [ -n "$display" ] && kill "$display" 2>/dev/null
  for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do umount -l "${mounted[i]}" 2>/dev/null || true; done
  [ -n "${ZELVAX_KEEP_ROOT:-}" ] || rm -rf "$root"
  return 0
}
trap cleanup EXIT
bind() {
  mkdir -p "$root$1"
  mount --bind "$1" "$root$1"
  mounted+=("$root$1")
}

echo "== mmdebstrap --architectures=$arch bookworm" >&2
sources=/etc/apt/sources.list.d/debian.sources
[ -f "$sources" ] || sources=/etc/apt/sources.list
mmdebstrap --quiet --variant=apt --architectures="$arch" bookworm "$root" "$sources"
echo "a minimal $arch root: $(du -sh "$root" | cut -f1), $(chroot "$root" dpkg --print-architecture)"

for folder in /proc /sys /dev /dev/pts /tmp/.X11-unix; do bind "$folder"; done
cp "$deb" "$root/tmp/"
echo "== apt-get install ./$(basename "$deb")" >&2
chroot "$root" apt-get update -qq # mmdebstrap leaves no package lists behind
chroot "$root" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "./tmp/$(basename "$deb")" >/dev/null
chroot "$root" dpkg-query -W -f='${Package} ${Version} ${Architecture}: ${Status}\n' zelvax
chroot "$root" dpkg -L zelvax >"$root/tmp/files"

Xvfb :94 -nolisten tcp >/dev/null 2>&1 &
display=$!
sleep 1
line=$(mktemp -u /tmp/zelvax-line-XXXXXX)
"$thermometer" --link "$line" --baud 9600 --interval 300 --start 21.5 --seconds 60 >/dev/null &
for _ in $(seq 50); do [ -e "$line" ] && break; sleep 0.1; done
device=$(readlink -f "$line")
echo "== zelvax inside the root, COM1 on $device" >&2
DISPLAY=:94 chroot "$root" env ZELVAX_COM1="$device" LANG=C.UTF-8 /usr/bin/zelvax &
program=$!
window=""
for _ in $(seq 150); do
  window=$(DISPLAY=:94 xdotool search --onlyvisible --name '^ZELVAX' 2>/dev/null | head -n1) && [ -n "$window" ] && break
  sleep 0.2
done
[ -n "$window" ] || { echo "FAIL the window did not appear" >&2; exit 1; }
echo "the window \"ZELVAX\" is shown"
DISPLAY=:94 xdotool windowfocus --sync "$window" keydown alt sleep 0.15 keyup alt
for key in Right Down Down Down Return; do DISPLAY=:94 xdotool key "$key"; sleep 0.3; done
caption=""
for _ in $(seq 100); do
  caption=$(DISPLAY=:94 xdotool getwindowname "$window")
  [[ "$caption" == "ZELVAX   "* ]] && break
  sleep 0.2
done
[[ "$caption" == "ZELVAX   "* ]] || { echo "FAIL no reading arrived: '$caption'" >&2; exit 1; }
echo "a reading arrived: caption '$caption'"
kill -TERM "$program"
status=0
wait "$program" || status=$?
echo "the program ended with status $status on SIGTERM"

echo "== apt-get purge zelvax" >&2
chroot "$root" env DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq zelvax >/dev/null
left=0
while read -r path; do
  if [ -e "$root$path" ] && { [ ! -d "$root$path" ] || [[ "$path" == */zelvax ]]; }; then
    echo "FAIL left behind: $path" >&2
    left=1
  fi
done <"$root/tmp/files"
[ "$left" -eq 0 ] && [ "$status" -eq 0 ] || exit 1
echo "purged: none of the package's $(wc -l <"$root/tmp/files") paths is left"
