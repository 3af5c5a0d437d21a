#!/usr/bin/env bash
# One stage of a quiet build: says what it does on one line, sends the command's own output to the
# log, and on a failure says where the log is and shows its last lines.
#   tools/logged-stage.sh LOG WHAT COMMAND [ARGUMENTS...]
set -uo pipefail
log=$1 what=$2
shift 2
printf '%s... ' "$what"
if "$@" >>"$log" 2>&1; then
  echo done
  exit 0
fi
echo failed
echo "The full build log is $log; its last lines:" >&2
tail -n 30 "$log" | sed 's/^/    /' >&2
exit 1
