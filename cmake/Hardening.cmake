# Hardening of the release builds (Release, RelWithDebInfo), as Debian builds its own packages:
# buffer overflows in the C library's string and memory functions are caught where the compiler
# can see the size (_FORTIFY_SOURCE=2, which needs optimisation), functions with arrays on the
# stack check a canary before they return (-fstack-protector-strong), and the dynamic linker
# resolves every symbol at start and then makes the relocated data read-only (-z relro -z now).
#
# Included once from the top-level CMakeLists.txt, before the rooms, so that every library and
# program is built with these flags. Debug builds (the sanitizer build of scripts/test) get none.
# The fuzz build gets none either: AddressSanitizer checks memcpy and the like itself, and the
# fortified versions would go around its checks.
if(NOT CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang" OR VOLTRANE_FUZZ)
    return()
endif()

set(_voltrane_release_config "$<CONFIG:Release,RelWithDebInfo>")
add_compile_options("$<${_voltrane_release_config}:-fstack-protector-strong>")
add_compile_definitions("$<${_voltrane_release_config}:_FORTIFY_SOURCE=2>")
add_link_options("$<${_voltrane_release_config}:LINKER:-z,relro,-z,now>")
