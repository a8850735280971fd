#!/usr/bin/env bash
# Installs the build into a temporary prefix with `cmake --install` and checks
# that the installed copy stands on its own.
# Usage: check-install.sh CMAKE BUILD_DIR SOURCE_DIR VERSION
set -uo pipefail

cmake_cmd="$1"
build="$(cd "$2" && pwd -P)"
source="$(cd "$3" && pwd -P)"
version="$4"

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok:   $*"; }
check() {  # check DESCRIPTION COMMAND...
  local what="$1"; shift
  if "$@"; then pass "$what"; else fail "$what"; fi
}

tmp="$(mktemp -d "${TMPDIR:-/tmp}/nocturo-install-test.XXXXXX")"
trap 'rm -rf "$tmp"' EXIT
tmp="$(cd "$tmp" && pwd -P)"
prefix="$tmp/prefix"

if ! "$cmake_cmd" --install "$build" --prefix "$prefix" >"$tmp/install.log" 2>&1; then
  cat "$tmp/install.log"
  echo "FAIL: cmake --install into $prefix"
  exit 1
fi
pass "cmake --install --prefix $prefix"

# ---- layout ---------------------------------------------------------------------
for f in bin/nocturo bin/nocturoctl bin/lockpc bin/lockpcscr; do
  check "$f is an executable" test -f "$prefix/$f" -a -x "$prefix/$f"
done
check "Common/language/english.lng" test -s "$prefix/Common/language/english.lng"
wavs=("$prefix"/Common/sound/*.wav)
check "Common/sound holds the sounds (${#wavs[@]} .wav)" test -s "${wavs[0]}"
check "temp is an empty folder" test -d "$prefix/temp" -a -z "$(ls -A "$prefix/temp" 2>/dev/null)"
check "doc/README.html is the manual" grep -q "<h2>The two commands</h2>" "$prefix/doc/README.html"
for f in bin/nocturo bin/nocturoctl bin/lockpc bin/lockpcscr; do
  check "$f names no placeholder host" bash -c '! grep -aqE "example\.(org|com)" "$1"' _ "$prefix/$f"
done

# ---- desktop entry and icon (Linux) ------------------------------------------
entry="$prefix/share/applications/io.github.nocturo.nocturo.desktop"
check "share/applications/io.github.nocturo.nocturo.desktop" test -f "$entry"
check "scalable icon" test -s "$prefix/share/icons/hicolor/scalable/apps/nocturo.svg"
check "64x64 icon" test -s "$prefix/share/icons/hicolor/64x64/apps/nocturo.png"
if command -v file >/dev/null 2>&1; then
  check "64x64 icon is a 64 x 64 PNG" grep -q "PNG image data, 64 x 64" <(file "$prefix/share/icons/hicolor/64x64/apps/nocturo.png")
fi

key() { sed -n "s/^$1=//p" "$2" | head -n 1; }
if [ -f "$entry" ]; then
  check "desktop entry starts with [Desktop Entry]" test "$(head -n 1 "$entry")" = "[Desktop Entry]"
  check "Version=1.4 (the newest desktop-file-validate 0.26 knows)" test "$(key Version "$entry")" = "1.4"
  check "Exec is the installed program ($(key Exec "$entry"))" test "$(key Exec "$entry")" = "$prefix/bin/nocturo"
  check "Type=Application" test "$(key Type "$entry")" = "Application"
  check "Name=Nocturo" test "$(key Name "$entry")" = "Nocturo"
  check "GenericName set" test -n "$(key GenericName "$entry")"
  check "Comment set" test -n "$(key Comment "$entry")"
  check "Icon=nocturo" test "$(key Icon "$entry")" = "nocturo"
  check "Terminal=false" test "$(key Terminal "$entry")" = "false"
  check "StartupNotify set" test -n "$(key StartupNotify "$entry")"
  check "Categories=Utility;Clock; (one main category)" test "$(key Categories "$entry")" = "Utility;Clock;"
  if command -v desktop-file-validate >/dev/null 2>&1; then
    check "desktop-file-validate" desktop-file-validate "$entry"
  else
    echo "skip: desktop-file-validate is not installed"
  fi
fi

# ---- AppStream description ------------------------------------------------------
meta="$prefix/share/metainfo/io.github.nocturo.nocturo.metainfo.xml"
check "share/metainfo/io.github.nocturo.nocturo.metainfo.xml" test -s "$meta"
if [ -f "$meta" ]; then
  if command -v xmllint >/dev/null 2>&1; then
    check "metainfo is well-formed XML (xmllint)" xmllint --noout "$meta"
    xpath() { xmllint --xpath "string($1)" "$meta" 2>/dev/null; }
    check "metainfo: a desktop application" test "$(xpath '/component/@type')" = "desktop-application"
    check "metainfo: id set ($(xpath '/component/id'))" test -n "$(xpath '/component/id')"
    check "metainfo: name Nocturo" test "$(xpath '/component/name')" = "Nocturo"
    check "metainfo: summary set" test -n "$(xpath '/component/summary')"
    check "metainfo: description set" test -n "$(xpath '/component/description/p[1]')"
    check "metainfo: metadata license set" test -n "$(xpath '/component/metadata_license')"
    check "metainfo: project license set" test -n "$(xpath '/component/project_license')"
    launchable="$(xpath "/component/launchable[@type='desktop-id']")"
    check "metainfo: launchable is the installed entry ($launchable)" test -f "$prefix/share/applications/$launchable"
    binaries="$(xmllint --xpath '/component/provides/binary/text()' "$meta" 2>/dev/null)"
    check "metainfo: provides the binary nocturo" grep -qx nocturo <<<"$binaries"
    for b in $binaries; do
      check "metainfo: provided binary $b is installed" test -x "$prefix/bin/$b"
    done
  else
    echo "skip: xmllint is not installed"
  fi
  if command -v appstreamcli >/dev/null 2>&1; then
    # Quiet when valid; its findings when not.
    check "appstreamcli validate" bash -c 'out="$(appstreamcli validate --no-net --no-color "$1" 2>&1)" || { echo "$out"; exit 1; }' _ "$meta"
  fi
fi

# DESTDIR stages the files; Exec names the final place.
if DESTDIR="$tmp/stage" "$cmake_cmd" --install "$build" --prefix /opt/nocturo >"$tmp/install.log" 2>&1; then
  staged="$tmp/stage/opt/nocturo/share/applications/io.github.nocturo.nocturo.desktop"
  check "DESTDIR: entry staged" test -f "$staged"
  check "DESTDIR: Exec is the final path" test "$(key Exec "$staged" 2>/dev/null)" = "/opt/nocturo/bin/nocturo"
  check "DESTDIR: program staged" test -x "$tmp/stage/opt/nocturo/bin/nocturo"
  check "DESTDIR: metainfo staged" test -f "$tmp/stage/opt/nocturo/share/metainfo/io.github.nocturo.nocturo.metainfo.xml"
else
  cat "$tmp/install.log"; fail "DESTDIR install"
fi

# A prefix with a space is quoted in Exec.
spaced="$tmp/with space"
if "$cmake_cmd" --install "$build" --prefix "$spaced" >"$tmp/install.log" 2>&1; then
  check "spaced prefix: Exec quoted" test "$(key Exec "$spaced/share/applications/io.github.nocturo.nocturo.desktop")" = "\"$spaced/bin/nocturo\""
  if command -v desktop-file-validate >/dev/null 2>&1; then
    check "spaced prefix: desktop-file-validate" desktop-file-validate "$spaced/share/applications/io.github.nocturo.nocturo.desktop"
  fi
else
  cat "$tmp/install.log"; fail "install into a prefix with a space"
fi

# ---- the system service's control channel: bus policy and polkit action --------
buspolicy="$prefix/share/dbus-1/system.d/io.github.nocturo.nocturo.conf"
polkit="$prefix/share/polkit-1/actions/io.github.nocturo.nocturo.policy"
check "share/dbus-1/system.d/io.github.nocturo.nocturo.conf" test -s "$buspolicy"
check "share/polkit-1/actions/io.github.nocturo.nocturo.policy" test -s "$polkit"
if command -v xmllint >/dev/null 2>&1 && [ -s "$buspolicy" ] && [ -s "$polkit" ]; then
  check "bus policy: only root owns the name" test "$(xmllint --xpath "string(/busconfig/policy[@user='root']/allow/@own)" "$buspolicy")" = "io.github.nocturo.nocturo"
  check "bus policy: no one else owns it" test "$(xmllint --xpath "count(//policy[not(@user='root')]/allow[@own])" "$buspolicy")" = "0"
  act="/policyconfig/action[@id='io.github.nocturo.nocturo.control']/defaults"
  check "polkit: active users as administrators, kept" test "$(xmllint --xpath "string($act/allow_active)" "$polkit")" = "auth_admin_keep"
  check "polkit: no one inactive or remote" test "$(xmllint --xpath "string($act/allow_any)" "$polkit") $(xmllint --xpath "string($act/allow_inactive)" "$polkit")" = "no no"
fi

# ---- the installed programs run from the install folder ------------------------
mkdir -p "$tmp/home" "$tmp/cwd"
run_installed() {  # a clean environment, away from the build tree
  (cd "$tmp/cwd" && env -i PATH=/usr/local/bin:/usr/bin:/bin HOME="$tmp/home" XDG_CONFIG_HOME="$tmp/home/.config" \
     NOCTURO_REGISTRY="$tmp/registry.reg" "$@")
}
out="$(run_installed "$prefix/bin/nocturo" --version 2>&1)"; rc=$?
check "nocturo --version exits 0" test $rc -eq 0
check "nocturo --version prints 'nocturo $version' (got '$out')" test "$out" = "nocturo $version"

out="$(run_installed "$prefix/bin/nocturoctl" --help 2>&1)"; rc=$?
check "nocturoctl --help exits 0" test $rc -eq 0
check "nocturoctl --help prints its usage" grep -q "Usage: nocturoctl" <<<"$out"
out="$(run_installed "$prefix/bin/nocturoctl" --version 2>&1)"; rc=$?
check "nocturoctl --version prints 'nocturoctl $version' (got '$out')" test $rc -eq 0 -a "$out" = "nocturoctl $version"
for p in lockpc lockpcscr; do
  out="$(run_installed "$prefix/bin/$p" --version 2>&1)"; rc=$?
  check "$p --version prints '$p $version' (got '$out')" test $rc -eq 0 -a "$out" = "$p $version"
  out="$(run_installed "$prefix/bin/$p" --help 2>&1)"; rc=$?
  check "$p --help prints its usage" test $rc -eq 0 -a -n "$(grep "Usage: $p" <<<"$out")"
done
out="$(run_installed "$prefix/bin/nocturoctl" lang check "$prefix/Common/language/english.lng" 2>&1)"; rc=$?
check "nocturoctl reads the installed language file" test $rc -eq 0 -a -n "$out"

# The program itself, on the simulated machine: it finds Common beside its
# folder (it stops with status 1 without a language file) and journals into
# the installed temp folder.
out="$(run_installed timeout 60 env NOCTURO_PLATFORM=sim NOCTURO_SIM_PACING=0 \
       "$prefix/bin/nocturo" --headless /action:reboot 2>&1)"; rc=$?
check "installed nocturo runs a simulated restart (status $rc)" test $rc -eq 0
check "installed nocturo prints its start" grep -q "Nocturo started" <<<"$out"
check "journal in the installed temp folder" grep -q '"call":"ExitWindowsEx"' "$prefix/temp/sim-journal.jsonl"
[ $rc -eq 0 ] || echo "$out"

# ---- nothing found in the build tree --------------------------------------------
for f in bin/nocturo bin/nocturoctl bin/lockpc bin/lockpcscr; do
  exe="$prefix/$f"
  if ! command -v readelf >/dev/null 2>&1; then
    fail "readelf is not installed (binutils)"; break
  fi
  paths="$(readelf -d "$exe" | sed -n 's/.*(\(RPATH\|RUNPATH\)).*\[\(.*\)\]/\2/p')"
  bad=""
  IFS=: read -r -a entries <<<"$paths"
  for p in "${entries[@]}"; do
    case "$p" in
      '$ORIGIN'*|'${ORIGIN}'*) ;;   # inside the program folder
      *) bad="$bad $p" ;;
    esac
  done
  check "$f: no RPATH/RUNPATH outside the install folder${bad:+ (found:$bad)}" test -z "$bad"
  if command -v ldd >/dev/null 2>&1; then
    libs="$(ldd "$exe" 2>&1)"
    check "$f: every library found" test -z "$(grep 'not found' <<<"$libs")"
    check "$f: no library from the build or source tree" \
      test -z "$(grep -e "$build" -e "$source" <<<"$libs")"
  fi
done

if [ $failures -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "all checks passed"
