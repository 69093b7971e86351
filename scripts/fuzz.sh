#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (build-fuzz) and runs each: scripts/fuzz.sh [SECONDS] [TARGET...]
# Every target (all of tests/fuzz without names) runs SECONDS (default 60) on a copy of its corpus
# tests/fuzz/corpus/<target>, in its own folder build-fuzz/fuzz-work/<target>. A crash, leak, hang
# or broken promise of a target is reported with the input it kept; the status is then 1.
set -euo pipefail
unset CDPATH
here=${BASH_SOURCE[0]%/*}
[[ "$here" != "${BASH_SOURCE[0]}" ]] || here=.
source "$here/common.sh"
pex_absolute root "$here/.."
pex_refuse_unusable_checkout "$root"
seconds=${1:-60}
[[ $# -gt 0 ]] && shift
if ! [[ "$seconds" =~ ^[0-9]+$ ]]; then
  echo "usage: scripts/fuzz.sh [SECONDS] [TARGET...]" >&2
  exit 2
fi
if ! command -v clang++ >/dev/null; then
  echo "scripts/fuzz.sh needs clang++ (Debian: apt-get install clang)" >&2
  exit 2
fi

dir="$root/build-fuzz"
CXX=clang++ pex_configure "$root" "$dir" -DPEX_FUZZ=ON -DPEX_BUILD_BENCH=OFF

targets=("$@")
# Every target has its corpus folder (the replay test insists on it).
if [[ ${#targets[@]} -eq 0 ]]; then
  for d in "$root"/tests/fuzz/corpus/*/; do targets+=("$(basename "$d")"); done
fi
build=()
for t in "${targets[@]}"; do
  [[ -d "$root/tests/fuzz/corpus/$t" ]] || { echo "no fuzz target \"$t\"" >&2; exit 2; }
  build+=(--target "fuzz_$t")
done
log="$dir/build.log"
if ! cmake --build "$dir" -j"${FUZZ_BUILD_JOBS:-4}" "${build[@]}" >"$log" 2>&1; then
  cat "$log" >&2
  echo "Fuzz build failed (log: $log)" >&2
  exit 1
fi

failed=0
tmp=""
trap '[[ -z "$tmp" ]] || rm -rf "$tmp"' EXIT
for t in "${targets[@]}"; do
  work="$dir/fuzz-work/$t"
  rm -rf "$work"
  mkdir -p "$work/corpus"
  cp "$root/tests/fuzz/corpus/$t/"* "$work/corpus/"
  # The target writes every input to a scratch file: in memory when it can, it runs many times faster.
  if ! tmp=$(mktemp -d /dev/shm/pexfuzz.XXXXXX 2>/dev/null || mktemp -d "$work/tmp.XXXXXX"); then
    tmp=""
    echo "fuzz_$t: no scratch folder in /dev/shm or $work" >&2
    exit 1
  fi
  echo "fuzz_$t: ${seconds}s"
  # Anything an input names by a relative path stays in $work. Every path given is absolute, so a
  # target that changes its working folder still finds its seeds and keeps its findings.
  if ! (cd "$work" && TMPDIR="$tmp" "$dir/bin/fuzz_$t" -max_total_time="$seconds" -timeout=10 \
          -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$work/" "$work/corpus" >"$work/log.txt" 2>&1); then
    failed=1
    tail -n 40 "$work/log.txt" >&2
    for input in "$work"/crash-* "$work"/leak-* "$work"/timeout-* "$work"/oom-* "$work"/slow-unit-*; do
      [[ -e "$input" ]] && echo "fuzz_$t FAILED: input kept at $input" >&2
    done
    echo "fuzz_$t FAILED (log: $work/log.txt)" >&2
  else
    grep -E "^stat::number_of_executed_units" "$work/log.txt" | sed "s/^/  /" || true
  fi
  rm -rf "$tmp"
  tmp=""
done
exit "$failed"
