#!/usr/bin/env bash
# Installs a build with `cmake --install` into a scratch prefix and checks
# what a user would get there.
# usage: install_test.sh BUILD_DIR SOURCE_DIR WITH_WINDOW(0|1) VERSION
set -euo pipefail
build=$1 source=$2 with_window=$3 version=$4
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
. "$(dirname "$0")/check_installed_tree.sh"

cmake --install "$build" --prefix "$scratch/usr/local" >"$scratch/install.log" ||
  { cat "$scratch/install.log" >&2; exit 1; }
prefix=$scratch/usr/local
if ((with_window)); then
  # Installed in place, the desktop's databases are built below the prefix:
  # textdb_*.def files have ORVA's type, and ORVA opens that type.
  grep -qx '50:application/x-orva-textdb:textdb_\*\.def' "$prefix/share/mime/globs2" ||
    { echo "FAIL: the MIME database below the prefix lacks textdb_*.def" >&2; exit 1; }
  grep -qx 'application/x-orva-textdb=orva.desktop;' "$prefix/share/applications/mimeinfo.cache" ||
    { echo "FAIL: the applications' MIME cache lacks orva.desktop" >&2; exit 1; }
  # Made on the machine, not shipped: the rest of the check is of what ORVA ships.
  find "$prefix/share/mime" -mindepth 1 -maxdepth 1 ! -name packages -exec rm -r {} +
  rm "$prefix/share/applications/mimeinfo.cache"
fi
check_installed_tree "$prefix" "$source" "$with_window" "$version"
echo "installed and checked below a scratch /usr/local"
