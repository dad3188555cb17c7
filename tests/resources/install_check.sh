#!/bin/sh
# Installs the build into a temporary DESTDIR and checks what a desktop and a
# package manager would see: the laid-out files (the copyright file and the
# changelog among them), the installed commands running from there, the
# desktop entry, the AppStream data and both manual pages.
#   install_check.sh BUILD_FOLDER
set -eu
build=$1
dest=$(mktemp -d /tmp/tintwell-install-XXXXXX)
trap 'rm -rf "$dest"' EXIT
DESTDIR="$dest" cmake --install "$build" --prefix /usr >/dev/null

id=io.github.quillcraft.Tintwell
expected="usr/bin/tintwell
usr/bin/tintwell-batch
usr/share/applications/$id.desktop
usr/share/doc/tintwell/changelog.gz
usr/share/doc/tintwell/copyright
usr/share/icons/hicolor/128x128/apps/$id.png
usr/share/icons/hicolor/256x256/apps/$id.png
usr/share/icons/hicolor/48x48/apps/$id.png
usr/share/icons/hicolor/512x512/apps/$id.png
usr/share/icons/hicolor/64x64/apps/$id.png
usr/share/man/man1/tintwell-batch.1.gz
usr/share/man/man1/tintwell.1.gz
usr/share/metainfo/$id.metainfo.xml"
found=$(cd "$dest" && find . -type f | sed 's|^\./||' | LC_ALL=C sort)
if [ "$found" != "$(echo "$expected" | LC_ALL=C sort)" ]; then
  echo "install tree differs:"; echo "$found"; exit 1
fi

# The installed commands run from their own place, with nothing from the build.
"$dest/usr/bin/tintwell-batch" --help | grep -q '^usage: tintwell-batch'
"$dest/usr/bin/tintwell" --version | grep -q '^Tintwell [0-9]'
zcat "$dest/usr/share/doc/tintwell/changelog.gz" | head -n 1 | grep -q '^tintwell ('

if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$dest/usr/share/applications/$id.desktop"
else
  echo "skipped: desktop-file-validate is not installed (package desktop-file-utils)"
fi
if command -v appstreamcli >/dev/null; then
  appstreamcli validate --no-net "$dest/usr/share/metainfo/$id.metainfo.xml" >/dev/null
else
  echo "skipped: appstreamcli is not installed (package appstream)"
fi
for page in tintwell tintwell-batch; do
  warnings=$(zcat "$dest/usr/share/man/man1/$page.1.gz" | groff -ww -man -z 2>&1 || true)
  [ -z "$warnings" ] || { echo "$page.1: $warnings"; exit 1; }
done
echo "install tree, batch command, desktop entry, AppStream data and manual pages checked"
