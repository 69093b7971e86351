# What the build scripts share, sourced by them: the check of the checkout's path and the configure step.

# Exits with status 2 and one line when the checkout's path (root) holds what CMake cannot take in a
# path: ";" splits a path into two, "${" is read as a variable, a "#" is refused in a build step's
# output, "[" or "]" turns the path into a pattern, and '"', "\" or a control character breaks
# CMake's own files. Called before anything is installed, configured or written.
pex_refuse_unusable_path() {
  local root=$1 c
  for c in ';' '"' '\' '#' '[' ']' '${'; do
    if [[ "$root" == *"$c"* ]]; then
      echo "The checkout's path \"$root\" holds \"$c\", which CMake cannot take in a path: clone it into a folder whose path has none." >&2
      exit 2
    fi
  done
  if [[ "$root" == *[[:cntrl:]]* ]]; then
    echo "The checkout's path holds a control character (a tab or a line break), which CMake cannot take in a path: clone it into a folder whose path has none." >&2
    exit 2
  fi
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
  command -v ninja >/dev/null && gen=(-G Ninja)
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
