#!/bin/sh
# in_fixture_namespace.sh FIXTURE COMMAND [ARGS...]: runs COMMAND in a private
# mount namespace whose /sys/class/power_supply is a tmpfs holding FIXTURE's
# supply folders. Exits 77 (a skip, for ctest) where such a namespace cannot be
# made: it needs root and unshare.
set -eu
fixture=$1
shift
if [ "$(id -u)" != 0 ] || ! command -v unshare >/dev/null ||
   ! unshare -m --propagation private sh -c 'mount -t tmpfs probe /sys/class/power_supply' 2>/dev/null; then
  echo "SKIPPED: cannot mount over /sys/class/power_supply in a private mount namespace here" >&2
  exit 77
fi
exec unshare -m --propagation private sh -eu -c '
  fixture=$1
  shift
  mount -t tmpfs ambrel-fixture /sys/class/power_supply
  for supply in "$fixture"/*/; do cp -r "$supply" /sys/class/power_supply/; done
  exec "$@"
' sh "$fixture" "$@"
