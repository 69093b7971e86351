#!/usr/bin/env bash
# Configures and builds the project: scripts/build.sh [--sanitize] [targets...]
set -euo pipefail
unset CDPATH
here=${BASH_SOURCE[0]%/*}
[[ "$here" != "${BASH_SOURCE[0]}" ]] || here=.
source "$here/common.sh"
pex_absolute root "$here/.."
pex_refuse_unusable_checkout "$root"
bash "$root/scripts/deps.sh"

dir="$root/build"
opts=()
if [[ "${1:-}" == "--sanitize" ]]; then
  shift
  dir="$root/build-asan"
  opts+=(-DPEX_SANITIZE=ON -DPEX_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug)
fi
pex_configure "$root" "$dir" "${opts[@]}"
targets=()
for t in "$@"; do targets+=(--target "$t"); done
# Quiet when it works; the whole log when it does not.
log="$dir/build.log"
if ! cmake --build "$dir" -j"$(nproc)" "${targets[@]}" >"$log" 2>&1; then
  cat "$log" >&2
  echo "Build failed (log: $log)" >&2
  exit 1
fi
