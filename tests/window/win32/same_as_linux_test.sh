#!/usr/bin/env bash
# orva-cli.exe prints byte for byte what the Linux build prints, with the same
# exit status, for every command on the sample database and a damaged copy,
# in a folder and under names outside the ANSI code page, with Cyrillic
# arguments and with redirected input that holds CR LF and byte 0x1A (the end
# of a file to a read in text mode); and its insertions, edits, imports and
# backups leave the same bytes, and so do its patches; its check finds the
# same misspellings.
# usage: same_as_linux_test.sh LINUX_ORVA_CLI RUN_UNDER_WINE ORVA_CLI_EXE SAMPLE_DATABASE
set -euo pipefail
linux=$(realpath "$1") runner=$(realpath "$2") exe=$(realpath "$3") sample=$(realpath "$4")
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
folder='Кампания «Север»'
failed=0

# Runs one command line in each build's own folder, on its own copies of the
# databases, with standard input from $input, and compares what they print
# and their exit statuses.
input=/dev/null
same() {
  local status
  for side in linux windows; do
    status=0
    if [[ $side == linux ]]; then
      (cd "$scratch/$side/$folder" && "$linux" "$@") <"$input" >"$scratch/$side.out" \
        2>"$scratch/$side.err" || status=$?
    else
      (cd "$scratch/$side/$folder" && "$runner" "$exe" "$@") <"$input" >"$scratch/$side.out" \
        2>"$scratch/$side.err" || status=$?
    fi
    echo "$status" >>"$scratch/$side.out"
    cat "$scratch/$side.err" >>"$scratch/$side.out"
  done
  if ! cmp -s "$scratch/linux.out" "$scratch/windows.out"; then
    echo "FAIL: orva-cli $* prints differently:" >&2
    diff <(od -c "$scratch/linux.out") <(od -c "$scratch/windows.out") | head -20 >&2 || true
    failed=1
  fi
}

for side in linux windows; do
  mkdir -p "$scratch/$side/$folder"
  cp "$sample" "$scratch/$side/$folder/база.def"
  cp "$sample" "$scratch/$side/$folder/исходная.def"
  # A copy whose entry 3 points into the entry table.
  cp "$sample" "$scratch/$side/$folder/damaged.def"
  printf '\x04\x00\x00\x00' | dd of="$scratch/$side/$folder/damaged.def" bs=1 seek=28 \
    conv=notrunc status=none
done
same list база.def
same list --json база.def
same check база.def
same check damaged.def
same check --json damaged.def
same list damaged.def
# Spelling: the dictionaries beside orva-cli.exe find what Debian's find, with
# the team's words and the rules' ё option beside the database.
for side in linux windows; do
  mkdir -p "$scratch/$side/$folder/команда"
  cp "$sample" "$scratch/$side/$folder/команда/правописание.def"
  printf '# names\r\nЛёха\r\nОрвалия\r\n' >"$scratch/$side/$folder/команда/orva-words.txt"
  printf '{"spelling": {"accept-ye-for-yo": true}}\n' \
    >"$scratch/$side/$folder/команда/orva-rules.json"
done
same set команда/правописание.def 5001 'Коррова и Леха, Орвалия: recieve %s SHOT999'
same check команда/правописание.def
same check --json команда/правописание.def
same list нет.def
same insert база.def 'Новая миссия' 'Ещё одна: «кавычки» и №'
same insert --json база.def 'Третья'
same insert база.def 'Не в кодовой странице: 日本'
printf 'Раз\x1aДва\r\nТри\n' >"$scratch/texts"
input=$scratch/texts
same insert база.def --from -
input=/dev/null
same list база.def
# Edits, the translation files both ways, and backups.
same set база.def 5003 'Ночной конвой,
исправлено'
same set --json -b база.def 5004 'Сопроводить'
same remove база.def 6000
same remove --json --backup=numbered база.def 5005
same export база.def
same export --format csv база.def
same export база.def -o перевод.po --json
same import база.def перевод.po
for side in linux windows; do
  printf 'msgctxt "5001"\nmsgid ""\nmsgstr "Training\\tflight\\r\\n"\n\n#, fuzzy\nmsgctxt "5002"\nmsgid ""\nmsgstr "fuzzy"\n' \
    >"$scratch/$side/$folder/t.po"
  printf 'msgctxt "5001"\nmsgid ""\nmsgstr "日本"\nmsgctxt "9"\n' >"$scratch/$side/$folder/bad.po"
  printf 'id,translation\r\n5002,"Patrol, ""river"""\r\n' >"$scratch/$side/$folder/t.csv"
done
same import --dry-run --source-changed=apply база.def t.po
same import --backup=simple -S .bak --source-changed=apply база.def t.po
same import база.def bad.po
same import --json база.def t.csv
same list база.def
for backup in '~' .~1~ .bak; do
  cmp "$scratch/linux/$folder/база.def$backup" "$scratch/windows/$folder/база.def$backup" ||
    { echo "FAIL: the backups база.def$backup differ" >&2; failed=1; }
done
# What all of that changed, as diff says it and as a patch that makes the
# same bytes of the original and undoes them again.
same diff исходная.def база.def
same diff --json исходная.def база.def
same patch create исходная.def база.def -o правка.orvapatch
cmp "$scratch/linux/$folder/правка.orvapatch" "$scratch/windows/$folder/правка.orvapatch" ||
  { echo "FAIL: the patches differ" >&2; failed=1; }
same patch apply исходная.def правка.orvapatch
cmp "$scratch/windows/$folder/база.def" "$scratch/windows/$folder/исходная.def" ||
  { echo "FAIL: the patch did not make the edited database of the original" >&2; failed=1; }
same patch apply --reverse --json исходная.def правка.orvapatch
cmp "$sample" "$scratch/windows/$folder/исходная.def" ||
  { echo "FAIL: the patch undone is not the original" >&2; failed=1; }
same --help
same insert --help
same import --help
same --version
cmp "$scratch/linux/$folder/база.def" "$scratch/windows/$folder/база.def" ||
  { echo "FAIL: the insertions left different bytes" >&2; failed=1; }
((failed == 0)) && echo "PASS: the same output and the same bytes as on Linux"
exit $failed
