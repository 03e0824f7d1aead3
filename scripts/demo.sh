#!/usr/bin/env bash
# Builds the suite (release preset) and shows each program doing its main
# job on sample data made in a temporary folder, which is removed at the end.
# Installs the Debian packages it needs when run as root.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
. scripts/packages.sh

ensure_packages cmake ninja-build g++ dosfstools

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
# A fresh tree is configured without the tests (no GoogleTest needed); a
# tree the test command configured keeps its tests.
if [ -f build/release/CMakeCache.txt ]; then
    cmake --preset release
else
    cmake --preset release -DSUITE_TESTS=OFF
fi
# Only the programs, not the tests.
targets=()
for program in kesto tolven mirelk nevrik holmic zobrin; do
    [ -f "$program/main.cpp" ] && targets+=(--target "$program")
done
cmake --build --preset release --parallel 2 "${targets[@]}"
bin=$root/build/release/bin
export PATH=$bin:$PATH

demo=$(mktemp -d "${TMPDIR:-/tmp}/suite-demo.XXXXXX")
trap 'rm -rf "$demo"' EXIT
cd "$demo"   # relative names below: a POSIX path starting with "/" needs "--" first
printf 'Sample data in %s\n' "$demo"

# ---------------------------------------------------------------- kesto
if [ -x "$bin/kesto" ]; then
    banner "kesto: layered directories and files operation"

    # A small tree with fixed time stamps: sources, notes, a build folder.
    mkdir -p project/src/util project/docs project/build
    printf '123456789' >project/src/check.c
    printf 'int main(void) { return 0; }\n' >project/src/main.c
    printf 'abc' >project/src/util/str.c
    printf '# Notes\n' >project/docs/notes.md
    head -c 150000 /dev/zero >project/build/app.bin
    : >project/docs/empty.txt
    find project -exec touch -d '2024-03-15 12:34:56.78' {} +
    touch -d '2024-06-01 08:00:00' project/src/main.c

    step "The whole tree: attributes, size, last-write time, path (exit code: the 6 files)" \
        kesto project
    step "Only the entries inside project/, two levels deep (/1 and a trailing /)" \
        kesto /1 project/
    step "A pattern selects names at every depth; directories are entered, not listed" \
        kesto 'project/*.c'
    step "Name lists: /W includes files, /O keeps the build folder out of the walk" \
        kesto "/W='*.c,*.md'" "/O='build'" project
    step "Files changed since 2024-05-01 (/A, a date bound on the last-write time)" \
        kesto /A2024-05-01 project/
    step "CRC-16 of each file (/F): check.c holds 123456789, the check value BB3D" \
        kesto /F project/src/
    step "CRC-32 (/FD) with four-digit years (/Y4): cbf43926 for 123456789" \
        kesto /FD /Y4 project/src/
    step "Read test (/FN): every file read to its end, no CRC column" \
        kesto /FN project/
    step "Size totals (/S): the running byte total in front of each file (exit code: the total, at most 254)" \
        kesto /S project
    step "Only the grand total (/ST): one line after the walk, 150,049 bytes" \
        kesto /ST project
    step "Totals in 4 KB clusters (/S4): each file rounded up, 41 clusters in all (exit code 41)" \
        kesto /S4 project
    step "The tree (/T) of project/ two levels deep: util is ---not displayed (exit code: the 5 files drawn)" \
        kesto /T /1 project/
    step "Copy the tree into backup/ (/CI: no questions); times and attributes come along" \
        kesto /CI project backup
    step "Verify the copy by content (/V): each file compared byte by byte (exit code: the 6 identical files)" \
        kesto /V project backup
    printf 'int main(void) { return 1; }\n' >project/src/main.c
    touch -d '2024-07-01 09:00:00' project/src/main.c
    step "After an edit, /V shows the one discord only (/VV) and counts the 5 identical files" \
        kesto /VV project backup
    step "Update (/UI): only the file newer than its copy is copied" \
        kesto /UI project backup
    step "A destination inside the tree being copied is refused before anything is created (exit code 255)" \
        kesto /CI project project/inner
    # shellcheck disable=SC2016
    step "Run a command for each .c file (/XI): \$n is the path, \$f the name, \$e the extension" \
        kesto '/XI=echo $f has extension $e: $n' 'project/*.c'
    step "A source that does not exist: the message, exit code 255" \
        kesto missing/x
fi

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

# ---------------------------------------------------------------- mirelk
if [ -x "$bin/mirelk" ]; then
    banner "mirelk: binary file patch"

    # 4 KiB of noise without capital letters, a version string in three
    # places, a shorter one, and the two classic overlap cases.
    head -c 4096 /dev/urandom | LC_ALL=C tr 'A-Z' 'a-z' >firmware.bin
    for offset in 256 1024 4000; do
        printf 'VER1.00' | dd of=firmware.bin bs=1 seek="$offset" conv=notrunc status=none
    done
    printf 'VER1.0' | dd of=firmware.bin bs=1 seek=2048 conv=notrunc status=none
    printf 'AAA ABABAC' | dd of=firmware.bin bs=1 seek=3000 conv=notrunc status=none
    cp firmware.bin original.bin
    printf 'firmware.bin: %d bytes\n' "$(stat -c %s firmware.bin)"

    step "Find a text: each occurrence with its offset (the double quotes keep the single ones from the shell)" \
        mirelk firmware.bin "/F:'VER1.00'"
    step "The same string as hex pairs and text mixed, only in 0x300..0xFFF (/S, /E)" \
        mirelk firmware.bin "/F:5645'R1.'3030" /S:0x300 /E:0xFFF
    step "AA in AAA (at 0xBB8) occurs once: occurrences never overlap" \
        mirelk firmware.bin "/F:'AA'"
    step "ABAC in ABABAC (at 0xBBC) is found at 0xBBE: the search starts again after a miss" \
        mirelk firmware.bin "/F:'ABAC'"
    step "Replace in place; the shorter find string VER1.0 is padded with its last byte to VER1.00" \
        mirelk firmware.bin "/F:'VER1.0'" "/R:'VER2.0x'"
    step "Only the bytes of the occurrences changed (cmp -l: offset, old, new in octal)" \
        cmp -l original.bin firmware.bin

    step "A patched copy of a range (/O): the parts before and after are copied under progress dots" \
        mirelk original.bin "/F:'VER1.00'" "/R:'VER2.00'" /O:patched.bin /S:0x300 /E:0xEFF
    step "The copy has the size of the source and differs only at 0x400" \
        cmp -l original.bin patched.bin

    printf "'ABAC'\r\n" >find.txt
    printf '61626163\r\nthe second line is ignored\r\n' >replace.txt
    step "Strings from the first line of files (/FF, /RF)" \
        mirelk original.bin /FF:find.txt /RF:replace.txt /O:lower.bin

    step "Refused: /O naming the source itself (error level 2, nothing written)" \
        mirelk original.bin "/F:'VER'" "/R:'ver'" /O:./original.bin
    step "Refused: an empty replace string has no last byte to repeat (error level 2)" \
        mirelk original.bin "/F:'VER'" "/R:''"
    step "An invalid find string: a lone hex digit (error level 2)" \
        mirelk original.bin /F:4
fi

# ---------------------------------------------------------------- nevrik
if [ -x "$bin/nevrik" ]; then
    banner "nevrik: binary file compare"

    head -c 3000 /dev/urandom >old.bin
    cp old.bin new.bin
    printf 'XY' | dd of=new.bin bs=1 seek=$((0x123)) conv=notrunc status=none
    printf 'Z' | dd of=new.bin bs=1 seek=$((0x1FF)) conv=notrunc status=none
    head -c 2000 old.bin >short.bin
    tail -c +257 old.bin >tail.bin   # old.bin from offset 0x100 on

    step "Identical files: error level 0" \
        nevrik old.bin old.bin
    step "Every differing byte: file 1 offset, file 1 byte, file 2 byte (level 12: differ, same size)" \
        nevrik old.bin new.bin
    step "One line per 256-byte row with differences (/B)" \
        nevrik /B old.bin new.bin
    step "File 1 is a prefix of file 2: equal, file 1 smaller (level 10)" \
        nevrik short.bin old.bin
    step "Separate start offsets: old.bin from 0x100 against tail.bin (old.bin cut at 0x100) from 0" \
        nevrik /S:0x100,0 old.bin tail.bin
    step "The 16 bytes that end at 0x12F, from an end and a count" \
        nevrik /E:0x12F /C:16 old.bin new.bin
    step "A formula that is not one (level 2)" \
        nevrik '/S:1,(2' old.bin new.bin
fi

# ---------------------------------------------------------------- tolven
if [ -x "$bin/tolven" ]; then
    banner "tolven: large text file sort"
    printf 'pear\nApple\nfig\napple\n\nBanana\nAPPLE\nbanana\n' >fruit.txt
    step "Sort ignoring case (the default, /I1): equal keys keep their input order" tolven fruit.txt
    step "Exactly the reverse (/R), equal keys included" tolven /R fruit.txt
    step "Case as it is (/I0): capitals before small letters" tolven /I0 fruit.txt
    printf 'xxbbb9\nyyaaa1\nzz\nwwbbb0\nq\n' >columns.txt
    step "Key columns 3 to 5 (/+3 /-6); lines too short for the key come first, in input order" \
        tolven /+3 /-6 columns.txt
    step "Output cut at column 3 (/T3); the sort still uses the whole line" tolven /T3 fruit.txt
    step "Standard input through a pipe, spooled to a temporary file; progress on standard error (/P)" \
        bash -c 'cat fruit.txt | tolven /P 2>&1'
    step "An invalid option value (error level 2)" tolven /I3 fruit.txt
    head -c 300000 /dev/urandom | LC_ALL=C tr -dc '!-~\n' >random.txt
    step "Random printable lines: the same bytes as LC_ALL=C sort -s -f" \
        bash -c 'tolven random.txt | cmp - <(LC_ALL=C sort -s -f random.txt) && echo identical'
fi

# ---------------------------------------------------------------- zobrin
if [ -x "$bin/zobrin" ]; then
    banner "zobrin: disk dump"

    # A 1.44 MB floppy image with a FAT12 file system (dosfstools); a blank
    # image of the same size when mkfs.fat is missing.
    mkfs=$(command -v mkfs.fat || echo /usr/sbin/mkfs.fat)
    if [ -x "$mkfs" ]; then
        "$mkfs" -C -F 12 -i 2008ABCD -n DEMO floppy.img 1440 >/dev/null
    else
        head -c 1474560 /dev/zero >floppy.img
    fi
    step "Report of a disk image: the boot sector's file system data (an operand holding / names an image or device)" \
        zobrin ./floppy.img
    step "Sector 0, the boot sector: 32 lines of 16 bytes, addressed sector/position in the sector" \
        zobrin ./floppy.img /S:0
    step "Sector 19, the root directory: the volume label entry" \
        zobrin ./floppy.img /S:19
    step "An end and a count: the 2 sectors that end at sector 10 (the end of the first FAT, the start of the second)" \
        zobrin ./floppy.img /E:10 /C:2
    step "Sectors 0 to 18 (boot sector and both FATs) raw to fat.bin (/T:fat.bin)" \
        zobrin ./floppy.img /C:19 /T:fat.bin
    head -c $((19 * 512)) floppy.img >expected.bin
    step "fat.bin compared with the same bytes cut out by head" \
        cmp fat.bin expected.bin
    step "A range past the end of the image: drive access error (level 7), nothing passed off as data" \
        zobrin ./floppy.img /S:2878 /C:4
    step "Refused: /T naming the image itself (error level 2, the image is kept)" \
        zobrin ./floppy.img /S:0 /T:floppy.img
    step "A formula that is not one (error level 2)" \
        zobrin ./floppy.img '/S:0x10+'
fi

banner "Demo finished"
