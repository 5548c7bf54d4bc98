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
ticks_pid=""
cleanup() {
  [ -n "$korvane_pid" ] && kill -9 "$korvane_pid" 2>/dev/null || true
  [ -n "$ticks_pid" ] && kill "$ticks_pid" 2>/dev/null || true
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

start_desktop "$mode"
mkdir -p "$XDG_CONFIG_HOME/korvane"
echo '{"hasAcceptedEULAv2": true, "hasCompletedOnboarding": true}' >"$XDG_CONFIG_HOME/korvane/settings.json"
export KORVANE_HELPER_SOCKET="$VD_DIR/no-helper.sock"
# Twelve cores, eight of them performance cores, under a steady load the
# core sampler reads from a fixture /proc/stat that goes on counting. An idle
# core in the top row, which the percentage drawn over the lower half leaves
# in sight.
sysfs="$VD_DIR/sys"
mkdir -p "$sysfs/devices/system/cpu" "$sysfs/devices/cpu_core" "$sysfs/devices/cpu_atom" "$VD_DIR/proc"
echo 0-11 >"$sysfs/devices/system/cpu/online"
echo 0-7 >"$sysfs/devices/cpu_core/cpus"
echo 8-11 >"$sysfs/devices/cpu_atom/cpus"
export KORVANE_SYSFS_ROOT="$sysfs" KORVANE_PROC_ROOT="$VD_DIR/proc"
loads=(100 5 40 60 80 20 15 50 10 30 5 90)
count_ticks() {
  local step=0 cpu
  while :; do
    step=$((step + 1))
    {
      echo "cpu  0 0 0 0 0 0 0 0 0 0"
      for cpu in "${!loads[@]}"; do
        echo "cpu$cpu $((step * loads[cpu])) 0 0 $((step * (100 - loads[cpu]))) 0 0 0 0 0 0"
      done
    } >"$VD_DIR/proc/stat.new"
    mv "$VD_DIR/proc/stat.new" "$VD_DIR/proc/stat"
    sleep 1
  done
}
count_ticks &
ticks_pid=$!

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
  # Embedding comes before the first paint; an icon never drawn shows only
  # the panel's own colour.
  painted() {
    import -window root -crop "${iw}x$ih+$ix+$iy" "$VD_DIR/icon.png" &&
      [ "$(convert "$VD_DIR/icon.png" -format '%k' info:)" -gt 1 ]
  }
  vd_wait 10 painted || fail "the embedded icon was never drawn"
  anchor_x=$((ix + iw / 2))
  toggle() { "$korvane" --toggle || fail "korvane --toggle failed"; }
else
  vd_wait 15 sh -c "dbus-send --session --print-reply --dest=org.kde.StatusNotifierWatcher /StatusNotifierWatcher \
    org.freedesktop.DBus.Properties.Get string:org.kde.StatusNotifierWatcher string:RegisteredStatusNotifierItems \
    | grep -q StatusNotifierItem-$korvane_pid-1" || fail "Korvane's item is not registered with the watcher"
  item="org.kde.StatusNotifierItem-$korvane_pid-1"
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
