#!/usr/bin/env bash
# Builds the library and the host, then runs the default test tree on the default simulated rig.
# Extra arguments go to the host (see README).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/build.sh" pexhost PexanoTests
mkdir -p "$root/build/work"
cd "$root/build/work"
exec "$root/build/bin/pexhost" "$@"
