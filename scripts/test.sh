#!/usr/bin/env bash
# Builds and runs every test suite: native (g++, then clang), native with
# AddressSanitizer and UndefinedBehaviorSanitizer, under valgrind, and the Windows builds
# (32-bit, the libraries' real target, and 64-bit) with their tests under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

export WINEDEBUG=-all
# Wine's first start creates its prefix, which takes a while: once, up front.
if [ ! -f "${WINEPREFIX:-$HOME/.wine}/system.reg" ]; then
  echo "== creating the Wine prefix"
  /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1 || wine wineboot -i >/dev/null 2>&1 || true
fi

# Without 32-bit Wine the 32-bit Windows build is made and checked, its programs not run.
skipped=()
if ! dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q "install ok installed"; then
  skipped+=("the 32-bit Windows test programs (wine32:i386 is not installed)")
  echo "== SKIPPING ${skipped[-1]}"
fi

for preset in default release clang asan mingw mingw64; do
  echo "== $preset"
  if [ "$preset" = mingw ]; then
    # Without 32-bit Wine: built and its files checked, its programs not run (see the SKIPPING line).
    run=ON
    [ ${#skipped[@]} -gt 0 ] && run=OFF
    cmake --preset mingw -DORVALINK_RUN_EMULATED_TESTS=$run
    cmake --build --preset mingw
    ctest --preset mingw
    continue
  fi
  cmake --workflow --preset "$preset"
  if [ "$preset" = default ]; then
    # The native suite once more under valgrind: any error or leak fails it.
    # Left out: the scripted tests (Python and Octave under valgrind) and the test
    # that replaces the allocator, which valgrind replaces too.
    echo "== default under valgrind memcheck"
    ctest --test-dir build/default -E 'tools_|NoAllocation|build_orvalink|simulink_blocks|fmu_model_description' -T memcheck --output-on-failure \
      --overwrite MemoryCheckCommandOptions="--error-exitcode=99 --leak-check=full --errors-for-leak-kinds=definite,indirect --show-leak-kinds=definite,indirect"
  fi
done

if [ ${#skipped[@]} -gt 0 ]; then
  for what in "${skipped[@]}"; do echo "== SKIPPED: $what"; done
fi
