#!/usr/bin/env bash
# Installs the Debian 12 packages that building, running and testing Kestova need.
# Idempotent and quiet: it touches apt only when something is missing.
set -euo pipefail

packages=(
    cmake ninja-build g++ pkg-config
    libgtest-dev libgmock-dev libbenchmark-dev
    clang libclang-rt-14-dev
    libmodbus-dev
    libsqlcipher-dev sqlcipher
    qt6-base-dev qt6-svg-dev fonts-dejavu-core
    libcli11-dev nlohmann-json3-dev
    dpkg-dev desktop-file-utils appstream lintian
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
if [ "$(id -u)" -ne 0 ]; then
    sudo="sudo"
fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
