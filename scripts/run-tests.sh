#!/usr/bin/env bash
# Builds everything and runs every test: scripts/run-tests.sh [--sanitize]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir="$root/build"
[[ "${1:-}" == "--sanitize" ]] && dir="$root/build-asan"
bash "$root/scripts/build.sh" "$@"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
cd "$dir"
ctest --output-on-failure -j"$(nproc)" --timeout 600
