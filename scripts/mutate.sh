#!/usr/bin/env bash
# Mutation check of the test suite: scripts/mutate.sh [SOURCE_TREE] [MUTANT_FILE]
#
# Builds a scratch copy of SOURCE_TREE (default: this repository) once, then for each mutant of
# MUTANT_FILE (default: scripts/mutants.txt beside this script) applies its one-line fault, rebuilds,
# runs the suite and restores the file. A mutant is "caught" when a test fails (or a build step that
# runs the built code fails), "missed" when the suite still passes, "nobuild" when the fault does not
# compile and "stale" when its original text is not in the file exactly once. Per-mutant lines go to $MUTATE_OUT (default: mutate-results.txt in
# the scratch folder), each mutant's build or test log to logs/ID.log there (a caught mutant's log
# names the tests that caught it). MUTATE_JOBS sets the build's parallel jobs (default: all processors).
# Exit status: 0 when every mutant was judged, 1 when some were stale or did not build, 2 when the
# check could not start.
set -euo pipefail

unset CDPATH
scripts=${BASH_SOURCE[0]%/*}
[[ "$scripts" != "${BASH_SOURCE[0]}" ]] || scripts=.
source "$scripts/common.sh"
pex_absolute here "$scripts/.."
die() { echo "mutate: $*" >&2; exit 2; }
[[ -d "${1:-$here}" ]] || die "no source tree ${1:-}"
pex_absolute src "${1:-$here}"
list=${2:-$here/scripts/mutants.txt}
[[ -f "$list" ]] || die "no mutant file $list"
list=$(realpath "$list")
[[ -f "$src/CMakeLists.txt" ]] || die "$src is not a source tree"
jobs=${MUTATE_JOBS:-$(nproc)}

# The mutant list is read and applied by Python, so that empty replacements and any
# characters in the texts survive; bash only sees ids and statuses.
tool=$(cat <<'PY'
import os, sys

def read(path):
    mutants, ids = [], set()
    with open(path, encoding="utf-8") as f:
        for n, line in enumerate(f, 1):
            line = line.rstrip("\n")
            if not line.strip() or line.startswith("#"):
                continue
            fields = line.split("\t")
            if len(fields) != 5 or not fields[0] or not fields[1] or not fields[2] or fields[0].split() != [fields[0]]:
                sys.exit(f"{path}:{n}: want id, path, original, replacement, description separated by tabs")
            if fields[0] in ids:
                sys.exit(f"{path}:{n}: id {fields[0]} is used twice")
            if fields[2] == fields[3]:
                sys.exit(f"{path}:{n}: the replacement equals the original")
            ids.add(fields[0])
            mutants.append(fields)
    return mutants

cmd, path = sys.argv[1], sys.argv[2]
mutants = read(path)
if cmd == "ids":
    print("\n".join(m[0] for m in mutants))
    sys.exit(0)
mid, tree, backup = sys.argv[3], sys.argv[4], sys.argv[5]
m = next(m for m in mutants if m[0] == mid)
if cmd == "describe":
    print(m[4])
elif cmd == "apply":
    target = os.path.join(tree, m[1])
    try:
        with open(target, encoding="utf-8", newline="") as f:
            text = f.read()
    except OSError:
        sys.exit(3)
    if text.count(m[2]) != 1:
        sys.exit(3)
    with open(backup, "w", encoding="utf-8", newline="") as f:
        f.write(text)
    with open(target, "w", encoding="utf-8", newline="") as f:
        f.write(text.replace(m[2], m[3]))
    print(m[1])
PY
)

ids=$(python3 -c "$tool" ids "$list") || die "bad mutant file $list"
total=$(grep -c . <<<"$ids" || true)
[[ $total -gt 0 ]] || die "no mutants in $list"

work=$(mktemp -d "${TMPDIR:-/tmp}/mutate.XXXXXX") || die "no scratch folder in the temporary folder (TMPDIR) ${TMPDIR:-/tmp}"
tree="$work/src"
build="$work/build"
logs="$work/logs"
backup="$work/original"
out=${MUTATE_OUT:-$work/mutate-results.txt}
mkdir -p "$tree" "$logs"
: >"$out"
# The copy and its build are large; the results and logs stay.
trap 'rm -rf "$tree" "$build"' EXIT

echo "mutate: copying $src to $work"
tar -C "$src" --exclude='./build*' --exclude='./.git' -cf - . | tar -C "$tree" -xf -

# As scripts/build.sh configures, without the benchmarks. Tests are listed when ctest runs, not
# after each link, so a fault that breaks a test program at start-up fails a test instead of the build.
echo "mutate: configuring and building once (log: $logs/build.log)"
(pex_configure "$tree" "$build" -DPEX_BUILD_BENCH=OFF -DCMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE=PRE_TEST) ||
  die "configure failed (its output is above)"
cmake --build "$build" -j"$jobs" >"$logs/build.log" 2>&1 || die "build failed (log: $logs/build.log)"

echo "mutate: running the unmutated suite"
(cd "$build" && ctest -j"$jobs" --timeout 300 >"$logs/baseline.log" 2>&1) ||
  die "the unmutated suite fails; see $logs/baseline.log"

# Tests that took more than two seconds in the unmutated run (the whole-run jobs) run last and only
# when the quick ones all pass; the quick ones stop at their first failure. Most mutants are caught
# by a quick test within seconds, so a caught mutant costs a fraction of a whole suite.
slow=$(awk '/^---/ { exit } NF >= 3 && $NF > 2 { sub(/ +[0-9]+ +[0-9.eE+-]+$/, ""); print }' \
         "$build/Testing/Temporary/CTestCostData.txt" |
       sed 's/[][\\.^$*+?(){}|]/\\&/g' | sed 's/.*/^&$/' | paste -sd'|')
run_suite() {
  if [[ -z $slow ]]; then
    (cd "$build" && ctest -j"$jobs" --timeout 300 --stop-on-failure >"$1" 2>&1)
    return
  fi
  (cd "$build" && ctest -j"$jobs" --timeout 300 --stop-on-failure -E "$slow" >"$1" 2>&1) &&
    (cd "$build" && ctest -j"$jobs" --timeout 300 --stop-on-failure -R "$slow" >>"$1" 2>&1)
}

caught=0 missed=0 stale=0 nobuild=0
while IFS= read -r id; do
  desc=$(python3 -c "$tool" describe "$list" "$id" "$tree" "$backup")
  log="$logs/$id.log"
  if ! file=$(python3 -c "$tool" apply "$list" "$id" "$tree" "$backup"); then
    status=stale
  else
    if ! cmake --build "$build" -j"$jobs" >"$log" 2>&1; then
      # A build step that runs the built code (the encoder's reference frames) and fails has
      # caught the fault; a compiler error has not.
      if grep -q ': error:' "$log"; then status=nobuild; else status=caught; fi
    elif run_suite "$log"; then
      status=missed
    else
      status=caught
    fi
    # A fresh time stamp, so the next build compiles the restored file again.
    cat "$backup" >"$tree/$file"
    touch "$tree/$file"
  fi
  case $status in
    caught) caught=$((caught + 1)) ;;
    missed) missed=$((missed + 1)) ;;
    stale) stale=$((stale + 1)) ;;
    nobuild) nobuild=$((nobuild + 1)) ;;
  esac
  echo "$id $status $desc" | tee -a "$out"
done <<<"$ids"

echo "caught $caught of $total (stale $stale, nobuild $nobuild)" | tee -a "$out"
echo "mutate: results in $out; build and test logs of each mutant in $logs"
[[ $stale -eq 0 && $nobuild -eq 0 ]] || exit 1
