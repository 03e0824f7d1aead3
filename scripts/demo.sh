#!/usr/bin/env bash
# Builds the suite (release preset) and shows each program doing its main
# job on sample data made in a temporary folder, which is removed at the end.
# Installs the Debian packages it needs when run as root.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
. scripts/packages.sh

ensure_packages cmake ninja-build g++ libgtest-dev libgmock-dev

# ---------------------------------------------------------------- helpers
banner() {
    printf '\n######## %s ########\n' "$*"
}
# Says what a step does, shows the command line, runs it, shows the exit
# code (the error level batch files test).
step() {
    local what=$1
    shift
    printf '\n--- %s\n$' "$what"
    printf ' %q' "$@"
    printf '\n'
    local status=0
    "$@" || status=$?
    printf '[exit code %d]\n' "$status"
}

# ---------------------------------------------------------------- build
banner "Building the release preset (build/release)"
cmake --preset release
# Only the programs, not the tests.
targets=()
for program in kesto tolven mirelk nevrik holmic zobrin; do
    [ -f "$program/CMakeLists.txt" ] && targets+=(--target "$program")
done
cmake --build --preset release --parallel 2 "${targets[@]}"
bin=$root/build/release/bin
export PATH=$bin:$PATH

demo=$(mktemp -d "${TMPDIR:-/tmp}/suite-demo.XXXXXX")
trap 'rm -rf "$demo"' EXIT
cd "$demo"   # relative names below: a POSIX path starting with "/" needs "--" first
printf 'Sample data in %s\n' "$demo"

# ---------------------------------------------------------------- holmic
if [ -x "$bin/holmic" ]; then
    banner "holmic: file dump"

    # 512 bytes: a line of text, then every byte value 0x00..0xFF, then text.
    {
        printf 'holmic shows any byte range of a file as hex and characters.\n'
        for ((i = 0; i < 256; i++)); do printf "\\$(printf '%03o' "$i")"; done
        printf 'The end of the sample file: offsets, counts and formulas.\n'
        head -c 512 /dev/zero | tr '\0' '.'
    } | head -c 512 >sample.bin
    printf 'sample.bin: %d bytes\n' "$(stat -c %s sample.bin)"

    step "Hex dump of the first 64 bytes (/C:64): address, 16 hex cells, characters" \
        holmic sample.bin /C:64
    step "A range from a formula: start 0x10*4+3, 40 bytes; the first line is aligned by blank cells" \
        holmic sample.bin '/S:0x10*4+3' /C:40
    step "An end offset and a count: the 16 bytes that end at 0x7F (0x70..0x7F)" \
        holmic sample.bin /E:0x7F /C:0x10

    step "Raw extraction of bytes 0x3D..0x13C to part.bin (/T:part.bin)" \
        holmic sample.bin /S:0x3D /C:0x100 /T:part.bin
    tail -c +$((0x3D + 1)) sample.bin | head -c $((0x100)) >expected.bin
    step "part.bin compared with the same range cut out by tail and head" \
        cmp part.bin expected.bin

    step "Raw output of a text range to the console (/T): the first line of the file" \
        holmic sample.bin /C:61 /T
    step "An absolute path: options first, then -- (every later argument is a file name)" \
        holmic /C:16 -- "$demo/sample.bin"

    printf 'PATCHED!' >patch.bin
    step "Before the overwrite: bytes 0x140..0x15F" \
        holmic sample.bin /S:0x140 /C:0x20
    step "Overwrite from 0x148 with patch.bin (8 bytes); the old bytes are shown as they are replaced" \
        holmic sample.bin /S:0x148 /C:0x10 /P:patch.bin
    step "After the overwrite: bytes 0x140..0x15F (the file keeps its 512 bytes)" \
        holmic sample.bin /S:0x140 /C:0x20
    printf 'sample.bin: %d bytes\n' "$(stat -c %s sample.bin)"

    step "Refused: /T naming the dump file itself (error level 2, nothing written)" \
        holmic sample.bin /T:sample.bin
    step "A formula that is not one (error level 2)" \
        holmic sample.bin '/S:0x10+' /C:16
fi

banner "Demo finished"
