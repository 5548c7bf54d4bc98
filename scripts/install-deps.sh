#!/usr/bin/env bash
# Installs the Debian 12 packages Korvane needs to build, run and test. Asks
# apt only for what is missing, so a second run is quick and quiet.
set -euo pipefail

packages=(
  # build
  cmake ninja-build g++ pkg-config ccache
  # tests, benchmarks, fuzzing
  googletest libgtest-dev libgmock-dev libbenchmark-dev clang libclang-rt-dev
  # the helper's tests run a client as another user, and run the helper as its
  # service would: systemd-analyze names the system calls the unit allows and
  # libseccomp filters them
  util-linux systemd libseccomp-dev
  # application identity: the systemd unit of a process
  libsystemd-dev
  # the application's settings file and string table
  nlohmann-json3-dev
  # the running-applications list sorts names by the user's language
  libicu-dev
  # the Qt Widgets views and their SVG symbols; the pinned font of the
  # reference renders (tests draw offscreen, libqt6gui6 brings that platform)
  qt6-base-dev qt6-svg-dev fonts-dejavu-core
  # the first-run windows on a real X server with a window manager
  xvfb openbox xdotool
  # reading what the setup window copied to the clipboard
  xclip
  # the X11 workspace, and the X server, window manager and clients its tests run
  libxcb1-dev libxcb-ewmh-dev libxcb-icccm4-dev libxcb-res0-dev
  xterm x11-utils
  # the tray application: Qt D-Bus and platform plugins
  qt6-qpa-plugins libgl-dev
  # its desktop tests and the private desktop of scripts/start.sh: an XEmbed
  # tray and a StatusNotifierItem host, a session bus, a fake notification
  # server, and the tools that look at the screen
  trayer xfce4-panel dbus python3-dbus python3-gi imagemagick
  # the desktop tests find and press Korvane's controls over AT-SPI, as
  # assistive tools do: its bus and registry, and the GI bindings of its enums
  at-spi2-core gir1.2-atspi-2.0
  # the Wayland desktops the workspace tests run headless: sway (with
  # swaybar's tray and grim), KWin (with Plasma's panel and its tray, on Qt 5's
  # Wayland plugin), GNOME Shell (with the AppIndicator tray), Xwayland, and
  # their clients (weston-terminal, Qt on Wayland, gdbus)
  sway xwayland grim weston kwin-wayland plasma-desktop qtwayland5 gnome-shell gnome-shell-extension-appindicator
  qt6-wayland libglib2.0-bin
  # a session manager of the tests' own (a logout asked, then cancelled)
  libsm-dev libice-dev
  # installing the helper: pkexec and polkit, and for the real-pkexec test a
  # system bus of its own
  pkexec polkitd dbus-daemon dbus-bin
  # the Debian package
  dpkg-dev file
  # the packages' checks: lintian, the RPM, the manual pages (scdoc writes
  # them, groff and man check them), the metadata validators, the completion
  lintian rpm scdoc groff-base man-db appstream desktop-file-utils libxml2-utils bash-completion
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
