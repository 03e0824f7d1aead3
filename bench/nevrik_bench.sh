#!/usr/bin/env bash
# Times nevrik against cmp, side by side:
#   - two identical files in the page cache: nevrik vs cmp
#   - two files that differ in every byte, the list written to a file:
#     nevrik vs cmp -l (to /dev/null GNU cmp stops at the first difference,
#     so the list goes to a file for both)
# and prints the medians and "nevrik/cmp ratio" lines. Goals on the
# reference machine (2 cores): at most 1.0 x the time of cmp in both.
#
# Usage: bench/nevrik_bench.sh [MiB] [runs]
#   MiB    size of the identical files (default $NEVRIK_BENCH_MIB, else 1024);
#          the differing files are a sixteenth of it (64 MiB by default)
#   runs   timed runs of each command (default $NEVRIK_BENCH_RUNS, else 5)
# Environment: NEVRIK (program, default build/release/bin/nevrik),
#              BENCH_TMPDIR (where the test files go, default $TMPDIR or /tmp).
bench_program=nevrik
bench_default_mib=1024
bench_default_runs=5
bench_tools=(cmp)
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
bench_setup "$@"

differ_size=$(( (size / 16 + 1023) / 1024 * 1024 ))
differ_mib=$(awk -v b="$differ_size" 'BEGIN { printf "%.2f", b / 1048576 }')
echo "nevrik benchmark: $size_mib MiB identical files, $differ_mib MiB differing files, $runs run(s) per command, medians"
echo "  nevrik: $program"
head -c "$size" /dev/urandom >a.bin
cp a.bin b.bin
head -c "$differ_size" /dev/zero >zero.bin
head -c "$differ_size" /dev/zero | tr '\0' '\377' >ones.bin

# Sanity checks first, untimed: the verdicts, and one line per differing byte.
"$program" a.bin b.bin >/dev/null && status=0 || status=$?
[ "$status" -eq 0 ] || { echo "nevrik found identical files to differ (exit $status)" >&2; exit 1; }
"$program" zero.bin ones.bin >out.bin || [ $? -eq 12 ]
lines=$(wc -l <out.bin)
[ "$lines" -eq "$differ_size" ] || { echo "nevrik listed $lines differences, expected $differ_size" >&2; exit 1; }

bench_inputs=(a.bin b.bin)
bench_compare "Identical files" 1.0 \
    "'$program' a.bin b.bin >/dev/null" cmp "cmp a.bin b.bin >/dev/null"
bench_inputs=(zero.bin ones.bin)
bench_compare "Every byte differs, the list written to a file" 1.0 \
    "'$program' zero.bin ones.bin >out.bin || [ \$? -eq 12 ]" "cmp -l" "cmp -l zero.bin ones.bin >out.bin || [ \$? -eq 1 ]" "$differ_mib"
