# The functions the program runs until its first window is painted, placed side by side in the
# release builds of voltrane-meter. The kernel maps a program's code in runs of 64 KB around each
# page it first needs; spread over the whole program, the few start-up functions map nearly all of
# its code (about 0.6 MB more resident memory at start). Together they map a few runs.
#
# The list is app/startup-functions.txt, one section name a line, made by bench/startup-order.sh.
# A function that is not in it (new since the list was made) is only placed among the rest. It
# needs each function in a section of its own (-ffunction-sections) and a linker that reads a
# section order (gold, in Debian's binutils); without gold the program is linked as before.
#
# Included once from the top-level CMakeLists.txt, before the rooms, so that the program's
# libraries are compiled with their functions in sections of their own.
set(VOLTRANE_STARTUP_ORDER OFF)
if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "GNU" OR VOLTRANE_FUZZ)
    return()
endif()
include(CheckLinkerFlag)
check_linker_flag(CXX "-fuse-ld=gold" VOLTRANE_HAS_GOLD)
if(NOT VOLTRANE_HAS_GOLD)
    message(STATUS "No gold linker: the start-up functions of voltrane-meter are not placed together")
    return()
endif()
set(VOLTRANE_STARTUP_ORDER ON)
add_compile_options("$<$<CONFIG:Release,RelWithDebInfo>:-ffunction-sections>")
