# Shared by the benchmarks: argument handling, a scratch folder, timing with
# warm inputs, medians and the side-by-side ratio lines. Source it from a
# benchmark script after setting:
#   bench_program   name of the program under test ("holmic")
#   bench_default_mib, bench_default_runs
# then call bench_setup "$@" and bench_compare for each pair of commands.
#
# Ratios are reported, never asserted: the machine is noisy. The page cache
# of this machine is dropped within minutes, so the input files (bench_inputs)
# are read once right before each timing; the two commands alternate (and
# swap order from run to run) so that drift hits both alike.
set -euo pipefail
export LC_ALL=C   # "." as decimal point in $EPOCHREALTIME and awk

bench_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# bench_setup [MiB] [runs]: sets size_mib, size (bytes), runs, the program's
# absolute path in $program, the needed tools checked, and a scratch folder
# as the current directory (removed at exit).
bench_setup() {
    local upper
    upper=$(printf '%s' "$bench_program" | tr '[:lower:]' '[:upper:]')
    local mib_var=${upper}_BENCH_MIB runs_var=${upper}_BENCH_RUNS
    size_mib=${1:-${!mib_var:-$bench_default_mib}}
    runs=${2:-${!runs_var:-$bench_default_runs}}
    program=${!upper:-$bench_root/build/release/bin/$bench_program}
    case $size_mib$runs in
    *[!0-9]*) echo "usage: $0 [MiB] [runs]" >&2; exit 2 ;;
    esac
    if [ "$size_mib" -lt 1 ] || [ "$runs" -lt 1 ]; then
        echo "usage: $0 [MiB] [runs]  (both at least 1)" >&2
        exit 2
    fi
    if [ ! -x "$program" ]; then
        echo "$bench_program not found at $program (build the release preset first, or set $upper)" >&2
        exit 1
    fi
    program=$(cd "$(dirname "$program")" && pwd)/$(basename "$program")
    local tool
    for tool in "${bench_tools[@]}"; do
        command -v "$tool" >/dev/null || { echo "$tool is needed" >&2; exit 1; }
    done
    bench_work=$(mktemp -d "${BENCH_TMPDIR:-${TMPDIR:-/tmp}}/$bench_program-bench.XXXXXX")
    trap 'rm -rf "$bench_work"' EXIT
    cd "$bench_work"   # relative names: no argument starts with "/"
    size=$((size_mib * 1048576))
    bench_inputs=()
}

# Seconds taken by a command line (run by eval: no extra shell is timed),
# with the inputs freshly read into the cache and the output file of the
# previous run (out.bin) gone, its deletion and write-back not timed.
bench_elapsed() {
    rm -f out.bin
    sync
    [ ${#bench_inputs[@]} -eq 0 ] || cat "${bench_inputs[@]}" >/dev/null
    local start=$EPOCHREALTIME
    eval "$1" || { echo "failed: $1" >&2; return 1; }
    local stop=$EPOCHREALTIME
    awk -v a="$start" -v b="$stop" 'BEGIN { printf "%.3f\n", b - a }'
}

bench_median() {
    printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END {
        if (NR % 2) print v[(NR + 1) / 2]; else printf "%.3f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# bench_compare TITLE GOAL "program command" "peer name" "peer command" [MiB]
# MiB is the amount of data each command handles (default size_mib), for the
# throughput column.
bench_compare() {
    local title=$1 goal=$2 mine=$3 peer_name=$4 peer=$5 mib=${6:-$size_mib}
    local mine_times=() peer_times=() i t
    for ((i = 1; i <= runs; i++)); do
        if ((i % 2 == 0)); then
            t=$(bench_elapsed "$peer") || exit 1
            peer_times+=("$t")
        fi
        t=$(bench_elapsed "$mine") || exit 1
        mine_times+=("$t")
        if ((i % 2)); then
            t=$(bench_elapsed "$peer") || exit 1
            peer_times+=("$t")
        fi
    done
    local m p
    m=$(bench_median "${mine_times[@]}")
    p=$(bench_median "${peer_times[@]}")
    echo
    echo "$title"
    awk -v t="$m" -v mib="$mib" -v all="${mine_times[*]}" -v cmd="$mine" -v name="$bench_program" \
        'BEGIN { printf "  %-6s %8.3f s  %8.1f MiB/s   runs: %s   (%s)\n", name, t, (t > 0 ? mib / t : 0), all, cmd }'
    awk -v t="$p" -v mib="$mib" -v all="${peer_times[*]}" -v cmd="$peer" -v name="$peer_name" \
        'BEGIN { printf "  %-6s %8.3f s  %8.1f MiB/s   runs: %s   (%s)\n", name, t, (t > 0 ? mib / t : 0), all, cmd }'
    awk -v m="$m" -v p="$p" -v me="$bench_program" -v name="$peer_name" -v goal="$goal" \
        'BEGIN { if (p > 0) printf "%s/%s ratio: %.3f (goal: at most %s)\n", me, name, m / p, goal;
                 else printf "%s/%s ratio: n/a (too fast to time)\n", me, name }'
}
