#!/bin/sh
# Runs a Windows program under Wine: the CMAKE_CROSSCOMPILING_EMULATOR of the
# Windows build (CTest, gtest_discover_tests), also handy by hand:
#     cmake/wine-run.sh build/windows/bin/holmic.exe /?
#
# Why not plain wine64: the first Wine process of a session starts the
# wineserver and Wine's system services (services.exe, winedevice.exe, ...),
# and they inherit that process's standard error. Under CTest or Ninja that
# is an output pipe, and the test only ends when the pipe closes: about 2.5 s
# after the program, when the services have shut down (and the next test
# starts them again). So the server is started here, detached from our
# streams and kept for SUITE_WINE_PERSIST seconds (default 300) after the
# last Wine process, and the services are booted with no streams attached.
# A program then starts in tens of milliseconds. (A server started elsewhere
# with `wineserver -p` alone is not enough: the first test would boot the
# services, and wait on them until its timeout.)
#
# Environment: SUITE_WINE (the wine loader), SUITE_WINE_PERSIST, WINEPREFIX
# (default ~/.wine, created on first use), WINEDEBUG (default -all: no Wine
# diagnostics in the output the tests compare).
wine=${SUITE_WINE:-/usr/lib/wine/wine64}
if [ ! -x "$wine" ]; then
    wine=$(command -v wine64 || command -v wine) || { echo "wine-run.sh: no wine found" >&2; exit 127; }
fi
server=$(dirname "$wine")/wineserver
[ -x "$server" ] || server=$(command -v wineserver) || server=
persist=${SUITE_WINE_PERSIST:-300}
export WINEDEBUG="${WINEDEBUG--all}"

# The server forks into the background (status 0), or finds one running for
# this prefix (status 2), perhaps started by another script with no services
# booted yet. Either way a Wine process with no streams of ours then boots the
# services if they are not up (a no-op program otherwise: tens of ms).
start_server() {
    if [ ! -d "$prefix" ]; then
        # A new prefix: Wine creates it (tens of seconds) with a server of
        # its own; wait for that one to end, then start ours. (No Mono or
        # Gecko installers.)
        WINEDLLOVERRIDES="mscoree,mshtml=" "$wine" cmd.exe /c exit </dev/null >/dev/null 2>&1 9>&-
        "$server" -w </dev/null >/dev/null 2>&1 9>&-
    fi
    "$server" -p"$persist" </dev/null >/dev/null 2>&1 9>&-
    "$wine" cmd.exe /c exit </dev/null >/dev/null 2>&1 9>&-
}

if [ -n "$server" ]; then
    prefix=${WINEPREFIX:-$HOME/.wine}
    if command -v flock >/dev/null 2>&1; then
        # Parallel tests (ctest -j): one starts the server, the others wait
        # until its services are up.
        lock="${TMPDIR:-/tmp}/suite-wine-$(id -u).lock"
        (flock 9 && start_server) 9>"$lock"
    else
        start_server
    fi
fi
exec "$wine" "$@"
