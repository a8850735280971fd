#!/usr/bin/env bash
# The built manual pages: mandoc's lint says nothing, man-db's lexgrog finds
# the NAME line apropos and whatis index, groff renders them without a
# warning, every section a page of a command has is there, and the
# compressed copy holds the same page with no name and no time in it. The
# title line names the release's date and version.
# Usage: check-man-pages.sh MAN_DIR "Nocturo VERSION" RELEASE_DATE PAGE...
set -uo pipefail
dir="$1"; source_field="$2"; date="$3"; shift 3

for tool in mandoc lexgrog man gzip; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "skip: $tool is not installed (scripts/setup installs mandoc and man-db)"
    exit 77
  fi
done
if [ ! -f "$dir/$1.1" ]; then
  echo "skip: $dir/$1.1 was not built (scdoc was not found when the build was configured)"
  exit 77
fi

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok:   $*"; }

for name in "$@"; do
  page="$dir/$name.1"
  if [ ! -s "$page" ]; then fail "$page is missing"; continue; fi

  lint="$(mandoc -Tlint "$page" 2>&1)"
  if [ -z "$lint" ]; then pass "$name.1: mandoc -Tlint says nothing"; else fail "$name.1: mandoc -Tlint:"; echo "$lint"; fi

  whatis="$(lexgrog "$page" 2>&1)"
  if grep -q "^$page: \"$name - .\+\"$" <<<"$whatis"; then pass "$name.1: lexgrog: ${whatis#*: }"
  else fail "$name.1: lexgrog finds no NAME line: $whatis"; fi

  warnings="$(MANWIDTH=80 man --warnings=all -E UTF-8 -l "$page" 2>&1 >/dev/null)"
  if [ -z "$warnings" ]; then pass "$name.1: groff renders it without a warning"
  else fail "$name.1: groff warns:"; echo "$warnings"; fi

  for section in NAME SYNOPSIS DESCRIPTION OPTIONS ENVIRONMENT FILES "EXIT STATUS" EXAMPLES "SEE ALSO"; do
    if grep -q "^\.SH \"\?$section\"\?$" "$page"; then pass "$name.1: section $section"
    else fail "$name.1: no section $section"; fi
  done
  th="$(grep '^\.TH' "$page")"
  if [ "$th" = ".TH \"${name^^}\" \"1\" \"$date\" \"$source_field\"" ]; then pass "$name.1: $th"
  else fail "$name.1: the title line is not ${name^^}(1) of $date, $source_field: $th"; fi

  if [ -s "$page.gz" ]; then
    if cmp -s <(gzip -dc "$page.gz") "$page"; then pass "$name.1.gz holds the page"
    else fail "$name.1.gz differs from $name.1"; fi
    # gzip -n: no file name (flag 0x08) and a zero time stamp in the header.
    header="$(od -An -tx1 -N8 "$page.gz" | tr -d ' \n')"
    if [ "${header:6:2}" = "00" ] && [ "${header:8:8}" = "00000000" ]; then pass "$name.1.gz: no name, no time stamp"
    else fail "$name.1.gz: the header carries a name or a time ($header)"; fi
  else
    fail "$page.gz is missing"
  fi
done

if [ $failures -ne 0 ]; then echo "$failures check(s) failed"; exit 1; fi
echo "all checks passed"
