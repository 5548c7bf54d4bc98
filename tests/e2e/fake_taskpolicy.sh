#!/bin/sh
# Stands in for the taskpolicy tool: records "-b -p PID" lines in
# $FAKE_TASKPOLICY_LOG and fails, as the real tool would, for a pid that does
# not exist or is named in $FAKE_TASKPOLICY_FAIL. Each run takes
# $FAKE_TASKPOLICY_DELAY seconds when that is set.
echo "$*" >> "$FAKE_TASKPOLICY_LOG"
[ -n "${FAKE_TASKPOLICY_DELAY:-}" ] && sleep "$FAKE_TASKPOLICY_DELAY"
pid=$3
case " $FAKE_TASKPOLICY_FAIL " in
  *" $pid "*) echo "  refused by the test for $pid  "; exit 4 ;;
esac
if ! kill -0 "$pid" 2>/dev/null; then
  echo "no such process: $pid"
  exit 3
fi
exit 0
