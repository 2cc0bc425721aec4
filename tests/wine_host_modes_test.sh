#!/bin/sh
# ambrel-status.exe's modes under Wine, with a laptop battery written over
# /sys/class/power_supply in a private mount namespace: Wine reports its
# percentage (87 %) and AC state but offers no battery device. The text, the
# Prometheus exposition checked by promtool, --output replacing a file and
# failing on a missing folder, a usage error, and --watch ended by Ctrl+C
# (SIGINT under Wine; Windows has no SIGTERM). Skipped (77) where the
# namespace cannot be made.
#   wine_host_modes_test.sh WINE_RUN PREFIX BIN FIXTURE PROMTOOL
set -u
if [ "${AMBREL_IN_NAMESPACE:-}" != 1 ]; then
  [ -x "$5" ] || { echo "promtool is not installed: run scripts/setup.sh clients"; exit 1; }
  AMBREL_IN_NAMESPACE=1 exec sh "$(dirname "$0")/in_fixture_namespace.sh" "$4" sh "$0" "$@"
fi
wine_run=$1 prefix=$2 bin=$3 promtool=$5
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
. "$(dirname "$0")/check.sh"
host() {
  "$wine_run" "$prefix" "$bin/ambrel-status.exe" "$@"
}

check "--text" [ "$(host --text | tr -d '\r')" = "AC: off line, 87 %" ]
check "--all" [ "$(host --all | tr -d '\r')" = \
  '{"ac_online":false,"state":null,"percent":87,"energy_mwh":null,"full_mwh":null,"rate_mw":null,"time_to_empty_s":null,"time_to_full_s":null,"batteries":[]}' ]
host --prometheus --output "$work/ambrel.prom"
check "--prometheus --output exits 0" [ $? -eq 0 ]
check "promtool accepts the file" sh -c '"$1" check metrics <"$2" >"$2.lint" 2>&1 && [ ! -s "$2.lint" ]' \
  sh "$promtool" "$work/ambrel.prom"
check "the file holds the charge" grep -qx 'ambrel_charge_ratio 0.87' "$work/ambrel.prom"
echo old >"$work/ambrel.prom"
host --prometheus --output "$work/ambrel.prom"
check "--output replaces an existing file" grep -qx 'ambrel_ac_online 0' "$work/ambrel.prom"
check "--output leaves no temporary file" [ "$(ls -A "$work")" = "ambrel.prom
ambrel.prom.lint" ]
host --prometheus --output /nonexistent/ambrel.prom 2>"$work/err"
check "a missing folder exits 1" [ $? -eq 1 ]
check "a missing folder says so" grep -q "cannot write /nonexistent/ambrel.prom" "$work/err"
host --watch 0 2>"$work/err"
check "a usage error exits 2" [ $? -eq 2 ]

"$wine_run" "$prefix" "$bin/ambrel-status.exe" --all --watch 1 >"$work/watched" 2>"$work/err" &
watcher=$!   # wine-run.sh runs Wine in its own place: this is the program's process
sleep 3
kill -INT "$watcher"
wait "$watcher"
check "--watch ends with status 0 on Ctrl+C" [ $? -eq 0 ]
check "--watch printed its one answer once" [ "$(wc -l <"$work/watched")" -eq 1 ]
exit $fail
