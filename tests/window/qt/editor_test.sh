#!/usr/bin/env bash
# The editor as a person works it, on a virtual X display, from the
# keyboard alone (xdotool): the filter typed in, F2 on the entry found, a
# Cyrillic text typed and applied with Enter, Delete, undo and both redo
# keys, Insert and a new mission, Ctrl+S. The file saved must hold the very
# bytes orva-cli leaves after the same changes, and the title says whether
# there is anything to save. Then a translator's way, beside a reference:
# its text copied with Ctrl+B, a mission typed too long, View ▸ With
# Problems and the last row it keeps removed, saved and compared again, and
# orva-cli check finds the mission too long; then three rows selected with
# Shift+Down and the reference copied to those it pairs with. Last, a misspelt word mended
# from the keyboard with a spelling suggestion (F7).
# usage: editor_test.sh ORVA ORVA_CLI SAMPLE_DATABASE   (under xvfb-run)
set -uo pipefail
orva=$(realpath "$1") cli=$(realpath "$2") sample=$(realpath "$3")
scratch=$(mktemp -d)
export LC_ALL=C.UTF-8
unset QT_QPA_PLATFORM  # the virtual display, not Qt's offscreen one
# In the sanitized build: what libdbus leaks on a real display is not ours.
export LSAN_OPTIONS="${LSAN_OPTIONS:+$LSAN_OPTIONS:}suppressions=$(dirname "$(realpath "$0")")/lsan-x11-desktop.supp"
failed=0
orva_pid=

fail() {
  echo "FAIL: $*" >&2
  failed=1
}
cleanup() {
  [[ -n $orva_pid ]] && kill "$orva_pid" 2>/dev/null
  rm -rf "$scratch"
}
trap cleanup EXIT

db="$scratch/textdb_00.def"
cp "$sample" "$db"
cp "$sample" "$scratch/cli.def"

# The window whose title matches, waited for up to 10 seconds.
window() {
  timeout 10 xdotool search --sync --name "$1" 2>/dev/null | head -1
}
# Keys sent to the window in focus (the editor, or a dialog of its own),
# each taken before the next is sent.
focus="" window_id=""
keys() {
  for key in "$@"; do
    xdotool windowfocus --sync "$focus" key --clearmodifiers "$key"
    sleep 0.3
  done
}
# A letter that is not on the keyboard's layout xdotool types by putting it
# on a spare key for the moment and taking it off again; a window that reads
# the key after that (on a loaded machine) reads nothing or another letter.
# So the text's letters are put on the keys that carry nothing (as many at a
# time as there are such keys) before it is typed, and stay there.
mapfile -t spare_keys < <(xmodmap -pke | awk '$4 == "" { print $2 }')
type_text() {
  local text=$1 run="" char i
  local -A on_key=()
  for ((i = 0; i < ${#text}; i++)); do
    char=${text:i:1}
    if (($(printf '%d' "'$char") >= 128)) && [[ -z ${on_key[$char]-} ]]; then
      if ((${#on_key[@]} == ${#spare_keys[@]})); then
        type_run "$run"
        run="" on_key=()
      fi
      xmodmap -e "keycode ${spare_keys[${#on_key[@]}]} = $(printf 'U%04X' "'$char")"
      on_key[$char]=1
    fi
    run+=$char
  done
  type_run "$run"
}
type_run() {
  [[ -n $1 ]] || return 0
  xdotool windowfocus --sync "$focus" type --delay 80 "$1"
  sleep 0.5
}

# Starts the editor with the arguments after --edit and gives its window the
# keys; fails the test and ends it when no window shows.
start_editor() {
  "$orva" --edit "$@" &
  orva_pid=$!
  window_id=$(window '^textdb_00\.def – ORVA Editor$')
  if [[ -z $window_id ]]; then
    fail "the editor's window did not show for $*"
    exit 1
  fi
  focus=$window_id
  sleep 1
}
# With nothing left to save, Ctrl+W closes the window, which ends the program.
close_editor() {
  keys ctrl+w
  for _ in $(seq 50); do
    kill -0 "$orva_pid" 2>/dev/null || break
    sleep 0.1
  done
  if kill -0 "$orva_pid" 2>/dev/null; then
    fail "Ctrl+W did not close the editor $1"
  else
    wait "$orva_pid" || fail "orva ended with status $?"
    orva_pid=
  fi
}

start_editor "$db"

# Ctrl+F, "патруль", Enter: the one entry found is selected; F2 edits its
# text, which the new one replaces whole, and Enter applies it.
text='Сопроводить «поезд» №2'
keys ctrl+f
type_text 'патруль'
keys Return F2 ctrl+a
type_text "$text"
keys Return
[[ -n $(window '^\*textdb_00\.def – ORVA Editor$') ]] || fail "no '*' in the title after a change"

# Every entry again: the first removed, undone, redone with Ctrl+Shift+Z,
# undone, redone with Ctrl+Y and undone again, so that it stays.
keys ctrl+f BackSpace Return
keys ctrl+Home Delete ctrl+z ctrl+shift+z ctrl+z ctrl+y ctrl+z
# The ninth entry (id 42, no mission) goes.
keys Down Down Down Down Down Down Down Down Delete
# Insert opens the new mission's box; Enter adds it.
keys Insert
focus=$(window '^Add a mission$')
if [[ -z $focus ]]; then
  fail "Insert did not open the new mission's box"
  exit 1
fi
type_text 'Ночной рейд'
keys Return
focus=$window_id
keys ctrl+s
[[ -n $(window '^textdb_00\.def – ORVA Editor$') ]] || fail "the title still says there is something to save"

"$cli" set "$scratch/cli.def" 5002 "$text" >/dev/null
"$cli" remove "$scratch/cli.def" 42 >/dev/null
"$cli" insert "$scratch/cli.def" 'Ночной рейд' >/dev/null
if ! cmp -s "$db" "$scratch/cli.def"; then
  fail "the editor and orva-cli left different bytes"
  diff <("$cli" entries "$db") <("$cli" entries "$scratch/cli.def") >&2
fi

close_editor ""

# The reference: the sample with a text of its own for each entry, but 42,
# which only this file has then.
ref="$scratch/textdb_01.def"
cp "$sample" "$ref"
while IFS=$'\t' read -r _ id _; do
  "$cli" set "$ref" "$id" "Text of $id" >/dev/null
done < <("$cli" entries "$ref")
"$cli" remove "$ref" 42 >/dev/null
cp "$sample" "$db"
cp "$sample" "$scratch/cli.def"
# The team's word list beside the database: the game's name is a word.
printf 'ORVA\n' >"$scratch/orva-words.txt"
start_editor "$db" --reference "$ref"
# 5002's reference copied (Ctrl+B); 5001 made longer than a mission may be.
long='Сопроводить колонну через горный перевал к утру'
keys ctrl+f
type_text 'патруль'
keys Return ctrl+b
keys ctrl+f
type_text 'обучение'
keys Return F2 ctrl+a
type_text "$long"
keys Return
# Every row, then those with problems; the last of them (5006, 85
# characters long) goes.
keys ctrl+f BackSpace Return alt+v p
keys ctrl+End Delete ctrl+s
[[ -n $(window '^textdb_00\.def – ORVA Editor$') ]] || fail "the translation was not saved"
"$cli" set "$scratch/cli.def" 5002 'Text of 5002' >/dev/null
"$cli" set "$scratch/cli.def" 5001 "$long" >/dev/null
"$cli" remove "$scratch/cli.def" 5006 >/dev/null
if ! cmp -s "$db" "$scratch/cli.def"; then
  fail "beside a reference, the editor and orva-cli left different bytes"
  diff <("$cli" entries "$db") <("$cli" entries "$scratch/cli.def") >&2
fi
checked=$("$cli" check --reference "$ref" "$db")
[[ $? == 1 && $checked == *'(id 5001): error: too-long'* ]] ||
  fail "orva-cli check does not find 5001 too long: $checked"
close_editor "beside a reference"

# Three rows selected with Shift+Down, 5007 to 5008, and Ctrl+B: the
# reference's texts go to 5007 and 5008 in one step, 42 between them having
# no partner; Ctrl+Z and Ctrl+Y take the step back and bring it again.
cp "$sample" "$db"
cp "$sample" "$scratch/cli.def"
start_editor "$db" --reference "$ref"
keys ctrl+Home Down Down Down Down Down Down Down shift+Down shift+Down ctrl+b ctrl+z ctrl+y ctrl+s
[[ -n $(window '^textdb_00\.def – ORVA Editor$') ]] || fail "the texts copied to the rows selected were not saved"
"$cli" set "$scratch/cli.def" 5007 'Text of 5007' >/dev/null
"$cli" set "$scratch/cli.def" 5008 'Text of 5008' >/dev/null
if ! cmp -s "$db" "$scratch/cli.def"; then
  fail "copied to the rows selected, the editor and orva-cli left different bytes"
  diff <("$cli" entries "$db") <("$cli" entries "$scratch/cli.def") >&2
fi
close_editor "after copying to the rows selected"

# Spelling: a word misspelt in F2's box, F7 for its suggestions, Enter for
# the first (the word meant), Enter to apply: saved as orva-cli sets it.
cp "$sample" "$db"
cp "$sample" "$scratch/cli.def"
start_editor "$db"
keys ctrl+f
type_text 'патруль'
keys Return F2 ctrl+a
type_text 'Ночной Патрулль'
keys F7 Return Return ctrl+s
[[ -n $(window '^textdb_00\.def – ORVA Editor$') ]] || fail "the mended text was not saved"
"$cli" set "$scratch/cli.def" 5002 'Ночной Патруль' >/dev/null
if ! cmp -s "$db" "$scratch/cli.def"; then
  fail "after a spelling suggestion, the editor and orva-cli left different bytes"
  diff <("$cli" entries "$db") <("$cli" entries "$scratch/cli.def") >&2
fi
close_editor "after a spelling suggestion"

((failed == 0)) && echo "PASS: the editor, worked from the keyboard, saves what orva-cli makes"
exit $failed
