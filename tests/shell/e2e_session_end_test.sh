#!/usr/bin/env bash
# Korvane under a session manager on a private X desktop:
#   e2e_session_end_test.sh KORVANE SESSION_MANAGER
# A logout asks Korvane to save itself, then is cancelled: Korvane must go on
# as before. Only the session manager's final word ends it, through its
# normal shutdown.
set -euo pipefail
korvane=$1
session_manager=$2
here=$(cd "$(dirname "$0")" && pwd)
unset DISPLAY DBUS_SESSION_BUS_ADDRESS WAYLAND_DISPLAY SESSION_MANAGER
export VD_PRIVATE_CONFIG=1
. "$here/../../scripts/virtual-desktop.sh"
E2E_NAME=session
E2E_LOGS=(korvane:korvane.log session:session.log)
. "$here/e2e_common.sh"

korvane_pid=""
manager_pid=""
cleanup() {
  [ -n "$korvane_pid" ] && kill -9 "$korvane_pid" 2>/dev/null || true
  [ -n "$manager_pid" ] && kill "$manager_pid" 2>/dev/null || true
  vd_stop
}
trap cleanup EXIT

shutdown_line="Korvane: Shutdown: core sampling and fan polling stopped"
reported_times() { grep -c "^$1\$" "$VD_DIR/session.log" || true; }

vd_start xembed || fail "the private desktop did not start"
mkdir -p "$XDG_CONFIG_HOME/korvane"
echo '{"hasAcceptedEULAv2": true, "hasCompletedOnboarding": true}' >"$XDG_CONFIG_HOME/korvane/settings.json"
export KORVANE_HELPER_SOCKET="$VD_DIR/no-helper.sock"

mkfifo "$VD_DIR/commands"
"$session_manager" "$VD_DIR/address" <"$VD_DIR/commands" >"$VD_DIR/session.log" 2>&1 &
manager_pid=$!
exec 3>"$VD_DIR/commands"
vd_wait 10 test -s "$VD_DIR/address" || fail "the session manager did not start"
SESSION_MANAGER=$(cat "$VD_DIR/address") "$korvane" >"$VD_DIR/korvane.log" 2>&1 &
korvane_pid=$!

# Registering, Korvane saves itself once, as every new client does.
vd_wait 15 sh -c "[ \"\$(grep -c '^saved\$' '$VD_DIR/session.log')\" -ge 1 ]" || fail "Korvane did not join the session"
vd_wait 10 has_icon || fail "no icon in the tray"

# The logout begins: Korvane saves itself, then the user cancels it.
echo shutdown >&3
vd_wait 10 sh -c "[ \"\$(grep -c '^saved\$' '$VD_DIR/session.log')\" -ge 2 ]" || fail "Korvane did not answer the logout"
echo cancel >&3
sleep 2
kill -0 "$korvane_pid" 2>/dev/null || fail "Korvane ended although the logout was cancelled"
grep -q "$shutdown_line" "$VD_DIR/korvane.log" && fail "Korvane shut its work down although the logout was cancelled"
"$korvane" --toggle || fail "korvane --toggle failed"
vd_wait 10 popover_geometry || fail "the popover did not open after the cancelled logout"
shot after-cancelled-logout

# The session really ends.
echo shutdown >&3
vd_wait 10 sh -c "[ \"\$(grep -c '^saved\$' '$VD_DIR/session.log')\" -ge 3 ]" || fail "Korvane did not answer the second logout"
echo die >&3
await_end "on the session's end"
grep -q "$shutdown_line" "$VD_DIR/korvane.log" || fail "Korvane did not shut its work down at the session's end"
echo "PASS"
