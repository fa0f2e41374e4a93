#!/usr/bin/env bash
# orva where it cannot show its window ends with status 1 and says why: no
# display named or none reachable is one plain line; a platform plugin that
# cannot be found is not the display's fault, and Qt's own words say so.
# usage: start_up_test.sh ORVA
set -uo pipefail
orva=$1
failed=0

# expect SAYS NOT_SAYS VARIABLE=VALUE...: orva started with only these display
# settings prints SAYS, not NOT_SAYS, and ends with status 1.
expect() {
  local says=$1 not_says=$2 out status
  shift 2
  out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$@" "$orva" 2>&1)
  status=$?
  if [[ $status != 1 || $out != *"$says"* || $out == *"$not_says"* ]]; then
    echo "FAIL with $*: status $status, said: $out" >&2
    failed=1
  fi
}

expect "no display to show the window on" "qt.qpa" DISPLAY=
expect "no display to show the window on" "qt.qpa" DISPLAY=:9999
expect 'platform plugin "orva-no-such-plugin"' "no display" QT_QPA_PLATFORM=orva-no-such-plugin
exit $failed
