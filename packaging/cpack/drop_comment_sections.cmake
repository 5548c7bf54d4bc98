# Run by cpack on the staged files: removes the .comment section (which
# compiler built the program) from every ELF file, as Debian's packaging
# tools do. The build ID and the debug information stay.
file(GLOB_RECURSE staged LIST_DIRECTORIES false "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*")
foreach(file IN LISTS staged)
  if(IS_SYMLINK "${file}")
    continue()
  endif()
  file(READ "${file}" magic LIMIT 4 HEX)
  if(magic STREQUAL "7f454c46")
    execute_process(COMMAND "${CPACK_KORVANE_OBJCOPY}" --remove-section=.comment "${file}"
      COMMAND_ERROR_IS_FATAL ANY)
  endif()
endforeach()
