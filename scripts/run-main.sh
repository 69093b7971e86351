#!/usr/bin/env bash
# Builds the library and the host, then runs the default test tree on the default simulated rig.
# Extra arguments go to the host (see README).
set -euo pipefail
unset CDPATH
here=${BASH_SOURCE[0]%/*}
[[ "$here" != "${BASH_SOURCE[0]}" ]] || here=.
source "$here/common.sh"
pex_absolute root "$here/.."
bash "$root/scripts/build.sh" pexhost PexanoTests
mkdir -p "$root/build/work"
cd "$root/build/work"
exec "$root/build/bin/pexhost" "$@"
