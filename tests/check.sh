# Sourced by the shell tests: check DESCRIPTION COMMAND... runs the command,
# prints "ok: " or "FAILED: " and the description, and remembers a failure in
# $fail, which the test exits with.
fail=0
check() {
  description=$1; shift
  if "$@"; then echo "ok: $description"; else echo "FAILED: $description"; fail=1; fi
}
