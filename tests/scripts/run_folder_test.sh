#!/usr/bin/env bash
# The run folders of scripts/run-tests.sh: made and locked so that runs sharing a temporary folder
# never remove each other's, one whose suite lives on after its script was killed kept, one left by
# a dead run removed, only once no process of a stopped suite can write into it; the temporary folders
# the tests cannot use refused with one line.
set -uo pipefail
unset CDPATH
source "$(dirname "$0")/../../scripts/common.sh"
work=$(mktemp -d) || { echo "no scratch folder in ${TMPDIR:-/tmp}" >&2; exit 2; }
trap 'chmod -R u+rwx "$work"; rm -rf "$work"' EXIT
failures=0
fail() { echo "FAILED: $*" >&2; failures=$((failures + 1)); }

# A run as run-tests.sh makes it; it writes in its folder, holds it a moment and checks it is there.
run_once() {
  set -e
  local run lock
  pex_make_run_folder run lock "$1"
  mkdir "$run/scratch"
  sleep "0.0$((RANDOM % 5))"
  [[ -d "$run/scratch" ]] || { echo "lost $run"; exit 1; }
  pex_end_run "" "$run"
}

# Runs started together in one temporary folder.
shared="$work/shared"
mkdir "$shared"
for _ in $(seq 25); do
  pids=()
  for _ in 1 2 3 4; do
    (run_once "$shared") &
    pids+=($!)
  done
  for pid in "${pids[@]}"; do wait "$pid" || fail "a run lost its folder to one started with it"; done
done
[[ -z $(ls -A "$shared") ]] || fail "runs left $(ls -A "$shared")"

# A run killed outright while its suite goes on: its folder is kept until the suite has ended.
(
  pex_make_run_folder run lock "$shared"
  echo "$run" >"$work/killed"
  setsid sleep 2 &
  wait
) & script=$!
until [[ -s "$work/killed" ]]; do sleep 0.01; done
kill -9 "$script"
wait "$script" 2>/dev/null
killed=$(<"$work/killed")
(run_once "$shared") || fail "the run after a killed one failed"
[[ -d "$killed" ]] || fail "a live suite's folder was removed after its script was killed"
sleep 2.5
(run_once "$shared") || fail "the run after a dead one failed"
[[ ! -e "$killed" ]] || fail "a dead run's folder was kept"

# Only folders of the runs' own name are taken for a dead run's.
mkdir "$shared/pextest-run.keep-me" "$shared/elsewhere"
ln -s elsewhere "$shared/pextest-run.LINKED"
touch "$shared/pextest-run.FILE00"
(run_once "$shared") || fail "a run among other files failed"
[[ -d "$shared/pextest-run.keep-me" && -L "$shared/pextest-run.LINKED" && -d "$shared/elsewhere" && -f "$shared/pextest-run.FILE00" ]] ||
  fail "a run removed what it did not make: $(ls -A "$shared")"

# A stopped suite's folder goes once its last process, slow to end, has gone.
(
  pex_make_run_folder run lock "$shared"
  setsid bash -c 'trap "sleep 0.5; mkdir -p \"$1/late\"; exit" TERM; while :; do sleep 0.05; done' _ "$run" 2>/dev/null &
  session=$!
  sleep 0.3
  pex_end_run "$session" "$run"
  sleep 0.6
  [[ ! -e "$run" ]] && ! kill -0 "$session" 2>/dev/null
) || fail "a stopped suite's process outlived its folder's removal"

# Temporary folders the tests cannot use, and those they can, given as the tests get them.
mkdir -p "$work/a)b" "$work/plain" "$work/$(printf 'l%.0s' $(seq $((pex_tmp_max - ${#work}))))" "$work/nl"$'\n'
ln -s "a)b" "$work/unpaired"
ln -s "plain" "$work/linked"
touch "$work/file"
rows=(
  # TMPDIR | status | what stderr or the resolved path holds
  "none|2|does not exist"
  "file|2|is not a folder"
  "unpaired|2|with its links resolved \"$work/a)b\" holds \")\""
  "$(printf 'l%.0s' $(seq $((pex_tmp_max - ${#work}))))|2|bytes long; it may be at most $pex_tmp_max"
  "nl"$'\n'"|2|a control character"
  "linked|0|$work/plain"
)
for row in "${rows[@]}"; do
  IFS='|' read -r -d '' name status want <<<"$row" || true
  want=${want%$'\n'}
  out=$(TMPDIR="$work/$name" bash -c 'source "$1"; pex_take_tmpdir t; echo "$t"' _ "$(dirname "$0")/../../scripts/common.sh" 2>&1)
  got=$?
  [[ $got == "$status" && "$out" == *"$want"* && ($status == 0 || ($(wc -l <<<"$out") == 1 && "$out" == *TMPDIR*)) ]] ||
    fail "TMPDIR \"$name\": status $got, said: $out"
done

((failures == 0)) && echo "run folders and temporary folders: all checks passed"
exit $((failures > 0))
