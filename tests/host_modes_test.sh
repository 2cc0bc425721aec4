#!/usr/bin/env bash
# ambrel-status's modes over fixture trees mounted over /sys/class/power_supply
# in a private mount namespace: the text, the Prometheus exposition checked by
# promtool, --output's atomic replace and its errors, and --watch (changes
# only, SIGTERM and SIGINT, a closed standard output). Skipped (77) where the
# namespace cannot be made.
#   host_modes_test.sh AMBREL_STATUS FIXTURES PROMTOOL
set -u
host=$1
fixtures=$2
promtool=$3
here=$(cd "$(dirname "$0")" && pwd)

if [ "${AMBREL_IN_NAMESPACE:-}" != 1 ]; then
  [ -x "$promtool" ] || { echo "promtool is not installed: run scripts/setup.sh clients"; exit 1; }
  AMBREL_IN_NAMESPACE=1 exec sh "$here/in_fixture_namespace.sh" "$fixtures/dual-battery" \
    bash "$0" "$host" "$fixtures" "$promtool"
fi

supplies=/sys/class/power_supply
work=$(mktemp -d)
trap 'umount "$work/readonly" 2>/dev/null; rm -rf "$work"' EXIT
. "$here/check.sh"
use_fixture() {
  rm -rf "${supplies:?}"/*
  cp -r "$fixtures/$1"/*/ "$supplies/"
}

# --- For people ----------------------------------------------------------------------
"$host" --text >"$work/text" 2>"$work/err"
printf '%s\n' 'BAT0: discharging, 57 %, 1:22 left (9.2 W), health 92 %' \
  'BAT1: 88 %, health 92 %, charge limit 80 %' 'AC: off line, discharging, 80 %, 7:40 left (9.2 W)' >"$work/expected"
check "--text over the dual-battery laptop" cmp -s "$work/expected" "$work/text"

# --- For Prometheus: promtool accepts every fixture, with no lint warning -------------
for fixture in laptop charge-laptop dual-battery; do
  use_fixture "$fixture"
  "$host" --prometheus >"$work/$fixture.prom"
  check "promtool accepts --prometheus over $fixture" \
    sh -c '"$1" check metrics <"$2" >"$3.lint" 2>&1 && [ ! -s "$3.lint" ]' sh "$promtool" "$work/$fixture.prom" "$work/$fixture"
done
# Names and texts that need escaping in label values.
rm -rf "${supplies:?}"/*
mkdir "$supplies/BAT\\\"odd"
sed 's/MODEL_NAME=01AV489/MODEL_NAME=say "hi" \\ bye/' "$fixtures/dual-battery/BAT0/uevent" >"$supplies/BAT\\\"odd/uevent"
"$host" --prometheus >"$work/odd.prom"
check "promtool accepts escaped label values" \
  sh -c '"$1" check metrics <"$2" >"$2.lint" 2>&1 && [ ! -s "$2.lint" ]' sh "$promtool" "$work/odd.prom"
check "the label values are escaped" \
  grep -qF 'ambrel_battery_info{battery="BAT\\\"odd",manufacturer="SMP",model="say \"hi\" \\ bye"' "$work/odd.prom"
use_fixture dual-battery

# --- --output --------------------------------------------------------------------------
mkdir "$work/collector"
target="$work/collector/ambrel.prom"
echo old >"$target"
chmod 640 "$target"
before=$(stat -c %i "$target")
"$host" --prometheus --output "$target"
check "--output exits 0" [ $? -eq 0 ]
check "--output writes what standard output would" cmp -s "$work/dual-battery.prom" "$target"
check "--output replaces the file by a rename" [ "$(stat -c %i "$target")" != "$before" ]
check "--output keeps the permissions" [ "$(stat -c %a "$target")" = 640 ]
check "--output leaves no temporary file" [ "$(ls -A "$work/collector")" = ambrel.prom ]
(umask 022; "$host" --output "$work/collector/new.json")
check "a new file gets the usual permissions" [ "$(stat -c %a "$work/collector/new.json")" = 644 ]

"$host" --prometheus --output "$work/missing/ambrel.prom" 2>"$work/err"
check "a missing folder exits non-zero" [ $? -ne 0 ]
check "a missing folder says so" grep -q "cannot write $work/missing/ambrel.prom" "$work/err"
mkdir "$work/readonly"
mount -t tmpfs ambrel-readonly "$work/readonly"
echo old >"$work/readonly/ambrel.prom"
mount -o remount,ro "$work/readonly"
"$host" --prometheus --output "$work/readonly/ambrel.prom" 2>"$work/err"
check "a folder that cannot be written exits non-zero" [ $? -ne 0 ]
check "a folder that cannot be written says why" grep -q "Read-only file system" "$work/err"
check "a folder that cannot be written leaves the file as it was" [ "$(cat "$work/readonly/ambrel.prom")" = old ]
check "a folder that cannot be written gets no temporary file" [ "$(ls -A "$work/readonly")" = ambrel.prom ]

# --- --watch ---------------------------------------------------------------------------
# The answer changes once between two intervals: two answers, no more.
"$host" --all --watch 1 >"$work/watched" 2>"$work/err" &
watcher=$!
sleep 1.5
sed -i 's/CAPACITY=57/CAPACITY=56/' "$supplies/BAT0/uevent"
sleep 2.2
kill -TERM "$watcher"
wait "$watcher"
check "--watch ends with status 0 on SIGTERM" [ $? -eq 0 ]
check "--watch printed two answers" [ "$(wc -l <"$work/watched")" -eq 2 ]
check "--watch printed the change" sh -c 'head -n 1 "$1" | grep -q "\"percent\":57," && tail -n 1 "$1" | grep -q "\"percent\":56,"' sh "$work/watched"
check "--watch said nothing on stderr" [ ! -s "$work/err" ]
use_fixture dual-battery

# With --output, the file is rewritten when the answer changes and only then.
"$host" --prometheus --watch 1 --output "$target" &
watcher=$!
sleep 0.5
first=$(stat -c %i "$target")
sleep 2
check "--watch --output does not rewrite an unchanged answer" [ "$(stat -c %i "$target")" = "$first" ]
sed -i 's/CAPACITY=57/CAPACITY=56/' "$supplies/BAT0/uevent"
sleep 1.5
check "--watch --output rewrites a changed answer" [ "$(stat -c %i "$target")" != "$first" ]
check "--watch --output wrote the change" grep -q 'ambrel_battery_charge_ratio{battery="BAT0"} 0.56' "$target"
kill -INT "$watcher"
wait "$watcher"
check "--watch ends with status 0 on SIGINT" [ $? -eq 0 ]
use_fixture dual-battery

# A status bar that goes away: the watcher ends quietly, at once.
start=$(date +%s)
"$host" --text --watch 5 2>"$work/err" | head -n 1 >/dev/null
status=${PIPESTATUS[0]}
check "--watch ends with status 0 when standard output closes" [ "$status" -eq 0 ]
check "--watch ends without waiting for the next answer" [ $(($(date +%s) - start)) -lt 4 ]
check "--watch ends quietly" [ ! -s "$work/err" ]

exit $fail
