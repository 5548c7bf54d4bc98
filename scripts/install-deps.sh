#!/usr/bin/env bash
# Installs the Debian 12 packages Korvane needs to build, run and test. Asks
# apt only for what is missing, so a second run is quick and quiet.
set -euo pipefail

packages=(
  # build
  cmake ninja-build g++ pkg-config
  # tests, benchmarks, fuzzing
  googletest libgtest-dev libgmock-dev libbenchmark-dev clang libclang-rt-dev
  # the helper's tests run a client as another user
  util-linux
  # application identity: the systemd unit of a process
  libsystemd-dev
  # the application's settings file and string table
  nlohmann-json3-dev
  # the running-applications list sorts names by the user's language
  libicu-dev
  # the tray application: Qt widgets, D-Bus and SVG, its offscreen tests' fonts
  qt6-base-dev qt6-svg-dev qt6-qpa-plugins libgl-dev libxcb1-dev fonts-dejavu-core
  # its desktop tests and the private desktop of scripts/start.sh: an X server,
  # a window manager, an XEmbed tray and a StatusNotifierItem host, a session
  # bus, a fake notification server, and the tools that look at the screen
  xvfb openbox trayer xfce4-panel dbus python3-dbus python3-gi imagemagick x11-utils xdotool

  # installing the helper: pkexec and polkit, and for the real-pkexec test a
  # system bus of its own
  pkexec polkitd dbus-daemon dbus-bin
  # the Debian package
  dpkg-dev file
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
