# Cross build for the Windows console (x86-64) with Debian's mingw-w64
# (posix thread model), tests run under Wine.
#
#   cmake --preset windows            (or: -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake)
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(SUITE_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER /usr/bin/${SUITE_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER /usr/bin/${SUITE_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER /usr/bin/${SUITE_MINGW_PREFIX}-windres)
# Strips the programs at install and in the zip.
set(CMAKE_STRIP /usr/bin/${SUITE_MINGW_PREFIX}-strip)

set(CMAKE_FIND_ROOT_PATH /usr/${SUITE_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Test programs (add_test with a target as command, gtest_discover_tests) run
# under Wine through cmake/wine-run.sh, which keeps a wineserver running
# detached from the test's output pipes (see the script for why) and sets
# WINEDEBUG=-all so that Wine's own diagnostics stay out of the output the
# tests compare. WINEPREFIX is left to the caller (default ~/.wine).
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh)
