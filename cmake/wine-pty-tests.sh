#!/bin/sh
# Runs the native terminal tests against the Windows programs under Wine:
# the CTest test pty_tests of the Windows build, also handy by hand:
#     cmake/wine-pty-tests.sh build/release/tests/pty_tests build/windows
# pty_tests starts each program through cmake/wine-run.sh in its
# pseudo-terminal; Wine gives the program a console of that terminal.
#
# A GoogleTest report asked for in the Windows test programs' form
# (GTEST_OUTPUT=xml:Z:/folder/, a Wine drive path) goes to that folder.
tests=$1
build=$2
case ${GTEST_OUTPUT-} in
xml:Z:*)
    GTEST_OUTPUT=xml:${GTEST_OUTPUT#xml:Z:}
    export GTEST_OUTPUT
    ;;
esac
SUITE_PTY_BUILD=$(cd "$build" && pwd) || exit 1
SUITE_PTY_RUNNER=$(cd "$(dirname "$0")" && pwd)/wine-run.sh
export SUITE_PTY_BUILD SUITE_PTY_RUNNER
exec "$tests"
