#!/usr/bin/env bash
# Times mirelk against GNU grep, side by side, on a random file that holds a
# few occurrences of an 8-byte pattern:
#   - find only:        mirelk FILE /F:'PATTERN'    vs  LC_ALL=C grep -obUaF PATTERN FILE
#   - in-place replace: mirelk FILE /F:... /R:...   vs  the same grep
# and prints the medians and "mirelk/grep ratio" lines. Goals on the
# reference machine (2 cores): find at most 0.5 x the time of grep, in-place
# replace in a similar time (at most 1.2 x). Both write their reports to a
# file: GNU grep stops at the first match when its output is /dev/null.
#
# Usage: bench/mirelk_bench.sh [MiB] [runs]
#   MiB    size of the test file (default $MIRELK_BENCH_MIB, else 1024)
#   runs   timed runs of each command (default $MIRELK_BENCH_RUNS, else 5)
# Environment: MIRELK (program, default build/release/bin/mirelk),
#              BENCH_TMPDIR (where the test file goes, default $TMPDIR or /tmp).
bench_program=mirelk
bench_default_mib=1024
bench_default_runs=5
bench_tools=(grep dd)
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
bench_setup "$@"

pattern='MIRELK!?'
echo "mirelk benchmark: $size_mib MiB random file, 4 occurrences of $pattern, $runs run(s) per command, medians"
echo "  mirelk: $program"
head -c "$size" /dev/urandom >input.bin
# Random data holds the pattern by chance about once in 2^64 positions.
offsets=($((size / 7)) $((size * 3 / 7)) $((size * 5 / 7)) $((size - 8)))
for offset in "${offsets[@]}"; do
    printf '%s' "$pattern" | dd of=input.bin bs=1 seek="$offset" conv=notrunc status=none
done
bench_inputs=(input.bin)

# Sanity checks first, untimed, so that a fast but wrong mirelk does not pass
# unnoticed: both tools report the occurrences, and a replace in place
# changes exactly them (undone afterwards).
expected=$(printf '%s\n' "${offsets[@]}")
found=$("$program" input.bin "/F:'$pattern'" | while read -r _ _ hex _; do echo $((16#$hex)); done)
grepped=$(grep -obUaF "$pattern" input.bin | cut -d: -f1)
if [ "$found" != "$expected" ] || [ "$grepped" != "$expected" ]; then
    printf 'occurrences differ: expected %s; mirelk %s; grep %s\n' "$expected" "$found" "$grepped" >&2
    exit 1
fi
"$program" input.bin "/F:'$pattern'" "/R:'mirelk!?'" >/dev/null
grepped=$(grep -obUaF 'mirelk!?' input.bin | cut -d: -f1)
if [ "$grepped" != "$expected" ] || grep -qaF "$pattern" input.bin; then
    echo "mirelk did not replace exactly the occurrences in place" >&2
    exit 1
fi
"$program" input.bin "/F:'mirelk!?'" "/R:'$pattern'" >/dev/null

bench_compare "Find only, 4 occurrences, reports to a file" 0.5 \
    "'$program' input.bin \"/F:'$pattern'\" >out.bin" grep "grep -obUaF '$pattern' input.bin >out.bin"
# Each run writes the occurrences over themselves, so that every run does
# the same work.
bench_compare "Replace in place, 4 occurrences, against grep's find" 1.2 \
    "'$program' input.bin \"/F:'$pattern'\" \"/R:'$pattern'\" >out.bin" grep "grep -obUaF '$pattern' input.bin >out.bin"
