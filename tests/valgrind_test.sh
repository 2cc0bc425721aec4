#!/bin/sh
# valgrind finds no error and no leak in ambrel-status nor in 10,000 status
# calls, and the same loop run natively keeps its memory flat. Where a private
# mount namespace can be made, both run over the example laptop, so that every
# call builds and writes a full report.
set -eu
host=$1
loop=$2
fixture=$3
command -v valgrind >/dev/null || { echo "SKIPPED: valgrind is not installed"; exit 77; }

checks='
  valgrind -q --leak-check=full --show-leak-kinds=all --errors-for-leak-kinds=all --error-exitcode=1 "$1"
  valgrind -q --leak-check=full --show-leak-kinds=all --errors-for-leak-kinds=all --error-exitcode=1 "$2" 10000
  "$2" 10000
'
if [ "$(id -u)" = 0 ] && unshare -m sh -c 'mount -t tmpfs probe /sys/class/power_supply' 2>/dev/null; then
  out=$(unshare -m sh -eu -c '
    mount -t tmpfs ambrel-fixture /sys/class/power_supply
    for supply in "$3"/*/; do cp -r "$supply" /sys/class/power_supply/; done
  '"$checks" sh "$host" "$loop" "$fixture")
else
  echo "no private mount namespace: checking this machine's own answer"
  out=$(sh -eu -c "$checks" sh "$host" "$loop")
fi
echo "$out"
# The native run's last line: resident memory after 1,000 and after 10,000 calls.
echo "$out" | tail -n 1 | awk '{
  early = $6; late = $10
  if (late - early > 64) { print "memory grew by " late - early " KiB"; exit 1 }
  print "memory flat: " early " KiB then " late " KiB"
}'
