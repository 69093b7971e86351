# What the build scripts share, sourced by them: the check of the checkout's path and the configure step.

# What a path the build or the tests work in may hold: what every step has been seen to take, for
# CI builds and tests from folders whose names hold each of these. Letters and digits of any script,
# the blank, "/" and the punctuation below; parentheses in pairs, as the argument texts of the tests
# hold a path in brackets. Anything else is refused rather than tried: CMake and ninja each break
# on some character ("$(", ";", "#", ...), and a list of the characters that break would always
# miss one.
pex_path_punctuation="-_.,+'&()"
# The system folder the build makes, <checkout>/build-asan/bin/system, must stay within the 245
# bytes that leave room for its drivers folder.
pex_path_max=223

# Exits with status 2 and one line when path (what names it: "The checkout's path", say) holds a
# character or a parenthesis out of pair that it may not hold; with max, also when it is longer than
# max bytes. Called before anything is installed, configured or written.
pex_refuse_unusable_path() {
  local what=$1 path=$2 max=${3:-} shown bytes i c code depth=0
  # The path as one line, whatever it holds.
  shown=${path//[[:cntrl:]]/?}
  bytes=$(LC_ALL=C; echo "${#path}")
  if [[ -n "$max" ]] && ((bytes > max)); then
    echo "$what \"$shown\" is $bytes bytes long; it may be at most $max (the build's system folder inside it must stay within 245): clone it into a shorter path." >&2
    exit 2
  fi
  unpaired() {
    echo "$what \"$shown\" holds \"$1\" without its \"$2\": use a folder whose parentheses come in pairs." >&2
    exit 2
  }
  local LC_ALL=C.UTF-8
  for ((i = 0; i < ${#path}; i++)); do
    c=${path:i:1}
    case "$c" in
      [[:alnum:]] | ' ' | /) continue ;;
      '(') ((++depth)); continue ;;
      ')') ((depth-- > 0)) && continue
           unpaired ")" "(" ;;
    esac
    [[ "$pex_path_punctuation" == *"$c"* ]] && continue
    printf -v code '%04X' "'$c"
    if [[ $(LC_ALL=C; echo "${#c}") -eq 1 && 0x$code -ge 0x80 ]]; then
      c="the byte 0x${code: -2} (no UTF-8 character)"
    elif [[ "$c" == [[:cntrl:]] ]]; then
      c="a control character (U+$code)"
    else
      c="\"$c\" (U+$code)"
    fi
    local taken="" j
    for ((j = 0; j < ${#pex_path_punctuation}; j++)); do taken+=" ${pex_path_punctuation:j:1}"; done
    echo "$what \"$shown\" holds $c, which the build is not known to take: use a folder whose path holds only letters, digits, blanks and$taken" >&2
    exit 2
  done
  ((depth == 0)) || unpaired "(" ")"
}

# Refuses, as above, a checkout at root whose path, or whose path with its links resolved (the one
# the programs built see as their own), the build cannot take.
pex_refuse_unusable_checkout() {
  local root=$1 real
  pex_refuse_unusable_path "The checkout's path" "$root" "$pex_path_max"
  real=$(cd "$root" && pwd -P)
  [[ "$real" == "$root" ]] || pex_refuse_unusable_path "The checkout's path with its links resolved" "$real" "$pex_path_max"
}

# Configures the build folder dir from the checkout root with the given CMake options, unless dir
# holds a complete configuration: one that a configure finished. A configure stopped by Ctrl-C or
# failed leaves none, so the next run starts it again from nothing; when it fails, its output shows.
pex_configure() {
  local root=$1 dir=$2
  shift 2
  local done="$dir/.configured" log="$dir/configure.log"
  if [[ -f "$done" && ( -f "$dir/build.ninja" || -f "$dir/Makefile" ) ]]; then
    return 0
  fi
  rm -rf "$done" "$dir/CMakeCache.txt" "$dir/CMakeFiles"
  mkdir -p "$dir"
  local gen=() tmp=()
  # Ninja reads the compiler's dependency lists itself, and splits a path there at "'" or "&" into
  # names of files that are not there: every run would build everything again. Make's build leaves
  # those lists to CMake, which reads them whole.
  if command -v ninja >/dev/null && [[ "$root" != *[\'\&]* ]]; then gen=(-G Ninja); fi
  # CMake finds the system's library folders in the compiler's link line, which it splits as a
  # shell would; the line names the compiler's temporaries, so a quote or backslash in TMPDIR's
  # path would hide them. Those temporaries then go to the system's folder.
  case "${TMPDIR:-}" in *[\'\"\\]*) tmp=(-u TMPDIR) ;; esac
  if ! env "${tmp[@]}" cmake -S "$root" -B "$dir" "${gen[@]}" "$@" >"$log" 2>&1; then
    cat "$log" >&2
    echo "Configure failed (log: $log)" >&2
    exit 1
  fi
  touch "$done"
}
