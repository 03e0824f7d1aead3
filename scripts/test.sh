#!/usr/bin/env bash
# Builds and runs every test of the suite:
#   1. native release build, unit, end-to-end and terminal tests
#   2. native build with AddressSanitizer and UBSan, same tests
#   3. Windows build (mingw-w64), same tests under Wine (the terminal tests
#      by the native pty_tests of step 1, driving the Windows programs)
#   4. the packages: the .deb and the Windows zip, built and checked
#      (scripts/package.sh)
#   5. libFuzzer targets, built with clang (fuzz preset), each run for a
#      short while
#   6. the benchmarks at a tiny size, so that they keep working
# Installs the Debian packages it needs when run as root.
#
# Every step runs even when an earlier one failed (a failed build skips only
# its own tests); the exit status is non-zero when anything failed. The
# summary at the end gives, per step, the cases run, passed and skipped (with
# the names and reasons of the skipped ones), the fuzz targets with their
# runs, the benchmarks run or skipped (and why), the packages, and the time
# each step took.
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
    dosfstools ntfs-3g rsync rhash pandoc dpkg-dev lintian man-db unzip file || exit 1

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
step_started=0
step_start() {
    step_started=$SECONDS
}
# How long the step took, as "3m05s".
step_time() {
    local seconds=$((SECONDS - step_started))
    printf '%dm%02ds' $((seconds / 60)) $((seconds % 60))
}

# attribute NAME FILE: the first value of NAME="..." in an XML report.
attribute() {
    grep -o -m1 "[[:space:]]$1=\"[0-9]*\"" "$2" | grep -o '[0-9]*'
}

# Cases of a native preset, from ctest's JUnit report (every case is a
# CTest test of its own).
count_ctest_cases() {
    local report=$1 tests failures skipped
    tests=$(attribute tests "$report")
    failures=$(attribute failures "$report")
    skipped=$(attribute skipped "$report")
    printf '  %d cases: %d passed, %d failed, %d skipped\n' \
        "$tests" $((tests - failures - skipped)) "$failures" "$skipped"
    # Skipped cases with GoogleTest's reason (the line after "Skipped").
    awk '/<testcase name=/ { match($0, /name="[^"]*"/); name = substr($0, RSTART + 6, RLENGTH - 7) }
         /status="notrun"|<skipped/ { skipped[name] = 1 }
         (name in skipped) && /Skipped$/ { getline reason; sub(/^[ \t]+/, "", reason); why[name] = reason }
         END { for (n in skipped) printf "    skipped %s: %s\n", n, why[n] }' "$report" | sort
}

# Cases of the Windows preset, from the GoogleTest XML report of each test
# program (one CTest test per program there).
count_gtest_cases() {
    local folder=$1 report tests failures errors skipped
    local total=0 failed=0 skips=0
    for report in "$folder"/*.xml; do
        [ -f "$report" ] || continue
        tests=$(attribute tests "$report")
        failures=$(attribute failures "$report")
        errors=$(attribute errors "$report")
        skipped=$(grep -c 'result="skipped"' "$report")
        total=$((total + tests))
        failed=$((failed + failures + errors))
        skips=$((skips + skipped))
    done
    if [ "$total" -eq 0 ]; then
        echo "  cases: no GoogleTest report found in $folder"
        return
    fi
    printf '  %d cases: %d passed, %d failed, %d skipped\n' \
        "$total" $((total - failed - skips)) "$failed" "$skips"
    awk '/<testcase / {
             match($0, /name="[^"]*"/); name = substr($0, RSTART + 6, RLENGTH - 7)
             match($0, /classname="[^"]*"/); suite = substr($0, RSTART + 11, RLENGTH - 12)
             skipped = /result="skipped"/
         }
         skipped && /<skipped message="/ {
             match($0, /message="[^"]*"/); reason = substr($0, RSTART + 9, RLENGTH - 10)
             sub(/.*&#x0A;/, "", reason); gsub(/&quot;/, "\"", reason); gsub(/&apos;/, "\047", reason)
             gsub(/&lt;/, "<", reason); gsub(/&gt;/, ">", reason); gsub(/&amp;/, "\\&", reason)
             printf "    skipped %s.%s: %s\n", suite, name, reason
             skipped = 0
         }' "$folder"/*.xml | sort
}

# configure, build and test one preset
run_preset() {
    local preset=$1 title=$2
    step_start
    section "$title: configure ($preset)"
    if ! cmake --preset "$preset" -DSUITE_TESTS=ON -DSUITE_WERROR=ON; then
        fail "$preset: configure"
        return
    fi
    section "$title: build ($preset)"
    if ! cmake --build --preset "$preset" --parallel "$jobs"; then
        fail "$preset: build"
        return
    fi
    section "$title: tests ($preset)"
    local log="build/$preset/ctest-summary.log" junit="$root/build/$preset/ctest-junit.xml"
    local gtest_reports="$root/build/$preset/gtest-reports"
    rm -rf "$gtest_reports" "$junit"
    # The Windows test programs write a GoogleTest XML report each (into
    # the folder by its Wine drive path: Z: is the root).
    [ "$preset" = windows ] && export GTEST_OUTPUT="xml:Z:$gtest_reports/"
    ctest --preset "$preset" --parallel "$jobs" --timeout 600 --no-tests=error \
        --output-junit "$junit" 2>&1 | tee "$log"
    local status=${PIPESTATUS[0]}
    unset GTEST_OUTPUT
    summaries+=("[$preset] $title ($(step_time))")
    if [ "$preset" = windows ]; then
        summaries+=("$(count_gtest_cases "$gtest_reports")")
    elif [ -f "$junit" ]; then
        summaries+=("$(count_ctest_cases "$junit")")
    fi
    summaries+=("  ctest: $(grep -E '% tests passed' "$log")")
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
        # The C locale gives the prefix the ANSI code page 1252 of a Western
        # Windows, which the tests of names beyond it expect.
        LC_ALL=C "$wine" wineboot --init </dev/null >/dev/null 2>&1
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

# ---------------------------------------------------------------- packages
section "Packages: the .deb and the Windows zip (scripts/package.sh)"
step_start
if ! bash scripts/package.sh; then
    fail "packages (see build/package-summary.txt)"
fi
summaries+=("[packages] ($(step_time))" "$(sed 's/^/  /' build/package-summary.txt 2>/dev/null)")
wine_stop

# ---------------------------------------------------------------- fuzzing
section "Fuzz targets: configure and build (fuzz preset, clang, build/fuzz)"
step_start
fuzz_built=0
if cmake --preset fuzz -DSUITE_WERROR=ON && cmake --build --preset fuzz --parallel "$jobs"; then
    fuzz_built=1
else
    fail "fuzz: build"
fi
fuzz_lines=()
if [ "$fuzz_built" -eq 1 ]; then
    for target in build/fuzz/fuzz/*_fuzz; do
        [ -x "$target" ] || continue
        name=$(basename "$target" _fuzz)
        section "Fuzz: $name for ${fuzz_time}s"
        corpus=build/fuzz/corpus/$name
        artifacts=build/fuzz/artifacts/$name
        log=build/fuzz/$name.log
        mkdir -p "$corpus" "$artifacts"
        dict=()
        [ -f "fuzz/$name.dict" ] && dict=(-dict="fuzz/$name.dict")
        seeds=()
        [ -d "fuzz/corpus/$name" ] && seeds=("fuzz/corpus/$name")
        "$target" -max_total_time="$fuzz_time" -print_final_stats=1 \
            -artifact_prefix="$artifacts/" "${dict[@]}" "$corpus" "${seeds[@]}" </dev/null 2>&1 | tee "$log"
        status=${PIPESTATUS[0]}
        runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$')
        if [ "$status" -eq 0 ]; then
            fuzz_lines+=("  $name: ${runs:-?} runs in ${fuzz_time}s, no failure")
        else
            fuzz_lines+=("  $name: FAILED after ${runs:-?} runs (reproducer in $artifacts/)")
            fail "fuzz: $name (reproducer in $artifacts/)"
        fi
    done
fi
summaries+=("[fuzz] ($(step_time))" "${fuzz_lines[@]}")

# ---------------------------------------------------------------- benchmarks
step_start
bench_lines=()
for bench in bench/*_bench.sh; do
    [ -f "$bench" ] || continue
    section "Benchmark smoke run: $bench ($bench_mib MiB, 1 run)"
    log=build/$(basename "$bench" .sh).log
    bash "$bench" "$bench_mib" 1 2>&1 | tee "$log"
    if [ "${PIPESTATUS[0]}" -eq 0 ]; then
        bench_lines+=("  $(basename "$bench"): ran")
    else
        bench_lines+=("  $(basename "$bench"): FAILED")
        fail "benchmark: $bench"
    fi
    # What a benchmark left out, and why (a peer tool that is missing).
    while IFS= read -r line; do
        bench_lines+=("    $line")
    done < <(grep -i 'skipped' "$log")
done
summaries+=("[benchmarks] smoke runs at $bench_mib MiB, 1 run ($(step_time))" "${bench_lines[@]}")

# ---------------------------------------------------------------- summary
section "Summary"
printf 'whole run: %dm%02ds\n' $((SECONDS / 60)) $((SECONDS % 60))
for line in "${summaries[@]}"; do
    printf '%s\n' "$line"
done
if [ ${#failures[@]} -ne 0 ]; then
    printf 'FAILED steps:\n'
    printf '  %s\n' "${failures[@]}"
    exit 1
fi
echo "All steps passed."
