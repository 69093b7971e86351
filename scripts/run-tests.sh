#!/usr/bin/env bash
# Builds everything and runs every test: scripts/run-tests.sh [--sanitize]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/common.sh"
pex_refuse_unusable_checkout "$root"
tmp=${TMPDIR:-/tmp}
# The tests name their scratch files in argument texts, which hold a path as the checkout's is held.
pex_refuse_unusable_path "The temporary folder (TMPDIR)" "$tmp"
dir="$root/build"
[[ "${1:-}" == "--sanitize" ]] && dir="$root/build-asan"
bash "$root/scripts/build.sh" "$@"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

# The tests' scratch folders go into one folder of this run, removed as it ends, Ctrl-C included.
# Each run holds a lock on its own; one whose lock nobody holds is left by a run that was killed
# outright, and goes now.
pex_remove_run() { chmod -R u+rwx -- "$1" 2>/dev/null || true; rm -rf -- "$1" || true; }
for old in "$tmp"/pextest-run.*; do
  if [[ -d "$old" && ! -L "$old" ]] && flock -n "$old" true; then pex_remove_run "$old"; fi
done
run=$(cd "$(mktemp -d "$tmp/pextest-run.XXXXXX")" && pwd)
exec {lock}<"$run"
flock -n "$lock"
trap 'pex_remove_run "$run"' EXIT
# The suite runs in a session of its own, its signals at their defaults: a Ctrl-C or a signal to
# this script ends it whole at once (ctest alone would go on with the next tests), and no test
# reaches the terminal.
cd "$dir"
TMPDIR=$run setsid -w env --default-signal=INT,QUIT ctest --output-on-failure -j"$(nproc)" --timeout 600 {lock}<&- &
suite=$!
# Ends every process of the suite's session, those a test put in a process group of their own (a
# program run under `timeout`) among them.
pex_stop_suite() {
  local p stat session
  for p in /proc/[0-9]*; do
    stat=$(cat "$p/stat" 2>/dev/null) || continue
    read -r _ _ _ session _ <<<"${stat##*) }"
    [[ "$session" != "$suite" ]] || kill -TERM "${p#/proc/}" 2>/dev/null || true
  done
  wait "$suite" || true
  exit "$1"
}
trap 'pex_stop_suite 130' INT
trap 'pex_stop_suite 143' TERM
trap 'pex_stop_suite 129' HUP
wait "$suite"
