# Optimized builds are hardened as Debian's hardening=+all builds a package:
# fortified libc calls, stack protectors, and relocations made read-only and
# resolved at start. They also carry debug information, which packaging moves
# into a separate -dbgsym package so the shipped programs stay stripped.
# _FORTIFY_SOURCE needs the optimizer, so Debug builds go without; sanitizer
# and fuzzing builds do too, since the sanitizers check those calls themselves.
if(KORVANE_SANITIZE OR KORVANE_BUILD_FUZZ)
  return()
endif()
set(korvane_optimized $<CONFIG:Release,RelWithDebInfo,MinSizeRel>)
add_compile_definitions($<${korvane_optimized}:_FORTIFY_SOURCE=2>)
add_compile_options($<${korvane_optimized}:-fstack-protector-strong>
                    $<${korvane_optimized}:-Werror=format-security>
                    $<$<CONFIG:Release>:-g>
                    # Debug information names files from the checkout, wherever it is.
                    $<${korvane_optimized}:-ffile-prefix-map=${PROJECT_SOURCE_DIR}=.>)
add_link_options($<${korvane_optimized}:LINKER:-z,relro,-z,now>)
