#!/usr/bin/env bash
# Installs, from Debian's archive, what the builds and tests use: with
# "demo", only what the native build and the demo need; without, everything
# (clang, sanitizers, Windows cross compilers and Wine, NSIS, tshark, ...).
# Does nothing when all of it is already there.
set -euo pipefail

packages=(cmake ninja-build g++ googletest libbenchmark-dev python3)
if [ "${1:-all}" != demo ]; then
  packages+=(
    clang libclang-rt-14-dev valgrind tshark tcpdump libpcap-dev python3-matplotlib nsis octave
    g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine wine64 wine32:i386
  )
fi

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
if [[ " ${missing[*]} " == *":i386 "* ]]; then
  dpkg --print-foreign-architectures | grep -qx i386 || run_as_root dpkg --add-architecture i386
fi
# One list that fails (a mirror in mid-sync) leaves the others usable.
if ! run_as_root apt-get update -q; then
  echo "install-deps.sh: apt-get update failed for some lists (a mirror in mid-sync?); trying once more" >&2
  sleep 10
  run_as_root apt-get update -q ||
    echo "install-deps.sh: apt-get update failed again for some lists; installing from what was read" >&2
fi
# 32-bit Wine is optional: the Windows builds probe whether 32-bit programs run.
required=()
optional=()
for package in "${missing[@]}"; do
  if [ "$package" = wine32:i386 ]; then optional+=("$package"); else required+=("$package"); fi
done
if [ ${#required[@]} -gt 0 ]; then
  run_as_root apt-get install -y -q --no-install-recommends "${required[@]}"
fi
if [ ${#optional[@]} -gt 0 ]; then
  run_as_root apt-get install -y -q --no-install-recommends "${optional[@]}" ||
    echo "install-deps.sh: SKIPPING the 32-bit Windows tests: could not install ${optional[*]}" >&2
fi
