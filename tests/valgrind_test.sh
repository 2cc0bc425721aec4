#!/bin/sh
# valgrind finds no error and no leak in ambrel-status (both modes) nor in
# 10,000 status calls and 10,000 power calls, and the same loop run natively keeps its memory flat. Where a private
# mount namespace can be made, all run over the example laptop, so that every
# call builds and writes a full report; elsewhere over this machine's own state.
set -eu
host=$1
loop=$2
fixture=$3
here=$(dirname "$0")
command -v valgrind >/dev/null || { echo "SKIPPED: valgrind is not installed"; exit 77; }

checks='
  valgrind -q --leak-check=full --show-leak-kinds=all --errors-for-leak-kinds=all --error-exitcode=1 "$0"
  valgrind -q --leak-check=full --show-leak-kinds=all --errors-for-leak-kinds=all --error-exitcode=1 "$0" --all
  valgrind -q --leak-check=full --show-leak-kinds=all --errors-for-leak-kinds=all --error-exitcode=1 "$1" 10000
  "$1" 10000
'
status=0
out=$(sh "$here/in_fixture_namespace.sh" "$fixture" sh -eu -c "$checks" "$host" "$loop") || status=$?
if [ "$status" = 77 ]; then
  echo "no private mount namespace: checking this machine's own answer"
  status=0
  out=$(sh -eu -c "$checks" "$host" "$loop") || status=$?
fi
echo "$out"
[ "$status" = 0 ] || exit 1
# The native run's last line: resident memory after 1,000 and after 10,000 calls.
echo "$out" | tail -n 1 | awk '{
  early = $6; late = $10
  if (late - early > 64) { print "memory grew by " late - early " KiB"; exit 1 }
  print "memory flat: " early " KiB then " late " KiB"
}'
