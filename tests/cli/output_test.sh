#!/usr/bin/env bash
# orva-cli on real descriptors: output to a full disk or a closed descriptor
# fails with one line that says whether the database was changed, input that
# cannot be read inserts nothing, and a reader that goes away ends it quietly
# through SIGPIPE.
# usage: output_test.sh ORVA_CLI SAMPLE_DATABASE
set -uo pipefail
cli=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
db=$scratch/textdb_00.def
cp "$2" "$db"
failed=0
fail() { echo "FAIL: $*" >&2; failed=1; }

# expect STATUS REASON COMMAND...: the exit status, and the one line on stderr.
expect() {
  local status=$1 reason=$2 err
  shift 2
  err=$("$@" 2>&1 >/dev/null)
  local got=$?
  [[ $got == "$status" && $err == "$reason" ]] || fail "$*: exit status $got, stderr '$err'"
}
full="No space left on device" closed="Bad file descriptor"
changed="orva-cli: the database was changed, but the new entries could not be written to standard output"
expect 1 "orva-cli: cannot write to standard output: $full" sh -c '"$0" list "$1" >/dev/full' "$cli" "$db"
expect 1 "orva-cli: cannot write to standard output: $closed" sh -c '"$0" check "$1" >&-' "$cli" "$db"
expect 1 "$changed: $full" sh -c '"$0" insert "$1" Первая >/dev/full' "$cli" "$db"
expect 1 "$changed: $closed" sh -c '"$0" insert "$1" Вторая >&-' "$cli" "$db"
# Both are in, and nothing meant for the closed output went into the file.
[[ $("$cli" list "$db" | tail -n 2 | cut -f 3) == $'Первая\nВторая' ]] || fail "the texts are not in"
# Still well-formed (the sample's long mission is one of the text checks'
# findings, which do not concern the layout).
[[ $("$cli" check "$db" 2>/dev/null | head -n 1) == "$db: well-formed" ]] || fail "the database is no longer well-formed"

# A read error on standard input is no end of it: nothing goes in. Lines that
# come late on a non-blocking descriptor are waited for.
before=$(cksum <"$db")
no_text="no text was inserted"
expect 1 "orva-cli: $db: cannot read the texts from standard input: Is a directory; $no_text" \
  sh -c '"$0" insert "$1" --from - <"$2"' "$cli" "$db" "$scratch"
expect 1 "orva-cli: $db: cannot read the texts from standard input: $closed; $no_text" \
  sh -c '"$0" insert "$1" --from - <&-' "$cli" "$db"
[[ $(cksum <"$db") == "$before" ]] || fail "a failed read of standard input changed the database"
{ echo Третья; sleep 0.3; echo Четвёртая; } |
  perl -e 'use Fcntl; fcntl(STDIN, F_SETFL, O_NONBLOCK) or die; exec @ARGV' \
    "$cli" insert "$db" --from - >/dev/null
[[ $("$cli" list "$db" | tail -n 2 | cut -f 3) == $'Третья\nЧетвёртая' ]] ||
  fail "the lines of a non-blocking input are not all in"

# The reader closes its end before orva-cli starts, so its first write meets
# a broken pipe: SIGPIPE (141 in the shell), and nothing said.
(until [[ -e $scratch/closed ]]; do sleep 0.01; done; exec "$cli" list "$db" 2>"$scratch/err") |
  (exec <&-; touch "$scratch/closed")
status=${PIPESTATUS[0]}
[[ $status == 141 && ! -s $scratch/err ]] || fail "into a closed pipe: exit status $status, $(<"$scratch/err")"
exit $failed
