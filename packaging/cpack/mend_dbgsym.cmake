# Run by cpack after it made the packages. CMake 3.25 writes the -dbgsym
# package's md5sums with the staging folder's absolute paths, and leaves it
# without the documentation folder a Debian package must have; this mends
# both the way Debian's own -dbgsym packages are made: relative paths, the
# documentation folder a link to the main package's (which it depends on),
# and the debug files not executable.
foreach(package IN LISTS CPACK_PACKAGE_FILES)
  if(NOT package MATCHES "-dbgsym_.*\\.ddeb$")
    continue()
  endif()
  set(tree "${package}.tree")
  file(REMOVE_RECURSE "${tree}")
  execute_process(COMMAND dpkg-deb -R "${package}" "${tree}" COMMAND_ERROR_IS_FATAL ANY)

  file(GLOB_RECURSE debug_files LIST_DIRECTORIES false RELATIVE "${tree}" "${tree}/usr/*")
  list(SORT debug_files)
  set(sums "")
  foreach(file IN LISTS debug_files)
    file(CHMOD "${tree}/${file}" FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
    file(MD5 "${tree}/${file}" sum)
    string(APPEND sums "${sum}  ${file}\n")
  endforeach()
  file(WRITE "${tree}/DEBIAN/md5sums" "${sums}")

  get_filename_component(name "${package}" NAME)
  string(REGEX REPLACE "-dbgsym_.*" "" main_package "${name}")
  file(MAKE_DIRECTORY "${tree}/usr/share/doc")
  file(CREATE_LINK "${main_package}" "${tree}/usr/share/doc/${main_package}-dbgsym" SYMBOLIC)

  execute_process(COMMAND dpkg-deb --root-owner-group -Zgzip -b "${tree}" "${package}"
    OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
  file(REMOVE_RECURSE "${tree}")
endforeach()
