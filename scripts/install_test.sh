#!/usr/bin/env bash
# The package as a user of a Debian release meets it, in a clean root of that release and
# architecture (scripts/in-release.sh; ARM programs run there through qemu-user): installed with
# apt-get, so that apt resolves its Depends, started from its desktop entry's Exec line on a
# private X server of this machine, fed by a simulated thermometer, driven from the keyboard
# until a reading shows in the caption, ended with SIGTERM, then purged, with none of its files
# left behind. Changes nothing outside the root.
#
#   scripts/install_test.sh SUITE ARCH DEB
#   scripts/install_test.sh SUITE ARCH --bare -- COMMAND...
#
# The second form runs COMMAND in a bare root of the release (nothing but apt) to install the
# program its own way (scripts/repo_test.sh installs from an apt repository); it calls, as
# often as it likes, the steps that run in the root:
#
#   scripts/install_test.sh --show-reading    start the installed program for this machine to
#                                             drive until a reading shows; fails unless it ends
#                                             with status 0 on SIGTERM
#   scripts/install_test.sh --purge           purge it and check that none of its files is left
set -euo pipefail
cd "$(dirname "$0")/.."

# A simulated thermometer of this machine's, asked for: one serves one start of the program.
# Under emulation and load its start may take a while; its device comes whole, by a rename.
thermometer_device() {
  rm -f build/thermometer-device
  touch build/thermometer-wanted
  local waited=0
  until [ -s build/thermometer-device ]; do
    [ "$waited" -lt 1200 ] || { echo "FAIL no simulated thermometer came in 2 minutes" >&2; return 1; }
    sleep 0.1
    waited=$((waited + 1))
  done
  cat build/thermometer-device
}

show_reading() {
  local desktop exec_line device status=0
  desktop=$(dpkg -L zelvax | grep '/usr/share/applications/.*\.desktop$')
  exec_line=$(sed -n 's/^Exec=//p' "$desktop" | sed 's/ *%[fFuUik]//g')
  device=$(thermometer_device)
  echo "== starting \"$exec_line\" from $desktop, COM1 on $device" >&2
  ZELVAX_COM1=$device LANG=C.UTF-8 sh -c "exec $exec_line" || status=$?
  echo "the program ended with status $status on SIGTERM"
  [ "$status" -eq 0 ]
}

purge() {
  local files left=0 path
  files=$(mktemp)
  dpkg -L zelvax >"$files"
  echo "== apt-get purge zelvax" >&2
  DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq zelvax >/dev/null
  while read -r path; do
    # Folders such as /usr/share are shared with other packages; the package's own go.
    if [ -e "$path" ] && { [ ! -d "$path" ] || [[ "$path" == */zelvax ]]; }; then
      echo "FAIL left behind: $path" >&2
      left=1
    fi
  done <"$files"
  [ "$left" -eq 0 ] || return 1
  echo "purged: none of the package's $(wc -l <"$files") paths is left"
}

install_file() {
  export DEBIAN_FRONTEND=noninteractive
  echo "== apt-get install ./$(basename "$1")" >&2
  apt-get update -qq # mmdebstrap leaves no package lists behind
  apt-get install -y -qq "$1" >/dev/null
  dpkg-query -W -f='${Package} ${Version} ${Architecture}: ${Status}\n' zelvax
  show_reading
  purge
}

case "${1:-}" in
  --show-reading) show_reading; exit ;;
  --purge) purge; exit ;;
  --install-file) install_file "$2"; exit ;;
esac

[ $# -ge 3 ] || { echo "usage: scripts/install_test.sh SUITE ARCH DEB|--bare -- COMMAND..." >&2; exit 2; }
suite=$1 arch=$2
if [ "$3" = --bare ]; then
  [ "${4:-}" = -- ] && [ $# -ge 5 ] || { echo "install_test: --bare needs -- COMMAND" >&2; exit 2; }
  root=(--bare)
  command=("${@:5}")
else
  mkdir -p "build/roots/$suite-$arch"
  cp "$3" "build/roots/$suite-$arch/"
  root=()
  command=(scripts/install_test.sh --install-file "./build/$(basename "$3")")
fi
scripts/install-deps.sh
# The thermometer and the keyboard are this machine's; the root only gets the package.
[ -x build/ci/tools/zelvax-thermometer ] || {
  cmake --preset ci >/dev/null && cmake --build --preset ci --target zelvax-thermometer >/dev/null
}

processes=()
inside=""
work=$(mktemp -d)
# The root's command runs in a session of its own, so that everything in it (apt, the program,
# a scenario waiting for the repository) ends with it, before its root is deleted.
cleanup() {
  [ -z "$inside" ] || kill -- -"$inside" 2>/dev/null || true
  for pid in "${processes[@]}"; do kill "$pid" 2>/dev/null || true; done
  [ -z "$inside" ] || wait "$inside" 2>/dev/null || true
  rm -rf "$work"
  return 0
}
trap cleanup EXIT
trap 'exit 143' TERM INT HUP
# A free display, which Xvfb picks and tells once it is ready. Without -noreset the server
# resets whenever its last client leaves, as each look for the window below does, and drops a
# client that connects meanwhile: the program then fails to start for want of a display.
Xvfb -displayfd 3 -nolisten tcp -noreset 3>"$work/display" >/dev/null 2>&1 &
processes+=($!)
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || { echo "FAIL Xvfb did not start" >&2; exit 1; }
DISPLAY=:$(head -n1 "$work/display")
export DISPLAY
# A simulated thermometer for each start of the program that asks for one, since one stops
# when its reader goes. /dev is shared with the root, so its pseudo-terminal is there under
# its name, which the root reads from its build folder.
folder=build/roots/$suite-$arch
start_thermometer() {
  local line=$work/line
  rm -f "$line"
  build/ci/tools/zelvax-thermometer --link "$line" --baud 9600 --interval 300 --start 21.5 \
    --seconds 3600 >/dev/null &
  processes+=($!)
  for _ in $(seq 600); do [ -e "$line" ] && break; sleep 0.1; done
  [ -e "$line" ] || { echo "FAIL the simulated thermometer made no line in 60 s" >&2; return 1; }
  readlink -f "$line" >"$folder/thermometer-device.new"
  mv "$folder/thermometer-device.new" "$folder/thermometer-device"
}
mkdir -p "$folder"
rm -f "$folder/thermometer-wanted" "$folder/thermometer-device"

setsid scripts/in-release.sh "$suite" "$arch" "${root[@]}" -- "${command[@]}" &
inside=$!

# Drives one start of the program: COM1 from the keyboard, then a reading in the caption.
drive() {
  local window=$1 caption="" program
  echo "the window \"ZELVAX\" is shown"
  xdotool windowfocus --sync "$window" keydown alt sleep 0.15 keyup alt
  for key in Right Down Down Down Return; do xdotool key "$key"; sleep 0.5; done
  for _ in $(seq 240); do
    caption=$(xdotool getwindowname "$window")
    [[ "$caption" == "ZELVAX   "* ]] && break
    sleep 0.25
  done
  program=$(xdotool getwindowpid "$window")
  kill -TERM "$program"
  [[ "$caption" == "ZELVAX   "* ]] || { echo "FAIL no reading arrived: '$caption'" >&2; return 1; }
  echo "a reading arrived: caption '$caption'"
  # The window is gone before the next start is looked for.
  for _ in $(seq 100); do
    xdotool search --onlyvisible --name '^ZELVAX' >/dev/null 2>&1 || return 0
    sleep 0.2
  done
  echo "FAIL the window stayed after SIGTERM" >&2
  return 1
}

# Every start of the program in the root is driven, until the root's command ends. Under
# emulation apt and the program's start take minutes.
shown=0
failed=0
while kill -0 "$inside" 2>/dev/null; do
  if [ -e "$folder/thermometer-wanted" ]; then
    rm -f "$folder/thermometer-wanted"
    start_thermometer || failed=1
  fi
  window=$(xdotool search --onlyvisible --name '^ZELVAX' 2>/dev/null | head -n1) || true
  if [ -n "$window" ]; then
    shown=$((shown + 1))
    drive "$window" || failed=1
  fi
  sleep 0.2
done
status=0
wait "$inside" || status=$?
inside=""
[ "$shown" -gt 0 ] || { echo "FAIL the window did not appear" >&2; exit 1; }
[ "$failed" -eq 0 ] || exit 1
exit "$status"
