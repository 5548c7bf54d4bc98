# Warnings and sanitizers for every target of the project, applied through one
# interface library so that each target opts in with a single link.
add_library(korvane_build_flags INTERFACE)
target_compile_options(korvane_build_flags INTERFACE -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor)
if(KORVANE_WERROR)
  target_compile_options(korvane_build_flags INTERFACE -Werror)
endif()
if(KORVANE_SANITIZE)
  target_compile_options(korvane_build_flags INTERFACE -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_link_options(korvane_build_flags INTERFACE -fsanitize=address,undefined)
endif()

# korvane_library(name SOURCES ... DEPS ...): a static library whose headers are
# included by their path from the repository root ("shared/log/log.h").
function(korvane_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC korvane_build_flags ${ARG_DEPS})
endfunction()

# korvane_test(name SOURCES ... DEPS ...): one GoogleTest executable, registered
# with CTest test by test.
function(korvane_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS;ENVIRONMENT" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PRIVATE korvane_build_flags korvane_testing ${ARG_DEPS} GTest::gmock GTest::gtest_main)
  # Escaped so that every NAME=VALUE entry reaches the property, not only the first.
  string(REPLACE ";" "\\;" environment "${ARG_ENVIRONMENT}")
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES ENVIRONMENT "${environment}")
endfunction()

# korvane_forbid_includes(PREFIXES ... [RECURSE] EXCEPT ... ALLOW ...): the
# layering rule of a folder made a build failure. Every source and header of
# the calling folder (and its subfolders with RECURSE), but the files named
# after EXCEPT (a program's main and its wiring, relative to the folder), must
# include nothing whose path starts with one of PREFIXES: "platform/" for
# code that links no platform library, "Q" for code that links no Qt. The
# headers named after ALLOW (paths from the repository root) are let through.
# Configuring stops at the first that does.
function(korvane_forbid_includes)
  cmake_parse_arguments(ARG "RECURSE" "" "PREFIXES;EXCEPT;ALLOW" ${ARGN})
  set(glob GLOB)
  if(ARG_RECURSE)
    set(glob GLOB_RECURSE)
  endif()
  file(${glob} files RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  foreach(file ${files})
    if(file IN_LIST ARG_EXCEPT)
      continue()
    endif()
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${file})
    file(STRINGS ${CMAKE_CURRENT_SOURCE_DIR}/${file} includes REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<]")
    foreach(line ${includes})
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*[\"<]([^\">]*)[\">].*" "\\1" included "${line}")
      if(included IN_LIST ARG_ALLOW)
        continue()
      endif()
      foreach(prefix ${ARG_PREFIXES})
        if(line MATCHES "[\"<]${prefix}")
          message(FATAL_ERROR "${CMAKE_CURRENT_SOURCE_DIR}/${file}: ${line}: this layer may not include "
                              "\"${prefix}...\"; only a program's main wires platform adapters in, "
                              "and managers link no Qt")
        endif()
      endforeach()
    endforeach()
  endforeach()
endfunction()

# korvane_forbid_links(target PREFIXES ...): the same rule for what a program
# links. No library in the target's whole link closure may be defined in a
# folder whose path starts with one of PREFIXES ("app/" for the root helper).
# Call it once every target exists.
function(korvane_forbid_links target)
  cmake_parse_arguments(ARG "" "" "PREFIXES" ${ARGN})
  set(pending ${target})
  set(seen "")
  while(pending)
    list(POP_FRONT pending current)
    string(REGEX REPLACE "^\\$<LINK_ONLY:(.*)>$" "\\1" current "${current}")
    if(current IN_LIST seen OR NOT TARGET "${current}")
      continue()
    endif()
    list(APPEND seen ${current})
    get_target_property(imported ${current} IMPORTED)
    if(imported)
      continue()
    endif()
    get_target_property(dir ${current} SOURCE_DIR)
    file(RELATIVE_PATH folder ${PROJECT_SOURCE_DIR} ${dir})
    foreach(prefix ${ARG_PREFIXES})
      if("${folder}/" MATCHES "^${prefix}")
        message(FATAL_ERROR "${target} links ${current}, defined in ${folder}/; it may link nothing of ${prefix}")
      endif()
    endforeach()
    foreach(property LINK_LIBRARIES INTERFACE_LINK_LIBRARIES)
      get_target_property(libraries ${current} ${property})
      if(libraries)
        list(APPEND pending ${libraries})
      endif()
    endforeach()
  endwhile()
endfunction()
