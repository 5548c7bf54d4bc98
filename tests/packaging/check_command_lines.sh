#!/bin/bash
# Every program answers --help and --version without a display, and agrees
# with its manual page: the options its usage names are the options the page
# lists, and the version is the page's. korvanectl's commands are the same in
# its usage, its page and its bash completion, which completes each
# command's arguments.
# usage: check_command_lines.sh BUILD_DIR COMPLETION_FILE
set -euo pipefail
build=$1
completion=$2
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
failed=0
fail() { echo "$1"; failed=1; }
unset DISPLAY WAYLAND_DISPLAY

# One section of a page as a reader sees it; headings start in column 1.
section() { LC_ALL=C MANWIDTH=250 man -l "$1" 2>/dev/null | awk -v name="$2" '/^[A-Z]/ {on = $0 == name; next} on'; }
# The options a text names, but -h: the short form of --help, which pages
# list and usage lines leave out.
options() { grep -oE -- '(^|[][ |,])--?[A-Za-z][A-Za-z-]*' | sed 's/^[][ |,]//' | grep -vx -- -h | sort -u; }
differ() { [ "$2" = "$3" ] || fail "$1: $(diff <(echo "$2") <(echo "$3") | grep '^[<>]' | tr '\n' ' ')"; }

declare -A programs=(
  [korvane.1]=app/shell/korvane
  [korvanectl.1]=tools/korvanectl/korvanectl
  [taskpolicy.8]=tools/taskpolicy/taskpolicy
  [com.korvane.helper.8]=helper/com.korvane.helper
)
for page in "${!programs[@]}"; do
  program=$build/${programs[$page]}
  name=$(basename "$program")
  manual=$build/packaging/man/$page
  help=$("$program" --help 2>&1) || fail "$name --help exits with $?: $help"
  if ! answer=$("$program" --version 2>&1); then
    fail "$name --version exits with $?: $answer"
  elif ! [[ $answer =~ ^[^$'\n']*\ ${version//./\\.}( |$) ]]; then
    fail "$name --version says \"$answer\", not version $version"
  fi
  LC_ALL=C MANWIDTH=250 man -l "$manual" 2>/dev/null | tail -n 1 | grep -q "Korvane $version" ||
    fail "$page is not the page of version $version"
  differ "$name: options of --help (<) and of $page (>)" "$(options <<<"$help")" "$(section "$manual" OPTIONS | options)"
done

ctl_help=$("$build/tools/korvanectl/korvanectl" --help)
ctl_page=$build/packaging/man/korvanectl.1
usage_commands=$(sed -n '/^commands:/,$p' <<<"$ctl_help" | sed -n 's/^  \([a-z][a-z-]*\).*/\1/p' | sort -u)
page_commands=$(section "$ctl_page" COMMANDS | sed -n 's/^       \([a-z][a-z-]*\).*/\1/p' | sort -u)
differ "korvanectl: commands of --help (<) and of its page (>)" "$usage_commands" "$page_commands"

# What bash offers for the last of the words, the way bash-completion calls
# the function on a tab.
applications=$(mktemp -d)
trap 'rm -rf "$applications"' EXIT
mkdir -p "$applications/applications"
touch "$applications/applications/org.example.Editor.desktop" "$applications/applications/org.example.Viewer.desktop"
offered() {
  XDG_DATA_HOME=$applications XDG_DATA_DIRS=$applications bash -c '
    source /usr/share/bash-completion/bash_completion
    source "$0"
    COMP_WORDS=(korvanectl "$@"); COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMP_LINE="${COMP_WORDS[*]}"; COMP_POINT=${#COMP_LINE}
    _korvanectl korvanectl "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
    ((${#COMPREPLY[@]} == 0)) || printf "%s\n" "${COMPREPLY[@]}" | sort -u | tr "\n" " "' "$completion" "$@"
}
expect_offered() {
  local want=$1; shift
  local got
  got=$(offered "$@")
  [ "$got" = "$want" ] || fail "completing 'korvanectl $*' offers '$got', not '$want'"
}
differ "korvanectl: commands of --help (<) and of its completion (>)" "$usage_commands" "$(offered '' | tr ' ' '\n' | sed '/^$/d')"
differ "korvanectl: options of --help (<) and of its completion (>)" "$(options <<<"$ctl_help")" "$(offered -- | tr ' ' '\n' | sed '/^$/d')"
expect_offered "fan-mode fan-rpm " f
expect_offered "auto manual " --socket /run/x --timeout 5 fan-mode 0 ''
expect_offered "" fan-mode ''
expect_offered "off on " beast ''
expect_offered "org.example.Editor " jail org.example.Viewer org.example.E
offered throttle '' | grep -qw "$$" || fail "completing 'korvanectl throttle' does not offer running processes"
offered --socket "$applications/appl" | grep -q "$applications/applications" ||
  fail "completing 'korvanectl --socket' does not offer files"

[ $failed -eq 0 ] && echo "command lines ok: --help, --version, pages and completion agree"
exit $failed
