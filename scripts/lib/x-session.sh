# A private X session for the launcher (sourced, not run): Xvfb (a free display number chosen by the
# server) with openbox, a private XDG_RUNTIME_DIR (so the single-instance socket never meets another
# launcher), and the launcher started in it over the catalogue in $FIXTURE. Every process started here is
# recorded and, on exit, exactly those PIDs are stopped. Conditions are awaited by polling with generous
# deadlines, never by fixed sleeps, so the session holds on a loaded machine.
#
# Needs KESTREL_BIN (the launcher) and KESTREL_X_PROBE (scripts/lib/x-probe.cpp). Used by scripts/run,
# scripts/measure, scripts/soak, scripts/measure-desktops, the desktop sessions beside it and the
# integration tests, each with its own SESSION_NAME.

set -euo pipefail

SESSION_PIDS=()
SESSION_NAME=${SESSION_NAME:-session}
SESSION_KEEP=${SESSION_KEEP:-0}
# Deadline for anything the launcher or the X server should do in reaction to an input (seconds).
DEADLINE=${DEADLINE:-20}

session_log() { printf '%s: %s\n' "$SESSION_NAME" "$*"; }

# Stops everything this session started, newest first (the launcher before its X server), by PID, and
# only while it is still our child. Keeps the session's files when it failed (or SESSION_KEEP=1). The
# exit status is the one the shell exits with, or STATUS when given (from another EXIT trap).
session_cleanup() {
  local status=${1:-$?}
  local i
  for ((i = ${#SESSION_PIDS[@]} - 1; i >= 0; i--)); do stop_pid "${SESSION_PIDS[i]}"; done
  if [ -n "${SESSION_TMP:-}" ] && [ -d "$SESSION_TMP" ]; then
    if ((status != 0 || SESSION_KEEP)); then
      session_log "kept the session's files in $SESSION_TMP"
    else
      rm -rf "$SESSION_TMP"
    fi
  fi
  exit "$status"
}

# Stops the child PID (TERM, then KILL after five seconds) and waits until it is gone.
stop_pid() {
  local n=0
  is_our_child "$1" || return 0
  kill -TERM "$1" 2>/dev/null || true
  while is_our_child "$1" && ((n < 50)); do sleep 0.1; n=$((n + 1)); done
  is_our_child "$1" && kill -KILL "$1" 2>/dev/null || true
  wait "$1" 2>/dev/null || true
}

# True while PID is alive (not a zombie) and a child of this shell: a PID that was reused by another
# program after ours ended is never signalled.
is_our_child() {
  local stat
  stat=$(cat "/proc/$1/stat" 2>/dev/null) || return 1
  stat=${stat##*) }
  set -- $stat
  [ "$1" != Z ] && [ "$2" = "$$" ]
}

remember_pid() { SESSION_PIDS+=("$1"); }

# need TOOL...: each TOOL is a command on PATH (or an executable path); exits naming the first missing.
need() {
  local tool
  for tool in "$@"; do
    command -v "$tool" >/dev/null || { session_log "$tool is missing (scripts/install-deps installs it)" >&2; exit 1; }
  done
}

# session_init [TOOL...]: checks the TOOLs, makes SESSION_TMP and the private RUNTIME_DIR, and arranges
# the cleanup.
session_init() {
  need "$@"
  SESSION_TMP=$(mktemp -d "${TMPDIR:-/tmp}/kestrel-$SESSION_NAME.XXXXXX")
  trap session_cleanup EXIT
  trap 'exit 130' INT TERM HUP
  RUNTIME_DIR=$SESSION_TMP/runtime
  mkdir -m 700 "$RUNTIME_DIR"
  unset WAYLAND_DISPLAY QT_QPA_PLATFORM DBUS_SESSION_BUS_ADDRESS XDG_CURRENT_DESKTOP DESKTOP_SESSION
}

# Ends the session: prints why, the launcher's stderr and a screenshot's location.
session_die() {
  session_log "FAIL: $*" >&2
  if [ -n "${DISPLAY:-}" ] && command -v import >/dev/null; then
    import -window root "$SESSION_TMP/failure.png" 2>/dev/null && session_log "screenshot: $SESSION_TMP/failure.png" >&2
  fi
  if [ -s "${SESSION_TMP:-/nonexistent}/launcher.err" ]; then
    session_log "launcher stderr:" >&2
    sed 's/^/  | /' "$SESSION_TMP/launcher.err" >&2
  fi
  exit 1
}

# not COMMAND...: succeeds when COMMAND fails (for wait_for).
not() { ! "$@"; }

# wait_for SECONDS COMMAND...: succeeds as soon as COMMAND does; fails when SECONDS pass first.
wait_for() {
  local limit=$1
  shift
  local end=$(($(date +%s%N) + limit * 1000000000))
  while true; do
    "$@" >/dev/null 2>&1 && return 0
    (($(date +%s%N) < end)) || return 1
    sleep 0.05
  done
}

# ---------------------------------------------------------------- X server and window manager

# start_x [WIDTHxHEIGHT]: the screen's size, 1280x800 unless given.
start_x() {
  local display_file=$SESSION_TMP/display
  need Xvfb openbox xdotool xclip xprop
  [ -x "${KESTREL_X_PROBE:-}" ] || session_die "KESTREL_X_PROBE does not name kestrel-x-probe"
  Xvfb -displayfd 9 -screen 0 "${1:-1280x800}x24" -nolisten tcp -noreset 9>"$display_file" 2>"$SESSION_TMP/xvfb.log" &
  remember_pid $!
  wait_for 30 test -s "$display_file" || session_die "Xvfb did not start: $(tail -n 5 "$SESSION_TMP/xvfb.log")"
  export DISPLAY=":$(head -n 1 "$display_file")"
  openbox --sm-disable >"$SESSION_TMP/openbox.log" 2>&1 &
  remember_pid $!
  wait_for 30 window_manager_running || session_die "openbox did not start on $DISPLAY"
  timeout 60 "$KESTREL_X_PROBE" --window-manager || session_die "openbox does not manage windows on $DISPLAY"
  session_log "X server $DISPLAY with openbox"
}

window_manager_running() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; }

# ---------------------------------------------------------------- the launcher

# The environment the launcher runs in: the private runtime directory and, when a fixture catalogue was
# made ($FIXTURE: data-home, data-dir, home), that catalogue instead of this machine's applications. (An
# array for `env`, not a function, so that `env ... &` leaves the launcher's own PID in $!.)
launcher_env() {
  LAUNCHER_ENV=(XDG_RUNTIME_DIR="$RUNTIME_DIR" DISPLAY="$DISPLAY")
  [ -n "${FIXTURE:-}" ] || return 0
  LAUNCHER_ENV+=(HOME="$FIXTURE/home" XDG_DATA_HOME="$FIXTURE/data-home" XDG_DATA_DIRS="$FIXTURE/data-dir"
    XDG_CONFIG_HOME="$FIXTURE/home/.config" XDG_CACHE_HOME="$FIXTURE/home/.cache" LC_ALL=C.UTF-8)
}

# Starts the launcher in the background and waits until it is ready for the hot key: it listens on its
# single-instance socket and holds the Ctrl+Space grab. With --hotkey-taken (another client holds
# Ctrl+Space) it waits instead for the launcher to say on stderr that the key is taken. Sets LAUNCHER_PID.
start_launcher() {
  [ -x "${KESTREL_BIN:-}" ] || session_die "KESTREL_BIN does not name the launcher binary"
  launcher_env
  env "${LAUNCHER_ENV[@]}" "$KESTREL_BIN" --background >"$SESSION_TMP/launcher.out" 2>"$SESSION_TMP/launcher.err" &
  LAUNCHER_PID=$!
  remember_pid "$LAUNCHER_PID"
  wait_for 60 launcher_listening || session_die "the launcher did not come up (no socket in \$XDG_RUNTIME_DIR)"
  if [ "${1:-}" = --hotkey-taken ]; then
    wait_for 60 grep -qi 'ctrl+space' "$SESSION_TMP/launcher.err" || session_die "the launcher did not report the taken hot key"
  else
    wait_for 60 hotkey_held || session_die "the launcher did not grab Ctrl+Space"
  fi
  session_log "launcher running as PID $LAUNCHER_PID"
}

# Some client holds Ctrl+Space (asked without getting in the way of a launcher that is grabbing it).
hotkey_held() { launcher_alive && "$KESTREL_X_PROBE" --hotkey; }

launcher_alive() { is_our_child "$LAUNCHER_PID"; }
# The launcher listens on its single-instance socket in the runtime directory.
launcher_listening() { launcher_alive && [ -n "$(find "$RUNTIME_DIR" -type s -name 'kestrelpoint*' 2>/dev/null)" ]; }

# The viewable (mapped, on screen) windows of the process PID (default: the launcher), one id per line.
viewable_windows() { xdotool search --onlyvisible --pid "${1:-$LAUNCHER_PID}" 2>/dev/null || true; }
launcher_shown() { [ -n "$(viewable_windows)" ]; }
launcher_hidden() { launcher_alive && [ -z "$(viewable_windows)" ]; }
# The X input focus is on a window of the launcher, so typing reaches it.
launcher_focused() {
  local window
  window=$(xdotool getwindowfocus 2>/dev/null) || return 1
  [ "$(xdotool getwindowpid "$window" 2>/dev/null)" = "$LAUNCHER_PID" ]
}

press_hotkey() { xdotool key ctrl+space; }
press() { local key; for key in "$@"; do xdotool key "$key"; done; }
type_text() { xdotool type --delay 40 -- "$1"; }

# The launcher has used no CPU for 300 ms: it has finished showing, as a person sees it before a key.
# (Poll it with wait_for after `SETTLED_TICKS=`.)
launcher_settled() {
  local stat now
  stat=$(cat "/proc/$LAUNCHER_PID/stat" 2>/dev/null) || return 1
  stat=${stat##*) }
  set -- $stat
  now=$(date +%s%N)
  if [ "$((${12} + ${13}))" != "${SETTLED_TICKS%% *}" ]; then
    SETTLED_TICKS="$((${12} + ${13})) $now"
    return 1
  fi
  ((now - ${SETTLED_TICKS#* } >= 300000000))
}

# Waits until nothing has been drawn on the screen for a moment (before a screenshot).
screen_settled() { wait_for "$DEADLINE" "$KESTREL_X_PROBE" --settled; }

# Shows the launcher with the hot key and waits until it is on screen with the keyboard focus.
show_with_hotkey() {
  launcher_hidden || session_die "show_with_hotkey: the launcher is not hidden"
  press_hotkey
  wait_for "$DEADLINE" launcher_shown || session_die "Ctrl+Space did not show the launcher"
  wait_for "$DEADLINE" launcher_focused || session_die "the shown launcher did not get the keyboard focus"
}

clipboard() { xclip -o -selection clipboard 2>/dev/null; }
clipboard_is() { [ "$(clipboard; printf x)" = "${1}x" ]; }
