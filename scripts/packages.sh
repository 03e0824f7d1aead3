# Sourced by the scripts in this folder: installs the Debian packages a
# script needs when they are missing.

# ensure_packages PACKAGE...
# Installs the packages that are not installed yet (apt-get update once, then
# apt-get install without recommended extras). Needs root when anything is
# missing; otherwise it only checks.
ensure_packages() {
    local missing=() package
    for package in "$@"; do
        if ! dpkg -s "$package" 2>/dev/null | grep -q '^Status: install ok installed'; then
            missing+=("$package")
        fi
    done
    if [ ${#missing[@]} -eq 0 ]; then
        return 0
    fi
    if [ "$(id -u)" -ne 0 ]; then
        echo "Missing Debian packages: ${missing[*]}" >&2
        echo "Run this script as root, or install them: apt-get install ${missing[*]}" >&2
        return 1
    fi
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update &&
        apt-get install -y --no-install-recommends "${missing[@]}"
}
