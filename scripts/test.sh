#!/usr/bin/env bash
# Builds and runs every test of the suite:
#   1. native release build, unit and end-to-end tests
#   2. native build with AddressSanitizer and UBSan, same tests
#   3. Windows build (mingw-w64), same tests under Wine
#   4. libFuzzer targets, built with clang, each run for a short while
#   5. the benchmarks at a tiny size, so that they keep working
# Installs the Debian packages it needs when run as root.
#
# Every step runs even when an earlier one failed (a failed build skips only
# its own tests); the exit status is non-zero when anything failed.
#
# Environment:
#   SUITE_JOBS        parallel build and test jobs (default 2)
#   SUITE_FUZZ_TIME   seconds per fuzz target (default 30)
#   SUITE_BENCH_MIB   benchmark size in MiB (default 4, one run)
#   WINEPREFIX        Wine prefix for the Windows tests (default build/wineprefix)
set -uo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
. scripts/packages.sh

section() {
    printf '\n==================== %s ====================\n' "$*"
}

ensure_packages cmake ninja-build g++ libgtest-dev libgmock-dev \
    clang libclang-rt-dev g++-mingw-w64-x86-64-posix wine64 xxd \
    dosfstools ntfs-3g rsync || exit 1

jobs=${SUITE_JOBS:-2}
fuzz_time=${SUITE_FUZZ_TIME:-30}
bench_mib=${SUITE_BENCH_MIB:-4}

# Sanitizer reports end the process with a failure, whichever test hits one.
export ASAN_OPTIONS=halt_on_error=1:abort_on_error=1:detect_leaks=1:detect_stack_use_after_return=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1

failures=()
summaries=()
fail() {
    failures+=("$1")
    echo "FAILED: $1"
}

# configure, build and test one preset
run_preset() {
    local preset=$1 title=$2
    section "$title: configure ($preset)"
    if ! cmake --preset "$preset" -DSUITE_TESTS=ON; then
        fail "$preset: configure"
        return
    fi
    section "$title: build ($preset)"
    if ! cmake --build --preset "$preset" --parallel "$jobs"; then
        fail "$preset: build"
        return
    fi
    section "$title: tests ($preset)"
    local log="build/$preset/ctest-summary.log"
    ctest --preset "$preset" --parallel "$jobs" --timeout 600 --no-tests=error 2>&1 | tee "$log"
    local status=${PIPESTATUS[0]}
    # Keep ctest's own summary for the end of the run.
    summaries+=("[$preset]" "$(grep -E '% tests passed|^Total Test time' "$log")")
    if [ "$status" -ne 0 ]; then
        fail "$preset: tests"
        summaries+=("$(sed -n '/The following tests FAILED/,$p' "$log" | grep -v '^Errors while running')")
    fi
}

# Wine: a prefix of its own (so that wineserver -k below stops only this
# run's server), created once, and a persistent server while the Windows
# tests run, so that each test process does not start a server (and Wine's
# services) of its own.
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver64)
[ -x /usr/lib/wine/wineserver64 ] && wineserver=/usr/lib/wine/wineserver64
wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine=$(command -v wine64 || command -v wine || echo wine)
export WINEPREFIX=${WINEPREFIX:-$root/build/wineprefix}
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="   # no Mono or Gecko install prompts
wine_started=0
wine_start() {
    section "Wine: prefix $WINEPREFIX"
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        mkdir -p "$WINEPREFIX"
        echo "creating the Wine prefix (once)"
        "$wine" wineboot --init </dev/null >/dev/null 2>&1
        "$wineserver" -w
    fi
    "$wineserver" -p && wine_started=1
    # Start Wine's own services (services.exe, winedevice.exe, ...) now, with
    # no pipe attached: started by the first test instead, they would inherit
    # its output pipe and, kept alive by the persistent server, ctest would
    # wait for that pipe to close until the test times out.
    "$wine" cmd /c exit </dev/null >/dev/null 2>&1
    return 0
}
wine_stop() {
    if [ "$wine_started" -eq 1 ]; then
        "$wineserver" -k 2>/dev/null
        wine_started=0
    fi
}
trap wine_stop EXIT

# ---------------------------------------------------------------- presets
run_preset release "Native release"
run_preset asan "Native, AddressSanitizer + UBSan"
wine_start
run_preset windows "Windows (mingw-w64) under Wine"
wine_stop

# ---------------------------------------------------------------- fuzzing
section "Fuzz targets: configure and build (clang, build/fuzz)"
fuzz_built=0
if cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_CXX_COMPILER=clang++ -DSUITE_FUZZ=ON -DSUITE_TESTS=OFF &&
        cmake --build build/fuzz --parallel "$jobs"; then
    fuzz_built=1
else
    fail "fuzz: build"
fi
if [ "$fuzz_built" -eq 1 ]; then
    for target in build/fuzz/fuzz/*_fuzz; do
        [ -x "$target" ] || continue
        name=$(basename "$target" _fuzz)
        section "Fuzz: $name for ${fuzz_time}s"
        corpus=build/fuzz/corpus/$name
        artifacts=build/fuzz/artifacts/$name
        mkdir -p "$corpus" "$artifacts"
        dict=()
        [ -f "fuzz/$name.dict" ] && dict=(-dict="fuzz/$name.dict")
        seeds=()
        [ -d "fuzz/corpus/$name" ] && seeds=("fuzz/corpus/$name")
        if "$target" -max_total_time="$fuzz_time" -print_final_stats=1 \
                -artifact_prefix="$artifacts/" "${dict[@]}" "$corpus" "${seeds[@]}" </dev/null; then
            summaries+=("[fuzz] $name: no failure in ${fuzz_time}s")
        else
            fail "fuzz: $name (reproducer in $artifacts/)"
        fi
    done
fi

# ---------------------------------------------------------------- benchmarks
for bench in bench/*_bench.sh; do
    [ -f "$bench" ] || continue
    section "Benchmark smoke run: $bench ($bench_mib MiB, 1 run)"
    if ! bash "$bench" "$bench_mib" 1; then
        fail "benchmark: $bench"
    fi
done

# ---------------------------------------------------------------- summary
section "Summary"
for line in "${summaries[@]}"; do
    printf '%s\n' "$line"
done
if [ ${#failures[@]} -ne 0 ]; then
    printf 'FAILED steps:\n'
    printf '  %s\n' "${failures[@]}"
    exit 1
fi
echo "All steps passed."
