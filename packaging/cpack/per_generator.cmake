# Read by cpack for each kind of package it makes.
if(CPACK_GENERATOR STREQUAL "RPM")
  # The Debian package strips the programs into its -dbgsym package; the RPM
  # ships them stripped, without a debuginfo package.
  set(CPACK_STRIP_FILES ON)
endif()
