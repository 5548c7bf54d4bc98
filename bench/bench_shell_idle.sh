#!/usr/bin/env bash
# The running tray application at rest on a private X desktop (Xvfb, openbox,
# trayer): its resident memory, and how often its threads wake up per minute
# with the popover closed, counted from each thread's voluntary context
# switches (/proc/PID/task/*/status): every one is a sleep that something
# ended. Preemptions by other busy programs are not counted.
#   bench/bench_shell_idle.sh build/dev/app/shell/korvane [SECONDS]
set -euo pipefail
korvane=$(realpath "$1")
seconds=${2:-60}
here=$(cd "$(dirname "$0")" && pwd)
unset DISPLAY DBUS_SESSION_BUS_ADDRESS WAYLAND_DISPLAY
export VD_PRIVATE_CONFIG=1
. "$here/../scripts/virtual-desktop.sh"
pid=""
trap '[ -n "$pid" ] && kill "$pid" 2>/dev/null; vd_stop' EXIT
vd_start xembed
mkdir -p "$XDG_CONFIG_HOME/korvane"
echo '{"hasAcceptedEULAv2": true, "hasCompletedOnboarding": true}' >"$XDG_CONFIG_HOME/korvane/settings.json"
# The real managers: the core sampler on /proc, the fan monitor, the X11 workspace.
KORVANE_HELPER_SOCKET="$VD_DIR/no-helper.sock" "$korvane" 2>/dev/null &
pid=$!
sleep 5  # start-up, the helper check and the first redraw settle

switches() {  # "tid name runs" per thread
  for t in /proc/"$pid"/task/*; do
    echo "$(basename "$t") $(tr ' ' '_' <"$t/comm") $(awk '/^voluntary_ctxt_switches/ {print $2}' "$t/status")"
  done
}
before=$(switches)
sleep "$seconds"
after=$(switches)

echo "korvane idle, popover closed, ${seconds} s:"
awk '/VmRSS|VmHWM/ {printf "  %-8s %6.1f MiB\n", $1, $2 / 1024}' /proc/"$pid"/status
total=0
while read -r tid name runs; do
  old=$(awk -v t="$tid" '$1 == t {print $3}' <<<"$before")
  delta=$((runs - ${old:-0}))
  total=$((total + delta))
  printf "  thread %-18s %6d wake-ups  (%.1f per minute)\n" "$name" "$delta" "$(echo "$delta * 60 / $seconds" | bc -l)"
done <<<"$after"
printf "  all threads          %6d wake-ups  (%.1f per minute)\n" "$total" "$(echo "$total * 60 / $seconds" | bc -l)"
