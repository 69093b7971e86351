#!/usr/bin/env bash
# The run folders of scripts/run-tests.sh: made and locked so that runs sharing a temporary folder
# never remove each other's, one whose suite lives on after its script was killed kept, one left by
# a dead run removed (before this run's is made, so that what it filled is free again), only once no
# process of a stopped suite can write into it; the suite's session the one signalled, job control
# or not; the temporary folders the tests cannot use refused with one line.
set -uo pipefail
unset CDPATH
common="$(dirname "$0")/../../scripts/common.sh"
source "$common"
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
  mkdir "$run/scratch"
  setsid bash -c 'until [[ -e "$1" ]]; do sleep 0.02; done' _ "$work/suite-ends" &
  echo "$run" >"$work/killed"  # once the suite holds the lock too
  wait
) & script=$!
until [[ -s "$work/killed" ]]; do sleep 0.01; done
kill -9 "$script"
wait "$script" 2>/dev/null
killed=$(<"$work/killed")
(run_once "$shared") || fail "the run after a killed one failed"
[[ -d "$killed" ]] || fail "a live suite's folder was removed after its script was killed"
touch "$work/suite-ends"
until flock -n "$killed" true; do sleep 0.02; done
(run_once "$shared") || fail "the run after a dead one failed"
[[ ! -e "$killed" ]] || fail "a dead run's folder was kept"

# Only folders of the runs' own name are taken for a dead run's, and of those not one just made,
# empty, which a run starting now is about to lock. A lock that another user may hold on the
# temporary folder itself holds up no run, and a temporary folder named with a final "/" (as "/" is)
# gives a run's folder without a doubled "/".
mkdir "$shared/pextest-run.keep-me" "$shared/elsewhere" "$shared/pextest-run.Fresh1" "$shared/pextest-run.Stale1"
touch -d '2 minutes ago' "$shared/pextest-run.Stale1"
ln -s elsewhere "$shared/pextest-run.LINKED"
touch "$shared/pextest-run.FILE00"
flock "$shared" sleep 30 >/dev/null 2>&1 &
holder=$!
until ! flock -n "$shared" true; do sleep 0.01; done
(
  set -e
  pex_make_run_folder run lock "$shared/"
  [[ "$run" == "$shared/pextest-run."* ]] || { echo "made $run"; exit 1; }
  pex_end_run "" "$run"
) || fail "a run with a final \"/\" to its temporary folder or beside a lock on it failed"
pkill -P "$holder"
wait "$holder" 2>/dev/null
[[ -d "$shared/pextest-run.keep-me" && -L "$shared/pextest-run.LINKED" && -d "$shared/elsewhere" && -f "$shared/pextest-run.FILE00" &&
   -d "$shared/pextest-run.Fresh1" && ! -e "$shared/pextest-run.Stale1" ]] ||
  fail "a run removed what it did not make, or kept a dead run's empty folder: $(ls -A "$shared")"

# A run whose new folder another run takes before it locks it goes on at once with another, leaving
# nothing behind: here mktemp stands for the other run, removing the first folder it makes (the
# sweep of a run that found it unlocked for over a minute) or holding its lock (a sweep stopped
# while it looks at it).
mkdir "$work/fake" "$work/lost"
cat >"$work/fake/mktemp" <<'FAKE'
#!/usr/bin/env bash
made=$("$REAL_MKTEMP" "$@") || exit
if [[ ! -e "$FAKE/first" && "${made##*/}" == pextest-run.* ]]; then
  echo "$made" >"$FAKE/first"
  if [[ $ACTION == remove ]]; then
    rm -rf -- "$made"
  else
    bash -c 'exec 9<"$1"; flock 9; exec sleep 30' _ "$made" >/dev/null 2>&1 &
    echo $! >"$FAKE/holder"
    until ! flock -n "$made" true; do sleep 0.01; done
  fi
fi
echo "$made"
FAKE
chmod +x "$work/fake/mktemp"
real_mktemp=$(command -v mktemp)
for action in remove hold; do
  rm -f "$work/fake/first" "$work/fake/holder"
  out=$(PATH="$work/fake:$PATH" REAL_MKTEMP=$real_mktemp FAKE="$work/fake" ACTION=$action timeout 20 bash -c 'set -e
    source "$1"
    pex_make_run_folder run lock "$2"
    [[ -d "$run" && "$run" != "$(<"$3/first")" ]] || { echo "went on with $run"; exit 1; }
    ! flock -n "$run" true || { echo "$run is not locked"; exit 1; }
    pex_end_run "" "$run"' _ "$common" "$work/lost" "$work/fake" 2>&1) || fail "a run whose new folder was taken ($action): $out"
  [[ -s "$work/fake/holder" ]] && kill "$(<"$work/fake/holder")"
  [[ -z $(ls -A "$work/lost") ]] || fail "a run whose new folder was taken ($action) left $(ls -A "$work/lost")"
done

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

# A suite's process that will not end when asked is ended at once after the wait, not long after.
(
  pex_end_wait=1
  setsid bash -c 'trap "" TERM; while :; do sleep 0.05; done' >/dev/null 2>&1 &
  session=$!
  sleep 0.2
  start=${EPOCHREALTIME//[!0-9]/}
  pex_end_run "$session" ""
  took=$(((${EPOCHREALTIME//[!0-9]/} - start) / 1000))
  ((took >= 1000 && took < 4000)) && ! pex_signal_session "$session" 0 || { echo "took $took ms"; exit 1; }
) || fail "a suite's process that ignores TERM was not killed after the wait"

# A file size limit below the one the tests need is refused, naming both, not the temporary folder.
mkdir "$work/limited"
for row in "$((pex_file_limit_blocks - 1))|2" "$pex_file_limit_blocks|0" "unlimited|0"; do
  IFS='|' read -r blocks status <<<"$row"
  out=$(ulimit -f "$blocks"; pex_make_run_folder run lock "$work/limited" 2>&1 && pex_end_run "" "$run")
  got=$?
  [[ $got == "$status" && ($status == 0 || ($(wc -l <<<"$out") == 1 && "$out" == *"(ulimit -f: $blocks blocks)"*"need $pex_file_limit_blocks"*)) ]] ||
    fail "ulimit -f $blocks: status $got, said: $out"
done
[[ -z $(ls -A "$work/limited") ]] || fail "runs under a file size limit left $(ls -A "$work/limited")"

# The suite's session is the one whose processes are ended, with job control on (bash -m on a
# terminal) too.
session='source "$COMMON"
  pex_start_suite s "$WORK" sleep 30
  for ((i = 0; i < 200; i++)); do [[ $(</proc/$s/comm) == sleep ]] && break; sleep 0.01; done
  read -r stat </proc/$s/stat
  set -- ${stat##*) }
  [[ $4 == "$s" ]] || { echo "session $4, not $s"; exit 1; }
  pex_end_run "$s" "" && ! kill -0 "$s" 2>/dev/null'
for shell in "bash" "bash -m"; do
  COMMON=$common WORK=$work SESSION=$session script -qec "$shell -c \"\$SESSION\"" /dev/null </dev/null >"$work/session.txt" 2>&1 ||
    fail "the suite's session under \"$shell\": $(<"$work/session.txt")"
done

# A dead run's folder that filled a small disk of its own is removed, and the next run goes on.
# Root mounts it in mounts of its own; another user in a user namespace too, as its root (a user
# other than root there loses its powers as the shell starts), where the kernel allows.
private=(unshare -m --propagation private)
[[ $(id -u) -eq 0 ]] || private=(unshare -m --propagation private --map-root-user)
mkdir "$work/small"
if ! "${private[@]}" true 2>"$work/why.txt"; then
  echo "skipped the small disk's rows: no mounts of its own here ($(<"$work/why.txt"))"
else
  "${private[@]}" bash -c 'set -e
    source "$1"
    mount -t tmpfs -o size=2m,nr_inodes=16 tmpfs "$2"
    dead="$2/pextest-run.Dead01"
    mkdir "$dead"
    head -c 4M /dev/zero >"$dead/big" 2>/dev/null || true
    for i in $(seq 20); do : >"$dead/f$i"; done 2>/dev/null || true
    ! mktemp -d "$2/x.XXXXXX" >/dev/null 2>&1 || { echo "the small disk was not full"; exit 1; }
    pex_make_run_folder run lock "$2"
    [[ ! -e "$dead" && -d "$run" ]] || { echo "left $(ls -A "$2")"; exit 1; }' _ "$common" "$work/small" >"$work/small.txt" 2>&1 ||
    fail "a run in a temporary folder filled by a dead run's: $(<"$work/small.txt")"
fi

# Temporary folders the tests cannot use, and those they can, given as the tests get them. The rows
# lie inside this test's own folder, which lies inside the run's: they are held to a limit that
# leaves them room, whatever the folder's length (bytes, not characters).
limit=$(LC_ALL=C; echo $((${#work} + 24)))
long=$(printf 'l%.0s' $(seq $(LC_ALL=C; echo $((limit - ${#work})))))
mkdir -p "$work/a)b" "$work/plain" "$work/$long" "$work/${long:1}" "$work/nl"$'\n' "$work/-" "$work/deep/inner"
ln -s "a)b" "$work/unpaired"
ln -s "plain" "$work/linked"
ln -s "deep/inner" "$work/inward"
touch "$work/file"
rows=(
  # TMPDIR | status | what stderr or the resolved path holds
  "$work/none|2|does not exist"
  "$work/file|2|is not a folder"
  "$work/unpaired|2|with its links resolved \"$work/a)b\" holds \")\""
  "$work/$long|2|bytes long; it may be at most $limit"
  "$work/${long:1}|0|$work/${long:1}"
  "$work/nl"$'\n'"|2|a control character"
  "$work/linked|0|$work/plain"
  "/$work/plain|0|$work/plain"
  "-|0|$work/-"
  "$work/inward/..|0|$work/deep"
)
for row in "${rows[@]}"; do
  IFS='|' read -r -d '' name status want <<<"$row" || true
  want=${want%$'\n'}
  out=$(cd "$work" && TMPDIR="$name" bash -c 'source "$1"; pex_tmp_max=$2; pex_take_tmpdir t; echo "$t"' _ "$common" "$limit" 2>&1)
  got=$?
  [[ $got == "$status" && ($status == 2 || "$out" == "$want") && "$out" == *"$want"* &&
     ($status == 0 || ($(wc -l <<<"$out") == 1 && "$out" == *TMPDIR*)) ]] ||
    fail "TMPDIR \"$name\": status $got, said: $out"
done

((failures == 0)) && echo "run folders and temporary folders: all checks passed"
exit $((failures > 0))
