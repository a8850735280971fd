#!/usr/bin/env bash
# lockpc and lockpcscr on an X display (run by run-under-xvfb.sh), with the
# simulated machine behind them: their windows come up under their titles,
# cover the screen, and the lock window hides on SIGUSR1 and comes back on
# SIGUSR2. Usage: lock-windows-on-x.sh PROGRAM_FOLDER
set -u
bin="$1"
tmp="$(mktemp -d)"
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
  rm -rf "$tmp"
}
trap cleanup EXIT
export NOCTURO_PLATFORM=sim NOCTURO_SIM_PACING=0 NOCTURO_REGISTRY="$tmp/r.reg" NOCTURO_SIM_JOURNAL="$tmp/j.jsonl"
failed=0
check() {
  local what="$1"; shift
  if "$@"; then echo "ok: $what"; else echo "FAIL: $what"; failed=1; fi
}
# The window's map state by its title ("" while there is none).
state() { xwininfo -name "$1" 2>/dev/null | sed -n 's/.*Map State: *//p'; }
width() { xwininfo -name "$1" 2>/dev/null | sed -n 's/.*Width: *//p'; }
waitFor() {  # title, map state
  for _ in $(seq 100); do
    [ "$(state "$1")" = "$2" ] && return 0
    sleep 0.1
  done
  return 1
}
screen="$(xwininfo -root | sed -n 's/.*Width: *//p')"

"$bin/nocturoctl" password set Night0wl >/dev/null
"$bin/nocturoctl" settings set user txtPathLog "$tmp" >/dev/null
"$bin/lockpc" >"$tmp/lockpc.out" 2>&1 &
lock=$!
pids+=("$lock")
check "the lock window comes up as 2LockPc2" waitFor 2LockPc2 IsViewable
check "it covers the screen ($(width 2LockPc2) of $screen pixels)" test "$(width 2LockPc2)" = "$screen"
kill -USR1 "$lock"
check "SIGUSR1 hides it" waitFor 2LockPc2 IsUnMapped
kill -USR2 "$lock"
check "SIGUSR2 shows it again" waitFor 2LockPc2 IsViewable
check "it is still running" kill -0 "$lock"
kill "$lock"
wait "$lock" 2>/dev/null

# A hide asked for as early as can be (once the program holds SIGUSR1 and
# SIGUSR2 back, while Qt still starts) is neither fatal nor lost.
"$bin/lockpc" >>"$tmp/lockpc.out" 2>&1 &
lock=$!
pids+=("$lock")
holding() {  # SIGUSR1 and SIGUSR2 (bits 9 and 11) in the blocked mask
  local mask
  mask="$(sed -n 's/^SigBlk:\s*//p' "/proc/$lock/status" 2>/dev/null)"
  [ -n "$mask" ] && (( (16#$mask & 0xa00) == 0xa00 ))
}
for _ in $(seq 500); do holding && break; sleep 0.01; done
kill -USR1 "$lock"
sleep 0.5
check "an early SIGUSR1 does not end it" kill -0 "$lock"
check "it leaves the window hidden" waitFor 2LockPc2 IsUnMapped
kill -USR2 "$lock"
check "SIGUSR2 then shows it" waitFor 2LockPc2 IsViewable
kill "$lock"

"$bin/lockpcscr" >"$tmp/lockpcscr.out" 2>&1 &
saver=$!
pids+=("$saver")
check "the screen saver comes up as LockPcScr" waitFor LockPcScr IsViewable
check "it covers the screen ($(width LockPcScr) of $screen pixels)" test "$(width LockPcScr)" = "$screen"
kill -USR1 "$saver"
kill -USR2 "$saver"
sleep 0.2
check "SIGUSR1 and SIGUSR2 leave it running" kill -0 "$saver"
kill -TERM "$saver"
wait "$saver"
rc=$?
check "SIGTERM ends it the orderly way (status $rc)" test $rc -eq 0
check "it printed nothing" test ! -s "$tmp/lockpcscr.out"
check "nothing was locked for real or by the desktop" test -z "$(grep -s LockWorkStation "$tmp/j.jsonl")"
[ $failed -eq 0 ] || { cat "$tmp/lockpc.out" "$tmp/lockpcscr.out"; }
exit $failed
