#!/bin/sh
# The helper under a user who names many data folders: 200 processes of one
# user, each with its own XDG_DATA_HOME holding 2,000 entries. Prints the
# helper's CPU use and resident memory while they run, and how long a jailed
# application of another user then waits to be confined. Run as root from a
# build folder of an optimised build (RelWithDebInfo):
#   bench/folder_attack.sh BUILD_FOLDER [PROCESSES] [ENTRIES]
set -eu
build=${1:?usage: folder_attack.sh BUILD_FOLDER [PROCESSES] [ENTRIES]}
processes=${2:-200}
entries=${3:-2000}
helper="$build/helper/com.korvane.helper"
ctl="$build/tools/korvanectl/korvanectl"
[ "$(id -u)" -eq 0 ] || { echo "run as root: the processes run as other users" >&2; exit 1; }

work=$(mktemp -d)
runtime=$(mktemp -d /dev/shm/korvane-bench-XXXXXX)
chmod 755 "$work" "$runtime"
cleanup() {
  [ -n "${helper_pid:-}" ] && kill "$helper_pid" 2>/dev/null
  pkill -KILL -u 65534 -f "$work/" 2>/dev/null || true
  pkill -KILL -u 65533 -f "$work/" 2>/dev/null || true
  rm -rf "$work" "$runtime"
}
trap cleanup EXIT

# A few entry files, hard-linked under many names (a file system allows some
# 65,000 links to one file): every name is an entry to read.
mkdir -p "$work/attack/0/applications" "$work/entries"
i=0
while [ $i -lt 64 ]; do
  printf '[Desktop Entry]\nType=Application\nName=Noise %s\nExec=/usr/bin/true\n' $i > "$work/entries/$i"
  i=$((i + 1))
done
i=0
while [ $i -lt "$entries" ]; do ln "$work/entries/$((i % 64))" "$work/attack/0/applications/noise$i.desktop"; i=$((i + 1)); done
i=1
while [ $i -lt "$processes" ]; do cp -al "$work/attack/0" "$work/attack/$i"; i=$((i + 1)); done
cp /bin/sleep "$work/attack-sleep"
cp /bin/sleep "$work/legit-app"
mkdir -p "$work/legit/applications"
printf '[Desktop Entry]\nType=Application\nName=Legit\nExec=%s\n' "$work/legit-app" \
  > "$work/legit/applications/org.example.Legit.desktop"
mkdir -p "$work/sys"

KORVANE_HELPER_SOCKET="$work/helper.sock" KORVANE_HELPER_RUNTIME_DIR="$runtime" KORVANE_SYSFS_ROOT="$work/sys" \
  "$helper" --allow-uid=0 2>"$work/helper.log" &
helper_pid=$!
until "$ctl" --socket "$work/helper.sock" ping >/dev/null 2>&1; do sleep 0.1; done
"$ctl" --socket "$work/helper.sock" jail org.example.Legit >/dev/null

i=0
while [ $i -lt "$processes" ]; do
  setpriv --reuid=65534 --regid=65534 --clear-groups env XDG_DATA_HOME="$work/attack/$i" \
    "$work/attack-sleep" 600 &
  i=$((i + 1))
done

ticks() { awk '{ print $14 + $15 }' "/proc/$helper_pid/stat"; }
hz=$(getconf CLK_TCK)
sleep 6
before=$(ticks)
sleep 20
after=$(ticks)
rss=$(awk '/^VmRSS/ { print $2 }' "/proc/$helper_pid/status")
hwm=$(awk '/^VmHWM/ { print $2 }' "/proc/$helper_pid/status")

start=$(date +%s%N)
setpriv --reuid=65533 --regid=65533 --clear-groups env XDG_DATA_HOME="$work/legit" "$work/legit-app" 600 &
legit=$!
until grep -q "Auto-throttling jailed app: org.example.Legit (PID: $legit)" "$work/helper.log"; do
  sleep 0.05
  [ $(( ($(date +%s%N) - start) / 1000000000 )) -lt 120 ] || break
done
confined=$(( ($(date +%s%N) - start) / 1000000 ))
cpu=$(awk -v t=$((after - before)) -v hz="$hz" 'BEGIN { printf "%.1f", 100 * t / hz / 20 }')

printf '%-66s %14s\n' "What ($processes processes x $entries entries)" "This run"
printf '%-66s %12s %%\n' "Helper CPU while they run (20 s, one CPU = 100 %)" "$cpu"
printf '%-66s %10s KiB\n' "Helper RSS while they run (peak)" "$rss ($hwm)"
printf '%-66s %11s ms\n' "Another user's jailed application confined after" "$confined"
