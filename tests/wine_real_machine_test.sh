#!/bin/sh
# ambrel-status.exe under Wine on this machine, and with a laptop battery
# written over /sys/class/power_supply in a private mount namespace. Wine
# reports such a battery through GetSystemPowerStatus but offers no battery
# device, so the DLL answers {"present": false} in both cases.
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

if [ "$(id -u)" != 0 ] || ! unshare -m sh -c 'mount -t tmpfs probe /sys/class/power_supply' 2>/dev/null; then
  echo "SKIPPED: cannot mount over /sys/class/power_supply in a private mount namespace here"
  exit 77
fi
out=$(unshare -m sh -eu -c '
  mount -t tmpfs ambrel-fixture /sys/class/power_supply
  for supply in "$1"/*/; do cp -r "$supply" /sys/class/power_supply/; done
  "$2" "$3" "$4/print_power_status.exe"
  "$2" "$3" "$4/ambrel-status.exe" --last-error
' sh "$fixture" "$wine_run" "$prefix" "$bin" | tr -d '\r')
expect "laptop under Wine" "$(printf 'power status: ok flag 1 percent 87\n{"present": false}\n')" "$out"
