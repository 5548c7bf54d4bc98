#!/bin/bash
# Builds the Debian package and the RPM from a build folder and checks that
# the RPM holds the same files with the same modes, owns none of the
# distribution's folders, depends on polkit and pkexec, ships its programs
# stripped, and removes the helper only when the package goes.
# usage: check_rpm.sh BUILD_DIR
set -euo pipefail
build=$1
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
failed=0
fail() { printf '%s\n' "$1"; failed=1; }

# The Debian package only for its list of files: stripped, without its
# -dbgsym package.
cpack --config "$build/CPackConfig.cmake" -G "DEB;RPM" -B "$out" -D CPACK_DEBIAN_DEBUGINFO_PACKAGE=OFF \
  -D CPACK_STRIP_FILES=ON >"$out/cpack.log" 2>&1 || {
  cat "$out/cpack.log"
  exit 1
}
deb=$(ls "$out"/korvane_*.deb)
rpm=$(ls "$out"/korvane-*.rpm | grep -v debuginfo)

# "MODE /path" for every file and link, and the folders apart.
dpkg-deb -c "$deb" | awk '{sub(/^\./, "", $6); print $1, $6}' >"$out/deb.all"
grep -v '^d' "$out/deb.all" | sort >"$out/deb.files"
awk '/^d/ {sub(/\/$/, "", $2); print $2}' "$out/deb.all" | sort >"$out/deb.dirs"
rpm -qlp "$rpm" | sort >"$out/rpm.list"
rpm -qp --qf '[%{FILEMODES:perms} %{FILENAMES}\n]' "$rpm" | grep -v '^d' | sort >"$out/rpm.files"
diff "$out/deb.files" "$out/rpm.files" >"$out/diff" || fail "the RPM's files differ from the Debian package's:
$(cat "$out/diff")"
# Every listed name is a file of the package or a folder of its own.
comm -23 "$out/rpm.list" <(awk '{print $2}' "$out/rpm.files" | sort) >"$out/rpm.dirs"
foreign=$(grep -vE '/korvane(/autostart)?$' "$out/rpm.dirs" || true)
[ -z "$foreign" ] || fail "the RPM owns folders of the distribution: $foreign"
grep -q '/share/man/man1/korvanectl\.1\.gz$' "$out/rpm.list" || fail "rpm -qlp lists no korvanectl page"

requires=$(rpm -qp --requires "$rpm")
for need in polkit /usr/bin/pkexec 'libQt6Widgets.so.6()(64bit)'; do
  grep -qxF "$need" <<<"$requires" || fail "the RPM does not require $need: $(tr '\n' ' ' <<<"$requires")"
done

scripts=$(rpm -qp --scripts "$rpm")
removal=$(sed -n '/^preuninstall scriptlet/,/^[a-z]* *scriptlet/p' <<<"$scripts")
grep -q 'if \[ "$1" -eq 0 \]' <<<"$removal" && grep -q '/share/korvane/install_helper.sh --remove' <<<"$removal" ||
  fail "the RPM's preuninstall does not remove the helper when the package goes (and only then):
$removal"

mkdir "$out/tree"
rpm2archive - <"$rpm" | tar -xzf - -C "$out/tree"
for program in bin/korvane bin/korvanectl lib/korvane/com.korvane.helper libexec/korvane/taskpolicy; do
  found=$(find "$out/tree" -path "*/$program")
  file -b "$found" | grep -q ', stripped' || fail "$program in the RPM is not stripped: $(file -b "$found")"
done

[ $failed -eq 0 ] && echo "rpm ok: $(basename "$rpm") holds the $(wc -l <"$out/rpm.files") files of $(basename "$deb")"
exit $failed
