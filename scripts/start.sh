#!/usr/bin/env bash
# Installs what is missing, builds Korvane, and starts it: the helper in the
# background (as root) and the tray application on your display.
#
# Run as root from a terminal with no display (a server, CI), it starts a
# private virtual desktop (Xvfb, openbox and the trayer tray) and runs both
# there, then tells you how to take a screenshot of it.
#
#   scripts/start.sh            the helper and Korvane
#   scripts/start.sh --helper   only the helper, in the foreground (for scripts)
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DKORVANE_BUILD_TESTS=OFF -DKORVANE_BUILD_BENCH=OFF >/dev/null
cmake --build build/release -j "$(nproc)"

user_uid=${SUDO_UID:-$(id -u)}
sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
socket=${KORVANE_HELPER_SOCKET:-/run/korvane/com.korvane.helper.sock}
helper=build/release/helper/com.korvane.helper
korvane=build/release/app/shell/korvane
korvanectl=build/release/tools/korvanectl/korvanectl

if [ "${1:-}" = --helper ]; then
  cat <<EOT
Starting KorvaneHelper in the foreground on $socket (Ctrl-C stops it).
Only root and uid $user_uid may talk to it. From another terminal:
  build/release/tools/korvanectl/korvanectl ping
  build/release/tools/korvanectl/korvanectl --help
EOT
  exec "${sudo_cmd[@]}" env KORVANE_HELPER_SOCKET="$socket" "$helper" --allow-uid="$user_uid"
fi

helper_pid=""
korvane_pid=""
stop_all() {
  if [ -n "$korvane_pid" ]; then
    kill "$korvane_pid" 2>/dev/null || true
    for _ in $(seq 1 25); do kill -0 "$korvane_pid" 2>/dev/null || break; sleep 0.2; done
  fi
  [ -n "$helper_pid" ] && "${sudo_cmd[@]}" kill "$helper_pid" 2>/dev/null || true
  if declare -F vd_stop >/dev/null; then vd_stop; fi
}
trap stop_all EXIT
trap 'exit 130' INT TERM

start_helper() {
  [ ${#sudo_cmd[@]} -eq 0 ] || sudo -v
  "${sudo_cmd[@]}" env KORVANE_HELPER_SOCKET="$socket" "$helper" --allow-uid="$user_uid" \
    2> >(sed 's/^/[helper] /' >&2) &
  helper_pid=$!
  # Setup finds the helper by its answer, so it must be answering first.
  for _ in $(seq 1 50); do
    KORVANE_HELPER_SOCKET="$socket" "$korvanectl" --timeout 1 ping >/dev/null 2>&1 && return 0
    kill -0 "$helper_pid" 2>/dev/null || break
    sleep 0.2
  done
  echo "The helper did not start; its messages are above." >&2
  exit 1
}

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  start_helper
  echo "Korvane is starting in your tray (Ctrl-C ends it and the helper)."
  KORVANE_HELPER_SOCKET="$socket" "$korvane" &
  korvane_pid=$!
  wait "$korvane_pid" || true
  exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
  echo "No display here. Run scripts/start.sh from your desktop session, or as root to get a private virtual desktop." >&2
  exit 1
fi

. scripts/virtual-desktop.sh
vd_start xembed
start_helper
KORVANE_HELPER_SOCKET="$socket" "$korvane" 2> >(sed 's/^/[korvane] /' >&2) &
korvane_pid=$!
on_desktop="DISPLAY=$DISPLAY"
cat <<EOT

Korvane runs on a private virtual desktop, $on_desktop (Ctrl-C ends everything).
  Take a screenshot:  $on_desktop import -window root korvane.png
A first run shows the agreement. Read it on a screenshot, then accept it (Enter presses "I Agree"):
  $on_desktop xdotool search --onlyvisible --name '^Korvane\$' windowactivate --sync key Return
Then go through setup with Enter, page by page (its install page finds the helper this script started):
  for page in \$(seq 12); do $on_desktop xdotool search --onlyvisible --name '^Korvane Setup\$' windowactivate --sync key Return || break; sleep 1; done
Korvane's icon then shows in the tray at the top right. Open or close the popover:
  $on_desktop DBUS_SESSION_BUS_ADDRESS=$DBUS_SESSION_BUS_ADDRESS XDG_RUNTIME_DIR=$XDG_RUNTIME_DIR $(printf %q "$PWD/$korvane") --toggle
EOT
wait "$korvane_pid" || true
