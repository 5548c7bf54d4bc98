# What Korvane's desktop tests share. Source it after setting
#   E2E_NAME  the prefix of this test's screenshots
#   E2E_LOGS  "label:file" pairs (file names in $VD_DIR) shown on a failure
# and keep Korvane's process id in korvane_pid.

fail() {
  local pair
  echo "FAIL: $*" >&2
  if [ -n "${VD_DIR:-}" ]; then
    for pair in "${E2E_LOGS[@]}"; do
      [ -f "$VD_DIR/${pair#*:}" ] && sed "s/^/  ${pair%%:*}: /" "$VD_DIR/${pair#*:}" >&2
    done
  fi
  exit 1
}

# With KORVANE_SCREENSHOT_DIR set, keeps a picture of the whole desktop.
shot() {
  [ -n "${KORVANE_SCREENSHOT_DIR:-}" ] || return 0
  mkdir -p "$KORVANE_SCREENSHOT_DIR"
  import -window root "$KORVANE_SCREENSHOT_DIR/$E2E_NAME-$1.png"
}

# The fields after NAME on its line of a report Korvane writes for tests
# ("name x y w h ..."): reported FILE NAME.
reported() { awk -v name="$2" '$1 == name {$1 = ""; print substr($0, 2); found = 1} END {exit !found}' "$1"; }

# "x y w h" of a window.
geometry_of() {
  xwininfo -id "$1" | awk '/Absolute upper-left X/ {x=$4} /Absolute upper-left Y/ {y=$4}
                            /Width:/ {w=$2} /Height:/ {h=$2} END {print x, y, w, h}'
}

# The one visible window titled exactly $1, waiting up to ten seconds for it.
window_named() {
  local found=""
  for _ in $(seq 1 50); do
    found=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n1)
    [ -n "$found" ] && break
    sleep 0.2
  done
  echo "$found"
}

# Asks the window manager to close a window, as its close button or Alt+F4 does.
request_close() {
  timeout 10 xdotool windowactivate --sync "$1" || fail "the window manager did not activate window $1"
  xdotool key --clearmodifiers alt+F4
}

# The popover: Korvane's visible window 300 pixels wide.
popover_geometry() {
  local w g
  for w in $(xdotool search --onlyvisible --classname korvane 2>/dev/null); do
    g=$(geometry_of "$w")
    set -- $g
    [ "$3" = 300 ] && { echo "$g"; return 0; }
  done
  return 1
}
popover_closed() { ! popover_geometry >/dev/null; }

# Korvane's windows inside the tray: below a window of trayer's. (Qt puts
# _XEMBED_INFO on every window, and openbox reparents its own windows too.)
embedded_icons() {
  local w ancestor root_window
  root_window=$(xwininfo -root | awk '/Window id:/ {print $4}')
  for w in $(xdotool search --classname korvane 2>/dev/null); do
    ancestor=$(xwininfo -id "$w" -children 2>/dev/null | awk '/Parent window id/ {print $4}')
    while [ -n "$ancestor" ] && [ "$ancestor" != "$root_window" ]; do
      if xprop -id "$ancestor" WM_CLASS 2>/dev/null | grep -q '"trayer"'; then echo "$w"; break; fi
      ancestor=$(xwininfo -id "$ancestor" -children 2>/dev/null | awk '/Parent window id/ {print $4}')
    done
  done
}
has_icon() { [ -n "$(embedded_icons)" ]; }

# Korvane must end by itself within ten seconds, with status 0.
await_end() {
  local status
  for _ in $(seq 1 50); do kill -0 "$korvane_pid" 2>/dev/null || break; sleep 0.2; done
  kill -0 "$korvane_pid" 2>/dev/null && fail "Korvane did not end $1"
  wait "$korvane_pid" && status=0 || status=$?
  korvane_pid=""
  [ "$status" = 0 ] || fail "Korvane ended with status $status $1"
}

# SIGTERM must end Korvane through its normal shutdown.
end_korvane() {
  kill -TERM "$korvane_pid"
  await_end "on SIGTERM"
}
