#!/usr/bin/env bash
# Runs the usage benchmarks: generates the inputs below build/bench-data once (they are never
# committed), installs the reference analyzer ccusage below build/bench-tools, and prints the
# figures of build/bench/bin/orvane-bench-usage. Started by `scripts/dev bench`, which builds
# the bench preset first.
set -euo pipefail

cd "$(dirname "$0")/.."
root=$(pwd)
data=$root/build/bench-data
tools=$root/build/bench-tools
bin=$root/build/bench/bin

say() { printf '\033[1m==> %s\033[0m\n' "$*" >&2; }

if [ ! -f "$data/expected.json" ] || [ "$root/bench/generate.py" -nt "$data/expected.json" ]; then
    say "generating the benchmark inputs in $data"
    rm -rf "$data"
    mkdir -p "$data"
    python3 "$root/bench/generate.py" "$data"
fi

ccusage=$tools/node_modules/.bin/ccusage
if [ ! -x "$ccusage" ]; then
    say "installing ccusage 20.0.24 in $tools"
    npm install --silent --no-audit --no-fund --prefix "$tools" ccusage@20.0.24 >&2 \
        || say "could not install ccusage; its figures are left out"
fi
ccusage_args=()
[ -x "$ccusage" ] && ccusage_args=(--ccusage "$ccusage")

# The overlay controller on the fake clock; it generates its own homes in the temporary folder.
"$bin/orvane-bench-overlay"

# Hot cache: the program reads every input once before timing it.
exec "$bin/orvane-bench-usage" --data "$data" --tool "$bin/orvane-usage" --jq "$(command -v jq)" \
    "${ccusage_args[@]}"
