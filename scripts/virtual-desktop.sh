# A private X desktop for running Korvane where there is no display (CI, a
# root shell): Xvfb, openbox and a tray host. Source it, then call
#   vd_start [xembed|sni]
# which exports DISPLAY and a private XDG_RUNTIME_DIR (and, for sni, a
# private session bus with AT-SPI's bus on it, where Qt publishes its windows
# to AT-SPI clients, and for sni xfce4-panel as the tray host, whose settings
# go in a private XDG_CONFIG_HOME).
# vd_stop ends everything vd_start started.
# Every wait is bounded.

VD_PIDS=()
VD_DIR=""

vd_wait() {  # vd_wait SECONDS COMMAND...: retries COMMAND until it succeeds
  local deadline=$((SECONDS + $1)); shift
  until "$@" >/dev/null 2>&1; do
    [ "$SECONDS" -ge "$deadline" ] && return 1
    sleep 0.2
  done
}

# Starts Xvfb on the first free number from $1 and sets VD_DISPLAY; the
# server's pid goes last in VD_PIDS.
vd_start_xvfb() {
  # Xvfb's own choice of a number (-displayfd) takes no lock, so two desktops
  # starting at once could share one. We pick the number and Xvfb takes its
  # lock, or ends at once when another server holds it; then the next is tried.
  local number first=$1
  VD_DISPLAY=""
  for number in $(seq "$first" $((first + 40))); do
    [ -e "/tmp/.X$number-lock" ] || [ -e "/tmp/.X11-unix/X$number" ] && continue
    # -noreset: without it the server resets when its last client leaves,
    # and the readiness probe below is that client; the window manager
    # arriving during the reset is refused the display.
    Xvfb ":$number" -screen 0 1280x800x24 -nolisten tcp -noreset >"$VD_DIR/xvfb.log" 2>&1 &
    local xvfb=$!
    # The server that answers may be another one that won the lock while ours
    # is on its way out: the lock file names the owner.
    if vd_wait 20 sh -c "! kill -0 $xvfb || xprop -display :$number -root >/dev/null" && kill -0 "$xvfb" 2>/dev/null &&
      [ "$(tr -d ' \n' < "/tmp/.X$number-lock" 2>/dev/null)" = "$xvfb" ]; then
      VD_PIDS+=("$xvfb")
      VD_DISPLAY=$number
      return 0
    fi
    kill "$xvfb" 2>/dev/null || true
    wait "$xvfb" 2>/dev/null || true
  done
  echo "Xvfb did not start" >&2
  cat "$VD_DIR/xvfb.log" >&2
  return 1
}

vd_start() {
  local host=${1:-xembed}
  VD_DIR=$(mktemp -d /tmp/korvane-desktop.XXXXXX)
  # Above the numbers the C++ tests' desktops start from, so the two kinds
  # rarely even try the same one.
  local first=$((560 + $$ % 360)) attempt
  # A display can still be lost between the check above and the window
  # manager's start (seen on loaded machines); the desktop then starts again
  # on another number instead of failing the test.
  for attempt in 1 2 3; do
    vd_start_xvfb "$first" || return 1
    export DISPLAY=":$VD_DISPLAY"
    openbox --sm-disable >"$VD_DIR/openbox.log" 2>&1 &
    local openbox=$!
    if vd_wait 20 sh -c 'xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"'; then
      VD_PIDS+=("$openbox")
      break
    fi
    echo "openbox did not start on :$VD_DISPLAY (attempt $attempt):" >&2
    cat "$VD_DIR/openbox.log" >&2
    kill -0 "${VD_PIDS[-1]}" 2>/dev/null && echo "  Xvfb still runs" >&2 || echo "  Xvfb has ended:" >&2
    cat "$VD_DIR/xvfb.log" >&2
    # openbox has usually ended by itself: under a caller's `set -e` a
    # failed kill would end the caller instead of trying again.
    kill "$openbox" 2>/dev/null || true
    vd_stop_pids
    [ "$attempt" = 3 ] && return 1
    first=$((VD_DISPLAY + 1))
  done

  export XDG_RUNTIME_DIR="$VD_DIR/runtime"
  mkdir -m 0700 -p "$XDG_RUNTIME_DIR"
  if [ "$host" = sni ] || [ -n "${VD_PRIVATE_CONFIG:-}" ]; then
    export XDG_CONFIG_HOME="$VD_DIR/config"
    mkdir -p "$XDG_CONFIG_HOME"
  fi

  # A private session bus: the tray host's (sni) and AT-SPI's.
  dbus-daemon --session --fork --print-address=3 --print-pid=4 3>"$VD_DIR/bus" 4>"$VD_DIR/bus.pid"
  DBUS_SESSION_BUS_ADDRESS=$(head -n1 "$VD_DIR/bus")
  export DBUS_SESSION_BUS_ADDRESS
  VD_PIDS+=("$(head -n1 "$VD_DIR/bus.pid")")
  vd_start_accessibility || return 1

  if [ "$host" = sni ]; then
    local xml="$XDG_CONFIG_HOME/xfce4/xfconf/xfce-perchannel-xml"
    mkdir -p "$xml"
    cp /etc/xdg/xfce4/panel/default.xml "$xml/xfce4-panel.xml"
    xfce4-panel >"$VD_DIR/panel.log" 2>&1 &
    VD_PIDS+=($!)
    vd_wait 20 dbus-send --session --print-reply --dest=org.kde.StatusNotifierWatcher /StatusNotifierWatcher \
      org.freedesktop.DBus.Properties.Get string:org.kde.StatusNotifierWatcher string:IsStatusNotifierHostRegistered \
      || { echo "xfce4-panel did not register a StatusNotifierHost" >&2; return 1; }
    sleep 1
  else
    trayer --edge top --align right --widthtype pixel --width 160 --height 24 --SetDockType true \
      --SetPartialStrut true --transparent false --tint 0x303030 >"$VD_DIR/trayer.log" 2>&1 &
    VD_PIDS+=($!)
    vd_wait 10 sh -c 'xprop -root _NET_WORKAREA | grep -qv "0, 0, 1280, 800"' || true
    vd_wait 20 xdotool search --classname trayer || { echo "trayer did not start" >&2; return 1; }
  fi
}

# AT-SPI's bus, which Qt and AT-SPI clients find through the session bus's
# org.a11y.Bus (AT_SPI_BUS_ADDRESS alone is not enough for Qt 6.4: it never
# registers its windows then). Qt publishes its widgets only where a screen
# reader is on, or always with QT_LINUX_ACCESSIBILITY_ALWAYS_ON.
vd_start_accessibility() {
  /usr/libexec/at-spi-bus-launcher --launch-immediately >"$VD_DIR/a11y-bus.log" 2>&1 &
  VD_PIDS+=($!)
  vd_wait 10 dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus org.a11y.Bus.GetAddress ||
    { echo "the accessibility bus did not start" >&2; cat "$VD_DIR/a11y-bus.log" >&2; return 1; }
  export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
}

# Ends what VD_PIDS holds, newest first, each within five seconds.
vd_stop_pids() {
  local pid i
  for ((i = ${#VD_PIDS[@]} - 1; i >= 0; i--)); do
    kill "${VD_PIDS[$i]}" 2>/dev/null || true
  done
  for pid in "${VD_PIDS[@]}"; do
    for _ in $(seq 1 25); do kill -0 "$pid" 2>/dev/null || break; sleep 0.2; done
    kill -9 "$pid" 2>/dev/null || true
  done
  VD_PIDS=()
}

vd_stop() {
  vd_stop_pids
  [ -n "$VD_DIR" ] && rm -rf "$VD_DIR"
  VD_DIR=""
}
