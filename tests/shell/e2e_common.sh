# What Korvane's desktop tests share. Source it after setting
#   E2E_NAME  the prefix of this test's screenshots
#   E2E_LOGS  "label:file" pairs (file names in $VD_DIR) shown on a failure
# and keep Korvane's process id in korvane_pid.

fail() {
  local pair
  echo "FAIL: $*" >&2
  if [ -n "${VD_DIR:-}" ]; then
    for pair in "${E2E_LOGS[@]}"; do
      [ -f "$VD_DIR/${pair#*:}" ] && sed "s/^/  ${pair%%:*}: /" "$VD_DIR/${pair#*:}" >&2
    done
  fi
  exit 1
}

# With KORVANE_SCREENSHOT_DIR set, keeps a picture of the whole desktop.
shot() {
  [ -n "${KORVANE_SCREENSHOT_DIR:-}" ] || return 0
  mkdir -p "$KORVANE_SCREENSHOT_DIR"
  import -window root "$KORVANE_SCREENSHOT_DIR/$E2E_NAME-$1.png"
}

# SIGTERM must end Korvane through its normal shutdown, within ten seconds.
end_korvane() {
  local status
  kill -TERM "$korvane_pid"
  for _ in $(seq 1 50); do kill -0 "$korvane_pid" 2>/dev/null || break; sleep 0.2; done
  kill -0 "$korvane_pid" 2>/dev/null && fail "Korvane did not end on SIGTERM"
  wait "$korvane_pid" && status=0 || status=$?
  korvane_pid=""
  [ "$status" = 0 ] || fail "Korvane ended with status $status on SIGTERM"
}
