#!/usr/bin/env bash
# Runs the usage benchmarks: generates the inputs below build/bench-data once (they are never
# committed) and prints the figures of build/bench/bin/orvane-bench-usage. Started by
# `scripts/dev bench`, which builds the bench preset first.
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

# Hot cache: the program reads every input once before timing it.
exec "$bin/orvane-bench-usage" --data "$data" --tool "$bin/orvane-usage" --jq "$(command -v jq)"
