#!/bin/bash
# Installs (or, with --remove, removes) the Korvane helper for one user. Run as
# root: through pkexec from Korvane, or through sudo from a shell.
#
#   install_helper.sh HELPER_PATH [UID]    UID defaults to the user pkexec or sudo ran for
#   install_helper.sh --remove
#
# HELPER_PATH is the helper an installation of Korvane ships
# (<prefix>/lib/korvane/com.korvane.helper, or the build tree's). It is copied
# to the installed tool, /usr/local/libexec/korvane/com.korvane.helper, which
# the service runs; removal deletes the tool and never the shipped copy, so
# installing again always has something to copy.
#
# Progress goes to standard output as lines beginning "STEP:", "OK:", "ERROR:"
# and "SUCCESS:". SUCCESS is claimed only once the installed helper answers a
# ping. The exit status is 0 only on success and never 126 or 127, which
# pkexec uses for a dismissed dialog and a refusal.
#
# KORVANE_INSTALL_ROOT (tests only) puts every installed file under that folder;
# the helper is then started directly, with its socket under it as well.

set -u
umask 022

root="${KORVANE_INSTALL_ROOT:-}"
here=$(dirname "$(readlink -f "$0")")
unit_name=com.korvane.helper.service
tool="$root/usr/local/libexec/korvane/com.korvane.helper"
unit="$root/etc/systemd/system/$unit_name"
run_dir="$root/run/korvane"
socket="$run_dir/com.korvane.helper.sock"
pid_file="$run_dir/com.korvane.helper.pid"
log_file="$run_dir/com.korvane.helper.log"
template="$here/com.korvane.helper.service.in"
# Beside the script once installed (<prefix>/share/korvane), or in the build tree.
shipped_helper="$here/../../lib/korvane/com.korvane.helper"
# A drop-in of our own, only for the stop that removal or a reinstall makes.
keep_records="/run/systemd/system/$unit_name.d/korvane-keep-records.conf"

step() { echo "STEP:$*"; }
ok() { echo "OK:$*"; }
fail() {
  echo "ERROR:$*"
  exit 1
}

use_systemd=false
[ -z "$root" ] && [ -d /run/systemd/system ] && use_systemd=true
# A private root gets a private socket; the real one is the helper's default.
[ -n "$root" ] && export KORVANE_HELPER_SOCKET="$socket"

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

# Stops the helper and keeps its records of what it confined: a reinstalled
# helper takes them over, a removal releases them. The unit's
# RuntimeDirectoryPreserve=restart would have a stop delete them with the
# folder, so this one stop preserves it.
stop_old_helper() {
  step "Stopping a previously installed helper"
  if $use_systemd; then
    mkdir -p "$(dirname "$keep_records")" &&
      printf '[Service]\nRuntimeDirectoryPreserve=yes\n' > "$keep_records" &&
      systemctl daemon-reload || fail "Could not keep the helper's records over its stop"
    systemctl disable --now "$unit_name" >/dev/null 2>&1
    # Only our own: the folder may hold an administrator's runtime drop-ins.
    rm -f "$keep_records"
    rmdir "$(dirname "$keep_records")" 2>/dev/null
    systemctl daemon-reload || true
  fi
  stop_started_helper
  ok "No old helper is running"
}

# Every process the stopped helper left confined gets its cores back, from its
# records: the installed tool does it, or the shipped copy when the tool is
# gone or older than --release-all (status 64, an unknown argument).
release_everything() {
  step "Releasing every process the helper confined"
  if ! compgen -G "$run_dir/*.state" >/dev/null; then
    ok "Nothing on record to release"
    return 0
  fi
  local output status=127
  if [ -x "$tool" ]; then
    output=$("$tool" --release-all 2>&1)
    status=$?
  fi
  if { [ $status -eq 127 ] || [ $status -eq 64 ]; } && [ -x "$shipped_helper" ]; then
    output=$("$shipped_helper" --release-all 2>&1)
    status=$?
  fi
  [ $status -eq 127 ] && fail "No helper left to release what $run_dir records"
  [ $status -eq 0 ] || fail "Could not release every confined process: $(tail -n 1 <<<"$output")"
  ok "Every confined process released"
}

remove_helper() {
  stop_old_helper
  release_everything
  step "Removing the helper's files, log and records"
  rm -f "$unit" "$tool" && rm -rf "$run_dir" || fail "Could not remove $unit, $tool and $run_dir"
  rmdir "$(dirname "$tool")" 2>/dev/null
  if $use_systemd; then
    systemctl daemon-reload || true
  fi
  ok "Removed"
  echo "SUCCESS:Helper removed"
  exit 0
}

korvanectl() {
  local candidate
  for candidate in "$here/../../bin/korvanectl" "$here/../tools/korvanectl/korvanectl"; do
    [ -x "$candidate" ] && { "$candidate" "$@"; return; }
  done
  command -v korvanectl >/dev/null || return 3
  command korvanectl "$@"
}

# Whether the helper started without systemd still runs (or is about to).
started_helper_runs() {
  local pid
  pid=$(cat "$pid_file" 2>/dev/null)
  [ -z "$pid" ] || [ -n "$(first_word "$pid")" ]
}

# Waits up to 10 s for the installed helper to answer a ping.
wait_for_answer() {
  local i=0 status
  while [ $i -lt 50 ]; do
    korvanectl --socket "$socket" --timeout 2 ping >/dev/null 2>&1
    status=$?
    [ $status -eq 0 ] && return 0
    [ $status -eq 3 ] && fail "korvanectl not found: cannot check that the helper answers"
    $use_systemd || started_helper_runs ||
      fail "The helper stopped at once: $(tail -n 1 "$log_file" 2>/dev/null)"
    sleep 0.2
    i=$((i + 1))
  done
  if $use_systemd; then
    fail "The helper does not answer on $socket; see journalctl -u $unit_name"
  fi
  fail "The helper does not answer on $socket; see $log_file"
}

[ "$(id -u)" -eq 0 ] || fail "This script must run as root"
[ $# -ge 1 ] || fail "usage: install_helper.sh HELPER_PATH [UID] | --remove"
[ "$1" = "--remove" ] && remove_helper

source_path=$1
uid=${2:-${PKEXEC_UID:-${SUDO_UID:-}}}
case "$uid" in '' | *[!0-9]*) fail "No user to serve: give a numeric UID" ;; esac
# The helper serves a user, so the number must name one.
user=$(getent passwd "$uid") || fail "No user has UID $uid"
uid=$(cut -d: -f3 <<<"$user")
[ -f "$source_path" ] || fail "Helper binary not found: $source_path"
[ -r "$template" ] || fail "Service template not found: $template"

stop_old_helper

step "Creating $(dirname "$tool")"
mkdir -p "$(dirname "$tool")" "$(dirname "$unit")" || fail "Could not create the folders"
ok "Folders ready"

step "Copying the helper"
# Through a new file moved into place: the old tool may still be mapped.
if ! [ "$source_path" -ef "$tool" ]; then
  cp -f "$source_path" "$tool.new" && mv -f "$tool.new" "$tool" || fail "Could not copy $source_path to $tool"
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
  # Whatever the helper says before it opens its log (a bad option, a
  # binary that cannot run) lands in the same root-only file, so a helper
  # that stops at once can say why.
  (umask 077 && exec setsid -f /bin/sh -c 'echo $$ > "$0" && exec "$1" --allow-uid="$2" --log="$3"' \
    "$pid_file" "$tool" "$uid" "$log_file" < /dev/null > /dev/null 2>> "$log_file") ||
    fail "Could not start $tool"
  ok "Helper started; without systemd it will not start again at boot"
fi

step "Waiting for the helper to answer"
wait_for_answer
ok "The helper answers on $socket"

echo "SUCCESS:Done"
exit 0
