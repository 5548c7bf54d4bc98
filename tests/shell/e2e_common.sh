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

# Korvane's controls as assistive tools see them, over AT-SPI (the virtual
# desktop starts its bus): "x y w h showing enabled checked" of the control
# with that role and accessible name, e.g. control "push button" "Focus Now".
# GObject introspection is the system Python's.
ATSPI_DRIVER="$(dirname "${BASH_SOURCE[0]}")/atspi_driver.py"
atspi() { /usr/bin/python3 "$ATSPI_DRIVER" "$@"; }
control() { atspi find "$1" "$2"; }
# Starts the desktop ($1: xembed or sni), then a watcher of AT-SPI's focus
# and window events, which finds the popup windows (the popover) that Qt
# leaves out of its application's children, as screen readers do.
start_desktop() {
  vd_start "$1" || fail "the private desktop did not start"
  export KORVANE_ATSPI_WINDOWS="$VD_DIR/atspi-windows"
  /usr/bin/python3 "$ATSPI_DRIVER" watch "$KORVANE_ATSPI_WINDOWS" >/dev/null 2>"$VD_DIR/atspi-watch.log" &
  VD_PIDS+=($!)
  vd_wait 10 test -e "$KORVANE_ATSPI_WINDOWS" || fail "the AT-SPI watcher did not start: $(cat "$VD_DIR/atspi-watch.log")"
}
# Shown now: the control is there and showing.
showing() { [ "$(control "$1" "$2" | cut -d' ' -f5)" = 1 ]; }
hidden() { ! showing "$1" "$2"; }
# Clicks the middle of a control the way a user would; it must be shown,
# usable and on the screen, where AT-SPI says it is.
click() {
  local where x y w h shown enabled
  vd_wait 10 showing "$1" "$2" || fail "no $1 \"$2\" on screen"
  where=$(control "$1" "$2")
  read -r x y w h shown enabled _ <<<"$where"
  [ "$enabled" = 1 ] || fail "$1 \"$2\" is not enabled"
  [ "$x" -ge 0 ] && [ "$y" -ge 0 ] && [ $((x + w)) -le 1280 ] && [ $((y + h)) -le 800 ] ||
    fail "$1 \"$2\" is off the screen at $x,$y ${w}x$h"
  xdotool mousemove $((x + w / 2)) $((y + h / 2)) click 1
}
# Every actionable control of Korvane's shown windows must have a name a
# screen reader can say; $1 says which windows. What lacks one is collected
# and fails the test at its end (names_checked), so the rest still runs.
all_named() {
  local missing
  missing=$(atspi unnamed) || printf '%s\n' "in $1:" "$missing" >>"$VD_DIR/unnamed"
}
names_checked() {
  [ -s "$VD_DIR/unnamed" ] && fail "controls without an accessible name:"$'\n'"$(cat "$VD_DIR/unnamed")"
  return 0
}

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
