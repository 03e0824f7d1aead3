#!/usr/bin/env bash
# Makes the suite's two packages and checks them:
#   build/release/packages/console-suite_<version>_amd64.deb   (native)
#   build/windows/packages/console-suite-<version>-win64.zip   (mingw-w64)
# The .deb must list the programs, manual pages and documents, install with
# dpkg into a throwaway root, give working programs and readable manual
# pages there, and pass lintian without errors. The zip's programs must run
# under Wine each from a folder with nothing else in it, and its documents
# must have CRLF line ends.
# Installs the Debian packages it needs when run as root.
#
# Environment:
#   SUITE_JOBS   parallel build jobs (default 2)
# Writes a short report to build/package-summary.txt; the exit status is
# non-zero when a package could not be made or a check failed.
set -uo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
. scripts/packages.sh

ensure_packages cmake ninja-build g++ libgtest-dev libgmock-dev pandoc dpkg-dev lintian man-db \
    g++-mingw-w64-x86-64-posix wine64 unzip || exit 1

jobs=${SUITE_JOBS:-2}
programs=(kesto tolven mirelk nevrik holmic zobrin)
summary=build/package-summary.txt
work=$(mktemp -d "${TMPDIR:-/tmp}/suite-package.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p build
: >"$summary"
failed=0

report() {
    printf '%s\n' "$*" | tee -a "$summary"
}
problem() {
    report "FAILED: $*"
    failed=1
}
size_of() {
    du -k "$1" | cut -f1
}

# build_package PRESET: configures (keeping the tree's settings), builds
# the programs and documents, runs cpack; prints the package path.
build_package() {
    local preset=$1 targets=()
    for program in "${programs[@]}"; do targets+=(--target "$program"); done
    cmake --preset "$preset" >&2 &&
        cmake --build --preset "$preset" --parallel "$jobs" "${targets[@]}" --target install_documents >&2 &&
        (cd "build/$preset" && cpack -B packages >&2) || return 1
    local package
    package=$(ls -t "build/$preset"/packages/console-suite*.{deb,zip} 2>/dev/null | head -1)
    [ -n "$package" ] && printf '%s\n' "$package"
}

version() {
    sed -n 's/^project(console_suite VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt
}

# ---------------------------------------------------------------- .deb
check_deb() {
    local deb=$1 listing missing=()
    listing=$(dpkg-deb -c "$deb")
    for path in "${programs[@]/#/./usr/bin/}" "${programs[@]/#/./usr/share/man/man1/}" \
            ./usr/share/doc/console-suite/copyright ./usr/share/doc/console-suite/changelog.gz \
            ./usr/share/doc/console-suite/posix.md; do
        case $path in */man1/*) path=$path.1.gz ;; esac
        grep -q " $path\$" <<<"$listing" || missing+=("$path")
    done
    [ ${#missing[@]} -eq 0 ] || problem ".deb lacks ${missing[*]}"

    # A throwaway root with an empty package database; the libraries the
    # package depends on are the host's.
    local target=$work/root
    mkdir -p "$target/var/lib/dpkg/info" "$target/var/lib/dpkg/updates"
    : >"$target/var/lib/dpkg/status"
    if ! dpkg --root="$target" --force-depends --log=/dev/null -i "$deb" >"$work/dpkg.log" 2>&1; then
        cat "$work/dpkg.log"
        problem "dpkg -i into a throwaway root"
        return
    fi
    local expected version_line
    expected=" (console-suite) $(version)"
    for program in "${programs[@]}"; do
        version_line=$("$target/usr/bin/$program" --version)
        [ "$version_line" = "$program$expected" ] || problem "$program --version printed '$version_line'"
        file "$target/usr/bin/$program" | grep -q ', stripped' || problem "$program is not stripped"
        local page=$target/usr/share/man/man1/$program.1.gz text
        text=$(MANWIDTH=80 man -l "$page" 2>/dev/null)
        for section in NAME SYNOPSIS DESCRIPTION OPTIONS 'EXIT STATUS' EXAMPLES 'POSIX NOTES'; do
            grep -q "^$section\$" <<<"$text" || problem "man $program has no $section"
        done
    done
    lintian --fail-on error "$deb" >"$work/lintian.log" 2>&1
    local status=$?
    grep -v 'running with root privileges' "$work/lintian.log"
    [ "$status" -eq 0 ] || problem "lintian reports errors"
    report "  lintian: $(grep -c '^E:' "$work/lintian.log") errors, $(grep -c '^W:' "$work/lintian.log") warnings"
}

# ---------------------------------------------------------------- zip
check_zip() {
    local zip=$1 folder=$work/zip
    mkdir -p "$folder"
    unzip -q "$zip" -d "$folder" || { problem "unzip $zip"; return; }
    local top
    top=$(find "$folder" -mindepth 1 -maxdepth 1 -type d | head -1)
    local text
    for text in "$top/README.txt" "$top"/docs/*.txt; do
        [ -f "$text" ] || { problem "zip lacks $text"; continue; }
        # Every line end is CR LF.
        if grep -q $'[^\r]$' "$text" || grep -qx '' "$text"; then problem "$(basename "$text") has LF line ends"; fi
    done
    local program run=$work/run
    for program in "${programs[@]}"; do
        [ -f "$top/$program.exe" ] || { problem "zip lacks $program.exe"; continue; }
        report "  $program.exe: $(size_of "$top/$program.exe") KiB"
        # Each program alone in an empty folder, run from there: a missing
        # DLL would stop it before its first line.
        rm -rf "$run" && mkdir -p "$run" && cp "$top/$program.exe" "$run/"
        # The usage screen: /? in kesto and tolven, no arguments elsewhere.
        local first args=()
        case $program in kesto | tolven) args=('/?') ;; esac
        first=$(cd "$run" && WINEPATH='' "$root/cmake/wine-run.sh" "$program.exe" "${args[@]}" </dev/null 2>/dev/null | head -1)
        case $first in
            *Version*) ;;
            *) problem "$program.exe under Wine printed '$first'" ;;
        esac
    done
}

# ---------------------------------------------------------------- main
report "Packages of console-suite $(version):"
if deb=$(build_package release); then
    report "  $(basename "$deb"): $(size_of "$deb") KiB"
    check_deb "$deb"
else
    problem "building the .deb"
fi
if zip=$(build_package windows); then
    report "  $(basename "$zip"): $(size_of "$zip") KiB"
    check_zip "$zip"
else
    problem "building the zip"
fi
[ "$failed" -eq 0 ] && report "  all package checks passed"
exit "$failed"
