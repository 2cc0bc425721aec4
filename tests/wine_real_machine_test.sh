#!/bin/sh
# ambrel-status.exe under Wine on this machine, and with a laptop battery
# written over /sys/class/power_supply in a private mount namespace. Wine
# reports such a battery through GetSystemPowerStatus but offers no battery
# device, so the DLL answers {"present": false} in both cases, and the power
# picture lists no battery beside Wine's own percentage and AC state.
set -eu
wine_run=$1      # wine-run.sh with its prefix
prefix=$2
bin=$3           # the folder with ambrel-status.exe and print_power_status.exe
fixture=$4

expect() {
  if [ "$2" != "$3" ]; then echo "$1: expected '$2', got '$3'"; exit 1; fi
  echo "$1: $3"
}

out=$("$wine_run" "$prefix" "$bin/ambrel-status.exe" | tr -d '\r')
expect "this machine" '{"present": false}' "$out"
out=$("$wine_run" "$prefix" "$bin/ambrel-status.exe" --all | tr -d '\r')
case "$out" in
  '{"ac_online":'*',"state":null,'*',"batteries":[]}') echo "this machine, the power picture: $out" ;;
  *) echo "this machine, the power picture: unexpected '$out'"; exit 1 ;;
esac

status=0
raw=$(sh "$(dirname "$0")/in_fixture_namespace.sh" "$fixture" sh -eu -c '
  "$0" "$1" "$2/print_power_status.exe"
  "$0" "$1" "$2/ambrel-status.exe" --last-error
  "$0" "$1" "$2/ambrel-status.exe" --all
' "$wine_run" "$prefix" "$bin") || status=$?
[ "$status" = 77 ] && exit 77
[ "$status" = 0 ] || { echo "Wine failed inside the namespace"; exit 1; }
out=$(printf '%s\n' "$raw" | tr -d '\r')
expect "laptop under Wine" "$(printf '%s\n' 'power status: ok flag 1 percent 87' '{"present": false}' '' \
  '{"ac_online":false,"state":null,"percent":87,"energy_mwh":null,"full_mwh":null,"rate_mw":null,"time_to_empty_s":null,"time_to_full_s":null,"batteries":[]}')" "$out"
