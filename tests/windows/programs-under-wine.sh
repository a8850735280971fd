#!/usr/bin/env bash
# The built Windows programs run under wine, as an administrator would run
# them. Usage: programs-under-wine.sh CASE WINE BIN_DIR
# Each case prints what it checked and exits non-zero on the first mismatch.
set -uo pipefail
case_name=$1
wine=$2
bin=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
# wine's programs end their lines with CR LF.
run() { "$wine" "$@" </dev/null 2>&1 | tr -d '\r'; return "${PIPESTATUS[0]}"; }
windows_path() { echo "Z:${1//\//\\}"; }

case "$case_name" in
ctl-encrypt3-[0-9])
  # Stored forms made by the Linux build's nocturoctl. Each one has a random
  # start, so the Windows build must read these and make forms of the same
  # shape that it reads back itself.
  texts=("Hallo Welt" "s3cret" "Grüße, 日本 😀")
  linux=(D5427ECB20D8DFF4CD422D856A71564C97BC12B80610DE07DC700E8971E7BCF9
         72D5033E4F3ABF4CF553327E2C70A8BDF7E79F5A5EC42439
         24B120D6C889E7ABD45693618D496856FB860C2E6C1322D7577E31C052EBC7E31BB25BAC080D99A5)
  # One text per case: each takes three starts of wine.
  for i in "${case_name#ctl-encrypt3-}"; do
    [ "$i" -lt "${#texts[@]}" ] || fail "no text $i"
    text=${texts[$i]}
    got=$(run "$bin/nocturoctl.exe" decrypt3 "${linux[$i]}") || fail "decrypt3 exit code"
    [ "$got" = "$text" ] || fail "decrypt3 of the Linux form gave '$got', not '$text'"
    stored=$(run "$bin/nocturoctl.exe" encrypt3 "$text") || fail "encrypt3 exit code"
    [[ "$stored" =~ ^[0-9A-F]+$ ]] || fail "encrypt3 gave '$stored'"
    [ ${#stored} -eq ${#linux[$i]} ] || fail "encrypt3 '$text': ${#stored} digits, the Linux build ${#linux[$i]}"
    [ "$stored" != "${linux[$i]}" ] || fail "encrypt3 '$text' repeated the Linux form's random start"
    back=$(run "$bin/nocturoctl.exe" decrypt3 "$stored") || fail "decrypt3 exit code"
    [ "$back" = "$text" ] || fail "decrypt3 of '$stored' gave '$back', not '$text'"
    echo "ok: $text"
  done
  ;;
ctl-settings-in-the-registry)
  # A user's settings live below HKEY_CURRENT_USER (every user may write there).
  key='HKEY_CURRENT_USER\Software\Varn\Nocturo'
  run "$bin/nocturoctl.exe" settings set user txtHour 03 >/dev/null || fail "settings set exit code"
  shown=$(run reg query "$key" /s) || fail "reg query exit code"
  echo "$shown" | grep -Eq '^ +txtHour +REG_SZ +03$' || fail "txtHour 03 not in the registry: $shown"
  echo "ok: txtHour 03"
  # A second value replaces the first; a number is a REG_DWORD.
  run "$bin/nocturoctl.exe" settings set user txtHour 04 >/dev/null || fail "settings set exit code"
  run "$bin/nocturoctl.exe" settings set user chkSound 0 --dword >/dev/null || fail "settings set --dword exit code"
  shown=$(run reg query "$key" /s) || fail "reg query exit code"
  echo "$shown" | grep -Eq '^ +txtHour +REG_SZ +04$' || fail "txtHour 04 not in the registry: $shown"
  echo "$shown" | grep -Eq '^ +chkSound +REG_DWORD +0x0$' || fail "chkSound is no REG_DWORD 0: $shown"
  echo "ok: txtHour 04, chkSound 0 as a number"
  ;;
headless-reboot|service-reboot)
  # The service's own start (--service) is the headless program; the
  # simulated machine is never handed to the service control manager.
  how=--headless
  if [ "$case_name" = service-reboot ]; then
    how=--service
    run "$bin/nocturo.exe" --help | grep -q -- "--service" || fail "--help does not name --service"
  fi
  journal="$work/journal.jsonl"
  out=$(NOCTURO_PLATFORM=sim NOCTURO_SIM_PACING=0 NOCTURO_SIM_JOURNAL=$(windows_path "$journal") \
        run "$bin/nocturo.exe" "$how" /action:reboot)
  code=$?
  echo "$out"
  [ "$code" -eq 0 ] || fail "exit code $code"
  lines=$(cat "$journal") || fail "no journal"
  privilege=$(grep -n '{"call":"AdjustTokenPrivileges","privilege":"SeShutdownPrivilege"}' "$journal" | head -1 | cut -d: -f1)
  restart=$(grep -n '{"call":"ExitWindowsEx","flags":7,"reserved":4294967295}' "$journal" | head -1 | cut -d: -f1)
  [ -n "$privilege" ] && [ -n "$restart" ] || fail "journal without the forced restart: $lines"
  [ "$privilege" -lt "$restart" ] || fail "the privilege came after the restart"
  started=$(echo "$out" | grep -n "Nocturo started" | head -1 | cut -d: -f1)
  login=$(echo "$out" | grep -n "New Login" | head -1 | cut -d: -f1)
  logged=$(echo "$out" | grep -n "Restart" | head -1 | cut -d: -f1)
  [ -n "$started" ] && [ -n "$login" ] && [ -n "$logged" ] || fail "the action log is incomplete"
  [ "$started" -lt "$login" ] && [ "$login" -lt "$logged" ] || fail "the action log is out of order"
  echo "ok: flags 7 after SeShutdownPrivilege"
  ;;
second-copy)
  export NOCTURO_PLATFORM=sim NOCTURO_SIM_PACING=1 NOCTURO_SIM_JOURNAL=$(windows_path "$work/j.jsonl")
  "$wine" "$bin/nocturo.exe" --headless </dev/null >"$work/first.out" 2>&1 &
  first=$!
  for _ in $(seq 1 300); do
    grep -q "Nocturo started" "$work/first.out" && break
    kill -0 "$first" 2>/dev/null || break
    sleep 0.1
  done
  grep -q "Nocturo started" "$work/first.out" || { kill "$first"; fail "the first copy did not start: $(cat "$work/first.out")"; }
  # The second copy hands its command line to the first over the pipe (a
  # start without /action: raises it) and ends with 0; nocturoctl reaches
  # the first copy the same way and changes its schedule.
  out=$(run "$bin/nocturo.exe" --headless)
  code=$?
  armed=$(run "$bin/nocturoctl.exe" arm Reboot in 10m)
  armedCode=$?
  state=$(run "$bin/nocturoctl.exe" status --json)
  # wine gives a windowed program no Ctrl+C: the first copy is ended from outside.
  kill -TERM "$first" 2>/dev/null
  wait "$first" 2>/dev/null
  echo "$out"
  echo "$armed"
  echo "$state"
  [ "$code" -eq 0 ] || fail "the second copy ended with $code, not 0"
  [ "$armedCode" -eq 0 ] || fail "nocturoctl arm ended with $armedCode: $armed"
  echo "$state" | grep -q '"armed":true,"mode":"countdown","action":"Reboot"' || fail "the state: $state"
  after=$(run "$bin/nocturoctl.exe" status)
  afterCode=$?
  [ "$afterCode" -ne 0 ] && echo "$after" | grep -q "no Nocturo is running" || fail "after the end: $after"
  echo "ok: the second copy handed over and nocturoctl controls the first over the pipe"
  ;;
lockpcscr-ends-on-a-line)
  start=$(date +%s)
  out=$( (sleep 1; echo) | "$wine" "$bin/lockpcscr.exe" --headless 2>&1 | tr -d '\r'; exit "${PIPESTATUS[1]}")
  code=$?
  [ "$code" -eq 0 ] || fail "exit code $code: $out"
  [ $(( $(date +%s) - start )) -ge 1 ] || fail "it ended before the line came"
  out=$("$wine" "$bin/lockpcscr.exe" --headless </dev/null 2>&1)
  [ $? -eq 0 ] || fail "at the end of the input: $out"
  echo "ok: lockpcscr waits for its line"
  ;;
lockpcscr-screen-saver-arguments)
  # Windows starts its screen saver with /s, /p HWND (preview) or /c
  # (settings): only /s runs; there is no preview and nothing to set.
  for call in "/p 1234" "/P:1234" "/c" "/c:1234" "/a"; do
    # shellcheck disable=SC2086
    out=$(run "$bin/lockpcscr.exe" $call)
    code=$?
    [ "$code" -eq 0 ] || fail "lockpcscr $call: exit code $code: $out"
    [ -z "$out" ] || fail "lockpcscr $call said: $out"
  done
  out=$(run "$bin/lockpcscr.exe" /x)
  [ $? -eq 2 ] || fail "lockpcscr /x did not end as bad usage: $out"
  echo "$out" | grep -q "unexpected argument /x" || fail "lockpcscr /x did not say why: $out"
  out=$( (sleep 1; echo) | "$wine" "$bin/lockpcscr.exe" /s --headless 2>&1 | tr -d '\r'; exit "${PIPESTATUS[1]}")
  [ $? -eq 0 ] || fail "lockpcscr /s --headless: $out"
  echo "ok: /s runs, /p, /c and /a show nothing, /x is refused"
  ;;
lockpcscr-installed-as-the-screen-saver)
  # The install puts the lock screen saver beside the program as
  # LockPcScr.scr, the name the desktop's SCRNSAVE.EXE value gives it, and
  # Windows' own way of starting a screen saver (/s) runs it.
  cmake --install "$(dirname "$bin")" --prefix "$work/inst" >/dev/null || fail "cmake --install"
  [ -f "$work/inst/bin/LockPcScr.scr" ] || fail "no bin/LockPcScr.scr in the installed folder"
  [ -f "$bin/LockPcScr.scr" ] || fail "no LockPcScr.scr in the build's program folder"
  start=$(date +%s)
  out=$( (sleep 1; echo) | "$wine" "$work/inst/bin/LockPcScr.scr" /s --headless 2>&1 | tr -d '\r'; exit "${PIPESTATUS[1]}") ||
    fail "LockPcScr.scr /s exit code"
  [ $(( $(date +%s) - start )) -ge 1 ] || fail "LockPcScr.scr /s ended before its line: $out"
  echo "ok: installed as bin\\LockPcScr.scr and runs on /s"
  ;;
*)
  fail "unknown case $case_name"
  ;;
esac
