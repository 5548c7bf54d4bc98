#!/bin/bash
# What distributions check in a package, checked from the build folder: the
# manual pages render without a warning, the AppStream metadata, the desktop
# entries and the polkit action are valid, and the metadata's releases are
# the Debian changelog's, the newest being this version.
# usage: check_metadata.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
source=$1
build=$2
failed=0
fail() { printf '%s\n' "$1"; failed=1; }
quiet() {  # the command must succeed and print nothing
  local what=$1; shift
  local said
  said=$("$@" 2>&1) && [ -z "$said" ] || fail "$what: $said"
}

for page in "$build"/packaging/man/*.[18]; do
  quiet "groff on $(basename "$page")" groff -ww -man -z -Tutf8 "$page"
  # As lintian reads a page.
  quiet "man on $(basename "$page")" env LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 \
    sh -c 'man --warnings -E UTF-8 -l -Tutf8 -Z "$1" >/dev/null' man "$page"
done

metainfo=$source/packaging/com.korvane.app.metainfo.xml
appstreamcli validate --no-net --strict --pedantic "$metainfo" >/dev/null ||
  fail "appstreamcli: $(appstreamcli validate --no-net --strict --pedantic "$metainfo" 2>&1)"
for entry in com.korvane.app.desktop com.korvane.app.autostart.desktop; do
  quiet "desktop-file-validate $entry" desktop-file-validate "$source/packaging/$entry"
done
dtd=/usr/share/polkit-1/policyconfig-1.dtd
[ -f "$dtd" ] || fail "no polkit DTD at $dtd"
quiet "the polkit action against $dtd" \
  xmllint --noout --dtdvalid "$dtd" "$build/packaging/com.korvane.app.install-helper.policy"

changelog=$source/packaging/debian/changelog
from_changelog=$(awk '/^korvane \(/ {gsub(/[()]/, "", $2); version = $2}
                      /^ -- / {sub(/.*>  /, ""); print version, $0}' "$changelog" |
  while read -r v date; do echo "$v $(date -u -d "$date" +%F)"; done)
from_metainfo=$(grep -oE '<release version="[^"]+" date="[^"]+"' "$metainfo" |
  sed -E 's/<release version="([^"]+)" date="([^"]+)"/\1 \2/')
[ "$from_changelog" = "$from_metainfo" ] ||
  fail "releases in the changelog and in the metainfo differ: $from_changelog / $from_metainfo"
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
[ "${from_changelog%% *}" = "$version" ] ||
  fail "the changelog's newest entry is ${from_changelog%% *}, the project's version $version"

[ $failed -eq 0 ] && echo "metadata ok: manual pages, AppStream, desktop entries, polkit action, releases"
exit $failed
