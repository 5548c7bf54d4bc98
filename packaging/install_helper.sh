#!/bin/bash
# Installs (or, with --remove, removes) the Korvane helper for one user. Run as
# root, normally through pkexec from Korvane:
#
#   install_helper.sh HELPER_PATH [UID]    UID defaults to the user pkexec ran for
#   install_helper.sh --remove
#
# Progress goes to standard output as lines beginning "STEP:", "OK:", "ERROR:"
# and "SUCCESS:". The exit status is 0 only on success and never 126 or 127,
# which pkexec uses for a dismissed dialog and a refusal.
#
# KORVANE_INSTALL_ROOT (tests only) puts every installed file under that folder;
# the helper is then started directly, with its socket under it as well.

set -u
umask 022

root="${KORVANE_INSTALL_ROOT:-}"
unit_name=com.korvane.helper.service
tool="$root/usr/local/libexec/korvane/com.korvane.helper"
unit="$root/etc/systemd/system/$unit_name"
run_dir="$root/run/korvane"
pid_file="$run_dir/com.korvane.helper.pid"
log_file="$run_dir/com.korvane.helper.log"
template="$(dirname "$(readlink -f "$0")")/com.korvane.helper.service.in"

step() { echo "STEP:$*"; }
ok() { echo "OK:$*"; }
fail() {
  echo "ERROR:$*"
  exit 1
}

use_systemd=false
[ -z "$root" ] && [ -d /run/systemd/system ] && use_systemd=true

# argv[0] of a process, or nothing (a zombie has an empty command line).
first_word() { tr '\0' '\n' < "/proc/$1/cmdline" 2>/dev/null | head -n 1; }

# The pid file may be stale and its number reused: only a process still
# running our tool is stopped.
stop_started_helper() {
  local pid i=0
  pid=$(cat "$pid_file" 2>/dev/null) || return 0
  case "$pid" in '' | *[!0-9]*) rm -f "$pid_file"; return 0 ;; esac
  if [ "$(first_word "$pid")" = "$tool" ]; then
    kill "$pid" 2>/dev/null
    while [ "$(first_word "$pid")" = "$tool" ] && [ $i -lt 50 ]; do
      sleep 0.1
      i=$((i + 1))
    done
    [ "$(first_word "$pid")" = "$tool" ] && kill -9 "$pid" 2>/dev/null
  fi
  rm -f "$pid_file"
  return 0
}

stop_old_helper() {
  step "Stopping a previously installed helper"
  if $use_systemd; then
    systemctl disable --now "$unit_name" >/dev/null 2>&1
  fi
  stop_started_helper
  ok "No old helper is running"
}

remove_helper() {
  stop_old_helper
  step "Removing the helper's files"
  rm -f "$unit" "$tool" || fail "Could not remove $unit and $tool"
  if $use_systemd; then
    systemctl daemon-reload || true
  fi
  ok "Removed"
  echo "SUCCESS:Helper removed"
  exit 0
}

[ "$(id -u)" -eq 0 ] || fail "This script must run as root"
[ $# -ge 1 ] || fail "usage: install_helper.sh HELPER_PATH [UID] | --remove"
[ "$1" = "--remove" ] && remove_helper

source_path=$1
uid=${2:-${PKEXEC_UID:-}}
case "$uid" in '' | *[!0-9]*) fail "No user to serve: give a numeric UID" ;; esac
[ -f "$source_path" ] || fail "Helper binary not found: $source_path"
[ -r "$template" ] || fail "Service template not found: $template"

stop_old_helper

step "Creating $(dirname "$tool")"
mkdir -p "$(dirname "$tool")" "$(dirname "$unit")" || fail "Could not create the folders"
ok "Folders ready"

step "Copying the helper"
# Installed in place (cmake --install with the default prefix), the source is
# already the tool.
if [ "$(readlink -f "$source_path")" != "$(readlink -f "$tool" 2>/dev/null)" ]; then
  cp -f "$source_path" "$tool" || fail "Could not copy $source_path to $tool"
fi
chmod 544 "$tool" && chown root:root "$tool" || fail "Could not set the helper's owner and mode"
ok "Helper installed as $tool"

step "Writing $unit"
template_text=$(cat "$template"; echo x) || fail "Could not read $template"
template_text=${template_text%x}
unit_text=${template_text//@HELPER_PATH@/"$tool"}
unit_text=${unit_text//@ALLOWED_UID@/"$uid"}
printf '%s' "$unit_text" > "$unit" || fail "Could not write $unit"
chmod 644 "$unit" && chown root:root "$unit" || fail "Could not set the unit's owner and mode"
ok "Service unit written"

if $use_systemd; then
  step "Starting $unit_name"
  systemctl daemon-reload || fail "systemctl daemon-reload failed"
  systemctl enable --now "$unit_name" || fail "Could not enable and start $unit_name"
  ok "Service enabled and started"
else
  step "Starting the helper without systemd"
  mkdir -p "$run_dir" && chmod 0755 "$run_dir" || fail "Could not create $run_dir"
  if [ -n "$root" ]; then
    export KORVANE_HELPER_SOCKET="$run_dir/com.korvane.helper.sock"
  fi
  setsid -f /bin/sh -c 'echo $$ > "$0" && exec "$1" --allow-uid="$2" --log="$3"' "$pid_file" "$tool" "$uid" \
    "$log_file" < /dev/null > /dev/null 2>&1 || fail "Could not start $tool"
  ok "Helper started; without systemd it will not start again at boot"
fi

echo "SUCCESS:Done"
exit 0
