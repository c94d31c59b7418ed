#!/usr/bin/env bash
# An install into a fresh prefix holds the program, its resources, the icon in the hicolor theme and a desktop
# entry that desktop-file-validate accepts and that starts the installed program. The prefix has a blank in
# its name, which the entry's Exec must quote.
#   install_test.sh <cmake> <build dir> <work dir>
set -euo pipefail
cmake=$1 build=$2 work=$3
prefix="$work/prefix with blank"
rm -rf "$work"
mkdir -p "$work"
"$cmake" --install "$build" --prefix "$prefix" >"$work/install.log"

failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

[ -x "$prefix/bin/brimvale" ] || fail "no program bin/brimvale"
for file in share/brimvale/xcdsfx32.bin share/brimvale/help/docs/intro.htm share/brimvale/help/docs/log.htm \
  share/brimvale/icons/brimvale.png share/brimvale/icons/brimvale.svg \
  share/icons/hicolor/scalable/apps/brimvale.svg share/icons/hicolor/48x48/apps/brimvale.png; do
  [ -s "$prefix/$file" ] || fail "missing $file"
done

# A PNG's width and height are the big-endian words at bytes 16 and 20.
png="$prefix/share/icons/hicolor/48x48/apps/brimvale.png"
if [ -s "$png" ]; then
  size=$(od -An -tu1 -j16 -N8 "$png" | tr -s ' ' | sed 's/^ //')
  [ "$size" = "0 0 0 48 0 0 0 48" ] || fail "the 48x48 icon measures otherwise (IHDR bytes: $size)"
fi

entry="$prefix/share/applications/brimvale.desktop"
if [ -s "$entry" ]; then
  for line in "Type=Application" "Name=Brimvale" "Icon=brimvale" "Categories=Utility;Archiving;" \
    "Exec=\"$prefix/bin/brimvale\""; do
    grep -qxF "$line" "$entry" || fail "the desktop entry lacks the line $line"
  done
  grep -qE '^Comment=.+' "$entry" || fail "the desktop entry has no comment"
  if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$entry" || fail "desktop-file-validate refuses the desktop entry"
  elif [ $failures -eq 0 ]; then
    echo "SKIP: desktop-file-validate is missing (Debian desktop-file-utils; scripts/test installs it)"
    exit 77
  fi
else
  fail "missing share/applications/brimvale.desktop"
fi

if [ $failures -ne 0 ]; then
  echo "install log:"
  cat "$work/install.log"
  exit 1
fi
echo "installed and checked in $prefix"
rm -rf "$work"
