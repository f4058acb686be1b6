#!/usr/bin/env bash
# Runs the benchmarks: generates the inputs below build/bench-data once (they are never
# committed) and the 100 MB and 1 GB transcripts in the temporary folder for each run (deleted
# afterwards), and prints the figures of build/bench/bin/orvane-bench-*. Started by
# `scripts/dev bench`, which builds the bench preset first. ORVANE_BENCH_BEFORE=PATH adds an
# earlier build of orvane-usage to the whole-file reading for comparison.
set -euo pipefail

cd "$(dirname "$0")/.."
root=$(pwd)
data=$root/build/bench-data
bin=$root/build/bench/bin

say() { printf '\033[1m==> %s\033[0m\n' "$*" >&2; }

if [ ! -f "$data/expected.json" ] || [ "$root/bench/generate.py" -nt "$data/expected.json" ]; then
    say "generating the benchmark inputs in $data"
    rm -rf "$data"
    mkdir -p "$data"
    python3 "$root/bench/generate.py" "$data"
fi

# The overlay controller on the fake clock; it generates its own homes in the temporary folder.
"$bin/orvane-bench-overlay"

# A simulated day of the overlay controller: descriptors and memory at start, middle and end.
"$bin/orvane-bench-day"

"$bin/orvane-bench-usage" --data "$data"

# The real pill for a minute of real time each way (offscreen), and from an append to the first
# changed pixel on a private Xvfb (built where xcb-damage is installed).
"$bin/orvane-bench-pill"
if [ -x "$bin/orvane-bench-firstdigits" ]; then
    "$bin/orvane-bench-firstdigits"
else
    say "orvane-bench-firstdigits was not built (libxcb-damage0-dev missing): skipped"
fi

# Whole-file reading, hot cache: the program reads every input once before timing it.
sized=$(mktemp -d)
trap 'rm -rf "$sized"' EXIT
say "generating 100 MB and 1 GB transcripts in $sized"
python3 "$root/bench/generate.py" "$sized" --sizes 100,1000
"$bin/orvane-bench-reading" --data "$data" --sized "$sized" --tool "$bin/orvane-usage" \
    --jq "$(command -v jq || true)" ${ORVANE_BENCH_BEFORE:+--before "$ORVANE_BENCH_BEFORE"}
