#!/usr/bin/env bash
# Builds the Debian package of a build, checks its control fields, unpacks it
# into a scratch root and checks the files there.
# usage: deb_test.sh BUILD_DIR SOURCE_DIR WITH_WINDOW(0|1) VERSION
set -euo pipefail
build=$1 source=$2 with_window=$3 version=$4
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
. "$(dirname "$0")/check_installed_tree.sh"

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/out" >"$scratch/cpack.log" 2>&1 ||
  { cat "$scratch/cpack.log" >&2; exit 1; }
debs=("$scratch"/out/*.deb)
[[ ${#debs[@]} == 1 && -f ${debs[0]} ]] || { echo "FAIL: expected one .deb, got: ${debs[*]}" >&2; exit 1; }
deb=${debs[0]}

failed=0
field() { dpkg-deb -f "$deb" "$1"; }
[[ $(field Package) == orva ]] || { echo "FAIL: Package is '$(field Package)'" >&2; failed=1; }
[[ $(field Version) == "$version" ]] || { echo "FAIL: Version is '$(field Version)'" >&2; failed=1; }
# The description reads as written: no list separators from CMake in it.
description=$(field Description)
[[ $description == *"adds a new mission text"* && $description != *";"* ]] ||
  { echo "FAIL: Description reads '$description'" >&2; failed=1; }
# Computed from the binaries: the C++ runtime always, Qt's widgets with the window.
depends=$(field Depends)
# The package names alone, one a line: "libstdc++6 (>= 9), a | b" gives
# libstdc++6, a and b. Compared as fixed strings, since names hold '+' and '.'.
depends_names=$(tr ',|' '\n\n' <<<"$depends" | sed -E 's/^ +//; s/[ (:].*//' | sed '/^$/d')
needed=(libc6 libstdc++6)
((with_window)) && needed+=(libqt6widgets6 libqt6gui6)
for package in "${needed[@]}"; do
  grep -qxF "$package" <<<"$depends_names" || { echo "FAIL: Depends lacks $package: $depends" >&2; failed=1; }
done

# Debian's package checker finds no error (its warnings are printed, and the
# docs/development.md says why each one stays). The changelog names the version packaged.
lint_status=0
lintian --fail-on error "$deb" >"$scratch/lintian.log" 2>&1 || lint_status=$?
grep -v 'running with root privileges' "$scratch/lintian.log" >&2 || true
((lint_status == 0)) || { echo "FAIL: lintian reports errors" >&2; failed=1; }
changelog_version=$(dpkg-parsechangelog -l "$source/packaging/debian/changelog" -S Version)
[[ $changelog_version == "$version" ]] ||
  { echo "FAIL: packaging/debian/changelog is at $changelog_version" >&2; failed=1; }

dpkg-deb -x "$deb" "$scratch/root"
# Everything lives below /usr, as a Debian package should.
outside=$(cd "$scratch/root" && find . -mindepth 1 -maxdepth 1 ! -name usr)
[[ -z "$outside" ]] || { echo "FAIL: files outside /usr: $outside" >&2; failed=1; }
check_installed_tree "$scratch/root/usr" "$source" "$with_window" "$version" || failed=1
((failed == 0))
echo "$(basename "$deb") checked: Depends: $depends"
