#!/usr/bin/env bash
# Runs every libFuzzer target for a bounded time on top of its corpus in
# fuzz/corpus (default 60 seconds each; FUZZ_SECONDS overrides). A finding
# is written to build/fuzz/findings and fails the run; once fixed, add the
# input to the target's corpus.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${FUZZ_SECONDS:-60}

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
mkdir -p build/fuzz/findings

status=0
for target in mex_call_fuzz simulation_fuzz set_matlab_path_fuzz remove_matlab_path_fuzz datagram_fuzz capture_fuzz; do
  work=$(mktemp -d)
  cp fuzz/corpus/"$target"/* "$work"/
  log=build/fuzz/findings/$target.log
  echo "== $target: $seconds s"
  if ! build/fuzz/bin/"$target" -max_total_time="$seconds" -print_final_stats=1 -timeout=10 \
       -artifact_prefix=build/fuzz/findings/"$target"- "$work" >"$log" 2>&1; then
    echo "$target FOUND A FAULT:"; grep -E 'ERROR|SUMMARY|Test unit written' "$log" || tail -n 20 "$log"
    status=1
  fi
  runs=$(grep -oE 'number_of_executed_units: *[0-9]+' "$log" | grep -o '[0-9]*$' || echo "?")
  new=$(grep -oE 'new_units_added: *[0-9]+' "$log" | grep -o '[0-9]*$' || echo "?")
  echo "$target: $runs executions in $seconds s, $new new inputs"
  rm -rf "$work"
done
exit "$status"
