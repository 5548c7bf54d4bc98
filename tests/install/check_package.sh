#!/bin/bash
# Builds the Debian package from a build folder and checks what it holds:
# the programs, the script and its polkit action naming it, the entries, the
# icons, the maintainer scripts, and that it depends on pkexec and polkitd.
# usage: check_package.sh BUILD_DIR
set -euo pipefail
build=$1
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

cpack --config "$build/CPackConfig.cmake" -G DEB -B "$out" >"$out/cpack.log" 2>&1 || {
  cat "$out/cpack.log"
  exit 1
}
deb=$(ls "$out"/*.deb)
contents=$(dpkg-deb -c "$deb" | awk '{print $1, $6}')
prefix=$(dpkg-deb -c "$deb" | awk '{print $6}' | grep '/share/korvane/install_helper.sh$' | sed 's#^\.##; s#/share/korvane/install_helper.sh$##')
failed=0
expect() {
  if ! grep -qE "$1" <<<"$contents"; then
    echo "missing from the package: $1"
    failed=1
  fi
}
expect "^-rwxr-xr-x \.$prefix/libexec/korvane/com\.korvane\.helper$"
expect "^-rwxr-xr-x \.$prefix/libexec/korvane/taskpolicy$"
expect "^-rwxr-xr-x \.$prefix/bin/korvanectl$"
expect "^-rwxr-xr-x \.$prefix/share/korvane/install_helper\.sh$"
expect "^-rw-r--r-- \.$prefix/share/korvane/com\.korvane\.helper\.service\.in$"
expect "^-rw-r--r-- \.$prefix/share/korvane/autostart/com\.korvane\.app\.desktop$"
expect "^-rw-r--r-- \.$prefix/share/applications/com\.korvane\.app\.desktop$"
expect "^-rw-r--r-- \.$prefix/share/polkit-1/actions/com\.korvane\.app\.install-helper\.policy$"
expect "^-rw-r--r-- \.$prefix/share/icons/hicolor/scalable/apps/com\.korvane\.app\.svg$"
for size in 16 22 24 32 48 64 128 256; do
  expect "^-rw-r--r-- \.$prefix/share/icons/hicolor/${size}x${size}/apps/com\.korvane\.app\.png$"
done
if grep -qE 'systemd/system' <<<"$contents"; then
  echo "the package ships a unit: it must enable no service"
  failed=1
fi

dpkg-deb -e "$deb" "$out/control"
for script in postinst prerm postrm; do
  [ -x "$out/control/$script" ] || { echo "no executable $script"; failed=1; }
done
grep -q 'install_helper.sh --remove' "$out/control/prerm" || { echo "prerm does not remove the helper"; failed=1; }
depends=$(dpkg-deb -f "$deb" Depends)
for dep in pkexec polkitd libc6; do
  grep -q "$dep" <<<"$depends" || { echo "Depends lacks $dep: $depends"; failed=1; }
done

dpkg-deb -x "$deb" "$out/tree"
policy="$out/tree/$prefix/share/polkit-1/actions/com.korvane.app.install-helper.policy"
grep -q "<annotate key=\"org.freedesktop.policykit.exec.path\">$prefix/share/korvane/install_helper.sh</annotate>" "$policy" || {
  echo "the policy does not name the packaged install script"
  failed=1
}
grep -q '^Categories=System;Monitor;$' "$out/tree/$prefix/share/applications/com.korvane.app.desktop" || {
  echo "the desktop entry's categories are wrong"
  failed=1
}
[ $failed -eq 0 ] && echo "package ok: $(basename "$deb")"
exit $failed
