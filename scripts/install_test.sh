#!/usr/bin/env bash
# The package as a user of a Debian release meets it, in a clean root of that release and
# architecture (scripts/in-release.sh; ARM programs run there through qemu-user): installed with
# apt-get, so that apt resolves its Depends, started from its desktop entry's Exec line on a
# private X server of this machine, fed by a simulated thermometer, driven from the keyboard
# until a reading shows in the caption, ended with SIGTERM, then purged, with none of its files
# left behind. Changes nothing outside the root.
#
#   scripts/install_test.sh SUITE ARCH DEB
#   scripts/install_test.sh --inside DEB DEVICE    the part that runs in the root (not by hand)
set -euo pipefail
cd "$(dirname "$0")/.."

inside() {
  local deb=$1 device=$2
  export DEBIAN_FRONTEND=noninteractive
  echo "== apt-get install ./$(basename "$deb")" >&2
  apt-get update -qq # mmdebstrap leaves no package lists behind
  apt-get install -y -qq "$deb" >/dev/null
  dpkg-query -W -f='${Package} ${Version} ${Architecture}: ${Status}\n' zelvax
  local files
  files=$(mktemp)
  dpkg -L zelvax >"$files"
  local desktop exec_line
  desktop=$(grep '/usr/share/applications/.*\.desktop$' "$files")
  exec_line=$(sed -n 's/^Exec=//p' "$desktop" | sed 's/ *%[fFuUik]//g')
  echo "== starting \"$exec_line\" from $desktop, COM1 on $device" >&2
  local status=0
  ZELVAX_COM1=$device LANG=C.UTF-8 sh -c "exec $exec_line" || status=$?
  echo "the program ended with status $status on SIGTERM"

  echo "== apt-get purge zelvax" >&2
  apt-get purge -y -qq zelvax >/dev/null
  local left=0 path
  while read -r path; do
    # Folders such as /usr/share are shared with other packages; the package's own go.
    if [ -e "$path" ] && { [ ! -d "$path" ] || [[ "$path" == */zelvax ]]; }; then
      echo "FAIL left behind: $path" >&2
      left=1
    fi
  done <"$files"
  [ "$left" -eq 0 ] && [ "$status" -eq 0 ] || return 1
  echo "purged: none of the package's $(wc -l <"$files") paths is left"
}

if [ "${1:-}" = --inside ]; then
  inside "$2" "$3"
  exit
fi

[ $# -eq 3 ] || { echo "usage: scripts/install_test.sh SUITE ARCH DEB" >&2; exit 2; }
suite=$1 arch=$2
deb=$(realpath "$3")
scripts/install-deps.sh
# The thermometer and the keyboard are this machine's; the root only gets the package.
[ -x build/ci/tools/zelvax-thermometer ] || {
  cmake --preset ci >/dev/null && cmake --build --preset ci --target zelvax-thermometer >/dev/null
}
mkdir -p "build/roots/$suite-$arch"
cp "$deb" "build/roots/$suite-$arch/"

processes=()
work=$(mktemp -d)
cleanup() {
  for pid in "${processes[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$work"
  return 0
}
trap cleanup EXIT
# A free display, which Xvfb picks and tells once it is ready.
Xvfb -displayfd 3 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
processes+=($!)
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || { echo "FAIL Xvfb did not start" >&2; exit 1; }
export DISPLAY=:$(head -n1 "$work/display")
line=$work/line
build/ci/tools/zelvax-thermometer --link "$line" --baud 9600 --interval 300 --start 21.5 \
  --seconds 1800 >/dev/null &
processes+=($!)
for _ in $(seq 50); do [ -e "$line" ] && break; sleep 0.1; done
[ -e "$line" ] || { echo "FAIL the simulated thermometer made no line" >&2; exit 1; }
device=$(readlink -f "$line")

# /dev is shared with the root, so the thermometer's pseudo-terminal is there under its name.
scripts/in-release.sh "$suite" "$arch" -- scripts/install_test.sh --inside \
  "./build/$(basename "$deb")" "$device" &
root=$!
processes+=("$root")

# Under emulation apt and the program's start take minutes; the root's end stops the wait.
window=""
while kill -0 "$root" 2>/dev/null; do
  window=$(xdotool search --onlyvisible --name '^ZELVAX' 2>/dev/null | head -n1) && [ -n "$window" ] && break
  sleep 0.5
done
[ -n "$window" ] || { echo "FAIL the window did not appear" >&2; wait "$root"; exit 1; }
echo "the window \"ZELVAX\" is shown"
xdotool windowfocus --sync "$window" keydown alt sleep 0.15 keyup alt
for key in Right Down Down Down Return; do xdotool key "$key"; sleep 0.5; done
caption=""
for _ in $(seq 240); do
  caption=$(xdotool getwindowname "$window")
  [[ "$caption" == "ZELVAX   "* ]] && break
  sleep 0.25
done
program=$(xdotool getwindowpid "$window")
kill -TERM "$program"
[[ "$caption" == "ZELVAX   "* ]] || { echo "FAIL no reading arrived: '$caption'" >&2; wait "$root"; exit 1; }
echo "a reading arrived: caption '$caption'"
wait "$root"
