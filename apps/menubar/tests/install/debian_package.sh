#!/usr/bin/env bash
# The .deb of this build tree: named and versioned, its Depends worked out from
# the binaries plus Qt's platform plugins, the desktop files and the copyright
# inside, and the extracted binary runs.
#
#   debian_package.sh BUILD_DIR
set -euo pipefail
build=$1

out=$(mktemp -d "${TMPDIR:-/tmp}/debian-package.XXXXXX")
trap 'rm -rf "$out"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$out" >"$out/cpack.log" 2>&1 \
  || { cat "$out/cpack.log" >&2; fail "cpack failed"; }
deb=$(echo "$out"/tessaly-menubar_*.deb)
[ -f "$deb" ] || fail "no package in $(ls "$out")"
version=$(dpkg-deb -f "$deb" Version)
[[ "$deb" == *"_${version}_$(dpkg --print-architecture).deb" ]] || fail "unexpected name $deb"
depends=$(dpkg-deb -f "$deb" Depends)
for needed in libc6 libqt6widgets6 libqt6svg6 libicu qt6-qpa-plugins; do
  [[ "$depends" == *"$needed"* ]] || fail "Depends lacks $needed: $depends"
done
dpkg-deb -x "$deb" "$out/root"
for file in usr/share/applications/dev.tessaly.Menubar.desktop usr/share/doc/tessaly-menubar/copyright; do
  [ -f "$out/root/$file" ] || fail "$file is not in the package"
done
"$out/root/usr/bin/tessaly-menubar" --version | head -n1 | grep -qxF "tessaly-menubar $version" \
  || fail "the extracted binary did not print its version"
echo "debian package: ok ($deb: Depends: $depends)"
