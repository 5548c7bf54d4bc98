#!/usr/bin/env bash
# A first run of Korvane end to end, on a private X desktop (Xvfb, openbox,
# trayer): e2e_first_run_test.sh KORVANE
# A fresh settings folder shows only the agreement (450 x 350, no tray icon);
# closing it through the window manager ends Korvane. Started again: accept;
# the setup window (580 x 520) refuses the window manager's close. Skip to
# the install page, install: the helper is installed under a private root
# through a privilege stand-in that runs the command as root, starts without
# systemd and answers. "Launch Korvane" then starts the application proper:
# the icon is in the tray and the status check finds the helper.
# The buttons are found through the test-only widget map. With
# KORVANE_SCREENSHOT_DIR set, a screenshot of each step is kept there.
set -euo pipefail
korvane=$1
here=$(cd "$(dirname "$0")" && pwd)
if [ "$(id -u)" != 0 ]; then
  echo "SKIP: installing the helper needs root"
  exit 77
fi
unset DISPLAY DBUS_SESSION_BUS_ADDRESS WAYLAND_DISPLAY KORVANE_HELPER_SOCKET KORVANE_TEST_CORE_USAGE KORVANE_TEST_FOCUS
export VD_PRIVATE_CONFIG=1
. "$here/../../scripts/virtual-desktop.sh"
E2E_NAME=first-run
E2E_LOGS=(korvane:korvane.log widget:widgets)
. "$here/e2e_common.sh"

korvane_pid=""
root=""
cleanup() {
  [ -n "$korvane_pid" ] && kill -9 "$korvane_pid" 2>/dev/null || true
  if [ -n "$root" ] && [ -s "$root/run/korvane/com.korvane.helper.pid" ]; then
    kill -9 "$(cat "$root/run/korvane/com.korvane.helper.pid")" 2>/dev/null || true
  fi
  vd_stop
}
trap cleanup EXIT

button_at() { reported "$VD_DIR/widgets" "$1"; }
has_button() { button_at "$1" >/dev/null 2>&1; }
no_button() { ! has_button "$1"; }
click() {
  vd_wait 10 has_button "$1" || fail "no $1 on screen"
  local x y w h
  read -r x y w h <<<"$(button_at "$1")"
  xdotool mousemove $((x + w / 2)) $((y + h / 2)) click 1
}
size_of() { geometry_of "$1" | awk '{print $3 "x" $4}'; }

vd_start xembed || fail "the private desktop did not start"
root="$VD_DIR/root"
mkdir -p "$root"
printf '#!/bin/sh\nexec "$@"\n' >"$VD_DIR/runner"
chmod 755 "$VD_DIR/runner"
export KORVANE_INSTALL_ROOT="$root"
export KORVANE_PRIVILEGE_RUNNER="$VD_DIR/runner"
export KORVANE_TEST_WIDGET_MAP="$VD_DIR/widgets"

# 1. Only the agreement: no tray icon, no status check. Closing it ends Korvane.
"$korvane" >"$VD_DIR/korvane.log" 2>&1 &
korvane_pid=$!
vd_wait 20 has_button agreeButton || fail "the agreement did not appear"
sleep 1
shot 1-agreement
has_icon && fail "a tray icon appeared before the agreement was accepted"
grep -q "Daemon" "$VD_DIR/korvane.log" && fail "the helper was checked before setup"
[ -e "$XDG_CONFIG_HOME/autostart" ] && fail "something was written to autostart"
agreement=$(window_named Korvane)
[ "$(size_of "$agreement")" = 450x350 ] || fail "the agreement is $(size_of "$agreement"), not 450x350"
request_close "$agreement"
await_end "when its agreement was closed"
grep -q '"hasAcceptedEULAv2": *true' "$XDG_CONFIG_HOME/korvane/settings.json" 2>/dev/null &&
  fail "closing the agreement recorded an acceptance"

rm -f "$VD_DIR/widgets"
"$korvane" >"$VD_DIR/korvane.log" 2>&1 &
korvane_pid=$!
vd_wait 20 has_button agreeButton || fail "the agreement did not appear again"

# 2. Accept; the setup window's first page.
click agreeButton
vd_wait 10 has_button skipButton || fail "the setup window did not follow the agreement"
vd_wait 5 no_button agreeButton || fail "the agreement stayed open"
setup=$(window_named "Korvane Setup")
[ "$(size_of "$setup")" = 580x520 ] || fail "the setup window is $(size_of "$setup"), not 580x520"
request_close "$setup"
sleep 1
[ "$(window_named "Korvane Setup")" = "$setup" ] || fail "the setup window closed on the window manager's request"
shot 2-setup-welcome

# 3. Skip to the install page and install.
click skipButton
vd_wait 10 has_button installButton || fail "Skip to Install did not reach the install page"
sleep 0.5
shot 3-install
click installButton
# Continue appears on the install page only after a successful installation.
vd_wait 60 has_button forwardButton || fail "the installation did not succeed"
sleep 1
shot 4-installed
grep -q "Korvane: Onboarding — Helper kurulumu başarılı." "$VD_DIR/korvane.log" || fail "no success log line"
[ -x "$root/usr/local/libexec/korvane/com.korvane.helper" ] || fail "the helper was not copied under the root"
vd_wait 15 test -S "$root/run/korvane/com.korvane.helper.sock" || fail "the helper's socket is not there"
helper_pid=$(cat "$root/run/korvane/com.korvane.helper.pid" 2>/dev/null) || fail "no pid file of the helper"
kill -0 "$helper_pid" || fail "the helper is not running"
has_icon && fail "a tray icon appeared before setup was completed"

# 4. Continue, then Launch Korvane: the application proper.
click forwardButton
sleep 1
shot 5-done
click forwardButton
vd_wait 15 has_icon || fail "no tray icon after Launch Korvane"
vd_wait 15 grep -q "Daemon aktif (ping başarılı)." "$VD_DIR/korvane.log" || fail "the helper did not answer"
vd_wait 5 no_button forwardButton || fail "the setup window stayed open"
grep -q '"hasCompletedOnboarding": *true' "$XDG_CONFIG_HOME/korvane/settings.json" ||
  fail "setup was not recorded as completed"
sleep 1
shot 6-running

end_korvane
echo "PASS (first run)"
