#!/usr/bin/env bash
# Installs what is missing, builds Korvane, and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DKORVANE_BUILD_TESTS=OFF -DKORVANE_BUILD_BENCH=OFF >/dev/null
cmake --build build/release -j "$(nproc)"

user_uid=${SUDO_UID:-$(id -u)}
sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
socket=${KORVANE_HELPER_SOCKET:-/run/korvane/com.korvane.helper.sock}
cat <<EOT
Starting KorvaneHelper in the foreground on $socket (Ctrl-C stops it).
Only root and uid $user_uid may talk to it. From another terminal:
  build/release/tools/korvanectl/korvanectl ping
  build/release/tools/korvanectl/korvanectl throttle PID
  build/release/tools/korvanectl/korvanectl unthrottle-all
  build/release/tools/korvanectl/korvanectl --help
EOT
exec "${sudo_cmd[@]}" env KORVANE_HELPER_SOCKET="$socket" build/release/helper/com.korvane.helper --allow-uid="$user_uid"
