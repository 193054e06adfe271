#!/usr/bin/env bash
# Builds everything and flies the demo on loopback: orvalink-run streams a
# climbing turn near Honolulu through the block, fdm-listen shows what
# arrives. Extra arguments go to orvalink-run (try --help).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh demo
cmake --preset default >/dev/null
cmake --build --preset default

bin=build/default/bin
port=5500
# Twenty steps a second for ten seconds; the listener shows one line in twenty.
"$bin/fdm-listen" --port "$port" --count 200 --every 20 --timeout 30 &
listener=$!
trap 'kill "$listener" 2>/dev/null || true' EXIT
sleep 0.3
"$bin/orvalink-run" --port "$port" --duration 10 "$@"
wait "$listener"
