#!/usr/bin/env bash
# Times holmic against the tools a user would otherwise pick, side by side:
#   - hex dump of a random file to /dev/null: holmic vs xxd
#   - raw extraction of the whole file (/T:out): holmic vs dd bs=32k
# and prints the medians and "holmic/<tool> ratio" lines. Goals on the
# reference machine (2 cores, xxd about 60 MB/s): hex dump at most 0.05 x the
# time of xxd, extraction within 1.2 x of dd. Ratios are reported, never
# asserted: the machine is noisy.
#
# Usage: bench/holmic_bench.sh [MiB] [runs]
#   MiB    size of the test file (default $HOLMIC_BENCH_MIB, else 256)
#   runs   timed runs of each command (default $HOLMIC_BENCH_RUNS, else 5)
# Environment: HOLMIC (program, default build/release/bin/holmic),
#              BENCH_TMPDIR (where the test file goes, default $TMPDIR or /tmp).
bench_program=holmic
bench_default_mib=256
bench_default_runs=5
bench_tools=(xxd dd cmp)
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
bench_setup "$@"

echo "holmic benchmark: $size_mib MiB random file, $runs run(s) per command, medians"
echo "  holmic: $program"
head -c "$size" /dev/urandom >input.bin

bench_inputs=(input.bin)

# Sanity checks first, untimed, so that a fast but wrong holmic does not pass
# unnoticed: every 16 bytes make one 80-character line, and the extraction
# is a byte-for-byte copy.
dump_bytes=$("$program" input.bin | wc -c)
if [ "$dump_bytes" -ne $((size / 16 * 80)) ]; then
    echo "holmic hex dump wrote $dump_bytes bytes, expected $((size / 16 * 80))" >&2
    exit 1
fi
"$program" input.bin /T:out.bin >/dev/null
if ! cmp -s input.bin out.bin; then
    echo "holmic /T:out.bin is not a copy of the input" >&2
    exit 1
fi

bench_compare "Hex dump to /dev/null" 0.05 \
    "'$program' input.bin >/dev/null" xxd "xxd input.bin >/dev/null"
bench_compare "Raw extraction to a file (/T:out.bin)" 1.2 \
    "'$program' input.bin /T:out.bin >/dev/null" dd "dd if=input.bin of=out.bin bs=32k status=none"
