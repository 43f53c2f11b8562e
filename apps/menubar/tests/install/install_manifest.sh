#!/usr/bin/env bash
# The install rules with DESTDIR: these files land under the prefix, the
# manifest lists every file installed, the launcher entry and the metainfo pass
# their validators, the fixed-size icons have their sizes and the installed
# binary runs.
#
#   install_manifest.sh BUILD_DIR
set -euo pipefail
build=$1

dest=$(mktemp -d "${TMPDIR:-/tmp}/install-manifest.XXXXXX")
trap 'rm -rf "$dest"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

DESTDIR="$dest" cmake --install "$build" --prefix /usr >"$dest.log" 2>&1 || { cat "$dest.log" >&2; fail "install failed"; }
rm -f "$dest.log"
manifest=$build/install_manifest.txt

share=/usr/share
for file in /usr/bin/tessaly-menubar \
    $share/applications/dev.tessaly.Menubar.desktop \
    $share/metainfo/dev.tessaly.Menubar.metainfo.xml \
    $share/icons/hicolor/scalable/apps/dev.tessaly.Menubar.svg \
    $share/icons/hicolor/22x22/apps/dev.tessaly.Menubar.png \
    $share/icons/hicolor/48x48/apps/dev.tessaly.Menubar.png \
    $share/man/man1/tessaly-menubar.1.gz \
    $share/man/man1/tessaly-bar.1.gz \
    $share/doc/tessaly-menubar/copyright \
    $share/doc/tessaly-menubar/changelog.gz; do
  [ -f "$dest$file" ] || fail "$file was not installed"
  grep -qxF "$file" "$manifest" || fail "$file is missing from the manifest"
done
# Whatever else is installed (another program of the project) is in the
# manifest too, which names the files without DESTDIR; nothing lands outside
# the prefix.
diff <(sort "$manifest") <(find "$dest" -type f | sed "s|^$dest||" | sort) \
  || fail "the manifest and the files differ"
grep -v "^/usr/" "$manifest" && fail "files outside the prefix"

desktop-file-validate "$dest$share/applications/dev.tessaly.Menubar.desktop" | grep -v ': hint: ' \
  && fail "desktop-file-validate complained"
appstreamcli validate --no-net "$dest$share/metainfo/dev.tessaly.Menubar.metainfo.xml" >"$dest/as.log" \
  || { cat "$dest/as.log" >&2; fail "appstreamcli validate failed"; }
for size in 22 48; do
  [ "$(identify -format '%wx%h' "$dest$share/icons/hicolor/${size}x$size/apps/dev.tessaly.Menubar.png")" = "${size}x$size" ] \
    || fail "the ${size}px icon has another size"
done
for page in tessaly-menubar tessaly-bar; do
  gzip -t "$dest$share/man/man1/$page.1.gz" || fail "the $page man page is no gzip file"
done
"$dest/usr/bin/tessaly-menubar" --version | grep -q '^tessaly-menubar ' || fail "the installed binary did not run"
echo "install manifest: ok"
