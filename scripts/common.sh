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
# The tests' scratch folders lie two levels inside the temporary folder (its run's folder,
# "/pextest-run.XXXXXX", takes 19 bytes) and hold such a system folder too.
pex_tmp_max=$((pex_path_max - 19))

# Sets the variable named $1 to the absolute path of the folder $2, with its links resolved when $3
# is -P: then "link/.." is the folder the kernel finds there, the link's target's parent, as for
# every other command given the name. The name is taken whole: a command substitution alone would
# drop a final newline. A relative name is a folder's name, "-" too (cd alone would go back to the
# last folder), and the path starts with one "/" (cd keeps a leading "//", which names the root all
# the same).
pex_absolute() {
  local -n pex_into=$1
  local name=$2
  [[ "$name" == /* ]] || name=./$name
  pex_into=$(cd ${3:-} -- "$name" && pwd ${3:-} && echo .) || exit 2
  pex_into=${pex_into%$'\n.'}
  [[ "$pex_into" != //* ]] || pex_into=${pex_into#/}
}

# Exits with status 2 and one line when path (what names it: "The checkout's path", say) holds a
# character or a parenthesis out of pair that it may not hold; with max, also when it is longer than
# max bytes (why: the reason and the remedy). Called before anything is installed, configured or
# written.
pex_refuse_unusable_path() {
  local what=$1 path=$2 max=${3:-} why=${4:-} shown bytes i c code depth=0
  # The path as one line, whatever it holds.
  shown=${path//[[:cntrl:]]/?}
  bytes=$(LC_ALL=C; echo "${#path}")
  if [[ -n "$max" ]] && ((bytes > max)); then
    echo "$what \"$shown\" is $bytes bytes long; it may be at most $max ($why)." >&2
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
  local root=$1 real why="the build's system folder inside it must stay within 245: clone it into a shorter path"
  pex_refuse_unusable_path "The checkout's path" "$root" "$pex_path_max" "$why"
  pex_absolute real "$root" -P
  [[ "$real" == "$root" ]] || pex_refuse_unusable_path "The checkout's path with its links resolved" "$real" "$pex_path_max" "$why"
}

# Exits with status 2 and one line naming TMPDIR when the tests cannot use the temporary folder.
pex_refuse_tmpdir() {
  echo "The temporary folder (TMPDIR) \"${2//[[:cntrl:]]/?}\" $1: set TMPDIR to a folder this user may write in." >&2
  exit 2
}

# Sets the variable named $1 to the temporary folder (TMPDIR, or /tmp) with its links resolved, the
# path the tests are given; refuses, before anything is written, one that is not a folder this user
# may use or whose resolved path the tests do not take.
pex_take_tmpdir() {
  local -n pex_tmp=$1
  local given=${TMPDIR:-/tmp} what="The temporary folder (TMPDIR)"
  [[ -e "$given" ]] || pex_refuse_tmpdir "does not exist" "$given"
  [[ -d "$given" ]] || pex_refuse_tmpdir "is not a folder" "$given"
  [[ -r "$given" && -x "$given" ]] || pex_refuse_tmpdir "may not be read by this user" "$given"
  [[ -w "$given" ]] || pex_refuse_tmpdir "may not be written by this user" "$given"
  pex_absolute pex_tmp "$given" -P
  [[ "$pex_tmp" == "$given" ]] || what+=" with its links resolved"
  pex_refuse_unusable_path "$what" "$pex_tmp" "$pex_tmp_max" \
    "the tests' folders inside it must stay within $pex_path_max: set TMPDIR to a shorter path"
}

# Removes a run's folder, whatever a test left unreadable in it.
pex_remove_run() { chmod -R u+rwx -- "$1" 2>/dev/null || true; rm -rf -- "$1" || true; }

# The file size limit (ulimit -f, in blocks of 1024 bytes) the tests need: their largest file is a
# sparse one of 5 GiB, beside which ctest's log and the build's files are small.
pex_file_limit_blocks=$((5 << 20))

# Exits with status 2 and one line naming the limit the tests need when this shell's file size limit
# is below it: the tests would be killed part way by SIGXFSZ, or ctest itself.
pex_refuse_small_file_limit() {
  local limit
  limit=$(ulimit -f)
  if [[ "$limit" != unlimited ]] && ((limit < pex_file_limit_blocks)); then
    echo "The file size limit of this shell (ulimit -f: $limit blocks) is too small for the tests' files, which need $pex_file_limit_blocks (5 GiB): raise it (ulimit -f unlimited)." >&2
    exit 2
  fi
}

# Makes this run's folder for the tests' scratch folders in tmp (as pex_take_tmpdir gives it) and
# locks it: sets the variable named $1 to its path and the one named $2 to the descriptor holding
# the lock. The lock lasts while any process that inherited the descriptor lives, so a suite goes on
# holding it when the script that started it is killed. First, runs' folders of this user that no
# run holds (left by a run killed outright) are removed, each under its own lock, so that what they
# filled is free again. A run's folder is unlocked only between its making and its locking, when it
# is new and empty: a folder found unlocked is a dead run's when it holds anything or was made over a
# minute ago. No lock is taken on the temporary folder itself, which other users may hold. Refuses a
# file size limit the tests cannot run under, and a temporary folder that takes no new folder or
# file, as pex_take_tmpdir does.
pex_make_run_folder() {
  local -n pex_run=$1 pex_lock=$2
  local tmp=$3 base=${3%/} old fd made id tries err
  if ! command -v flock >/dev/null; then
    echo "The command flock (of util-linux) is not installed: the tests' run folders are locked with it." >&2
    exit 2
  fi
  pex_refuse_small_file_limit
  for old in "$base"/pextest-run.*; do
    [[ "${old##*/}" =~ ^pextest-run\.[A-Za-z0-9]{6}$ && -d "$old" && ! -L "$old" && -O "$old" ]] || continue
    { exec {fd}<"$old"; } 2>/dev/null || continue
    if flock -n "$fd" && [[ -n $(find "$old" -maxdepth 0 \( ! -empty -o -mmin +1 \) -print 2>/dev/null) ]]; then
      pex_remove_run "$old"
    fi
    exec {fd}<&-
  done
  # A new folder is another run's to remove once this one has been held up past a minute before
  # locking it (stopped, say), and another run may be looking at it, holding its lock: then this run
  # makes another rather than wait on a run that may itself be stopped. It goes on with the folder
  # only when the one it locked is the one it made and still there.
  for ((tries = 1; ; tries++)); do
    made=$(mktemp -d "$base/pextest-run.XXXXXX" 2>&1) || pex_refuse_tmpdir "takes no new folder (${made##*: })" "$tmp"
    fd=""
    if id=$(stat -c %d:%i -- "$made" 2>/dev/null) && { exec {fd}<"$made"; } 2>/dev/null; then
      if flock -n "$fd" && [[ $(stat -L -c %d:%i "/dev/fd/$fd") == "$id" && $(stat -c %d:%i -- "$made" 2>/dev/null) == "$id" ]]; then
        break
      fi
      exec {fd}<&-
      [[ $(stat -c %d:%i -- "$made" 2>/dev/null) != "$id" ]] || rmdir -- "$made" 2>/dev/null || true
    fi
    if ((tries == 10)); then
      pex_refuse_tmpdir "lost each of 10 new folders to other runs before it could lock one" "$tmp"
    fi
  done
  pex_run=$made pex_lock=$fd
  # A folder can be made where no file fits (a full tmpfs): try a small one.
  if ! err=$(head -c 1048576 /dev/zero 2>&1 >"$made/.room"); then
    pex_remove_run "$made"
    err=${err##*: }
    pex_refuse_tmpdir "has no room for the tests' files (${err:-the write failed})" "$tmp"
  fi
  rm -f -- "$made/.room"
}

# Starts the suite, the command given, in a session of its own with the run's folder run as its
# TMPDIR and its signals at their defaults, and sets the variable named $1 to the session's number:
# a Ctrl-C or a signal to the script ends it whole at once (ctest alone would go on with the next
# tests), and no test reaches the terminal. Its processes inherit the run folder's lock, so another
# run leaves the folder alone while any of them lives, the script killed outright or not. Job control
# (bash -m) is turned off first: it would put the command in a process group of its own, where
# setsid would make the session in a process of its own, not in the one whose number is known.
pex_start_suite() {
  local -n pex_session=$1
  local run=$2
  shift 2
  set +m
  TMPDIR=$run setsid -w env --default-signal=INT,QUIT "$@" &
  pex_session=$!
}

# Sends signal $2 to every live process of the session $1; fails when there is none.
pex_signal_session() {
  local p stat state session none=1
  for p in /proc/[0-9]*; do
    read -r stat 2>/dev/null <"$p/stat" || continue
    read -r state _ _ session _ <<<"${stat##*) }"
    [[ "$session" == "$1" && "$state" != Z ]] || continue
    kill -"$2" "${p#/proc/}" 2>/dev/null && none=0
  done
  return $none
}

# Seconds pex_end_run gives a suite's processes to end once asked.
pex_end_wait=10

# Ends every process of the session $1 (none when it is empty), asking first and then, after
# pex_end_wait seconds, at once; then removes the run's folder $2, which none of them can write into
# any more. The wait is timed by the clock: a look through /proc takes a while where many processes
# run.
pex_end_run() {
  local session=$1 run=$2 signal deadline
  if [[ -n "$session" ]]; then
    for signal in TERM KILL; do
      pex_signal_session "$session" "$signal" || break
      deadline=$((${EPOCHREALTIME//[!0-9]/} + pex_end_wait * 1000000))
      while pex_signal_session "$session" 0; do
        ((${EPOCHREALTIME//[!0-9]/} < deadline)) || continue 2
        sleep 0.05
      done
      break
    done
  fi
  [[ -z "$run" ]] || pex_remove_run "$run"
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
  if command -v ninja >/dev/null && [[ "$root$dir" != *[\'\&]* ]]; then gen=(-G Ninja); fi
  # CMake finds the system's library folders in the compiler's link line, which it splits as a
  # shell would, and at ";"; the line names the compiler's temporaries, so a quote or backslash in
  # TMPDIR's path, or a character the build does not take, would hide them. Those temporaries then
  # go to the system's folder.
  if [[ "${TMPDIR:-}" == *\'* ]] || ! (pex_refuse_unusable_path "" "${TMPDIR:-}") 2>/dev/null; then
    tmp=(-u TMPDIR)
  fi
  if ! env "${tmp[@]}" cmake -S "$root" -B "$dir" "${gen[@]}" "$@" >"$log" 2>&1; then
    cat "$log" >&2
    echo "Configure failed (log: $log)" >&2
    exit 1
  fi
  touch "$done"
}
