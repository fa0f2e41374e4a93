#!/usr/bin/env bash
# The installer under wine, as a user without administrator rights runs it:
# it puts both programs, and spelling's dictionaries with their licences, in
# the user's own Programs folder, ORVA and ORVA Editor (orva.exe --edit) in
# the Start menu, and ORVA under "Open with" for
# .def files while the program that opens them stays the one chosen before;
# uninstalled, it leaves no file and no registry key of its own behind.
# usage: installer_test.sh RUN_UNDER_WINE ORVA_MSI
set -euo pipefail
runner=$(realpath "$1") msi=$(realpath "$2")
export LC_ALL=C.UTF-8
failed=0
fail() {
  echo "FAIL: $*" >&2
  failed=1
}
wine_do() { "$runner" "$@" 2>/dev/null | tr -d '\r'; }
# The value of a registry key's value ("" for the default), or nothing.
reg_value() {
  local args=(/ve)
  [[ -n $2 ]] && args=(/v "$2")
  wine_do reg query "$1" "${args[@]}" | sed -n 's/^ *[^ ].*REG_[A-Z_]* *//p' || true
}
msi_path=$(wine_do winepath -w "$msi")
users=$(wine_do winepath -u 'C:\users')
files() { (cd "$users" && find . -type f ! -path '*/Temp/*' | sort); }

# .def files already belong to another program.
"$runner" reg add 'HKCU\Software\Classes\.def' /ve /d Other.DefFile /f >/dev/null 2>&1
trap '"$runner" reg delete "HKCU\\Software\\Classes\\.def" /f >/dev/null 2>&1 || true' EXIT
before=$(files)

"$runner" msiexec /i "$msi_path" /qn || fail "msiexec /i failed"
installed=$(comm -13 <(echo "$before") <(files))
menu="Roaming/Microsoft/Windows/Start Menu/Programs"
dictionaries=Local/Programs/ORVA/dictionaries
for file in Local/Programs/ORVA/orva.exe Local/Programs/ORVA/orva-cli.exe "$menu/ORVA.lnk" \
  "$menu/ORVA Editor.lnk" $dictionaries/ru_RU.aff $dictionaries/ru_RU.dic \
  $dictionaries/en_US.aff $dictionaries/en_US.dic $dictionaries/ru_RU-copyright.txt \
  $dictionaries/en_US-copyright.txt; do
  grep -q "/AppData/$file\$" <<<"$installed" || fail "not installed: $file (installed: $installed)"
done
# The editor's shortcut starts orva.exe --edit; a shortcut keeps its
# arguments as UTF-16 text.
editor_link=$(grep '/ORVA Editor.lnk$' <<<"$installed" | head -1)
if [[ -n $editor_link ]]; then
  strings -el "$users/${editor_link#./}" | grep -qx -- --edit ||
    fail "the ORVA Editor shortcut does not start orva.exe --edit"
fi
program=$(grep '/orva-cli.exe$' <<<"$installed" | head -1)
[[ -n $program && "$(wine_do "$users/${program#./}" --version)" == "orva-cli "* ]] ||
  fail "the installed orva-cli.exe does not run"
command=$(reg_value 'HKCU\Software\Classes\Applications\orva.exe\shell\open\command' '')
[[ "$command" == '"C:\users\'*'\AppData\Local\Programs\ORVA\orva.exe" "%1"' ]] ||
  fail "Open with starts: $command"
wine_do reg query 'HKCU\Software\Classes\Applications\orva.exe\SupportedTypes' | grep -q '^ *\.def ' ||
  fail "orva.exe does not say it takes .def files"
wine_do reg query 'HKCU\Software\Classes\.def\OpenWithProgids' | grep -q 'ORVA.TextDatabase' ||
  fail ".def files do not offer ORVA"
[[ "$(reg_value 'HKCU\Software\Classes\.def' '')" == Other.DefFile ]] ||
  fail "the installer took .def files over"

"$runner" msiexec /x "$msi_path" /qn || fail "msiexec /x failed"
left=$(comm -13 <(echo "$before") <(files))
[[ -z $left ]] || fail "left behind: $left"
for key in 'HKCU\Software\ORVA' 'HKCU\Software\Classes\Applications\orva.exe' \
  'HKCU\Software\Classes\ORVA.TextDatabase' 'HKCU\Software\Classes\.def\OpenWithProgids'; do
  ! "$runner" reg query "$key" >/dev/null 2>&1 || fail "left behind: $key"
done
[[ "$(reg_value 'HKCU\Software\Classes\.def' '')" == Other.DefFile ]] ||
  fail "uninstalling changed what opens .def files"
((failed == 0)) && echo "PASS: installed per user, offered for .def files, uninstalled without a trace"
exit $failed
