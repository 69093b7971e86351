#!/usr/bin/env bash
# Builds everything and runs every test: scripts/run-tests.sh [--sanitize]
set -euo pipefail
unset CDPATH
here=${BASH_SOURCE[0]%/*}
[[ "$here" != "${BASH_SOURCE[0]}" ]] || here=.
source "$here/common.sh"
pex_absolute root "$here/.."
pex_refuse_unusable_checkout "$root"
pex_take_tmpdir tmp
dir="$root/build"
[[ "${1:-}" == "--sanitize" ]] && dir="$root/build-asan"

# The tests' scratch folders go into one folder of this run, made before the build (a temporary
# folder the tests cannot use is refused at once) and removed as the run ends, Ctrl-C included,
# once no process of the suite is left to write into it.
run="" suite=""
pex_finish() {
  local status=$?
  trap '' INT TERM HUP
  pex_end_run "$suite" "$run"
  exit "$status"
}
trap pex_finish EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP
pex_make_run_folder run lock "$tmp"

bash "$root/scripts/build.sh" "$@"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

# The suite runs in a session of its own, its signals at their defaults: a Ctrl-C or a signal to
# this script ends it whole at once (ctest alone would go on with the next tests), and no test
# reaches the terminal. Its processes inherit the run folder's lock, so another run leaves the
# folder alone while any of them lives, this script killed outright or not.
cd "$dir"
TMPDIR=$run setsid -w env --default-signal=INT,QUIT ctest --output-on-failure -j"$(nproc)" --timeout 600 &
suite=$!
wait "$suite"
