#!/bin/bash
# Builds the Debian package from a build folder and checks what it holds:
# the programs, the script and its polkit action naming it, the entries, the
# icons, the KWin script and the GNOME Shell extension, the licence, the
# manual pages, the metadata and the completion, the maintainer scripts, that
# it depends on pkexec and polkitd, and that man finds its pages.
# usage: check_package.sh BUILD_DIR
set -euo pipefail
build=$1
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

# Without the -dbgsym package, which only takes time here: scripts/package.sh
# makes it from the Release build and lints it.
cpack --config "$build/CPackConfig.cmake" -G DEB -B "$out" -D CPACK_DEBIAN_DEBUGINFO_PACKAGE=OFF \
  -D CPACK_STRIP_FILES=ON >"$out/cpack.log" 2>&1 || {
  cat "$out/cpack.log"
  exit 1
}
deb=$(ls "$out"/korvane_*.deb)
contents=$(dpkg-deb -c "$deb" | awk '{print $1, $6}')
prefix=$(dpkg-deb -c "$deb" | awk '{print $6}' | grep '/share/korvane/install_helper.sh$' | sed 's#^\.##; s#/share/korvane/install_helper.sh$##')
failed=0
fail() { echo "$1"; failed=1; }
expect() { grep -qE "$1" <<<"$contents" || fail "missing from the package: $1"; }
# The shipped helper, apart from the tool an installation copies it to.
expect "^-rwxr-xr-x \.$prefix/lib/korvane/com\.korvane\.helper$"
expect "^-rwxr-xr-x \.$prefix/libexec/korvane/taskpolicy$"
expect "^-rwxr-xr-x \.$prefix/bin/korvanectl$"
expect "^-rwxr-xr-x \.$prefix/share/korvane/install_helper\.sh$"
expect "^-rw-r--r-- \.$prefix/share/korvane/com\.korvane\.helper\.service\.in$"
expect "^-rw-r--r-- \.$prefix/share/korvane/autostart/com\.korvane\.app\.desktop$"
expect "^-rw-r--r-- \.$prefix/share/applications/com\.korvane\.app\.desktop$"
expect "^-rw-r--r-- \.$prefix/share/polkit-1/actions/com\.korvane\.app\.install-helper\.policy$"
expect "^-rw-r--r-- \.$prefix/share/korvane/kwin/korvane-workspace\.js$"
for file in metadata.json extension.js; do
  expect "^-rw-r--r-- \.$prefix/share/gnome-shell/extensions/korvane-workspace@korvane\.com/$file$"
done
expect "^-rw-r--r-- \.$prefix/share/icons/hicolor/scalable/apps/com\.korvane\.app\.svg$"
expect "^-rw-r--r-- \.$prefix/share/icons/hicolor/symbolic/apps/com\.korvane\.app-symbolic\.svg$"
for size in 16 22 24 32 48 64 128 256; do
  expect "^-rw-r--r-- \.$prefix/share/icons/hicolor/${size}x${size}/apps/com\.korvane\.app\.png$"
done
expect "^-rw-r--r-- \.$prefix/share/doc/korvane/copyright$"
expect "^-rw-r--r-- \.$prefix/share/metainfo/com\.korvane\.app\.metainfo\.xml$"
expect "^-rw-r--r-- \.$prefix/share/bash-completion/completions/korvanectl$"
for page in man1/korvane.1 man1/korvanectl.1 man8/taskpolicy.8 man8/com.korvane.helper.8; do
  expect "^-rw-r--r-- \.$prefix/share/man/${page//./\\.}\.gz$"
done
! grep -qE 'systemd/system' <<<"$contents" || fail "the package ships a unit: it must enable no service"

dpkg-deb -e "$deb" "$out/control"
for script in postinst prerm postrm; do
  [ -x "$out/control/$script" ] || fail "no executable $script"
done
grep -q "$prefix/share/korvane/install_helper.sh --remove" "$out/control/prerm" ||
  fail "prerm does not remove the helper with the packaged script"
depends=$(dpkg-deb -f "$deb" Depends)
for dep in pkexec polkitd libc6; do
  grep -q "$dep" <<<"$depends" || fail "Depends lacks $dep: $depends"
done

dpkg-deb -x "$deb" "$out/tree"
LC_ALL=C man -M "$out/tree/$prefix/share/man" korvanectl 2>&1 | grep -q '^NAME' ||
  fail "man finds no korvanectl page where the package puts it"
policy="$out/tree/$prefix/share/polkit-1/actions/com.korvane.app.install-helper.policy"
grep -q "<annotate key=\"org.freedesktop.policykit.exec.path\">$prefix/share/korvane/install_helper.sh</annotate>" "$policy" ||
  fail "the policy does not name the packaged install script"
grep -q '^Categories=System;Monitor;$' "$out/tree/$prefix/share/applications/com.korvane.app.desktop" ||
  fail "the desktop entry's categories are wrong"
[ $failed -eq 0 ] && echo "package ok: $(basename "$deb")"
exit $failed
