#!/bin/sh
# The C# wrapper, compiled with Mono's C# compiler and run under Mono against
# the real library, from several threads, with the dual-battery fixture over
# /sys/class/power_supply in a private mount namespace (77 where it cannot be
# made).
#   csharp_binding_test.sh LIBRARY_FOLDER SOURCE_FOLDER
set -eu
library_folder=$1
source=$2
command -v mcs >/dev/null && command -v mono >/dev/null ||
  { echo "Mono is not installed: run scripts/setup.sh clients"; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mcs -warnaserror -nologo -out:"$work/AmbrelThreadsTest.exe" \
  "$source/bindings/csharp/Ambrel.cs" "$source/tests/csharp/AmbrelThreadsTest.cs"
fixture="$source/tests/fixtures/dual-battery"
LD_LIBRARY_PATH="$library_folder" exec sh "$source/tests/in_fixture_namespace.sh" "$fixture" \
  mono "$work/AmbrelThreadsTest.exe" "$fixture/expected.txt" "$fixture/expected-power.txt"
