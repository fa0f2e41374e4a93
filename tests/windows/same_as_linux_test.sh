#!/usr/bin/env bash
# orva-cli.exe prints byte for byte what the Linux build prints, with the same
# exit status, for every command on the sample database and a damaged copy,
# and its insertion of Cyrillic texts leaves the same file bytes.
# usage: same_as_linux_test.sh LINUX_ORVA_CLI RUN_UNDER_WINE ORVA_CLI_EXE SAMPLE_DATABASE
set -euo pipefail
linux=$(realpath "$1") runner=$(realpath "$2") exe=$(realpath "$3") sample=$(realpath "$4")
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir "$scratch/linux" "$scratch/windows"
failed=0

# Runs one command line in each build's own folder, on its own copy of the
# databases, and compares what they print and their exit statuses.
same() {
  local status
  for side in linux windows; do
    status=0
    if [[ $side == linux ]]; then
      (cd "$scratch/$side" && "$linux" "$@") >"$scratch/$side.out" 2>"$scratch/$side.err" || status=$?
    else
      (cd "$scratch/$side" && "$runner" "$exe" "$@") >"$scratch/$side.out" 2>"$scratch/$side.err" ||
        status=$?
    fi
    echo "$status" >>"$scratch/$side.out"
  done
  if ! cmp -s "$scratch/linux.out" "$scratch/windows.out"; then
    echo "FAIL: orva-cli $* prints differently:" >&2
    diff <(od -c "$scratch/linux.out") <(od -c "$scratch/windows.out") | head -20 >&2
    failed=1
  fi
}

for side in linux windows; do
  cp "$sample" "$scratch/$side/textdb_00.def"
  # A copy whose entry 3 points into the entry table.
  cp "$sample" "$scratch/$side/damaged.def"
  printf '\x04\x00\x00\x00' | dd of="$scratch/$side/damaged.def" bs=1 seek=28 conv=notrunc status=none
done
same list textdb_00.def
same list --json textdb_00.def
same check textdb_00.def
same check damaged.def
same check --json damaged.def
same list damaged.def
same insert textdb_00.def 'Новая миссия' 'Ещё одна: «кавычки» и №'
same insert --json textdb_00.def 'Третья'
same insert textdb_00.def 'Не в кодовой странице: 日本'
same list textdb_00.def
same --help
same insert --help
same --version
cmp "$scratch/linux/textdb_00.def" "$scratch/windows/textdb_00.def" ||
  { echo "FAIL: the insertions left different bytes" >&2; failed=1; }
((failed == 0)) && echo "PASS: the same output and the same bytes as on Linux"
exit $failed
