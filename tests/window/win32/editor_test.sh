#!/usr/bin/env bash
# orva.exe's editor as a Windows user meets it, under wine on a virtual X
# display: worked on the keyboard (xdotool) and looked at from outside by
# orva-editor-probe.exe. `orva.exe --edit FILE` shows every entry; Ctrl+F and
# a few letters filter the rows live; F2 edits the selected text, refusing a
# character Windows-1251 cannot store as it is typed; Enter applies, Delete
# removes, Ctrl+Z undoes and Ctrl+S saves, which leaves the very bytes the
# Linux orva-cli's `set` leaves. Remove Entry is greyed on the end marker, so
# Delete there does nothing.
# Closing with unsaved changes asks, and Cancel and Discard keep the file as
# it is. The main window's mission list opens the editor (Shift+F10, "Edit all
# entries…") and lists the missions again once the editor has saved. At 144
# dots per inch the window grows with the display. Beside a reference, the
# reference's text shows above the entry's, Ctrl+B copies it, to several
# rows selected with Shift+Down too, the checks'
# findings show as a text is typed, and View ▸ With Problems filters. A word
# misspelt in the details pane or in the F2 box is underlined and mended with
# F7 or from the box's context menu. Saves a picture of the editor, and one
# of the F2 box with a word marked beside it (editor-windows-spelling.png).
# usage: editor_test.sh RUN_UNDER_WINE ORVA_EXE EDITOR_PROBE_EXE MAIN_PROBE_EXE LINUX_ORVA_CLI
#                       SAMPLE_DATABASE SCREENSHOT.png
set -euo pipefail
runner=$(realpath "$1") exe=$(realpath "$2") probe_exe=$(realpath "$3") main_probe_exe=$(realpath "$4")
linux=$(realpath "$5") sample=$(realpath "$6") screenshot=$7
# shellcheck source=SCRIPTDIR/wine_window.sh
source "$(dirname "$0")/wine_window.sh"

probe() { "$runner" "$probe_exe" "$@"; }
main_probe() { "$runner" "$main_probe_exe" "$@"; }
expect_like() {  # expect_like WHAT ACTUAL PATTERN
  # shellcheck disable=SC2053
  [[ "$2" == $3 ]] || fail "$1: got '$2', expected something like '$3'"
}
# Keys reach wine through the X server in their own time: what follows from
# them is looked for again, for up to five seconds.
expect_soon() {  # expect_soon WHAT EXPECTED COMMAND...
  local got
  for _ in $(seq 25); do
    got=$("${@:3}") || true
    [[ "$got" == "$2" ]] && return
    sleep 0.2
  done
  fail "$1: got '$got', expected '$2'"
}
# Keys pressed in the window whose title matches.
keys() {  # keys TITLE_PATTERN KEY...
  local window_id
  window_id=$(xdotool search --name "$1" | head -1)
  timeout 10 xdotool windowfocus --sync "$window_id" key --delay 80 "${@:2}"
  sleep 0.3
}
editor_keys() { keys ' – ORVA Editor$|^ORVA Editor$' "$@"; }
# Waits for orva.exe to end, as it does once its last window is closed.
wait_exit() {
  local waited=0
  while kill -0 "$orva_pid" 2>/dev/null && ((waited < 150)); do
    sleep 0.1
    waited=$((waited + 1))
  done
  if kill -0 "$orva_pid" 2>/dev/null; then
    fail "orva.exe did not end when its last window was closed"
    kill "$orva_pid" 2>/dev/null || true
  fi
  wait "$orva_pid" || true
  orva_pid=
}
stop_orva() {
  if [[ -n $orva_pid ]]; then
    timeout 10 "$runner" "$main_probe_exe" close >/dev/null 2>&1 || true
    timeout 10 "$runner" "$probe_exe" close >/dev/null 2>&1 || true
    timeout 10 "$runner" "$probe_exe" press Discard >/dev/null 2>&1 || true
    kill "$orva_pid" 2>/dev/null || true
    wait "$orva_pid" || true
    orva_pid=
  fi
}
cleanup() {
  stop_orva
  leave_wine
}
trap cleanup EXIT

start() {  # start ARGS...: orva.exe, then its editor's window
  "$runner" "$exe" "$@" &
  orva_pid=$!
}
start_editor() {
  start --edit "$@"
  probe title >/dev/null || {
    fail "the editor did not show"
    exit 1
  }
}
# TEXT typed into the dialog's box; xdotool can miss a letter that is not on
# the keyboard's layout on a loaded machine, so a text typed wrong is typed
# again, and after three tries put into the box directly.
type_into_dialog() {
  for try in 1 2 3 4; do
    if ((try == 4)); then
      echo "note: the text could not be typed reliably; it is put into the box directly"
      probe settext 300 "$1"
      return
    fi
    probe settext 300 ''
    xdotool type --delay 60 "$1"
    [[ "$(probe item 300)" == "$1" ]] && return
  done
}

sample_in_folder "$sample"
# A screenshot for mission 5007, drawn here: a sky, hills and a bridge.
picture() {
  convert -size 320x240 gradient:'#7fa7d9-#f0dca0' -fill '#3f5f2f' \
    -draw 'polygon 0,240 0,170 90,140 180,165 260,130 320,150 320,240' \
    -fill '#8a6d3b' -draw 'rectangle 120,175 230,190' "BMP3:$1"
}
picture "$folder/shot007.bmp"

# Every entry, the first selected.
start_editor "$db"
expect "the title" "$(probe title)" "textdb_00.def – ORVA Editor"
expect "the columns" "$(probe columns)" $'Slot\tID\tKind\tImage\tBytes\tProblems\tReference\tText'
expect "the rows" "$(probe rows)" "17 0"
expect "the status" "$(probe status)" "Opened Z:${folder//\//\\}\\textdb_00.def · 17 entries"
expect "the end marker's row" "$(probe row 14)" $'15\t6000\tend marker\t\t14\t\t\tКонец кампании'
expect "the names screen readers find" "$(probe names | head -2)" $'filter Filter:\ntable Entries'
expect "the table's width at 96 dpi" "$(probe width 1)" $'dpi 96\n60'
filter_height=$(probe height filter | tail -1)

# Ctrl+F and a filter: the rows that hold it, the first selected, its screenshot shown.
editor_keys ctrl+f
expect_soon "Ctrl+F" filter probe focus
xdotool type --delay 80 dawn
expect_soon "the filtered rows" "1 0" probe rows
expect "the filtered status" "$(probe status)" "1 of 17 entries"
expect "the row kept" "$(probe row selected)" $'8\t5007\tmission\tshot007.bmp\t14\t\t\tBridge at dawn'
expect_like "its screenshot" "$(probe picture)" $'shot007.bmp\nshown *x*'
expect "the picture's name" "$(probe names | tail -1)" "picture shot007.bmp"

# F2: the text to edit, its byte count as typed; a character Windows-1251
# cannot store is named there and Enter does not apply it.
editor_keys F2
expect "F2" "$(probe dialog)" "[Edit the text of 5007 (slot 8)] Text: | 14 bytes | OK | Cancel"
expect "the box's focus" "$(probe focus)" "dialog 300"
probe settext 300 'Мост 日'
expect_like "a character outside Windows-1251" "$(probe item 302)" '*"日" (U+65E5)*Windows-1251*'
editor_keys Return
sleep 1
expect "Enter on a text that cannot be stored" "$(probe item 300)" 'Мост 日'
expect "the title after the refusal" "$(probe title)" "textdb_00.def – ORVA Editor"
text='Мост на рассвете «Заря» №7'
type_into_dialog "$text"
expect "the count as typed" "$(probe item 301)" "${#text} bytes (was 14)"
editor_keys Return
expect_soon "after Enter" "*textdb_00.def – ORVA Editor" probe title
expect "the row set" "$(probe row selected)" $'8\t5007\tmission\tshot007.bmp\t'"${#text}"$'\t\t\t'"$text"
expect "the focus after Enter" "$(probe focus)" table

# Delete takes the row away, Ctrl+Z brings it back, Ctrl+S saves: the bytes
# of orva-cli's set.
editor_keys Delete
expect_soon "after Delete" "5007: entry removed, not saved yet · 0 of 16 entries" probe status
expect "the rows after Delete" "$(probe rows)" "0 -1"
editor_keys ctrl+z
expect_soon "after Ctrl+Z" "Undid Remove 5007, not saved yet · 1 of 17 entries" probe status
expect "the rows after Ctrl+Z" "$(probe rows)" "1 0"
expect "the row undone" "$(probe row selected)" $'8\t5007\tmission\tshot007.bmp\t'"${#text}"$'\t\t\t'"$text"
editor_keys ctrl+s
expect_soon "after Ctrl+S" "textdb_00.def – ORVA Editor" probe title
"$linux" set "$scratch/linux.def" 5007 "$text" >/dev/null
cmp -s "$db" "$scratch/linux.def" || fail "the editor and orva-cli set left different bytes"

# Remove Entry is greyed on the end marker: Delete there does nothing, not
# even the logic's refusal, which a command asked for would show.
editor_keys ctrl+f
xdotool type --delay 80 6000
expect_soon "the end marker's row" "1 0" probe rows
editor_keys Down Delete
expect "no box after Delete" "$(probe message 1500)" "none"
expect "the rows after Delete" "$(probe rows) $(probe title)" "1 0 textdb_00.def – ORVA Editor"

# Closing with a change not saved asks; Cancel keeps the window and the
# change, Discard closes it and the file stays as saved.
editor_keys Insert
probe settext 300 'Ночной десант'
editor_keys Return
expect_soon "after Insert" "*textdb_00.def – ORVA Editor" probe title
probe close
expect "closing with a change" "$(probe dialog)" \
  "[ORVA Editor] Save the changes to textdb_00.def? | Your changes are lost if you do not save them. | Save | Discard | Cancel"
probe press Cancel
expect "after Cancel" "$(probe title)" "*textdb_00.def – ORVA Editor"
probe close
probe press Discard
wait_exit
cmp -s "$db" "$scratch/linux.def" || fail "closing without saving changed the database"

# The main window's mission list: Shift+F10, "Edit all entries…" (E) opens
# the editor on its database; after the editor saves, the list is read again.
start "$db"
main_probe focus >/dev/null
keys '^ORVA 1\.0$' shift+F10
keys '^ORVA 1\.0$' e
expect_soon "the editor from the main window" "textdb_00.def – ORVA Editor" probe title
editor_keys Insert
probe settext 300 'Рейд на переправу'
editor_keys Return
expect_soon "the new mission" "*textdb_00.def – ORVA Editor" probe title
editor_keys ctrl+s
expect_soon "the save" "textdb_00.def – ORVA Editor" probe title
expect "the main window after the save" "$(main_probe list)" "13 12 Рейд на переправу"
"$linux" insert "$scratch/linux.def" 'Рейд на переправу' >/dev/null
cmp -s "$db" "$scratch/linux.def" || fail "the editor and orva-cli insert left different bytes"
main_probe close
expect "the editor outlives the main window" "$(probe title)" "textdb_00.def – ORVA Editor"
probe close
wait_exit

# Beside a reference, the sample with a text of its own for each entry: its
# text shows above the entry's, Ctrl+B copies it, a text typed in the pane
# shows what the checks find before it is applied, and View ▸ With Problems
# keeps the rows the checks find fault with, View ▸ Only in the Reference
# shows the one mission only the reference has as a row that is read only;
# saved, the bytes are orva-cli's.
ref="$scratch/textdb_01.def"
cp "$sample" "$ref"
while IFS=$'\t' read -r _ id _; do
  "$linux" set "$ref" "$id" "Text of $id" >/dev/null
done < <("$linux" entries "$ref")
"$linux" insert "$ref" 'Only in the reference' >/dev/null
cp "$sample" "$db"
cp "$sample" "$scratch/linux.def"
start_editor "$db" --reference "$ref"
editor_keys ctrl+f
xdotool type --delay 80 5002
expect_soon "5002 alone" "1 0" probe rows
expect "the reference above the text" "$(probe details | sed -n 2,3p)" \
  $'Reference (textdb_01.def)\nText of 5002'
editor_keys ctrl+b
expect_soon "Ctrl+B" "5002: reference copied to the text, not saved yet · 1 of 17 entries" probe status
expect "the text copied" "$(probe details | sed -n 4p)" "Text of 5002"
# Every row; 5007 to 5008 selected with Shift+Down, and Ctrl+B copies to
# all three (this reference has 42 too) in one step; the details pane shows
# the current row, the last one reached.
editor_keys ctrl+f BackSpace BackSpace BackSpace BackSpace Return
expect_soon "every row" "17" eval 'probe rows | cut -d" " -f1'
editor_keys ctrl+Home Down Down Down Down Down Down Down shift+Down shift+Down
expect_soon "three rows selected" "7 8 9" probe selected
expect_soon "the current row's details" "&Details: 5008 · mission · slot 10" eval 'probe details | sed -n 1p'
editor_keys ctrl+b
expect_soon "Ctrl+B on three rows" "Reference copied to 3 texts, not saved yet · 17 entries" probe status
expect "one row selected after the copy" "$(probe selected)" "7"
long='Escort the convoy over the mountain pass before the morning'
editor_keys ctrl+f BackSpace BackSpace BackSpace BackSpace
xdotool type --delay 80 5001
expect_soon "5001 alone" "1 0" probe rows
editor_keys Tab Tab
expect "the details pane's box" "$(probe focus)" "other 209"
editor_keys ctrl+End shift+ctrl+Home
xdotool type --delay 60 "$long"
expect_soon "the finding as typed" "error · too-long: the text has ${#long} characters; a mission's text holds at most 45, as many as the window's input box takes" \
  eval 'probe details | sed -n 7p'
editor_keys Return
expect_soon "the long text applied" "5001: text changed, 22 → ${#long} bytes, not saved yet · 1 of 17 entries" probe status
# Every row again, then those with problems: each has its count, 5001 among them.
editor_keys ctrl+f BackSpace BackSpace BackSpace BackSpace
expect_soon "every row" "17" eval 'probe rows | cut -d" " -f1'
editor_keys alt+v p
for _ in $(seq 25); do
  rows=$(probe rows | cut -d" " -f1)
  ((rows < 17)) && break
  sleep 0.2
done
((rows > 0 && rows < 17)) || fail "View ▸ With Problems kept $rows of 17 rows"
problems=""
for ((row = 0; row < rows; row++)); do
  cells=$(probe row "$row")
  [[ -n $(cut -f6 <<<"$cells") ]] || fail "row $row has no problem: $cells"
  problems+=" $(cut -f2 <<<"$cells")"
done
[[ $problems == *" 5001"* ]] || fail "5001, too long, is not among the rows with problems:$problems"
window_id=$(xdotool search --name ' – ORVA Editor$' | head -1)
eval "$(xdotool getwindowgeometry --shell "$window_id")"
# shellcheck disable=SC2153 # set by eval
import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "${screenshot%.png}-reference.png" ||
  fail "no picture of the editor beside a reference"
editor_keys alt+v r
expect_soon "the entry only in the reference" "1 0" probe rows
expect "its row: no slot, no bytes, no text" "$(probe row 0 | cut -f1,3,5,7,8)" \
  $'\tmission, only in the reference\t\tOnly in the reference\t'
# Delete and F2 do nothing there: no entry goes, no dialog opens.
editor_keys Delete F2
sleep 0.5
expect "Delete and F2 on it" "$(probe status)" "1 entry only in the reference"
editor_keys alt+v a
expect_soon "every row again" "17" eval 'probe rows | cut -d" " -f1'
editor_keys ctrl+s
expect_soon "the save beside a reference" "textdb_00.def – ORVA Editor" probe title
"$linux" set "$scratch/linux.def" 5002 'Text of 5002' >/dev/null
"$linux" set "$scratch/linux.def" 5007 'Text of 5007' >/dev/null
"$linux" set "$scratch/linux.def" 42 'Text of 42' >/dev/null
"$linux" set "$scratch/linux.def" 5008 'Text of 5008' >/dev/null
"$linux" set "$scratch/linux.def" 5001 "$long" >/dev/null
cmp -s "$db" "$scratch/linux.def" || fail "beside a reference, the editor and orva-cli left different bytes"
probe close
wait_exit

# Ctrl+S, and the bytes of orva-cli's `set` of the same text beside them.
save_as_orva_cli() {  # save_as_orva_cli WHEN ID TEXT
  editor_keys ctrl+s
  expect_soon "the save $1" "textdb_00.def – ORVA Editor" probe title
  "$linux" set "$scratch/linux.def" "$2" "$3" >/dev/null
  cmp -s "$db" "$scratch/linux.def" || fail "$1, the editor and orva-cli left different bytes"
}

# Spelling, with the dictionaries beside orva.exe: a word misspelt in the
# details pane is underlined as it is typed, F7 offers the dictionary's
# words and Return takes the first, which the underline leaves; applied and
# saved, the bytes are orva-cli's.
cp "$sample" "$db"
cp "$sample" "$scratch/linux.def"
start_editor "$db"
editor_keys ctrl+f
xdotool type --delay 80 5004
expect_soon "5004 alone" "1 0" probe rows
editor_keys Tab Tab
expect "the details pane's box" "$(probe focus)" "other 209"
editor_keys ctrl+End shift+ctrl+Home
typed='Escort the suply convoy'
xdotool type --delay 60 "$typed"
expect_soon "the text typed" "$typed" eval 'probe details | sed -n 4p'
expect_soon "the misspelt word underlined" "11-16" probe underlined
editor_keys ctrl+End Left Left Left Left Left Left Left F7
editor_keys Down Return
mended=$(probe details | sed -n 4p)
[[ $mended == 'Escort the '*' convoy' && $mended != "$typed" ]] ||
  fail "F7 and Return did not mend the word: '$mended'"
expect_soon "no underline once mended" "none" probe underlined
editor_keys Return
expect_soon "the mended text applied" "5004: text changed, 23 → ${#mended} bytes, not saved yet · 1 of 17 entries" probe status
save_as_orva_cli "after spelling" 5004 "$mended"

# The same menu as the details pane's context menu: a right click on the
# misspelt word puts the caret there and offers the dictionary's words.
editor_keys ctrl+End shift+ctrl+Home
xdotool type --delay 60 "$typed"
expect_soon "the text typed again" "$typed" eval 'probe details | sed -n 4p'
expect_soon "the word underlined again" "11-16" probe underlined
probe contextmenu details 13
editor_keys Down Return
expect_soon "a right click and Return mend the word" "$mended" eval 'probe details | sed -n 4p'
expect_soon "no underline once mended from the menu" "none" probe underlined

# The F2 box marks as the details pane does; its context menu from the
# keyboard (Shift+F10) off a misspelt word offers the box's editing commands
# (Select All here), and F7 the dictionary's words; what it applies is saved
# as orva-cli saves it.
editor_keys F2
expect_soon "the F2 box" "dialog 300" probe focus
dialog_keys() { keys '^Edit the text of 5004' "$@"; }
dialog_keys Tab
expect_soon "Tab from the F2 box" "dialog 1" probe focus
dialog_keys shift+Tab
expect_soon "Shift+Tab back to the F2 box" "dialog 300" probe focus
dialog_keys End shift+F10
dialog_keys a
xdotool type --delay 60 Z
expect_soon "Select All from the box's own menu" "Z" probe item 300
typed='Escort the convoy passt the bridge'
type_into_dialog "$typed"
expect_soon "the misspelt word marked in the F2 box" "18-23" probe underlined dialog
# The picture of it, beside the editor's.
window_id=$(xdotool search --name '^Edit the text of 5004' | head -1)
eval "$(xdotool getwindowgeometry --shell "$window_id")"
import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage \
  "$(dirname "$screenshot")/editor-windows-spelling.png" || fail "no picture of the F2 box"
dialog_keys End Left Left Left Left Left Left Left Left Left Left Left Left F7
dialog_keys Down Return
corrected=$(probe item 300)
[[ $corrected == 'Escort the convoy '*' the bridge' && $corrected != "$typed" ]] ||
  fail "F7 and Return did not mend the word in the F2 box: '$corrected'"
expect_soon "no mark in the F2 box once mended" "none" probe underlined dialog
dialog_keys Return
expect_soon "the F2 text applied" "5004: text changed, ${#mended} → ${#corrected} bytes, not saved yet · 1 of 17 entries" probe status
save_as_orva_cli "after the F2 box's spelling" 5004 "$corrected"
probe close
wait_exit

# The picture: the sample opened from a folder of wine's drive C:, mission
# 5007 selected with its screenshot beside it.
drive_c=$("$runner" winepath -u 'C:\' 2>/dev/null)
mkdir -p "$drive_c/ORVA"
cp "$sample" "$drive_c/ORVA/textdb_00.def"
picture "$drive_c/ORVA/shot007.bmp"
start_editor 'C:\ORVA\textdb_00.def'
editor_keys Down Down Down Down Down Down Down
expect_soon "the row for the picture" "17 7" probe rows
window_id=$(xdotool search --name ' – ORVA Editor$' | head -1)
eval "$(xdotool getwindowgeometry --shell "$window_id")"
# shellcheck disable=SC2153 # set by eval
import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$screenshot" ||
  fail "no picture of the editor"
probe close
wait_exit
rm -r "$drive_c/ORVA"

# At 144 dots per inch the boxes and the columns grow with the display.
set_dpi 144
start_editor "$db"
expect "a column's width at 144 dpi" "$(probe width 1)" $'dpi 144\n90'
height=$(probe height filter | tail -1)
((2 * height >= 3 * filter_height - 3 && 2 * height <= 3 * filter_height + 3)) ||
  fail "the filter box is $height pixels high at 144 dpi, $filter_height at 96"
probe close
wait_exit

((failed == 0)) && echo "PASS: the editor filters, edits, undoes and saves as orva-cli does"
exit $failed
