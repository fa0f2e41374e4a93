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
check_installed_tree "$scratch/usr/local" "$source" "$with_window" "$version"
echo "installed and checked below a scratch /usr/local"
