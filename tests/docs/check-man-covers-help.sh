#!/usr/bin/env bash
# The manual pages say at least what the programs' own --help says: every
# option, command and sub-command word nocturoctl --help prints is in
# nocturoctl(1); every option, /option: value and environment variable of
# nocturo --help is in nocturo(1); every action the programs take (as
# nocturoctl lists them when refusing an unknown one) is in both.
# Usage: check-man-covers-help.sh MAN_DIR PROGRAM_DIR
set -uo pipefail
dir="$1"; bin="$2"

if ! command -v mandoc >/dev/null 2>&1; then
  echo "skip: mandoc is not installed (scripts/setup installs it)"; exit 77
fi
if [ ! -f "$dir/nocturoctl.1" ]; then
  echo "skip: the manual pages were not built (scdoc was not found when the build was configured)"; exit 77
fi

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

tmp="$(mktemp -d "${TMPDIR:-/tmp}/nocturo-man-help.XXXXXX")"
trap 'rm -rf "$tmp"' EXIT
# The pages as a reader sees them, one line per paragraph.
text() { mandoc -Tascii -O width=500 "$dir/$1.1" | sed 's/.\x08//g'; }
text nocturo >"$tmp/nocturo.txt"
text nocturoctl >"$tmp/nocturoctl.txt"

run() { env -i PATH=/usr/bin:/bin HOME="$tmp" NOCTURO_PLATFORM=sim NOCTURO_REGISTRY="$tmp/r.reg" "$@"; }
ctl_help="$(run "$bin/nocturoctl" --help)" || { echo "FAIL: nocturoctl --help"; exit 1; }
main_help="$(run "$bin/nocturo" --help)" || { echo "FAIL: nocturo --help"; exit 1; }

# in_page PAGE WORD WHAT: WORD stands in PAGE as a word of its own.
checked=0
in_page() {
  checked=$((checked + 1))
  if ! grep -qE -- "(^|[^A-Za-z0-9_-])$(sed 's/[][\.*^$/]/\\&/g' <<<"$2")([^A-Za-z0-9_-]|$)" "$tmp/$1.txt"; then
    fail "$1(1) does not mention $3 $2"
  fi
}

options() {  # the options a usage text names: --long, -h, -0
  grep -oE -- '(^|[ [(|])--?[A-Za-z0-9][A-Za-z0-9-]*' | sed 's/^[ [(|]//' | grep -E -- '^(--[a-z]|-[A-Za-z0]$)' | sort -u
}

for o in $(options <<<"$ctl_help"); do in_page nocturoctl "$o" option; done
# Commands and their fixed words: "  settings get user|machine NAME ..."
while read -r line; do
  for w in $line; do
    case "$w" in
      [a-z]*) for part in ${w//|/ }; do [[ $part =~ ^[a-z0-9]+$ ]] && in_page nocturoctl "$part" "command word"; done ;;
      *) break ;;
    esac
  done
done < <(grep -E '^  [a-z][a-z0-9]* ?' <<<"$ctl_help" | sed -E 's/^ +//; s/ {2,}.*//')
for v in $(grep -oE 'NOCTURO_[A-Z_]+' <<<"$ctl_help" | sort -u); do in_page nocturoctl "$v" "environment variable"; done

for o in $(options <<<"$main_help"); do in_page nocturo "$o" option; done
for o in $(grep -oE '/option:[a-z]+' <<<"$main_help" | sort -u); do in_page nocturo "$o" "switch"; done
for v in $(grep -oE 'NOCTURO_[A-Z_]+' <<<"$main_help" | sort -u); do in_page nocturo "$v" "environment variable"; done

refusal="$(run "$bin/nocturoctl" now no-such-action 2>&1)"
actions="$(sed -n 's/.*known: //p' <<<"$refusal" | tr -d ',')"
if [ -z "$actions" ]; then fail "nocturoctl names no actions when refusing one: $refusal"; fi
for a in $actions; do in_page nocturo "$a" action; in_page nocturoctl "$a" action; done

if [ $checked -lt 40 ]; then fail "only $checked words were checked: the help texts were not read as expected"; fi
if [ $failures -ne 0 ]; then echo "$failures check(s) failed"; exit 1; fi
echo "all $checked words of the help texts are in the manual pages"
