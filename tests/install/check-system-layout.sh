#!/usr/bin/env bash
# Installs the build with `cmake --install`, moves the copy into the layout of
# a system install (T/usr/bin, T/usr/libexec/nocturo, T/usr/share/nocturo,
# T/usr/share/doc/nocturo) and runs the programs from there on the simulated
# machine: they must find their files there and write their own (action log,
# error log, cleaner log, the simulated machine's journal) to the state
# folder $XDG_STATE_HOME/nocturo, and nothing at all below T.
# Usage: check-system-layout.sh CMAKE BUILD_DIR
set -uo pipefail

cmake_cmd="$1"
build="$(cd "$2" && pwd -P)"

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok:   $*"; }
check() {  # check DESCRIPTION COMMAND...
  local what="$1"; shift
  if "$@"; then pass "$what"; else fail "$what"; fi
}

tmp="$(mktemp -d "${TMPDIR:-/tmp}/nocturo-system-layout.XXXXXX")"
trap 'rm -rf "$tmp"' EXIT
tmp="$(cd "$tmp" && pwd -P)"
copy="$tmp/copy"
usr="$tmp/T/usr"

if ! "$cmake_cmd" --install "$build" --prefix "$copy" >"$tmp/install.log" 2>&1; then
  cat "$tmp/install.log"
  echo "FAIL: cmake --install into $copy"
  exit 1
fi
mkdir -p "$usr/bin" "$usr/libexec/nocturo" "$usr/share/nocturo" "$usr/share/doc/nocturo"
mv "$copy/bin/lockpc" "$copy/bin/lockpcscr" "$usr/libexec/nocturo/" &&
  mv "$copy/bin/"* "$usr/bin/" &&
  mv "$copy/Common/"* "$usr/share/nocturo/" &&
  mv "$copy/doc/README.html" "$usr/share/doc/nocturo/" || { echo "FAIL: moving the copy into $usr"; exit 1; }
check "no Common beside the program folder" test ! -e "$usr/Common"

# Everything below T, to compare after the runs.
listing() { (cd "$tmp/T" && find . -printf '%p %y %s %T@\n' | LC_ALL=C sort); }
before="$(listing)"

state="$tmp/state"
mkdir -p "$tmp/home" "$tmp/cwd" "$tmp/clean"
run_system() {  # a clean environment, away from the build tree
  (cd "$tmp/cwd" && env -i PATH=/usr/local/bin:/usr/bin:/bin HOME="$tmp/home" XDG_STATE_HOME="$state" \
     XDG_CONFIG_HOME="$tmp/home/.config" NOCTURO_REGISTRY="$tmp/registry.reg" NOCTURO_TESTS=1 \
     NOCTURO_PLATFORM=sim NOCTURO_SIM_PACING=0 "$@")
}

# ---- nocturo: the language from share/nocturo, the logs in the state folder ----
out="$(run_system timeout 60 "$usr/bin/nocturo" --headless /action:reboot 2>&1)"; rc=$?
check "nocturo runs a simulated restart (status $rc)" test $rc -eq 0
check "nocturo prints its start (its language file was found)" grep -q "Nocturo started" <<<"$out"
[ $rc -eq 0 ] || echo "$out"
check "state folder $state/nocturo made" test -d "$state/nocturo"
check "state folder is the user's alone (0700)" test "$(stat -c %a "$state/nocturo" 2>/dev/null)" = 700
check "action log in the state folder" grep -q "New Login" "$state/nocturo/Nocturo.log"
check "journal in the state folder's temp" grep -q '"call":"ExitWindowsEx"' "$state/nocturo/temp/sim-journal.jsonl"

# An error: a time unit the list does not have fails the start's reading of
# the settings, which goes to the error log.
run_system "$usr/bin/nocturoctl" settings set user cmbTimeUnit 99 >/dev/null 2>&1
out="$(run_system timeout 60 "$usr/bin/nocturo" --headless /action:reboot 2>&1)"; rc=$?
check "nocturo says where its error log is" grep -qF "check Error log ! ($state/nocturo/error.log)" <<<"$out"
check "error log in the state folder, with the failure" grep -q "Load_Registry of Formular fMainForm .* Invalid property value" "$state/nocturo/error.log"
[ -s "$state/nocturo/error.log" ] || echo "$out"
run_system "$usr/bin/nocturoctl" settings set user cmbTimeUnit 0 >/dev/null 2>&1

# ---- nocturoctl: the cleaner's log in the state folder ------------------------
echo data >"$tmp/clean/a.bak"
run_system "$usr/bin/nocturoctl" settings set user CleanDirs ";$tmp/clean/;" >/dev/null 2>&1
run_system "$usr/bin/nocturoctl" settings set user chkDelType 0 --dword --folder "$tmp/clean/" >/dev/null 2>&1
out="$(run_system timeout 60 "$usr/bin/nocturoctl" clean --yes 2>&1)"; rc=$?
check "nocturoctl clean --yes (status $rc)" test $rc -eq 0
[ $rc -eq 0 ] || echo "$out"
check "cleaner's log in the state folder" grep -qF "deleted : $tmp/clean/a.bak" "$state/nocturo/DiskCleaner.log"

# ---- nothing written beside the programs ----------------------------------------
after="$(listing)"
check "nothing below T changed" test "$before" = "$after"
[ "$before" = "$after" ] || diff <(echo "$before") <(echo "$after")

if [ $failures -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "all checks passed"
