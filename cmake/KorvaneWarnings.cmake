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
  target_link_libraries(${name} PRIVATE korvane_build_flags ${ARG_DEPS} GTest::gmock GTest::gtest_main)
  # Escaped so that every NAME=VALUE entry reaches the property, not only the first.
  string(REPLACE ";" "\\;" environment "${ARG_ENVIRONMENT}")
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES ENVIRONMENT "${environment}")
endfunction()
