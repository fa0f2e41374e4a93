#!/usr/bin/env bash
# orva-cli on real descriptors: output to a full disk or a closed descriptor
# fails with one line that says whether the database was changed, and a
# reader that goes away ends it quietly through SIGPIPE.
# usage: output_test.sh ORVA_CLI SAMPLE_DATABASE
set -euo pipefail
cli=$1 sample=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
db=$scratch/textdb_00.def
cp "$sample" "$db"
failed=0
fail() { echo "FAIL: $*" >&2; failed=1; }

# expect_failure WHAT STATUS REASON: exit status 1 and REASON as the one line
# on standard error (left in $scratch/err).
expect_failure() {
  local err
  err=$(<"$scratch/err")
  [[ $2 == 1 ]] || fail "$1: exit status $2"
  [[ $err == "orva-cli: $3" ]] || fail "$1: standard error reads '$err'"
}

status=0; "$cli" list "$db" >/dev/full 2>"$scratch/err" || status=$?
expect_failure "list >/dev/full" $status "cannot write to standard output: No space left on device"
status=0; "$cli" check --json "$db" >&- 2>"$scratch/err" || status=$?
expect_failure "check >&-" $status "cannot write to standard output: Bad file descriptor"
status=0; "$cli" --help >/dev/full 2>"$scratch/err" || status=$?
expect_failure "--help >/dev/full" $status "cannot write to standard output: No space left on device"

changed="the database was changed, but the new entries could not be written to standard output"
status=0; "$cli" insert "$db" 'Первая' >/dev/full 2>"$scratch/err" || status=$?
expect_failure "insert >/dev/full" $status "$changed: No space left on device"
status=0; "$cli" insert "$db" 'Вторая' >&- 2>"$scratch/err" || status=$?
expect_failure "insert >&-" $status "$changed: Bad file descriptor"
# Both are in, and nothing meant for the closed output went into the file.
[[ $("$cli" list "$db" | tail -n 2 | cut -f 3) == $'Первая\nВторая' ]] ||
  fail "the texts inserted with a failed output are not the last missions"
"$cli" check "$db" >/dev/null || fail "the database is damaged after the inserts"

# The reader closes its end before orva-cli starts, so the first write meets
# a broken pipe.
set +o pipefail
(until [[ -e $scratch/closed ]]; do sleep 0.01; done; exec "$cli" list "$db" 2>"$scratch/err") |
  (exec <&-; touch "$scratch/closed")
status=${PIPESTATUS[0]}
set -o pipefail
[[ $status == 141 ]] || fail "list into a closed pipe: exit status $status, not SIGPIPE (141)"
[[ ! -s $scratch/err ]] || fail "list into a closed pipe said: $(<"$scratch/err")"

((failed == 0)) && echo "orva-cli fails on a full disk and a closed descriptor, and stops quietly on SIGPIPE"
