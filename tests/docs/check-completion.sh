#!/usr/bin/env bash
# The bash completion of nocturoctl and nocturo, in bash itself: each file is
# sourced, COMP_WORDS and COMP_CWORD are set as bash sets them for a command
# line (with the colon a word break, as readline has it), the completion
# function runs, and COMPREPLY must hold the expected words. The commands
# and actions it offers are those the programs take (their --help, and the
# actions nocturoctl names when refusing an unknown one).
# Usage: check-completion.sh COMPLETION_DIR PROGRAM_DIR
set -uo pipefail
export LC_ALL=C
dir="$1"; bin="$(cd "$2" && pwd -P)"

tmp="$(mktemp -d "${TMPDIR:-/tmp}/nocturo-completion.XXXXXX")"
trap 'rm -rf "$tmp"' EXIT

# Completing never runs the program: a nocturoctl on PATH that leaves a
# mark would show it.
export NOCTURO_PLATFORM=sim NOCTURO_REGISTRY="$tmp/registry.reg" HOME="$tmp"
mkdir -p "$tmp/path"
printf '#!/bin/sh\ntouch "%s/ran"\n' "$tmp" >"$tmp/path/nocturoctl"
chmod +x "$tmp/path/nocturoctl"
export PATH="$tmp/path:$PATH"

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# complete_line FUNCTION WORD... : COMPREPLY, sorted, on one line. The last
# word is the one being completed.
cat >"$tmp/complete.bash" <<'SCRIPT'
source "$1"; function=$2; shift 2
COMP_WORDBREAKS=$' \t\n"\'><=;|&(:'
COMP_WORDS=("$@"); COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
COMP_LINE="$*"; COMP_POINT=${#COMP_LINE}
"$function"
printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' ' | sed 's/ $//'
SCRIPT
complete_line() {
  local function=$1; shift
  PATH="$tmp/path:$bin:/usr/bin:/bin" bash --norc --noprofile "$tmp/complete.bash" "$dir/${function#_}" "$function" "$@"
}
expect() {  # expect "WANTED" FUNCTION WORD...
  local want="$1"; shift
  local got; got="$(complete_line "$@")"
  if [ "$got" = "$want" ]; then echo "ok:   [${*:2}] -> $got"
  else fail "[${*:2}]: wanted '$want', got '$got'"; fi
}
has() {  # has WORD FUNCTION WORD...: WORD is among the answers
  local word="$1"; shift
  local got; got=" $(complete_line "$@") "
  if [[ $got == *" $word "* ]]; then echo "ok:   [${*:2}] offers $word"
  else fail "[${*:2}]: $word not offered (got:$got)"; fi
}
sorted() { tr ' ' '\n' <<<"$*" | grep -v '^$' | sort | tr '\n' ' ' | sed 's/ $//'; }

# ---- what the programs take -------------------------------------------------------
commands="$("$bin/nocturoctl" --help | grep -E '^  [a-z][a-z0-9]* ' | awk '{print $1}' | sort -u | tr '\n' ' ')"
actions="$("$bin/nocturoctl" now no-such-action 2>&1 | sed -n 's/.*known: //p' | tr -d ',')"
if [ -z "$actions" ] || [ -z "$commands" ]; then
  echo "FAIL: the commands ($commands) or actions ($actions) could not be read from nocturoctl"; exit 1
fi

# ---- nocturoctl ---------------------------------------------------------------------
expect "$(sorted "$commands" help)" _nocturoctl nocturoctl ""
expect "--help --version" _nocturoctl nocturoctl --
expect "service settings" _nocturoctl nocturoctl se
expect "get list set" _nocturoctl nocturoctl settings ""
expect "machine user" _nocturoctl nocturoctl settings get ""
expect "chkNtService poption" _nocturoctl nocturoctl settings get machine ""
has Armed _nocturoctl nocturoctl settings set user ""
has NotifyLeadTimes _nocturoctl nocturoctl settings get user N
expect "3txtHour 3txtHourTW" _nocturoctl nocturoctl settings get user 3txtH
expect "optActions0 optActions1 optActions2 optActions3 optActions4 optActions5 optActions6 optActions7" \
  _nocturoctl nocturoctl settings get user optA
expect "--dword --folder" _nocturoctl nocturoctl settings set user Armed 1 --
expect "--folder" _nocturoctl nocturoctl settings get user --
expect "ExtList chkDelType chkInclSubDirs chkZeroFiles" _nocturoctl nocturoctl settings get --folder /tmp user ""
mkdir -p "$tmp/some folder"
expect "$tmp/some folder" _nocturoctl nocturoctl settings list --folder "$tmp/some"
expect "" _nocturoctl nocturoctl settings list user ""
expect "$(sorted "$actions")" _nocturoctl nocturoctl now ""
expect "$(sorted "$actions")" _nocturoctl nocturoctl arm ""
expect "at in" _nocturoctl nocturoctl arm reboot ""
has 10m _nocturoctl nocturoctl arm reboot in ""
expect "" _nocturoctl nocturoctl arm reboot at ""
has 1h30m _nocturoctl nocturoctl postpone 1
expect "hibernate" _nocturoctl nocturoctl --password secret now h
expect "" _nocturoctl nocturoctl now --password ""
expect "--json --password --system" _nocturoctl nocturoctl status --
expect "--password --system" _nocturoctl nocturoctl cancel --
expect "clear set" _nocturoctl nocturoctl password ""
expect "--stdin" _nocturoctl nocturoctl password set --
expect "--dry-run --null --yes -0 -y" _nocturoctl nocturoctl clean -
expect "--null --subdirs --zero -0" _nocturoctl nocturoctl find "$tmp" '*.tmp' -
expect "off on status" _nocturoctl nocturoctl autostart ""
expect "install status uninstall" _nocturoctl nocturoctl service ""
expect "--dry-run" _nocturoctl nocturoctl service install --
expect "check" _nocturoctl nocturoctl lang ""
touch "$tmp/english.lng"
expect "$tmp/english.lng" _nocturoctl nocturoctl lang check "$tmp/engl"

# ---- nocturo ------------------------------------------------------------------------
expect "--headless --help" _nocturo nocturo --he
expect "--headless --help --service --version -h" _nocturo nocturo -
wanted=""; for a in $actions; do wanted="$wanted /action:$a"; done
expect "$(sorted "$wanted")" _nocturo nocturo /
# Readline breaks the word at the colon: the answers are what follows it.
expect "$(sorted "$actions")" _nocturo nocturo /action :
expect "reboot" _nocturo nocturo /action : re
expect "reboot" _nocturo nocturo --headless /action : re
expect "/option:noquestion /option:poweroff" _nocturo nocturo /action : reboot /
expect "noquestion poweroff" _nocturo nocturo /action : reboot /option :
expect "poweroff" _nocturo nocturo /ACTION : REBOOT /option : p

# ---- registered for the programs' names --------------------------------------------
for p in nocturo nocturoctl; do
  if bash --norc --noprofile -c 'source "$1"; complete -p "$2"' _ "$dir/$p" "$p" | grep -q -- "-F _$p $p\$"; then
    echo "ok:   complete -F _$p $p"
  else
    fail "$dir/$p does not register _$p for $p"
  fi
done

[ -e "$tmp/ran" ] && fail "completing ran nocturoctl"

if [ $failures -ne 0 ]; then echo "$failures check(s) failed"; exit 1; fi
echo "all checks passed"
