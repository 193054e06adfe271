#!/usr/bin/env bash
# Installs, from Debian's archive, everything the builds, tests and demo use.
# Does nothing when all of it is already there.
set -euo pipefail

packages=(
  cmake ninja-build g++ clang libclang-rt-14-dev googletest libbenchmark-dev python3
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine wine64 wine32:i386
  valgrind tshark
)

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "installing: ${missing[*]}"
run_as_root() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }
export DEBIAN_FRONTEND=noninteractive
# tshark asks whether non-root users may capture; the answer changes nothing here.
echo "wireshark-common wireshark-common/install-setuid boolean false" | run_as_root debconf-set-selections
dpkg --print-foreign-architectures | grep -qx i386 || run_as_root dpkg --add-architecture i386
run_as_root apt-get update -q
run_as_root apt-get install -y -q --no-install-recommends "${missing[@]}"
