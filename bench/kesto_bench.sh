#!/usr/bin/env bash
# Times kesto against the tools a user would otherwise pick, side by side:
#   - listing a tree (20,000 files in 200 directories at the default size):
#     kesto vs find -printf with the same fields (mode, size, time, path);
#   - CRC-32 of files in the page cache: kesto /FD vs cat to /dev/null (the
#     read alone) and vs rhash --crc32 (skipped when rhash is missing);
#   - CRC-16 vs CRC-32: kesto /F vs kesto /FD.
# Prints medians and ratio lines. Goals on the reference machine (2 cores):
# listing at most 1.5 x find; /FD at most 1.1 x cat and below 1.0 x rhash;
# /F at most 1.5 x /FD.
#
# Usage: bench/kesto_bench.sh [MiB] [runs]
#   MiB    data the CRC runs read (default $KESTO_BENCH_MIB, else 1024), in
#          16 files; the tree has 20,000 files per GiB of it (at least 200)
#   runs   timed runs of each command (default $KESTO_BENCH_RUNS, else 5)
# Environment: KESTO (program, default build/release/bin/kesto),
#              BENCH_TMPDIR (where the files go, default $TMPDIR or /tmp).
bench_program=kesto
bench_default_mib=1024
bench_default_runs=5
bench_tools=(find cat)
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
bench_setup "$@"

tree_files=$((20000 * size_mib / 1024))
[ "$tree_files" -ge 200 ] || tree_files=200
tree_dirs=$((tree_files / 100))
echo "kesto benchmark: tree of $tree_files files in $tree_dirs directories, $size_mib MiB in 16 files, $runs run(s) per command, medians"
echo "  kesto: $program"

mkdir tree data
for ((d = 0; d < tree_dirs; d++)); do
    mkdir "tree/dir$d"
    (cd "tree/dir$d" && for ((f = 0; f < 100; f++)); do printf '%d' "$f" >"file$f.txt"; done)
done
chunk=$((size / 16))
for ((i = 0; i < 16; i++)); do head -c "$chunk" /dev/urandom >"data/part$i.bin"; done

# Sanity checks first, untimed: every entry listed, every file read.
lines=$("$program" tree | wc -l) || true
[ "$lines" -eq $((tree_files + tree_dirs + 1)) ] || { echo "kesto listed $lines lines" >&2; exit 1; }
"$program" /FD data/ >out.bin || [ $? -eq 16 ]
[ "$(wc -l <out.bin)" -eq 16 ] || { echo "kesto /FD listed $(wc -l <out.bin) files" >&2; exit 1; }

bench_compare "Listing a tree of $tree_files files" 1.5 \
    "'$program' tree >out.bin || true" find \
    "find tree -printf '%M %s %TY-%Tm-%Td %TH:%TM:%TS %p\n' >out.bin" 0

bench_inputs=(data/*)
bench_compare "CRC-32 of $size_mib MiB in the page cache" 1.1 \
    "'$program' /FD data/ >out.bin || true" cat "cat data/* >/dev/null"
if command -v rhash >/dev/null; then
    bench_compare "CRC-32 against rhash" 1.0 \
        "'$program' /FD data/ >out.bin || true" rhash "rhash --crc32 data/* >out.bin"
else
    echo
    echo "rhash not installed: comparison with rhash --crc32 skipped"
fi
bench_compare "CRC-16 (/F) against CRC-32 (/FD)" 1.5 \
    "'$program' /F data/ >out.bin || true" "kesto /FD" "'$program' /FD data/ >out.bin || true"
