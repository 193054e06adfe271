#!/usr/bin/env bash
# Soak run (not a test): the runner sends STEPS datagrams (default one
# million) as fast as it can to a listener on loopback. Passes when every
# datagram arrived well-formed and the runner's resident memory did not grow
# after its first thousand steps. Prints the figures either way.
set -euo pipefail
cd "$(dirname "$0")/.."
steps=${1:-1000000}

cmake --preset default >/dev/null
cmake --build --preset default >/dev/null
bin=build/default/bin
log=$(mktemp -d)

"$bin/fdm-listen" --port 0 --count "$steps" --every "$steps" --timeout 900 >/dev/null 2>"$log/listen" &
listener=$!
trap 'kill "$listener" "${runner:-}" 2>/dev/null || true; rm -rf "$log"' EXIT
for _ in $(seq 100); do
  port=$(grep -o 'listening on [0-9.]*:[0-9]*' "$log/listen" | cut -d: -f2 || true)
  [ -n "$port" ] && break
  sleep 0.1
done
[ -n "$port" ] || { echo "soak: the listener did not start"; exit 1; }

rss() { awk '/^VmRSS/ {print $2}' "/proc/$1/status" 2>/dev/null || true; }

# Paced for the first thousand steps, so that the first reading comes after them.
"$bin/orvalink-run" --port "$port" --steps 1000 --sample-time 0.0005 --quiet
"$bin/orvalink-run" --port "$port" --steps "$((steps - 1000))" --fast --quiet &
runner=$!
sleep 0.2
first=$(rss "$runner"); highest=${first:-0}
while kill -0 "$runner" 2>/dev/null; do
  now=$(rss "$runner"); [ -n "$now" ] && [ "$now" -gt "$highest" ] && highest=$now
  sleep 0.2
done
wait "$runner"
# Whatever is still on its way arrives within moments.
for _ in $(seq 50); do kill -0 "$listener" 2>/dev/null || break; sleep 0.1; done
kill -INT "$listener" 2>/dev/null || true
wait "$listener" || true
summary=$(tail -n 1 "$log/listen")
received=$(echo "$summary" | grep -o '[0-9]* packets' | grep -o '[0-9]*')
malformed=$(echo "$summary" | grep -o '[0-9]* malformed' | grep -o '[0-9]*')

echo "soak: sent $steps, received $received well-formed, $malformed malformed"
echo "soak: runner resident memory ${first:-?} KiB early in the run, at most $highest KiB after"
if [ "${received:-0}" -ne "$steps" ] || [ "${malformed:-1}" -ne 0 ] || [ "$highest" -gt "${first:-0}" ]; then
  echo "soak: FAILED"
  exit 1
fi
echo "soak: passed"
