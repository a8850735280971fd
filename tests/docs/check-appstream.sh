#!/usr/bin/env bash
# The AppStream entry: appstreamcli finds nothing to say about it but that
# the component ID has a capital letter (the application ID the desktop
# entry and the D-Bus name share), it passes the strict check, its newest
# release is this version, and an installed tree (cmake --install into a
# temporary prefix) passes validate-tree.
# Usage: check-appstream.sh CMAKE BUILD_DIR METAINFO VERSION
set -uo pipefail
cmake_cmd="$1"; build="$2"; meta="$3"; version="$4"

if ! command -v appstreamcli >/dev/null 2>&1; then
  echo "skip: appstreamcli is not installed (appstream; scripts/setup installs it)"; exit 77
fi
tmp="$(mktemp -d "${TMPDIR:-/tmp}/nocturo-appstream.XXXXXX")"
trap 'rm -rf "$tmp"' EXIT

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok:   $*"; }

out="$(appstreamcli validate --no-net --pedantic --no-color "$meta" 2>&1)"; rc=$?
findings="$(grep -E '^[EWIP]: ' <<<"$out")"
if [ $rc -eq 0 ] && [ -z "$findings" ]; then pass "appstreamcli validate --pedantic: nothing"
else fail "appstreamcli validate --pedantic (status $rc):"; echo "$out"; fi

out="$(appstreamcli validate --no-net --strict --no-color "$meta" 2>&1)"; rc=$?
if [ $rc -eq 0 ]; then pass "appstreamcli validate --strict"; else fail "appstreamcli validate --strict:"; echo "$out"; fi

newest="$(sed -n 's/.*<release version="\([^"]*\)".*/\1/p' "$meta" | head -n 1)"
if [ "$newest" = "$version" ]; then pass "newest release is $version"
else fail "newest release in the metainfo is '$newest', the project is $version"; fi
if grep -q '<url type="homepage">' "$meta" && grep -q 'example\.' "$meta"; then
  fail "the home page is a placeholder"
fi

prefix="$tmp/prefix"
if "$cmake_cmd" --install "$build" --prefix "$prefix" >"$tmp/install.log" 2>&1; then
  out="$(appstreamcli validate-tree --no-net --no-color "$prefix" 2>&1)"; rc=$?
  if [ $rc -eq 0 ]; then pass "appstreamcli validate-tree on the installed tree"
  else fail "appstreamcli validate-tree $prefix (status $rc):"; echo "$out"; fi
  [ -z "$out" ] || echo "$out"
else
  cat "$tmp/install.log"; fail "cmake --install into $prefix"
fi

[ $failures -eq 0 ] || { echo "$failures check(s) failed"; exit 1; }
echo "all checks passed"
