#!/usr/bin/env bash
# The program itself on a desktop with a notification area (run by
# run-under-xvfb.sh): with "Start in system tray" set it comes up as an icon
# in the tray with its main window hidden, and SIGTERM ends it the orderly
# way. The machine is the simulated one.
set -u
bin="$1"
for tool in xwininfo; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
done
work="$(mktemp -d)"
trap 'kill "$pid" 2>/dev/null; rm -rf "$work"' EXIT
export NOCTURO_PLATFORM=sim NOCTURO_REGISTRY="$work/settings.reg" NOCTURO_SIM_JOURNAL="$work/journal.jsonl"
"$bin/nocturoctl" settings set user chkStartInSysTray 1 --dword >/dev/null || exit 1

"$bin/nocturo" >"$work/out.txt" 2>&1 &
pid=$!

# The program's windows: "id width height absolute-x" per line.
windows() {
  xwininfo -root -tree 2>/dev/null |
    awk '/\("nocturo" "Nocturo"\)/ { split($(NF-1), size, "x"); split(size[2], rest, "+");
                                     n = split($NF, abs, "+"); print $1, size[1], rest[1], abs[2] }'
}

icon=""
for _ in $(seq 1 300); do
  # The icon: a small window docked in the panel at the top right.
  icon="$(windows | awk '$2 <= 64 && $3 <= 64 && $4 >= 900 { print $1; exit }')"
  [ -n "$icon" ] && break
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
fail=0
if [ -z "$icon" ]; then
  echo "FAIL: no icon of the program in the notification area"; fail=1
else
  echo "ok: the icon sits in the notification area ($icon)"
fi
# The main window (the large one) exists but is not on the screen.
while read -r id width height _; do
  [ "$width" -gt 100 ] || continue
  state="$(xwininfo -id "$id" | awk -F': ' '/Map State/ { print $2 }')"
  if [ "$state" = "IsViewable" ]; then
    echo "FAIL: the main window ($id, ${width}x${height}) is on screen while in the tray"; fail=1
  fi
done < <(windows)

kill -TERM "$pid"
wait "$pid"
rc=$?
pid=""
if [ "$rc" -ne 0 ]; then echo "FAIL: SIGTERM ended the program with status $rc"; fail=1; fi
if ! grep -q "Nocturo ended" "$work/out.txt"; then
  echo "FAIL: the program did not log its orderly end"; fail=1
fi
[ "$fail" -eq 0 ] && echo "ok: hidden main window, orderly end"
cat "$work/out.txt" | sed 's/^/  program: /'
exit "$fail"
