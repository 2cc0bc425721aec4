#!/bin/sh
# Runs a Windows program under Wine: wine-run.sh PREFIX PROGRAM [ARGS...].
# The prefix is made on first use, once, even when tests start in parallel.
set -eu
prefix=$1
shift
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine=$(command -v wine64 || true)
[ -n "$wine" ] || wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine=$(command -v wine)
if [ ! -f "$prefix/system.reg" ]; then
  mkdir -p "$(dirname "$prefix")"
  flock "$prefix.lock" sh -c '[ -f "$WINEPREFIX/system.reg" ] || "$1" wineboot -i >/dev/null 2>&1' sh "$wine"
fi
exec "$wine" "$@"
