#!/usr/bin/env bash
# Times tolven against GNU sort, side by side, on a file of random printable
# lines without blanks, mixed case, about 95 bytes a line (LF ends):
#   - the named file sorted to a file: tolven vs LC_ALL=C sort -s -f (GNU
#     sort as users run it, with its default threads); outputs byte-identical
#   - the same file through a pipe (cat file | tolven) vs tolven on the file
#   - the peak anonymous memory of tolven (resident memory that is not file
#     cache, sampled from /proc), as a share of the input size
# and prints the medians and ratio lines. Goals on the reference machine
# (2 cores): at most 0.3 x the time of sort, at most 1.1 x the named-file
# time through a pipe, peak anonymous memory at most 0.2 x the input.
#
# Usage: bench/tolven_bench.sh [MiB] [runs]
#   MiB    input size (default $TOLVEN_BENCH_MIB, else 1024)
#   runs   timed runs of each command (default $TOLVEN_BENCH_RUNS, else 5)
# Environment: TOLVEN (program, default build/release/bin/tolven),
#              BENCH_TMPDIR (where the test files go, default $TMPDIR or /tmp).
bench_program=tolven
bench_default_mib=1024
bench_default_runs=5
bench_tools=(sort tr head cmp)
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
bench_setup "$@"

echo "tolven benchmark: $size_mib MiB of random lines, $runs run(s) per command, medians"
echo "  tolven: $program"
# Printable bytes other than blank, and LF: lines of about 94 bytes on
# average (one random byte in 95 ends a line), some of them empty.
head -c $((size * 3)) /dev/urandom | LC_ALL=C tr -dc '!-~\n' >raw.txt
head -c "$size" raw.txt >in.txt
rm raw.txt
echo "  lines: $(wc -l <in.txt)"

# Sanity check first, untimed: the same bytes as GNU sort.
"$program" in.txt >out.bin
LC_ALL=C sort -s -f in.txt >expected.bin
cmp -s out.bin expected.bin || { echo "tolven output differs from LC_ALL=C sort -s -f" >&2; exit 1; }
rm -f expected.bin

bench_inputs=(in.txt)
bench_compare "Named file sorted to a file" 0.3 \
    "'$program' in.txt >out.bin" "sort" "LC_ALL=C sort -s -f in.txt >out.bin"
bench_compare "Through a pipe, against the named file" 1.1 \
    "cat in.txt | '$program' >out.bin" "file" "'$program' in.txt >out.bin"

# Peak of RssAnon while tolven sorts the file, sampled every 10 ms.
cat in.txt >/dev/null
"$program" in.txt >out.bin &
pid=$!
peak=0
while [ -r /proc/$pid/status ]; do
    while read -r key value _; do
        if [ "$key" = RssAnon: ] && [ "$value" -gt "$peak" ]; then peak=$value; fi
    done </proc/$pid/status 2>/dev/null || true
    sleep 0.01
done
wait "$pid"
echo
echo "Peak anonymous memory"
awk -v kib="$peak" -v bytes="$size" 'BEGIN {
    printf "  tolven %10.1f MiB   input %.1f MiB\n", kib / 1024, bytes / 1048576
    printf "tolven/input memory ratio: %.3f (goal: at most 0.2)\n", kib * 1024 / bytes }'
