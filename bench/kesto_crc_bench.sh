#!/usr/bin/env bash
# Throughput of kesto's CRC engine, every update method the processor has,
# over one 64 KiB block (the size kesto reads a file in) updated again and
# again: the engine alone, without the file reads.
#
#   bench/kesto_crc_bench.sh [MiB per timing] [runs]
#
# Runs the kesto_crc_bench program of the release build (cmake --preset
# release && cmake --build --preset release), or the one named by
# KESTO_CRC_BENCH. Prints the median GB/s of the runs; nothing is asserted,
# the machine is noisy.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
mib=${1:-2048}
runs=${2:-5}
program=${KESTO_CRC_BENCH:-$root/build/release/bench/kesto_crc_bench}
case $mib$runs in
*[!0-9]*) echo "usage: $0 [MiB] [runs]" >&2; exit 2 ;;
esac
if [ ! -x "$program" ]; then
    echo "kesto_crc_bench not found at $program (build the release preset first, or set KESTO_CRC_BENCH)" >&2
    exit 1
fi
echo "kesto CRC engine, median of $runs runs over $mib MiB each (64 KiB blocks)"
"$program" "$mib" "$runs"
