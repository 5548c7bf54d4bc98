#!/usr/bin/env bash
# A first run of Korvane end to end, on a private X desktop (Xvfb, openbox,
# trayer), from no settings file, driven with the keyboard as a user without
# a mouse (or following scripts/start.sh) would:
#   e2e_first_run_test.sh KORVANE HELPER [stand-in|helper-running|no-agent]
# stand-in (the default): a fresh settings folder shows only the agreement
# (450 x 350, no tray icon); closing it through the window manager ends
# Korvane. Started again: Enter accepts; the setup window (580 x 520) refuses
# the window manager's close; Enter walks the pages to the install page and
# installs: the helper is installed under a private root through a privilege
# stand-in that runs the command as root, starts without systemd and answers.
# Enter then continues and launches: the icon is in the tray, the status
# check finds the helper, and `korvane --toggle` opens the popover.
# helper-running: as scripts/start.sh leaves it, a helper already answers on
# Korvane's socket and the privilege runner exits 127 as pkexec does without
# a polkit agent or authority. Enter on the install page finds the helper
# without running the runner; setup ends in the tray as before.
# no-agent: no helper runs and the runner exits 127. The page shows the
# command to run in a terminal; its Copy button puts it on the clipboard, the
# test runs it (as root, where sudo may be missing, so without it), and Enter
# (Check again) finds the helper answering; setup ends in the tray as before.
# Buttons are found over AT-SPI by role and accessible name, and every
# actionable control of the agreement, each setup page and the popover must
# have a name. With KORVANE_SCREENSHOT_DIR set, a screenshot of each step is
# kept there.
set -euo pipefail
korvane=$1
helper=$2
mode=${3:-stand-in}
here=$(cd "$(dirname "$0")" && pwd)
if [ "$(id -u)" != 0 ]; then
  echo "SKIP: installing the helper needs root"
  exit 77
fi
unset DISPLAY DBUS_SESSION_BUS_ADDRESS WAYLAND_DISPLAY KORVANE_HELPER_SOCKET
export VD_PRIVATE_CONFIG=1
. "$here/../../scripts/virtual-desktop.sh"
E2E_NAME=first-run-$mode
E2E_LOGS=(korvane:korvane.log)
. "$here/e2e_common.sh"

korvane_pid=""
helper_pid=""
root=""
cleanup() {
  [ -n "$korvane_pid" ] && kill -9 "$korvane_pid" 2>/dev/null || true
  [ -n "$helper_pid" ] && kill -9 "$helper_pid" 2>/dev/null || true
  if [ -n "$root" ] && [ -s "$root/run/korvane/com.korvane.helper.pid" ]; then
    kill -9 "$(cat "$root/run/korvane/com.korvane.helper.pid")" 2>/dev/null || true
  fi
  vd_stop
}
trap cleanup EXIT

has_button() { showing "push button" "$1"; }
no_button() { hidden "push button" "$1"; }
size_of() { geometry_of "$1" | awk '{print $3 "x" $4}'; }
# Enter in the window titled $1, as scripts/start.sh tells a user to press it.
press_enter() {
  timeout 10 xdotool search --onlyvisible --name "^$1\$" windowactivate --sync key Return ||
    fail "no window \"$1\" to press Enter in"
}

start_desktop xembed
root="$VD_DIR/root"
mkdir -p "$root"
if [ "$mode" = stand-in ]; then
  printf '#!/bin/sh\nexec "$@"\n' >"$VD_DIR/runner"
else
  printf '#!/bin/sh\ntouch "$0.ran"\necho "Error getting authority: Error initializing authority: Could not connect" >&2\nexit 127\n' \
    >"$VD_DIR/runner"
fi
chmod 755 "$VD_DIR/runner"
export KORVANE_INSTALL_ROOT="$root"
export KORVANE_PRIVILEGE_RUNNER="$VD_DIR/runner"

[ -e "$XDG_CONFIG_HOME/korvane/settings.json" ] && fail "the test did not start without settings"
if [ "$mode" = stand-in ]; then
  # 1. Only the agreement: no tray icon, no status check. Closing it ends Korvane.
  "$korvane" >"$VD_DIR/korvane.log" 2>&1 &
  korvane_pid=$!
  vd_wait 20 has_button "I Agree" || fail "the agreement did not appear"
  sleep 1
  shot 1-agreement
  all_named "the agreement"
  has_icon && fail "a tray icon appeared before the agreement was accepted"
  grep -q "Daemon" "$VD_DIR/korvane.log" && fail "the helper was checked before setup"
  [ -e "$XDG_CONFIG_HOME/autostart" ] && fail "something was written to autostart"
  agreement=$(window_named Korvane)
  [ "$(size_of "$agreement")" = 450x350 ] || fail "the agreement is $(size_of "$agreement"), not 450x350"
  # An X11 desktop finds a window's entry by its WM_CLASS instance in StartupWMClass.
  instance=$(xprop -id "$agreement" WM_CLASS | sed -n 's/^WM_CLASS([A-Z]*) = "\([^"]*\)".*/\1/p')
  grep -qx "StartupWMClass=$instance" "$here/../../packaging/com.korvane.app.desktop" ||
    fail "the desktop entry does not name Korvane's windows ($instance)"
  request_close "$agreement"
  await_end "when its agreement was closed"
  grep -q '"hasAcceptedEULAv2": *true' "$XDG_CONFIG_HOME/korvane/settings.json" 2>/dev/null &&
    fail "closing the agreement recorded an acceptance"
fi
if [ "$mode" = helper-running ]; then
  # As scripts/start.sh runs it: its own socket, handed to Korvane as well.
  export KORVANE_HELPER_SOCKET="$VD_DIR/helper.sock"
  KORVANE_HELPER_RUNTIME_DIR="$VD_DIR/helper-state" "$helper" --allow-uid="$(id -u)" >"$VD_DIR/helper.log" 2>&1 &
  helper_pid=$!
  vd_wait 20 test -S "$KORVANE_HELPER_SOCKET" || fail "the helper did not start listening"
fi
"$korvane" >"$VD_DIR/korvane.log" 2>&1 &
korvane_pid=$!
vd_wait 20 has_button "I Agree" || fail "the agreement did not appear"

# 2. Enter accepts; the setup window's first page.
press_enter Korvane
vd_wait 10 has_button "Get Started" || fail "the setup window did not follow the agreement"
shot 2-accepted
vd_wait 5 no_button "I Agree" || fail "the agreement stayed open"
grep -q '"hasAcceptedEULAv2": *true' "$XDG_CONFIG_HOME/korvane/settings.json" || fail "Enter did not record the acceptance"
setup=$(window_named "Korvane Setup")
[ "$(size_of "$setup")" = 580x520 ] || fail "the setup window is $(size_of "$setup"), not 580x520"
request_close "$setup"
sleep 1
[ "$(window_named "Korvane Setup")" = "$setup" ] || fail "the setup window closed on the window manager's request"
shot 2-setup-welcome

# 3. Enter through the six pages that explain, to the install page, and install.
for page in 1 2 3 4 5 6; do
  has_button "Install Helper" && fail "Enter skipped pages: the install page came after $((page - 1))"
  all_named "setup page $page"
  press_enter "Korvane Setup"
  sleep 0.3
done
vd_wait 10 has_button "Install Helper" || fail "six presses of Enter did not reach the install page"
shot 3-install
all_named "the install page"
press_enter "Korvane Setup"
if [ "$mode" = no-agent ]; then
  vd_wait 30 has_button Copy || fail "no command to run in a terminal after the runner's 127"
  sleep 0.5
  shot 4-terminal-command
  all_named "the install page's terminal command"
  click "push button" Copy
  command=$(xclip -o -selection clipboard) || fail "nothing on the clipboard after Copy"
  case "$command" in "sudo "*" $(id -u)") ;; *) fail "not the command to run: $command" ;; esac
  # What a user would paste into a root terminal, where root needs no sudo (nor may have it).
  sh -c "${command#sudo }" >"$VD_DIR/terminal.log" 2>&1 || fail "the shown command failed: $(cat "$VD_DIR/terminal.log")"
  grep -q '^SUCCESS:' "$VD_DIR/terminal.log" || fail "the shown command did not install"
  has_button Continue && fail "setup went on before Check again"
  press_enter "Korvane Setup"
fi
# Continue appears on the install page only after a successful installation.
vd_wait 60 has_button Continue || fail "the installation did not succeed"
sleep 1
shot 5-installed
case $mode in
  stand-in)
    grep -q "Korvane: Onboarding — Helper kurulumu başarılı." "$VD_DIR/korvane.log" || fail "no success log line" ;;
  helper-running)
    grep -q "Korvane: Onboarding — Daemon zaten çalışıyor." "$VD_DIR/korvane.log" || fail "the running helper was not found"
    [ -e "$VD_DIR/runner.ran" ] && fail "the privilege runner ran although a helper answered" ;;
  no-agent)
    grep -q "Korvane: Onboarding — Daemon zaten çalışıyor." "$VD_DIR/korvane.log" || fail "Check again did not find the helper" ;;
esac
if [ "$mode" != helper-running ]; then
  [ -x "$root/usr/local/libexec/korvane/com.korvane.helper" ] || fail "the helper was not copied under the root"
  vd_wait 15 test -S "$root/run/korvane/com.korvane.helper.sock" || fail "the helper's socket is not there"
  helper_pid=$(cat "$root/run/korvane/com.korvane.helper.pid" 2>/dev/null) || fail "no pid file of the helper"
fi
kill -0 "$helper_pid" || fail "the helper is not running"
has_icon && fail "a tray icon appeared before setup was completed"

# 4. Enter continues, then launches Korvane: the application proper.
press_enter "Korvane Setup"
sleep 1
shot 6-done
press_enter "Korvane Setup"
vd_wait 15 has_icon || fail "no tray icon after Launch Korvane"
vd_wait 15 grep -q "Daemon aktif (ping başarılı)." "$VD_DIR/korvane.log" || fail "the helper did not answer"
vd_wait 5 no_button "Launch Korvane" || fail "the setup window stayed open"
grep -q '"hasCompletedOnboarding": *true' "$XDG_CONFIG_HOME/korvane/settings.json" ||
  fail "setup was not recorded as completed"
sleep 1
shot 7-running
# The popover is one --toggle away.
"$korvane" --toggle || fail "korvane --toggle failed"
vd_wait 10 popover_geometry || fail "the popover did not open"
sleep 1
shot 8-popover
all_named "the popover"

end_korvane
names_checked
echo "PASS (first run, $mode)"
