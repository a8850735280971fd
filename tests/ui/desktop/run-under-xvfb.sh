#!/usr/bin/env bash
# Runs a command on a virtual X display with a notification area: Xvfb, with
# trayer docked at the top right. Exits 77 (skipped) where the virtual
# display or the tray program is not installed.
set -u
for tool in xvfb-run xauth trayer; do
  if ! command -v "$tool" >/dev/null; then
    echo "skipped: $tool is not installed (bash scripts/setup installs it)"
    exit 77
  fi
done
export XDG_RUNTIME_DIR="$(mktemp -d)"
trap 'rm -rf "$XDG_RUNTIME_DIR"' EXIT
inner='trayer --edge top --align right --widthtype pixel --width 120 --height 24 --expand false \
         --SetDockType true --transparent false >/dev/null 2>&1 &
       tray=$!
       "$@"
       rc=$?
       kill "$tray" 2>/dev/null
       exit $rc'
xvfb-run -a -s "-screen 0 1024x768x24" bash -c "$inner" run-under-xvfb "$@"
