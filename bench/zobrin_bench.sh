#!/usr/bin/env bash
# Times zobrin against the tools a user would otherwise pick, side by side,
# on a disk image (an empty boot sector, then random sectors):
#   - raw dump of the whole image to a file (/T:out.bin): zobrin vs dd bs=32k
#   - hex dump of the first half of the image to /dev/null: zobrin vs xxd
# and prints the medians and "zobrin/<tool> ratio" lines. Goals: the raw
# dump within 1.1 x of dd, the hex dump at most 0.2 x the time of xxd (the
# hex line is the one holmic uses).
#
# Usage: bench/zobrin_bench.sh [MiB] [runs]
#   MiB    size of the image (default $ZOBRIN_BENCH_MIB, else 512); the hex
#          dump covers half of it
#   runs   timed runs of each command (default $ZOBRIN_BENCH_RUNS, else 5)
# Environment: ZOBRIN (program, default build/release/bin/zobrin),
#              BENCH_TMPDIR (where the image goes, default $TMPDIR or /tmp).
bench_program=zobrin
bench_default_mib=512
bench_default_runs=5
bench_tools=(xxd dd cmp)
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
bench_setup "$@"

sectors=$((size / 512))
hex_sectors=$((sectors / 2))
hex_mib=$(awk -v s="$hex_sectors" 'BEGIN { printf "%g", s * 512 / 1048576 }')
echo "zobrin benchmark: $size_mib MiB image, $runs run(s) per command, medians"
echo "  zobrin: $program"
{
    head -c 512 /dev/zero
    head -c $((size - 512)) /dev/urandom
} >disk.img
bench_inputs=(disk.img)

# Sanity checks first, untimed: the raw dump is a byte-for-byte copy, and
# the hex dump writes one 80-character line per 16 bytes after the report
# (a zero boot sector: the five lines of the unknown file system).
"$program" ./disk.img /C:$sectors /T:out.bin >/dev/null
if ! cmp -s disk.img out.bin; then
    echo "zobrin /T:out.bin is not a copy of the image" >&2
    exit 1
fi
report_bytes=$("$program" ./disk.img | wc -c)
dump_bytes=$("$program" ./disk.img /C:$hex_sectors | wc -c)
if [ "$dump_bytes" -ne $((report_bytes + hex_sectors * 512 / 16 * 80)) ]; then
    echo "zobrin hex dump wrote $dump_bytes bytes, expected $((report_bytes + hex_sectors * 512 / 16 * 80))" >&2
    exit 1
fi

bench_compare "Raw dump to a file (/T:out.bin)" 1.1 \
    "'$program' ./disk.img /C:$sectors /T:out.bin >/dev/null" dd \
    "dd if=disk.img of=out.bin bs=32k count=$((size / 32768)) status=none"
bench_compare "Hex dump to /dev/null" 0.2 \
    "'$program' ./disk.img /C:$hex_sectors >/dev/null" xxd "xxd -l $((hex_sectors * 512)) disk.img >/dev/null" \
    "$hex_mib"
