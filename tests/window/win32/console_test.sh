#!/usr/bin/env bash
# orva-cli.exe in a console window, as wine makes one of a terminal: what it
# prints shows as the characters meant, not as bytes of the console's code
# page, and a text typed there in Cyrillic, ended with Ctrl+Z and Enter, is
# inserted as typed.
# usage: console_test.sh RUN_UNDER_WINE ORVA_CLI_EXE SAMPLE_DATABASE
set -euo pipefail
runner=$(realpath "$1") exe=$(realpath "$2") sample=$(realpath "$3")
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export LC_ALL=C.UTF-8
fail() { echo "FAIL: $*" >&2; exit 1; }

# Runs a command in a terminal of its own (script(1)), whose Ctrl+Z goes to
# the program instead of stopping it.
in_terminal() { script -qec "stty susp undef; $1" /dev/null; }

shown=$(in_terminal "'$runner' '$exe' list '$sample'" </dev/null)
grep -q 'Обучение: первый вылет' <<<"$shown" ||
  fail "the console did not show the mission texts: $(head -c 300 <<<"$shown" | od -c | head -5)"

# Keys typed before wine's console has taken the terminal over are thrown
# away when it does (it turns the terminal raw, dropping what is pending), so
# the typing waits for that, however long wine takes to start.
raw_terminal() {
  local waited=0
  until [[ -s $scratch/tty ]] && stty -F "$(cat "$scratch/tty")" -a 2>/dev/null | grep -q -- '-icanon'; do
    ((waited++ < 1200)) || return 1
    sleep 0.1
  done
}
cp "$sample" "$scratch/textdb_00.def"
{
  raw_terminal || { echo "FAIL: wine's console did not take the terminal over in 120 s" >&2; exit 1; }
  printf 'Ввод с консоли\r'
  sleep 1
  printf '\032\r'
  sleep 1
} | in_terminal "tty >'$scratch/tty'; exec '$runner' '$exe' insert '$scratch/textdb_00.def' --from -" >"$scratch/typed"
grep -q '5013.*Ввод с консоли' "$scratch/typed" || fail "the typed text was not inserted: $(cat "$scratch/typed")"
last=$("$runner" "$exe" list "$scratch/textdb_00.def" | tail -1)
[[ "$last" == $'5013\tshot013.bmp\tВвод с консоли' ]] || fail "the database ends with: $last"
echo "PASS: the console shows and takes Cyrillic text"
