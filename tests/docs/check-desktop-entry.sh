#!/usr/bin/env bash
# The desktop entry template, filled in as the install fills it in: the
# validator has nothing to say about it, not even a hint (one main category,
# as menus file an entry under its main categories).
# Usage: check-desktop-entry.sh TEMPLATE
set -uo pipefail
template="$1"

if ! command -v desktop-file-validate >/dev/null 2>&1; then
  echo "skip: desktop-file-validate is not installed (desktop-file-utils; scripts/setup installs it)"; exit 77
fi
tmp="$(mktemp -d "${TMPDIR:-/tmp}/nocturo-desktop.XXXXXX")"
trap 'rm -rf "$tmp"' EXIT

failures=0
for exec in /usr/bin/nocturo '"/opt/my programs/nocturo/bin/nocturo"'; do
  entry="$tmp/io.github.nocturo.nocturo.desktop"
  sed "s|@NOCTURO_DESKTOP_EXEC@|$exec|" "$template" >"$entry"
  out="$(desktop-file-validate "$entry" 2>&1)"; rc=$?
  if [ $rc -eq 0 ] && [ -z "$out" ]; then
    echo "ok:   desktop-file-validate says nothing (Exec=$exec)"
  else
    echo "FAIL: desktop-file-validate (status $rc, Exec=$exec):"; echo "$out"; failures=$((failures + 1))
  fi
done
if grep -q '@[A-Z_]*@' <(sed "s|@NOCTURO_DESKTOP_EXEC@|x|" "$template"); then
  echo "FAIL: the template holds a placeholder the install does not fill in"; failures=$((failures + 1))
fi
[ $failures -eq 0 ] || exit 1
echo "all checks passed"
