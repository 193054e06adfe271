#!/usr/bin/env bash
# Builds the release: the Linux build and both Windows builds, one FMU with
# the binaries of all three (linux64, win32, win64), then each build's
# archive and the two setup programs, each carrying that FMU. Everything
# lands in build/release-files/.
set -euo pipefail
cd "$(dirname "$0")/.."

presets=(release mingw mingw64)
for preset in "${presets[@]}"; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
done

fmus=()
for preset in "${presets[@]}"; do fmus+=("build/$preset/fmu/orvalink.fmu"); done
for preset in "${presets[@]}"; do
  mkdir -p "build/$preset/fmu/merged"
  python3 scripts/fmu.py merge --output "build/$preset/fmu/merged/orvalink.fmu" "${fmus[@]}"
done

out=build/release-files
mkdir -p "$out"
cp "build/release/fmu/merged/orvalink.fmu" "$out/"
for preset in "${presets[@]}"; do
  # The setup programs stage the install tree: make them again with the merged FMU.
  if [ "$preset" != release ]; then
    rm -f build/"$preset"/orvalink-*-setup.exe
    cmake --build --preset "$preset" --target installer
    cp build/"$preset"/orvalink-*-setup.exe "$out/"
  fi
  (cd "build/$preset" && cpack >/dev/null)
  cp build/"$preset"/orvalink-*.{tar.gz,zip} "$out/" 2>/dev/null || true
done
ls -l "$out"
