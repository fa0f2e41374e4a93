# What the tests of orva.exe's windows share, sourced once `runner` (the
# script that runs a program under wine) is set: a scratch folder, the
# sample copied into a folder of a Cyrillic name, failures counted rather
# than ending the test, and the display's dots per inch.
# shellcheck shell=bash
export LC_ALL=C.UTF-8
failed=0
orva_pid=

fail() {
  echo "FAIL: $*" >&2
  failed=1
}
expect() {  # expect WHAT ACTUAL EXPECTED
  [[ "$2" == "$3" ]] || fail "$1: got '$2', expected '$3'"
}
# Wine draws every window of a prefix through the display its desktop process
# was started with: one started by a program without a display (the other
# suites) would have none. So each window test runs alone and starts afresh.
timeout 120 "$runner" --wait || {
  fail "wine programs of an earlier run are still running (wineserver -k ends them)"
  exit 1
}

scratch=$(mktemp -d)

# The display's dots per inch, as Windows programs read it at their start.
set_dpi() {
  "$runner" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null
}
# The end of each test's cleanup, once orva.exe is closed.
leave_wine() {
  set_dpi 96
  timeout 60 "$runner" --wait || true  # wine's desktop process leaves this display first
  rm -rf "$scratch"
}

# The sample, in a folder whose name Windows must pass as UTF-16 ($db), and
# a copy for the Linux orva-cli to do the same to.
sample_in_folder() {  # sample_in_folder SAMPLE
  folder="$scratch/Кампания «Север»"
  mkdir -p "$folder"
  db="$folder/textdb_00.def"
  cp "$1" "$db"
  cp "$1" "$scratch/linux.def"
}
