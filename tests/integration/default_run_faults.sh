#!/usr/bin/env bash
# Runs the default tree (the host with no filter, as a station runs it) on the default rig with one
# fault at a time and prints, per fault, whether the run failed and which leaves failed; a line marked
# "pass" (a fault docs/rig.md names among those the default run does not catch) expects it to pass.
# Usage: default_run_faults.sh [--check] BINDIR [JOBS]
#   BINDIR holds pexhost and the plug-in; JOBS runs at once (1-64; default: the processors, at most 4).
#   The faults are the lines of default_run_faults.txt beside this script; its head says how a line
#   runs only the tests concerned (host filters) and how it names a range of faults.
# Output: one markdown row per run: | fault | board | expected | tests run | result | failing leaves |
# With --check it also holds the table to docs/rig.md and exits 1 when
#   - the healthy default rig does not pass, or does not pass the tests a line's filters choose,
#   - a listed fault passes its run (or the run ends in an error), or one listed to pass fails it,
#   - a fault kind of docs/rig.md (a "### `kind`" heading or a row of a "| fault | fields |" table) is
#     neither listed nor named among those the default run does not catch (its section's bullets),
#   - a kind named among those the default run does not catch has no line that expects a pass, or
#     a line expects a pass of a kind not named there,
#   - a listed fault kind is not documented there.
set -u
unset CDPATH
check=0
if [ "${1:-}" = --check ]; then
    check=1
    shift
fi
usage="usage: default_run_faults.sh [--check] BINDIR [JOBS]"
here=$(cd "$(dirname "$0")" && pwd)
bin=$(cd "${1:?$usage}" && pwd) || exit 2
cpus=$(nproc 2>/dev/null || echo 2)
jobs=${2:-$((cpus < 4 ? cpus : 4))}
[[ $jobs =~ ^[1-9][0-9]?$ && $jobs -le 64 ]] || { echo "default_run_faults: JOBS \"$jobs\" is not 1-64; $usage" >&2; exit 2; }
list=$here/default_run_faults.txt
doc=$here/../../docs/rig.md
[ -f "$list" ] || { echo "default_run_faults: no fault list $list" >&2; exit 2; }
[ -x "$bin/pexhost" ] || { echo "default_run_faults: no pexhost in $bin" >&2; exit 2; }
work=$(mktemp -d) || { echo "default_run_faults: no scratch folder in the temporary folder (TMPDIR) ${TMPDIR:-/tmp}" >&2; exit 2; }
trap 'rm -rf "$work"' EXIT
sep=$'\x1f'  # between the fields of a job: a fault or a filter may hold blanks, and a fault may be empty

# Runs the default tree (or the leaves the filters choose) on the default rig with the fault (empty:
# none) and leaves its table row in $work/N/row and its verdict in $work/N/verdict.
run_one() {
    local expected=$1 n=$2 board=$3 fault=${4:-} dir="$work/$2" faults="" tests="all"
    shift $(($# < 4 ? $# : 4))
    mkdir -p "$dir"
    [ -n "$fault" ] && faults="{\"board\": \"$board\", $fault}"
    [ $# -gt 0 ] && tests=$(printf '"%s", ' "$@") && tests=${tests%, }
    printf '%s' "{\"boards\": [{\"tag\": \"Brimola1\", \"kind\": \"brimola\", \"attached\": {\"breakout_box\": true, \"codec_port\": \"Nuxa1\", \"expansion_port\": \"Nuxa1\"}}, {\"tag\": \"Nuxa1\", \"kind\": \"nuxa\"}], \"faults\": [$faults]}" >"$dir/rig.json"
    (cd "$dir" && timeout 300 "$bin/pexhost" --color=never --rig rig.json "$@" >out.txt 2>err.txt)
    local status=$? verdict failed signal
    # A leaf that stops by itself (Flash Timing behind a failing controller test) fails the run with
    # exit status 1 as a failing one does; 3 is left for a run stopped from outside.
    failed=$(sed -n -e 's/^\[FAIL\]    \(.*\)  (.*$/\1/p' -e 's/^\[STOPPED\] \(.*\)  (.*$/\1 (stopped)/p' "$dir/out.txt" | paste -sd ';' -)
    case $status in
        0) verdict=PASS ;;
        1) if [ -n "$failed" ]; then verdict=FAIL; else verdict="exit 1, no failing leaf"; fi ;;
        124) verdict="timed out after 300 s" ;;
        *) # A host the kernel killed (out of memory, with several runs on the machine) is no fault missed.
           if ((status > 128)) && signal=$(kill -l "$status" 2>/dev/null); then
               verdict="killed by SIG$signal (signal $((status - 128)))"
           else
               verdict="exit $status"
           fi ;;
    esac
    [ "$status" -gt 1 ] && failed="$failed $(head -c 200 "$dir/err.txt" | tr '\n' ' ')"
    printf '%s' "$verdict" >"$dir/verdict"
    printf '%s' "$tests" >"$dir/tests"
    printf '%06d| `%s` | %s | %s | %s | %s | %s |\n' "$n" "$fault" "$board" "$expected" "$tests" "$verdict" "$failed" >"$dir/row"
}
export -f run_one
export bin work

# A value of a range: a decimal or 0x number (a leading - for a negative one) that bash's arithmetic
# holds exactly, refused rather than cut when longer; prints it in decimal.
range_number() {
    local t=$1 sign=""
    [[ $t == -* ]] && sign=- && t=${t#-}
    if [[ $t =~ ^0x[0-9A-Fa-f]{1,13}$ ]]; then
        echo $((${sign}16#${t#0x}))
    elif [[ $t =~ ^[0-9]{1,15}$ ]]; then
        echo $((${sign}10#$t))
    else
        return 1
    fi
}

# Expands the ranges of the list's line $1 (fault fields $2) into faults, one a line: with $3
# "every" each combination of the ranges' values, with "sample N" N of them: the first and the last
# combination and others drawn by a generator seeded with the fault's fields, so that the same
# fields give the same runs. A range is {...} in place of a field's value: numbers, "texts" and A..B
# (every number from A to B), separated by commas.
expand() {
    local line=$1 fault=$2 runs=$3 rest=$2
    fail() { echo "default_run_faults: line $line of the list: $*" >&2; exit 2; }
    local -a pieces=() groups=() sizes=()
    while [[ $rest =~ \{([^{}]*)\} ]]; do
        pieces+=("${rest%%"${BASH_REMATCH[0]}"*}")
        rest=${rest#*"${BASH_REMATCH[0]}"}
        local items="" size=0 item lo hi
        IFS=, read -r -a parts <<<"${BASH_REMATCH[1]}"
        [ ${#parts[@]} -gt 0 ] || fail "an empty range"
        for item in "${parts[@]}"; do
            read -r item <<<"$item"
            if [[ $item == *..* ]]; then
                lo=$(range_number "${item%%..*}") && hi=$(range_number "${item#*..}") || fail "\"$item\" is not A..B of two numbers"
                [ "$lo" -le "$hi" ] || fail "\"$item\" runs downwards"
                items+="R $lo $hi"$'\n'
                size=$((size + hi - lo + 1))
            elif [[ $item =~ ^\"[^\"]*\"$ ]]; then
                items+="S $item"$'\n'
                size=$((size + 1))
            else
                lo=$(range_number "$item") || fail "\"$item\" is neither a number (at most 15 digits, 13 after 0x), a \"text\" nor A..B"
                items+="R $lo $lo"$'\n'
                size=$((size + 1))
            fi
        done
        groups+=("$items")
        sizes+=("$size")
    done
    pieces+=("$rest")
    if [ ${#groups[@]} -eq 0 ]; then
        [ -z "$runs" ] || fail "\"$runs\" without a range"
        printf '%s\n' "$fault"
        return
    fi
    [ -n "$runs" ] || fail "a range, but no \"every\" or \"sample N\" after it"
    [[ $runs =~ ^(every|sample\ [1-9][0-9]{0,4})$ ]] || fail "\"$runs\" is not \"every\" or \"sample N\" (N 1-99999)"
    local total=1 size
    for size in "${sizes[@]}"; do
        [ "$total" -le $(((1 << 53) / size)) ] || fail "more combinations than can be counted"
        total=$((total * size))
    done
    local -a picks=()
    local want=$total
    [[ $runs == sample* ]] && want=${runs#sample } && [ "$want" -lt "$total" ] || want=$total
    if [ "$want" -eq "$total" ]; then
        picks=($(seq 0 $((total - 1))))
    elif [ "$want" -eq 1 ]; then
        picks=(0)
    else
        local -A seen=([0]=1 [$((total - 1))]=1)
        picks=(0 $((total - 1)))
        local x draw
        read -r x _ < <(cksum <<<"$fault")
        while [ ${#picks[@]} -lt "$want" ]; do
            x=$(((x * 1103515245 + 12345) % 2147483648))
            draw=$x
            x=$(((x * 1103515245 + 12345) % 2147483648))
            draw=$(((draw << 31 | x) % total))
            [ -n "${seen[$draw]:-}" ] && continue
            seen[$draw]=1
            picks+=("$draw")
        done
    fi
    local k g d text kind a lo hi
    local -a made=()
    for k in "${picks[@]}"; do
        text=${pieces[0]}
        for g in "${!groups[@]}"; do
            d=$((k % sizes[g]))
            k=$((k / sizes[g]))
            while read -r kind a; do
                if [ "$kind" = S ]; then
                    [ "$d" -eq 0 ] && text+=$a && break
                    d=$((d - 1))
                else
                    lo=${a% *} hi=${a#* }
                    [ "$d" -le $((hi - lo)) ] && text+=$((lo + d)) && break
                    d=$((d - (hi - lo + 1)))
                fi
            done <<<"${groups[g]%$'\n'}"
            text+=${pieces[g + 1]}
        done
        made+=("$text")
    done
    # Each combination chosen is another fault; fewer would check less than the line says.
    [ "$(printf '%s\n' "${made[@]}" | sort -u | wc -l)" -eq ${#picks[@]} ] ||
        fail "its ranges gave fewer than ${#picks[@]} different faults"
    printf '%s\n' "${made[@]}"
}

# The jobs: kind (H a healthy run that must pass, F a fault that must fail it, P a fault that must
# pass it), number, board, fault, filters; from the list without comments and blank lines. Each set
# of filters gets its healthy run.
faults=$(grep -v -e '^#' -e '^[[:space:]]*$' "$list")
{
    [ $check = 1 ] && printf 'H%s0%sBrimola1%s\n' "$sep" "$sep" "$sep"
    n=0
    declare -A healthy=()
    while IFS=: read -r line text; do
        IFS=$'\t' read -r -a cols <<<"$text"
        kind=F
        if [ "${cols[0]}" = pass ]; then
            kind=P
            cols=("${cols[@]:1}")
        fi
        case ${cols[0]} in
            B) board=Brimola1 ;;
            N) board=Nuxa1 ;;
            *) echo "default_run_faults: line $line of the list names board \"${cols[0]}\" (B or N)" >&2; exit 2 ;;
        esac
        runs=""
        filters=("${cols[@]:2}")
        if [[ ${filters[0]:-} == every* || ${filters[0]:-} == sample* ]]; then
            runs=${filters[0]}
            filters=("${filters[@]:1}")
        fi
        joined=$(printf "$sep%s" "${filters[@]}")
        [ ${#filters[@]} -eq 0 ] && joined=""
        # That the chosen leaves pass says nothing of the others: a pass is the whole run's.
        [ $kind = P ] && [ -n "$joined" ] && { echo "default_run_faults: line $line of the list expects a pass but names filters" >&2; exit 2; }
        expanded=$(expand "$line" "${cols[1]}" "$runs") || exit 2
        while IFS= read -r fault; do
            n=$((n + 1))
            printf '%s%s%s%s%s%s%s%s\n' "$kind" "$sep" "$n" "$sep" "$board" "$sep" "$fault" "$joined"
        done <<<"$expanded"
        if [ $check = 1 ] && [ -n "$joined" ] && [ -z "${healthy[$joined]:-}" ]; then
            healthy[$joined]=1
            n=$((n + 1))
            printf 'H%s%s%s%s%s%s\n' "$sep" "$n" "$sep" "$board" "$sep" "$joined"
        fi
    done < <(grep -n -v -e '^#' -e '^[[:space:]]*$' "$list")
} >"$work/jobs" || exit 2
xargs -P "$jobs" -d '\n' -I{} bash -c 'IFS=$'"'"'\x1f'"'"' read -r -a job <<<"$1"; case $job in F) e=FAIL ;; *) e=PASS ;; esac; run_one $e "${job[@]:1}"' _ {} <"$work/jobs"
echo "| fault | board | expected | tests run | result | failing leaves |"
echo "|---|---|---|---|---|---|"
while IFS=$sep read -r kind n _; do
    [ "$kind" != H ] && cat "$work/$n/row"
done <"$work/jobs" | sort | cut -c7-
[ $check = 1 ] || exit 0

problems=()
# A run's verdict said of it in a problem line.
outcome() {
    case $1 in
        killed*) echo "the host was $1" ;;
        *) echo "gives $1" ;;
    esac
}
while IFS=$sep read -r kind n board fault _; do
    verdict=$(cat "$work/$n/verdict" 2>/dev/null || echo "no result")
    tests=$(cat "$work/$n/tests" 2>/dev/null)
    if [ "$kind" = H ]; then
        [ "$verdict" = PASS ] || problems+=("the healthy default rig does not pass (tests run: $tests): $(cut -d'|' -f6- "$work/$n/row" 2>/dev/null)")
    elif [ "$kind" = P ]; then
        [ "$verdict" = PASS ] || problems+=("{$fault} on $board: $(outcome "$verdict") ($(cut -d'|' -f7 "$work/$n/row" 2>/dev/null | sed 's/^ *//; s/ *$//' | cut -c1-200)), docs/rig.md says the default run does not catch it")
    else
        [ "$verdict" = FAIL ] || problems+=("{$fault} on $board (tests run: $tests): $(outcome "$verdict"), docs/rig.md says it fails")
    fi
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
listed=$(sed -n 's/^\(pass\t\)\{0,1\}[BN]\t"kind": "\([a-z0-9_]*\)".*/\2/p' <<<"$faults" | sort -u)
passing=$(sed -n 's/^pass\t[BN]\t"kind": "\([a-z0-9_]*\)".*/\1/p' <<<"$faults" | sort -u)
[ -n "$documented" ] || problems+=("no fault kinds found in $doc")
for kind in $documented; do
    grep -qx "$kind" <<<"$listed" || grep -qx "$kind" <<<"$uncaught" ||
        problems+=("fault kind \`$kind\` of docs/rig.md is neither in default_run_faults.txt nor among the faults the default run does not catch")
done
# A bullet may name fields too (`count`, `first`): only its fault kinds need a line.
for kind in $uncaught; do
    grep -qx "$kind" <<<"$documented" || continue
    grep -qx "$kind" <<<"$passing" || problems+=("fault kind \`$kind\` is named among the faults the default run does not catch, but no line of default_run_faults.txt expects its run to pass")
done
for kind in $passing; do
    grep -qx "$kind" <<<"$uncaught" || problems+=("a line of default_run_faults.txt expects \`$kind\` to pass, but docs/rig.md does not name it among the faults the default run does not catch")
done
for kind in $listed; do
    grep -qx "$kind" <<<"$documented" || problems+=("fault kind \`$kind\` of default_run_faults.txt is not documented in docs/rig.md")
done
if [ ${#problems[@]} -gt 0 ]; then
    printf 'default_run_faults: %s\n' "${problems[@]}" >&2
    exit 1
fi
echo "default_run_faults: $(grep -c "^F$sep" "$work/jobs") faults fail their runs and $(grep -c "^P$sep" "$work/jobs") pass as docs/rig.md says, of $(wc -l <<<"$faults") lines; $(wc -w <<<"$documented") documented kinds accounted for"
