# What the Debian package and the RPM share beyond the settings above, and
# the RPM's own: `cpack -G RPM` (rpmbuild) makes it with the same files.

# The compiler's identification (.comment) is of no use in a shipped program;
# this runs on the staged files before either package is made.
set(CPACK_KORVANE_OBJCOPY ${CMAKE_OBJCOPY})
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_SOURCE_DIR}/cpack/drop_comment_sections.cmake)
set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_CURRENT_SOURCE_DIR}/cpack/mend_dbgsym.cmake)
# Settings that differ by package kind, read when cpack runs.
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_SOURCE_DIR}/cpack/per_generator.cmake)

# Fedora, openSUSE and their relatives. The dependencies are named as both
# families name them (polkit; pkexec as the file it installs); rpmbuild adds
# the shared libraries the programs link.
set(CPACK_RPM_FILE_NAME RPM-DEFAULT)
set(CPACK_RPM_PACKAGE_RELEASE 1)
set(CPACK_RPM_PACKAGE_LICENSE GPL-3.0-or-later)
set(CPACK_RPM_PACKAGE_GROUP "Applications/System")
set(CPACK_RPM_PACKAGE_REQUIRES "polkit, /usr/bin/pkexec")
set(CPACK_RPM_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
# Its scriptlets name the install script by its path.
set(CPACK_PACKAGE_RELOCATABLE OFF)
# The package owns only its own folders, not the distribution's.
set(share ${CMAKE_INSTALL_PREFIX}/share)
set(CPACK_RPM_EXCLUDE_FROM_AUTO_FILELIST_ADDITION
  ${CMAKE_INSTALL_PREFIX} ${CMAKE_INSTALL_PREFIX}/bin ${CMAKE_INSTALL_PREFIX}/lib ${CMAKE_INSTALL_PREFIX}/libexec
  ${share} ${share}/doc ${share}/applications ${share}/metainfo ${share}/polkit-1 ${share}/polkit-1/actions
  ${share}/bash-completion ${share}/bash-completion/completions ${share}/man ${share}/man/man1 ${share}/man/man8
  ${share}/icons ${share}/icons/hicolor ${share}/gnome-shell ${share}/gnome-shell/extensions)
foreach(size scalable symbolic 16x16 22x22 24x24 32x32 48x48 64x64 128x128 256x256)
  list(APPEND CPACK_RPM_EXCLUDE_FROM_AUTO_FILELIST_ADDITION ${share}/icons/hicolor/${size} ${share}/icons/hicolor/${size}/apps)
endforeach()
# rpmbuild would add /usr/lib/.build-id links to the programs, which only a
# debuginfo package makes use of; without one the files stay the Debian
# package's.
set(CPACK_RPM_SPEC_MORE_DEFINE "%define _build_id_links none")
# RPM scriptlets get the number of versions left installed: 0 when the
# package goes, 1 when an upgrade replaces it.
configure_file(rpm/preun.in ${CMAKE_CURRENT_BINARY_DIR}/rpm/preun @ONLY)
set(CPACK_RPM_POST_INSTALL_SCRIPT_FILE ${CMAKE_CURRENT_SOURCE_DIR}/rpm/post)
set(CPACK_RPM_PRE_UNINSTALL_SCRIPT_FILE ${CMAKE_CURRENT_BINARY_DIR}/rpm/preun)
set(CPACK_RPM_POST_UNINSTALL_SCRIPT_FILE ${CMAKE_CURRENT_SOURCE_DIR}/rpm/postun)
