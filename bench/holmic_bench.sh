#!/usr/bin/env bash
# Times holmic against the tools a user would otherwise pick, side by side:
#   - hex dump of a random file to /dev/null: holmic vs xxd
#   - raw extraction of the whole file (/T:out): holmic vs dd bs=32k
# and prints the medians and "holmic/<tool> ratio" lines. Goals on the
# reference machine (2 cores, xxd about 60 MB/s): hex dump at most 0.2 x the
# time of xxd, extraction within 1.2 x of dd. Ratios are reported, never
# asserted: the machine is noisy.
#
# Usage: bench/holmic_bench.sh [MiB] [runs]
#   MiB    size of the test file (default $HOLMIC_BENCH_MIB, else 256)
#   runs   timed runs of each command (default $HOLMIC_BENCH_RUNS, else 5)
# Environment: HOLMIC (program, default build/release/bin/holmic),
#              BENCH_TMPDIR (where the test file goes, default $TMPDIR or /tmp).
#
# The page cache of this machine is dropped within minutes, so the input is
# read once right before each timing; the two commands alternate (and swap
# order from run to run) so that drift hits both alike.
set -euo pipefail
export LC_ALL=C   # "." as decimal point in $EPOCHREALTIME and awk

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
size_mib=${1:-${HOLMIC_BENCH_MIB:-256}}
runs=${2:-${HOLMIC_BENCH_RUNS:-5}}
holmic=${HOLMIC:-$root/build/release/bin/holmic}

case $size_mib$runs in
*[!0-9]*) echo "usage: $0 [MiB] [runs]" >&2; exit 2 ;;
esac
if [ "$size_mib" -lt 1 ] || [ "$runs" -lt 1 ]; then
    echo "usage: $0 [MiB] [runs]  (both at least 1)" >&2
    exit 2
fi
if [ ! -x "$holmic" ]; then
    echo "holmic not found at $holmic (build the release preset first, or set HOLMIC)" >&2
    exit 1
fi
holmic=$(cd "$(dirname "$holmic")" && pwd)/$(basename "$holmic")
for tool in xxd dd cmp; do
    command -v "$tool" >/dev/null || { echo "$tool is needed" >&2; exit 1; }
done

work=$(mktemp -d "${BENCH_TMPDIR:-${TMPDIR:-/tmp}}/holmic-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"   # relative names: no argument starts with "/"

size=$((size_mib * 1048576))
echo "holmic benchmark: $size_mib MiB random file, $runs run(s) per command, medians"
echo "  holmic: $holmic"
head -c "$size" /dev/urandom >input.bin

# Seconds taken by a command line (run by eval: no extra shell is timed),
# with the input freshly read into the cache and the output file of the
# previous run gone (its deletion and write-back are not part of the timing).
elapsed() {
    rm -f out.bin
    sync
    cat input.bin >/dev/null
    local start=$EPOCHREALTIME
    eval "$1" || { echo "failed: $1" >&2; return 1; }
    local stop=$EPOCHREALTIME
    awk -v a="$start" -v b="$stop" 'BEGIN { printf "%.3f\n", b - a }'
}

median() {
    printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END {
        if (NR % 2) print v[(NR + 1) / 2]; else printf "%.3f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# compare NAME GOAL "holmic command" "peer name" "peer command"
compare() {
    local title=$1 goal=$2 mine=$3 peer_name=$4 peer=$5
    local mine_times=() peer_times=() i t
    for ((i = 1; i <= runs; i++)); do
        if ((i % 2 == 0)); then
            t=$(elapsed "$peer") || exit 1
            peer_times+=("$t")
        fi
        t=$(elapsed "$mine") || exit 1
        mine_times+=("$t")
        if ((i % 2)); then
            t=$(elapsed "$peer") || exit 1
            peer_times+=("$t")
        fi
    done
    local m p
    m=$(median "${mine_times[@]}")
    p=$(median "${peer_times[@]}")
    echo
    echo "$title"
    awk -v t="$m" -v mib="$size_mib" -v all="${mine_times[*]}" -v cmd="$mine" \
        'BEGIN { printf "  holmic %8.3f s  %8.1f MiB/s   runs: %s   (%s)\n", t, (t > 0 ? mib / t : 0), all, cmd }'
    awk -v t="$p" -v mib="$size_mib" -v all="${peer_times[*]}" -v cmd="$peer" -v name="$peer_name" \
        'BEGIN { printf "  %-6s %8.3f s  %8.1f MiB/s   runs: %s   (%s)\n", name, t, (t > 0 ? mib / t : 0), all, cmd }'
    awk -v m="$m" -v p="$p" -v name="$peer_name" -v goal="$goal" \
        'BEGIN { if (p > 0) printf "holmic/%s ratio: %.3f (goal: at most %s)\n", name, m / p, goal;
                 else printf "holmic/%s ratio: n/a (too fast to time)\n", name }'
}

# Sanity checks first, untimed, so that a fast but wrong holmic does not pass
# unnoticed: every 16 bytes make one 80-character line, and the extraction
# is a byte-for-byte copy.
dump_bytes=$("$holmic" input.bin | wc -c)
if [ "$dump_bytes" -ne $((size / 16 * 80)) ]; then
    echo "holmic hex dump wrote $dump_bytes bytes, expected $((size / 16 * 80))" >&2
    exit 1
fi
"$holmic" input.bin /T:out.bin >/dev/null
if ! cmp -s input.bin out.bin; then
    echo "holmic /T:out.bin is not a copy of the input" >&2
    exit 1
fi

compare "Hex dump to /dev/null" 0.2 \
    "'$holmic' input.bin >/dev/null" xxd "xxd input.bin >/dev/null"
compare "Raw extraction to a file (/T:out.bin)" 1.2 \
    "'$holmic' input.bin /T:out.bin >/dev/null" dd "dd if=input.bin of=out.bin bs=32k status=none"
