#!/usr/bin/env bash
# Korvane end to end on a private X desktop with a real window manager and a
# real tray host:
#   e2e_tray_test.sh xembed KORVANE   (openbox + trayer, XEmbed)
#   e2e_tray_test.sh sni KORVANE      (openbox + xfce4-panel on a private session bus)
# Checks that the icon is in the tray, that `korvane --toggle` opens the
# popover at the icon and a second toggle closes it, that a second korvane
# leaves one icon, and that SIGTERM ends Korvane cleanly. With
# KORVANE_SCREENSHOT_DIR set, screenshots are kept there.
set -euo pipefail
mode=$1
korvane=$2
here=$(cd "$(dirname "$0")" && pwd)
unset DISPLAY DBUS_SESSION_BUS_ADDRESS WAYLAND_DISPLAY
export VD_PRIVATE_CONFIG=1
. "$here/../../scripts/virtual-desktop.sh"
E2E_NAME=$mode
E2E_LOGS=(korvane:korvane.log)
. "$here/e2e_common.sh"

korvane_pid=""
cleanup() {
  [ -n "$korvane_pid" ] && kill -9 "$korvane_pid" 2>/dev/null || true
  vd_stop
}
trap cleanup EXIT

# The tray menu: another visible window of Korvane's, wider than the icon.
menu_geometry() {
  local w g
  for w in $(xdotool search --onlyvisible --classname korvane 2>/dev/null); do
    g=$(geometry_of "$w")
    set -- $g
    [ "$3" -gt 60 ] && [ "$3" != 300 ] && { echo "$g"; return 0; }
  done
  return 1
}

# SNI: the items the watcher knows that belong to Korvane's process.
registered_items() {
  dbus-send --session --print-reply --dest=org.kde.StatusNotifierWatcher /StatusNotifierWatcher \
    org.freedesktop.DBus.Properties.Get string:org.kde.StatusNotifierWatcher \
    string:RegisteredStatusNotifierItems 2>/dev/null | grep -o 'org.kde.StatusNotifierItem-[0-9]*-1' || true
}

item_property() {
  dbus-send --session --print-reply --dest="$1" /StatusNotifierItem org.freedesktop.DBus.Properties.Get \
    string:org.kde.StatusNotifierItem "string:$2"
}

vd_start "$mode" || fail "the private desktop did not start"
mkdir -p "$XDG_CONFIG_HOME/korvane"
echo '{"hasAcceptedEULAv2": true, "hasCompletedOnboarding": true}' >"$XDG_CONFIG_HOME/korvane/settings.json"
export KORVANE_HELPER_SOCKET="$VD_DIR/no-helper.sock"
# An idle core in the top row, which the percentage drawn over the lower
# half leaves in sight.
export KORVANE_TEST_CORE_USAGE="1.0,0.05,0.4,0.6,0.8,0.2,0.15,0.5;0.1,0.3,0.05,0.9"
if [ "$mode" = sni ]; then export KORVANE_TEST_FOCUS="Firefox;firefox;0.37"; fi

"$korvane" >"$VD_DIR/korvane.log" 2>&1 &
korvane_pid=$!

if [ "$mode" = xembed ]; then
  vd_wait 15 sh -c "[ -n \"\$(xdotool search --classname korvane 2>/dev/null)\" ]" || fail "no Korvane window"
  vd_wait 10 has_icon || true
  icons=$(embedded_icons)
  [ "$(echo "$icons" | grep -c .)" = 1 ] || fail "expected one embedded icon, found: '$icons'"
  read -r ix iy iw ih <<<"$(geometry_of "$icons")"
  echo "icon at $ix,$iy ${iw}x$ih"
  [ "$iw" -gt 0 ] && [ "$iy" -lt 24 ] || fail "the icon is not in the tray at the top"
  anchor_x=$((ix + iw / 2))
  toggle() { "$korvane" --toggle || fail "korvane --toggle failed"; }
else
  vd_wait 15 sh -c "dbus-send --session --print-reply --dest=org.kde.StatusNotifierWatcher /StatusNotifierWatcher \
    org.freedesktop.DBus.Properties.Get string:org.kde.StatusNotifierWatcher string:RegisteredStatusNotifierItems \
    | grep -q StatusNotifierItem-$korvane_pid-1" || fail "Korvane's item is not registered with the watcher"
  item="org.kde.StatusNotifierItem-$korvane_pid-1"
  item_property "$item" XAyatanaLabel | grep -q '" 37%"' || fail "the label is not \" 37%\""
  item_property "$item" ToolTip | grep -q 'Korvane — Firefox · P-cores 37%' || fail "wrong tooltip"
  # Where the panel drew the icon: the heatmap's pure red cells, the way a
  # user's click would land on it.
  find_red() {
    import -window root "$VD_DIR/panel.png" &&
      convert "$VD_DIR/panel.png" -crop 1280x40+0+0 +repage txt:- |
        awk -F: '/#FF0000/ && !found {print $1; found = 1}' >"$VD_DIR/red" &&
      [ -s "$VD_DIR/red" ]
  }
  vd_wait 15 find_red || fail "no heatmap in the panel"
  red=$(cat "$VD_DIR/red")
  # xfce4-panel's default is dark and says so through the colours its tray
  # publishes: an idle core is drawn light grey there, not the dark grey that
  # vanishes on it.
  panel_pixels=$(convert "$VD_DIR/panel.png" -crop 1280x40+0+0 +repage txt:-)
  grep -q '#999999' <<<"$panel_pixels" || fail "no idle core visible on the dark panel"
  anchor_x=${red%,*}
  anchor_y=${red#*,}
  echo "icon drawn at about $anchor_x,$anchor_y"
  # A host click is Activate(x, y); `korvane --toggle` then reuses that anchor.
  toggle() {
    if [ -z "${clicked:-}" ]; then
      clicked=1
      dbus-send --session --print-reply --dest="$item" /StatusNotifierItem \
        org.kde.StatusNotifierItem.Activate "int32:$anchor_x" "int32:$anchor_y" >/dev/null || fail "Activate failed"
    else
      "$korvane" --toggle || fail "korvane --toggle failed"
    fi
  }
fi
shot tray

toggle
vd_wait 10 popover_geometry || fail "the popover did not open"
read -r px py pw ph <<<"$(popover_geometry)"
echo "popover at $px,$py ${pw}x$ph"
area_top=$(xprop -root _NET_WORKAREA | awk -F'[=,]' '{print $3 + 0}')
[ "$px" -le "$anchor_x" ] && [ "$anchor_x" -lt $((px + pw)) ] || fail "the popover is not under the icon"
[ "$py" -ge "$area_top" ] && [ "$py" -le $((area_top + 8)) ] || fail "the popover is not just below the panel"
[ $((px + pw)) -le 1280 ] || fail "the popover leaves the screen"
shot popover

toggle
vd_wait 10 popover_closed || fail "a second toggle did not close the popover"

# A second start hands over to the running Korvane and ends.
said=$(timeout 15 "$korvane") || fail "a second korvane did not end by itself"
[[ $said == *"already running"* ]] || fail "a second korvane ended without a word"
if [ "$mode" = xembed ]; then
  [ "$(embedded_icons | grep -c .)" = 1 ] || fail "a second korvane added an icon"
else
  [ "$(registered_items | sort -u | grep -c .)" = 1 ] || fail "a second korvane added an item"
fi
vd_wait 10 popover_geometry || fail "the second start did not toggle the popover"
# A click anywhere else closes it.
xdotool mousemove 200 500 click 1
vd_wait 10 popover_closed || fail "a click outside did not close the popover"

# A right click shows the tray menu at the icon.
if [ "$mode" = xembed ]; then
  xdotool mousemove "$anchor_x" $((iy + ih / 2)) click 3
else
  dbus-send --session --print-reply --dest="$item" /StatusNotifierItem \
    org.kde.StatusNotifierItem.ContextMenu "int32:$anchor_x" "int32:$anchor_y" >/dev/null || fail "ContextMenu failed"
fi
vd_wait 10 menu_geometry || fail "no tray menu"
read -r mx my mw mh <<<"$(menu_geometry)"
echo "menu at $mx,$my ${mw}x$mh"
[ $((mx + mw)) -le 1280 ] && [ "$my" -le 40 ] || fail "the menu is not at the icon"
shot menu
xdotool key Escape

end_korvane
echo "PASS ($mode)"
