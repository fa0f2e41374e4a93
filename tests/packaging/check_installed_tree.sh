# Checks an installed ORVA below PREFIX (a scratch copy of /usr or /usr/local):
# exactly the expected files, runnable binaries with every library found, a
# valid desktop entry that names an installed program and icon and opens the
# file type the MIME package defines, valid AppStream metadata, and icons and
# documents equal to the ones in the source tree.
# usage: check_installed_tree PREFIX SOURCE_DIR WITH_WINDOW(0|1) VERSION
# Sourced by install_test.sh and deb_test.sh; returns non-zero on any fault,
# after naming each one on stderr.

check_installed_tree() {
  local prefix=$1 source=$2 with_window=$3 version=$4
  local fail_count=0
  complain() { echo "FAIL: $*" >&2; fail_count=$((fail_count + 1)); }

  # Exactly these files: nothing missing, and no libraries, headers or tests.
  local expected=(bin/orva-cli share/doc/orva/README.md share/doc/orva/format.md)
  expected+=(share/man/man1/orva-cli.1.gz share/doc/orva/copyright share/doc/orva/changelog.gz)
  local size
  if ((with_window)); then
    expected+=(bin/orva share/applications/orva.desktop share/applications/orva-editor.desktop
               share/man/man1/orva.1.gz
               share/mime/packages/orva-textdb.xml share/metainfo/org.example.orva.metainfo.xml)
    for size in 32 64 128 256; do expected+=("share/icons/hicolor/${size}x${size}/apps/orva.png"); done
  fi
  # The pages and pictures the README links to.
  local page
  for page in "$source"/docs/*.png "$source"/docs/*.md; do
    [[ -e "$page" ]] && expected+=("share/doc/orva/docs/$(basename "$page")")
  done
  local want got
  want=$(printf '%s\n' "${expected[@]}" | sort)
  got=$(cd "$prefix" && find . -type f -o -type l | sed 's|^\./||' | sort)
  [[ "$want" == "$got" ]] || complain "installed files differ from the expected list:
$(diff <(echo "$want") <(echo "$got") || true)"

  local program
  for program in orva-cli orva; do
    [[ $program == orva ]] && ! ((with_window)) && continue
    [[ -x "$prefix/bin/$program" ]] || { complain "bin/$program is not executable"; continue; }
    if ldd "$prefix/bin/$program" | grep -q 'not found'; then
      complain "bin/$program needs libraries that are not installed: $(ldd "$prefix/bin/$program" | grep 'not found')"
    fi
  done
  local shown
  shown=$("$prefix/bin/orva-cli" --version 2>&1) || complain "orva-cli --version failed: $shown"
  [[ "$shown" == "orva-cli $version" ]] || complain "orva-cli --version printed '$shown'"
  if ((with_window)); then
    # Needs no display.
    shown=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$prefix/bin/orva" --version 2>&1) ||
      complain "orva --version failed: $shown"
    [[ "$shown" == "orva $version" ]] || complain "orva --version printed '$shown'"
  fi

  local desktop="$prefix/share/applications/orva.desktop"
  if [[ -f "$desktop" ]]; then
    desktop-file-validate "$desktop" || complain "desktop-file-validate rejects orva.desktop"
    local exec icon
    exec=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
    icon=$(sed -n 's/^Icon=//p' "$desktop")
    [[ -x "$prefix/bin/$exec" ]] || complain "the desktop entry starts '$exec', which is not installed"
    [[ -f "$prefix/share/icons/hicolor/32x32/apps/$icon.png" ]] ||
      complain "the desktop entry shows icon '$icon', which is not installed"
    grep -qx 'Exec=orva %f' "$desktop" || complain "the desktop entry does not pass the file to orva"
  fi
  # The editor's entry: the same program, its editor window, no file type of
  # its own (opening a database by double-click stays the main window's).
  local editor="$prefix/share/applications/orva-editor.desktop"
  if [[ -f "$editor" ]]; then
    desktop-file-validate "$editor" || complain "desktop-file-validate rejects orva-editor.desktop"
    grep -qx 'Exec=orva --edit %f' "$editor" || complain "the editor's entry does not start orva --edit"
    grep -qx 'Name=ORVA Editor' "$editor" || complain "the editor's entry is not named ORVA Editor"
    ! grep -q '^MimeType=' "$editor" || complain "the editor's entry claims a file type"
  fi

  # The MIME package, read as the desktop reads it: built into a scratch
  # MIME database, which must take it without a word and match it by name.
  local package="$prefix/share/mime/packages/orva-textdb.xml"
  if [[ -f "$package" ]]; then
    local mime type said
    mime=$(mktemp -d)/mime
    mkdir -p "$mime/packages" && cp "$package" "$mime/packages/"
    said=$(XDG_DATA_DIRS=$(dirname "$mime") update-mime-database "$mime" 2>&1) ||
      complain "update-mime-database rejects the package: $said"
    [[ -z "$said" ]] || complain "update-mime-database warns about the package: $said"
    type=$(sed -n 's/^MimeType=\([^;]*\);$/\1/p' "$desktop")
    [[ "$(grep -v '^#' "$mime/globs2" 2>/dev/null)" == "50:$type:textdb_*.def" ]] ||
      complain "the MIME package does not give '$type' to textdb_*.def alone: $(cat "$mime/globs2")"
    rm -rf "$(dirname "$mime")"
  fi

  local metainfo="$prefix/share/metainfo/org.example.orva.metainfo.xml"
  if [[ -f "$metainfo" ]]; then
    # --no-net: the screenshots' addresses are not fetched.
    said=$(appstreamcli validate --no-net "$metainfo" 2>&1) || complain "appstreamcli rejects the metainfo: $said"
    grep -q '<launchable type="desktop-id">orva.desktop</launchable>' "$metainfo" ||
      complain "the metainfo does not launch orva.desktop"
  fi

  local icons="$prefix/share/icons/hicolor"
  [[ -f "$icons/32x32/apps/orva.png" ]] && { cmp -s "$icons/32x32/apps/orva.png" "$source/resources/orva.png" ||
    complain "the 32 px icon is not resources/orva.png"; }
  for size in 64 128 256; do
    [[ -f "$icons/${size}x${size}/apps/orva.png" ]] || continue
    file "$icons/${size}x${size}/apps/orva.png" | grep -q "PNG image data, $size x $size," ||
      complain "the ${size} px icon is $(file -b "$icons/${size}x${size}/apps/orva.png")"
  done

  local doc
  for doc in README.md docs/format.md; do
    [[ -f "$prefix/share/doc/orva/$(basename "$doc")" ]] &&
      { cmp -s "$prefix/share/doc/orva/$(basename "$doc")" "$source/$doc" || complain "$doc differs"; }
  done

  # The pages as written, with the version the programs print filled in.
  local page version
  version=$("$prefix/bin/orva-cli" --version | cut -d' ' -f2)
  for page in orva-cli orva; do
    [[ -f "$prefix/share/man/man1/$page.1.gz" ]] || continue
    gzip -dc "$prefix/share/man/man1/$page.1.gz" |
      cmp -s - <(sed "s/@PROJECT_VERSION@/$version/" "$source/packaging/man/$page.1") ||
      complain "the manual page $page.1 is not packaging/man/$page.1 for version $version"
  done

  ((fail_count == 0))
}
