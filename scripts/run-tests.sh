#!/usr/bin/env bash
# Builds everything and runs every test: scripts/run-tests.sh [--sanitize]
set -euo pipefail
unset CDPATH
set +m  # job control (bash -m) would put each step in a process group of its own
here=${BASH_SOURCE[0]%/*}
[[ "$here" != "${BASH_SOURCE[0]}" ]] || here=.
source "$here/common.sh"
pex_absolute root "$here/.."
pex_refuse_unusable_checkout "$root"
pex_take_tmpdir tmp
# The build and the tests see the temporary folder by the one path checked.
export TMPDIR=$tmp
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

cd "$dir"
pex_start_suite suite "$run" ctest --output-on-failure -j"$(nproc)" --timeout 600
wait "$suite"
