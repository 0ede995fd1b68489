#!/usr/bin/env bash
# Queueing a dropped folder tree of photos: builds an optimised benchmark,
# makes the trees in a scratch directory and prints a table; the last line
# sums it up. Usage: bench/queue-intake/run.sh [files] [runs]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
repo="$(cd "$here/../.." && pwd)"
files="${1:-10000}"
runs="${2:-5}"
build="$repo/build/bench-queue-intake"
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target queue_intake_bench >/dev/null
work="$(mktemp -d "${TMPDIR:-/tmp}/queue-intake-XXXXXX")"
trap 'rm -rf "$work"' EXIT
"$build/queue_intake_bench" "$work" "$files" "$runs"
