#!/bin/sh
# ambrel-status reports a library it cannot load, or one without the
# functions, on stderr with a non-zero exit; refuses usage errors with a clear
# message and status 2; and explains every option, with examples, in --help.
set -u
host=$1
. "$(dirname "$0")/check.sh"

"$host" --help >/tmp/ambrel-help.$$ 2>&1
check "--help exits 0" [ $? -eq 0 ]
for word in --all --text --prometheus --output --watch --last-error --library i3blocks waybar node_exporter \
            textfile cron ExecStart; do
  check "--help mentions $word" grep -q -- "$word" /tmp/ambrel-help.$$
done

# Usage errors: a message that names the problem, and status 2.
while IFS='|' read -r args problem; do
  # shellcheck disable=SC2086
  "$host" $args >/tmp/ambrel-out.$$ 2>/tmp/ambrel-err.$$
  check "'$args' exits 2" [ $? -eq 2 ]
  check "'$args' says: $problem" grep -qF -- "$problem" /tmp/ambrel-err.$$
  check "'$args' prints nothing on stdout" [ ! -s /tmp/ambrel-out.$$ ]
done <<'EOF'
--bogus|unknown option '--bogus'
--text --prometheus|choose one of --all, --text and --prometheus
--all --all|choose one of --all, --text and --prometheus
--watch 0|--watch takes a whole number of seconds from 1 to 86400, not '0'
--watch 86401|--watch takes a whole number of seconds from 1 to 86400, not '86401'
--watch 5s|--watch takes a whole number of seconds from 1 to 86400, not '5s'
--watch=-3|--watch takes a whole number of seconds from 1 to 86400, not '-3'
--output|--output needs a file
--output=|--output needs a file
--output a --output b|--output is given twice
--library|--library needs a file
--text --last-error|--last-error goes with the default output only
EOF

"$host" --library /nonexistent/libnothing.so >/tmp/ambrel-out.$$ 2>/tmp/ambrel-err.$$
check "a missing library exits non-zero" [ $? -ne 0 ]
check "a missing library says so on stderr" grep -q "cannot load" /tmp/ambrel-err.$$
check "a missing library prints nothing on stdout" [ ! -s /tmp/ambrel-out.$$ ]

# The C library itself exports no ambrel_status.
libc=$(ldd "$host" | awk '/libc\.so/ { print $3 }')
"$host" --library "$libc" >/tmp/ambrel-out.$$ 2>/tmp/ambrel-err.$$
check "a library without the functions exits non-zero" [ $? -ne 0 ]
check "a library without the functions says so" grep -q "does not export ambrel_status" /tmp/ambrel-err.$$


rm -f /tmp/ambrel-help.$$ /tmp/ambrel-out.$$ /tmp/ambrel-err.$$
exit $fail
