#!/usr/bin/env bash
# orva-cli.exe reading the texts of --from - from a redirected standard input:
# a read that fails (a folder, no standard input at all) refuses the batch and
# changes nothing, and a pipe whose lines come late is read to its end.
# usage: redirected_input_test.sh RUN_UNDER_WINE ORVA_CLI_EXE SAMPLE_DATABASE
set -euo pipefail
runner=$(realpath "$1") exe=$(realpath "$2") sample=$(realpath "$3")
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export LC_ALL=C.UTF-8
fail() { echo "FAIL: $*" >&2; exit 1; }
db=$scratch/textdb_00.def
cp "$sample" "$db"

for input in folder closed; do
  status=0
  if [[ $input == folder ]]; then
    "$runner" "$exe" insert "$db" --from - <"$scratch" >"$scratch/out" 2>"$scratch/err" || status=$?
  else
    "$runner" "$exe" insert "$db" --from - <&- >"$scratch/out" 2>"$scratch/err" || status=$?
  fi
  ((status == 1)) || fail "a $input as standard input gave exit status $status"
  grep -q 'cannot read the texts from standard input' "$scratch/err" ||
    fail "a $input as standard input gave no reason: $(cat "$scratch/err")"
  cmp -s "$db" "$sample" || fail "a $input as standard input changed the database"
done

{ echo 'Первая'; sleep 1; echo 'Вторая'; } | "$runner" "$exe" insert "$db" --from - >"$scratch/out"
[[ $(cut -f3 "$scratch/out" | tr '\n' ' ') == 'Первая Вторая ' ]] ||
  fail "a pipe with a late line inserted: $(cat "$scratch/out")"
echo "PASS: redirected standard input: failures refuse, late lines are read"
