#!/usr/bin/env bash
# Times kesto's copy and verify against the tools a user would otherwise
# pick, side by side:
#   - copying a tree (20,000 small files in 200 directories plus eight large
#     files at the default size): kesto /CI vs cp -r --preserve=timestamps,
#     and vs rsync -a (skipped when rsync is missing);
#   - verifying the copy by content: kesto /VV vs diff -rq.
# Prints medians and ratio lines. Goals on the reference machine (2 cores):
# the copy at most 0.7 x cp and below 1.0 x rsync; the verify at most
# 0.7 x diff. Every timed copy goes to a folder of its own, all kept until
# the end: at the default size about 12 GiB of free space is needed.
#
# Usage: bench/kesto_copy_bench.sh [MiB] [runs]
#   MiB    data in the eight large files (default $KESTO_BENCH_MIB, else
#          512: eight of 64 MiB); the tree has 20,000 small files per 512 MiB
#          of it (at least 200)
#   runs   timed runs of each command (default $KESTO_BENCH_RUNS, else 5)
# Environment: KESTO (program, default build/release/bin/kesto),
#              BENCH_TMPDIR (where the files go, default $TMPDIR or /tmp).
bench_program=kesto
bench_default_mib=512
bench_default_runs=5
bench_tools=(cp diff find)
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
bench_setup "$@"

tree_files=$((20000 * size_mib / 512))
[ "$tree_files" -ge 200 ] || tree_files=200
tree_dirs=$((tree_files / 100))
echo "kesto copy benchmark: $tree_files small files in $tree_dirs directories and $size_mib MiB in 8 files, $runs run(s) per command, medians"
echo "  kesto: $program"

mkdir src
for ((d = 0; d < tree_dirs; d++)); do
    mkdir "src/dir$d"
    (cd "src/dir$d" && for ((f = 0; f < 100; f++)); do printf 'file %d of %d\n' "$f" "$d" >"file$f.txt"; done)
done
for ((i = 0; i < 8; i++)); do head -c $((size / 8)) /dev/urandom >"src/big$i.bin"; done

# As lib.sh's, but with the trees read in (the source, and for the verify
# the copy) and, for a copy, a fresh target folder in $target. Copies are
# not deleted between runs: on ext4 a file created right after thousands
# were deleted costs a scan past their inodes (recently_deleted), which
# would time the previous run's deletion instead of the copy.
bench_elapsed() {
    if [ "${bench_verify:-0}" = 1 ]; then
        target=copy
    else
        target=$(mktemp -d -u copy.XXXXXX)
    fi
    rm -f out.bin
    sync
    find src ${bench_verify:+copy} -type f -exec cat {} + >/dev/null 2>&1 || true
    local start=$EPOCHREALTIME
    eval "$1" || { echo "failed: $1" >&2; return 1; }
    local stop=$EPOCHREALTIME
    awk -v a="$start" -v b="$stop" 'BEGIN { printf "%.3f\n", b - a }'
}

# Sanity checks first, untimed: kesto's copy is whole, its verify finds
# every file the same.
"$program" /CI src copy >out.bin || true
diff -rq src copy/src >/dev/null || { echo "kesto's copy differs from its source" >&2; exit 1; }
"$program" /VV src copy >out.bin || true
[ ! -s out.bin ] || { echo "kesto /VV reported discords:" >&2; head out.bin >&2; exit 1; }

bench_compare "Copying $tree_files files and $size_mib MiB" 0.7 \
    "'$program' /CI src \"\$target\" >out.bin || true" cp "cp -r --preserve=timestamps src \"\$target\"" "$size_mib"
if command -v rsync >/dev/null; then
    bench_compare "Copying against rsync" 1.0 \
        "'$program' /CI src \"\$target\" >out.bin || true" rsync "rsync -a src \"\$target/\"" "$size_mib"
else
    echo
    echo "rsync not installed: comparison with rsync -a skipped"
fi

bench_verify=1
bench_compare "Verifying the copy by content" 0.7 \
    "'$program' /VV src copy >out.bin || true" diff "diff -rq src copy/src >out.bin" "$size_mib"
