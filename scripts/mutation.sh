#!/usr/bin/env bash
# Mutation testing of the block and brindle (not part of CI: about 20
# minutes on two cores). Plants one small fault at a time, rebuilds, runs
# the fast suites and lists every fault that no test noticed; each listed
# survivor must be one of tests/equivalent_mutants.md, or a test is missing.
#   native preset: block/**/*.cpp and pathsetup/*.cpp
#   64-bit Windows preset, tests under Wine: block/link/socket_win32.cpp
set -euo pipefail
cd "$(dirname "$0")/.."
mutate=${MUTATE:-../shared/tools/mutate.py}
[ -f "$mutate" ] || { echo "mutation.sh: no mutation tool at $mutate (set MUTATE)"; exit 2; }
python3 "$mutate" --ctest-args "-E tools_" "$@"
python3 "$mutate" --preset mingw64 --files block/link/socket_win32.cpp --ctest-args "-R link"
