#!/bin/sh
# ambrel-status reports a library it cannot load, or one without the
# functions, on stderr with a non-zero exit, and explains itself with --help.
set -u
host=$1
fail=0

check() {
  description=$1; shift
  if "$@"; then echo "ok: $description"; else echo "FAILED: $description"; fail=1; fi
}

"$host" --help >/tmp/ambrel-help.$$ 2>&1
check "--help exits 0" [ $? -eq 0 ]
check "--help mentions --last-error" grep -q -- --last-error /tmp/ambrel-help.$$

"$host" --library /nonexistent/libnothing.so >/tmp/ambrel-out.$$ 2>/tmp/ambrel-err.$$
check "a missing library exits non-zero" [ $? -ne 0 ]
check "a missing library says so on stderr" grep -q "cannot load" /tmp/ambrel-err.$$
check "a missing library prints nothing on stdout" [ ! -s /tmp/ambrel-out.$$ ]

# The C library itself exports no ambrel_status.
libc=$(ldd "$host" | awk '/libc\.so/ { print $3 }')
"$host" --library "$libc" >/tmp/ambrel-out.$$ 2>/tmp/ambrel-err.$$
check "a library without the functions exits non-zero" [ $? -ne 0 ]
check "a library without the functions says so" grep -q "does not export ambrel_status" /tmp/ambrel-err.$$

"$host" --bogus >/dev/null 2>&1
check "an unknown argument exits non-zero" [ $? -ne 0 ]

rm -f /tmp/ambrel-help.$$ /tmp/ambrel-out.$$ /tmp/ambrel-err.$$
exit $fail
