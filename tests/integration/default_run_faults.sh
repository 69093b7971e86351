#!/usr/bin/env bash
# Runs the default tree (the host with no filter, as a station runs it) on the default rig with one
# fault at a time and prints, per fault, whether the run failed and which leaves failed.
# Usage: default_run_faults.sh [--check] BINDIR [JOBS]
#   BINDIR holds pexhost and the plug-in; JOBS runs at once (default: the processors, at most 4).
#   The faults are the lines of default_run_faults.txt beside this script.
# Output: one markdown row per fault: | fault | board | FAIL or PASS | failing leaves |
# With --check it also holds the table to docs/rig.md and exits 1 when
#   - the healthy default rig does not pass,
#   - a listed fault passes the default run (or the run ends in an error),
#   - a fault kind of docs/rig.md (a "### `kind`" heading or a row of a "| fault | fields |" table) is
#     neither listed nor named among those the default run does not catch (its section's bullets),
#   - a listed fault kind is not documented there.
set -u
check=0
if [ "${1:-}" = --check ]; then
    check=1
    shift
fi
here=$(cd "$(dirname "$0")" && pwd)
bin=$(cd "${1:?usage: default_run_faults.sh [--check] BINDIR [JOBS]}" && pwd) || exit 2
cpus=$(nproc 2>/dev/null || echo 2)
jobs=${2:-$((cpus < 4 ? cpus : 4))}
list=$here/default_run_faults.txt
doc=$here/../../docs/rig.md
[ -f "$list" ] || { echo "default_run_faults: no fault list $list" >&2; exit 2; }
[ -x "$bin/pexhost" ] || { echo "default_run_faults: no pexhost in $bin" >&2; exit 2; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Runs the default tree on the default rig with the fault (empty: none) and leaves its table row in
# $work/N/row and its verdict in $work/N/verdict.
run_one() {
    local n=$1 board=$2 fault=$3 dir="$work/$1" faults=""
    mkdir -p "$dir"
    [ -n "$fault" ] && faults="{\"board\": \"$board\", $fault}"
    printf '%s' "{\"boards\": [{\"tag\": \"Brimola1\", \"kind\": \"brimola\", \"attached\": {\"breakout_box\": true, \"codec_port\": \"Nuxa1\", \"expansion_port\": \"Nuxa1\"}}, {\"tag\": \"Nuxa1\", \"kind\": \"nuxa\"}], \"faults\": [$faults]}" >"$dir/rig.json"
    (cd "$dir" && timeout 300 "$bin/pexhost" --color=never --rig rig.json >out.txt 2>err.txt)
    local status=$? verdict failed
    failed=$(sed -n 's/^\[FAIL\]    \(.*\)  (.*$/\1/p' "$dir/out.txt" | paste -sd ';' -)
    # Exit status 3 is a stop besides the failures (docs/rig.md); a run fails only with a failing leaf.
    case $status in
        0) verdict=PASS ;;
        1 | 3) if [ -n "$failed" ]; then verdict=FAIL; else verdict="exit $status, no failing leaf"; fi ;;
        *) verdict="exit $status" ;;
    esac
    [ "$status" -gt 1 ] && [ "$status" -ne 3 ] && failed="$failed $(head -c 200 "$dir/err.txt" | tr '\n' ' ')"
    printf '%s' "$verdict" >"$dir/verdict"
    printf '%04d| `%s` | %s | %s | %s |\n' "$n" "$fault" "$board" "$verdict" "$failed" >"$dir/row"
}
export -f run_one
export bin work

# board<TAB>fault object without its board, from the list without comments and blank lines
faults=$(grep -v -e '^#' -e '^[[:space:]]*$' "$list")
{
    [ $check = 1 ] && printf '0\tBrimola1\t\n'
    n=0
    while IFS=$'\t' read -r who fault; do
        n=$((n + 1))
        case $who in
            B) board=Brimola1 ;;
            N) board=Nuxa1 ;;
            *) echo "default_run_faults: line $n of the list names board \"$who\" (B or N)" >&2; exit 2 ;;
        esac
        printf '%s\t%s\t%s\n' "$n" "$board" "$fault"
    done <<<"$faults"
} >"$work/jobs" || exit 2
xargs -P "$jobs" -d '\n' -I{} bash -c 'IFS=$'"'"'\t'"'"' read -r n b f <<<"$1"; run_one "$n" "$b" "$f"' _ {} <"$work/jobs"
echo "| fault | board | default run | failing leaves |"
echo "|---|---|---|---|"
for dir in "$work"/*/; do
    [ "$(basename "$dir")" = 0 ] || cat "$dir/row"
done | sort | cut -c5-
[ $check = 1 ] || exit 0

problems=()
[ "$(cat "$work/0/verdict" 2>/dev/null)" = PASS ] ||
    problems+=("the healthy default rig does not pass: $(cut -d'|' -f4- "$work/0/row" 2>/dev/null)")
while IFS=$'\t' read -r n board fault; do
    [ "$n" = 0 ] && continue
    verdict=$(cat "$work/$n/verdict" 2>/dev/null || echo "no result")
    [ "$verdict" = FAIL ] || problems+=("{$fault} on $board: the default run gives $verdict, docs/rig.md says it fails")
done <"$work/jobs"

# Fault kinds of the document: headings, and the first column of the tables that define kinds.
documented=$(awk '
    /^### `[a-z0-9_]+`[[:space:]]*$/ { gsub(/[#` ]/, ""); print; next }
    /^\| fault \| fields \|/ { table = 1; next }
    table && /^\|/ { if (match($0, /^\| `[a-z0-9_]+` \|/)) { s = substr($0, 1, RLENGTH); gsub(/[|` ]/, "", s); print s } next }
    { table = 0 }' "$doc" | sort -u)
# The kinds the default-run section names as not caught: the backticked names before the colon of
# each bullet after "The default run does not catch these".
uncaught=$(awk '
    /^## / { section = ($0 ~ /^## Faults and the default run/); bullets = 0 }
    section && /The default run does not catch these/ { bullets = 1; next }
    section && bullets && /^- / { head = $0; sub(/: .*/, "", head)
        while (match(head, /`[a-z0-9_]+`/)) { print substr(head, RSTART + 1, RLENGTH - 2); head = substr(head, RSTART + RLENGTH) } }' "$doc" | sort -u)
listed=$(sed -n 's/^[BN]\t"kind": "\([a-z0-9_]*\)".*/\1/p' <<<"$faults" | sort -u)
[ -n "$documented" ] || problems+=("no fault kinds found in $doc")
for kind in $documented; do
    grep -qx "$kind" <<<"$listed" || grep -qx "$kind" <<<"$uncaught" ||
        problems+=("fault kind \`$kind\` of docs/rig.md is neither in default_run_faults.txt nor among the faults the default run does not catch")
done
for kind in $listed; do
    grep -qx "$kind" <<<"$documented" || problems+=("fault kind \`$kind\` of default_run_faults.txt is not documented in docs/rig.md")
done
if [ ${#problems[@]} -gt 0 ]; then
    printf 'default_run_faults: %s\n' "${problems[@]}" >&2
    exit 1
fi
echo "default_run_faults: $(wc -l <<<"$faults") faults fail the default run; $(wc -w <<<"$documented") documented kinds accounted for"
