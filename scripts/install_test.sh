#!/usr/bin/env bash
# Installs the package on this machine as a user would, starts the program from its desktop
# entry's Exec line on a private X server, purges the package and checks that none of its
# files is left. Changes the system, so it is not part of the test command; run it through
# scripts/package.sh --install-test.
set -euo pipefail
deb=$(realpath "$1")
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive

echo "== apt-get install $deb" >&2
$sudo apt-get install -y -qq "$deb" >/dev/null
dpkg-query -W -f='${Package} ${Version}: ${Status}\n' zelvax
files=$(mktemp)
display=""
cleanup() {
  rm -f "$files"
  [ -n "$display" ] && kill "$display" 2>/dev/null
  return 0
}
trap cleanup EXIT
dpkg -L zelvax >"$files"

desktop=$(grep '/usr/share/applications/.*\.desktop$' "$files")
exec_line=$(sed -n 's/^Exec=//p' "$desktop" | sed 's/ *%[fFuUik]//g')
echo "== starting \"$exec_line\" from $desktop" >&2
Xvfb :93 -nolisten tcp >/dev/null 2>&1 &
display=$!
sleep 1
DISPLAY=:93 sh -c "exec $exec_line" &
program=$!
for _ in $(seq 50); do
  DISPLAY=:93 xdotool search --onlyvisible --name '^ZELVAX$' >/dev/null 2>&1 && break
  sleep 0.2
done
if DISPLAY=:93 xdotool search --onlyvisible --name '^ZELVAX$' >/dev/null 2>&1; then
  echo "the window \"ZELVAX\" is shown"
else
  echo "FAIL the window did not appear" >&2
  exit 1
fi
kill -TERM "$program"
status=0
wait "$program" || status=$?
echo "the program ended with status $status on SIGTERM"
[ "$status" -eq 0 ] || exit 1

echo "== apt-get purge zelvax" >&2
$sudo apt-get purge -y -qq zelvax >/dev/null
left=0
while read -r path; do
  # Folders such as /usr/share are shared with other packages; the package's own go.
  if [ -e "$path" ] && { [ ! -d "$path" ] || [[ "$path" == */zelvax ]]; }; then
    echo "FAIL left behind: $path" >&2
    left=1
  fi
done <"$files"
[ "$left" -eq 0 ] || exit 1
echo "purged: none of the package's $(wc -l <"$files") paths is left"
