#!/bin/sh
# The desktop entry and metainfo validate, and an install into a temporary prefix
# holds every file a desktop expects. Usage: install_check.sh SOURCE BUILD
set -eu
src=$1
build=$2
desktop-file-validate "$src/packaging/pl.kartax2000.Kartax2000.desktop"
appstreamcli validate --no-net --pedantic "$src/packaging/pl.kartax2000.Kartax2000.metainfo.xml"
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null
for file in bin/kartax2000 libexec/kartax2000/kartax2000-window share/kartax2000/Kartax.hlp \
    share/applications/pl.kartax2000.Kartax2000.desktop \
    share/metainfo/pl.kartax2000.Kartax2000.metainfo.xml \
    share/icons/hicolor/scalable/apps/pl.kartax2000.Kartax2000.svg \
    share/icons/hicolor/48x48/apps/pl.kartax2000.Kartax2000.png \
    share/icons/hicolor/128x128/apps/pl.kartax2000.Kartax2000.png \
    share/man/man1/kartax2000.1.gz share/doc/kartax2000/copyright \
    share/doc/kartax2000/changelog.gz; do
    [ -s "$prefix/$file" ] || { echo "missing: $file"; exit 1; }
done
# The PNG header's width and height (big-endian words at byte 16) are 48.
[ "$(od -An -tu1 -j16 -N8 "$prefix/share/icons/hicolor/48x48/apps/pl.kartax2000.Kartax2000.png" | tr -s ' ')" = " 0 0 0 48 0 0 0 48" ]
# Installed, the program names its version and finds nothing amiss without a display.
"$prefix/bin/kartax2000" --version | grep -qx "kartax2000 (Kartax2000) [0-9.]*"
echo "installed: $(find "$prefix" -type f | wc -l) files"
