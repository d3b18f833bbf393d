#!/usr/bin/env bash
# The Debian package as a user gets it: built by cpack from this build, it
# holds the programs, help book, menu entry, icon, file type and man pages,
# declares the libraries it needs, passes lintian without errors, and the
# program extracted from it starts and finds its help book.
#   package_check.sh BUILD_DIR WORK
set -euo pipefail
build=$1 work=$2
rm -rf "$work"
mkdir -p "$work"
cpack -G DEB -B "$work" --config "$build/CPackConfig.cmake" > "$work/cpack.log" 2>&1 || { cat "$work/cpack.log"; exit 1; }
deb=$(ls "$work"/kestrane_*_amd64.deb)
listing=$(dpkg-deb -c "$deb")
for f in usr/bin/kestrane usr/bin/kestrane-tool usr/bin/kestrane-devsim usr/share/kestrane/kestrane_help.zip \
  usr/share/applications/kestrane.desktop usr/share/icons/hicolor/scalable/apps/kestrane.svg \
  usr/share/mime/packages/kestrane.xml usr/share/man/man1/kestrane.1.gz usr/share/man/man1/kestrane-tool.1.gz \
  usr/share/man/man1/kestrane-devsim.1.gz usr/share/doc/kestrane/copyright; do
  grep -q " \./$f\$" <<< "$listing" || { echo "the package lacks $f"; exit 1; }
done
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libwxgtk3.2 libcminpack1 libopenjp2-7 libtiff6; do
  grep -q "$lib" <<< "$depends" || { echo "Depends lacks $lib: $depends"; exit 1; }
done
# The man page of the tool comes from its own --help: every command is in it.
zcat <(dpkg-deb --fsys-tarfile "$deb" | tar -xO ./usr/share/man/man1/kestrane-tool.1.gz) | grep -q "merge\\\\-results"
lintian --fail-on error "$deb" > "$work/lintian.log" 2>&1 || { cat "$work/lintian.log"; exit 1; }

dpkg-deb -x "$deb" "$work/root"
"$work/root/usr/bin/kestrane-tool" version | grep -q "^kestrane-tool "
# Started from the extracted tree it finds the help book under ../share/kestrane, so Help works (a missing
# book would be reported, and the report waits for a click: the time-out ends that).
mkdir -p "$work/settings"
KESTRANE_EXIT_AFTER_START=1 timeout 120 "$work/root/usr/bin/kestrane" "dir=$work/settings" > "$work/start.log" 2>&1 ||
  { cat "$work/start.log"; exit 1; }
[ -f "$work/settings/.kestrane.ini" ] || { echo "the extracted program wrote no settings"; cat "$work/start.log"; exit 1; }
if grep -q "Failed to load help file" "$work/start.log"; then
  echo "the extracted program did not find its help book"
  cat "$work/start.log"
  exit 1
fi
echo "package $(basename "$deb") checked"
