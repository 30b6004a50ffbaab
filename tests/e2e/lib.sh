# Helpers shared by the end-to-end scenarios (sourced, not run).
#
# Each scenario gets its own Xvfb (a free display number chosen by the server), openbox, a private
# XDG_RUNTIME_DIR (so the single-instance socket never meets another test's launcher), a private HOME and
# fixture XDG application directories. Every process started here is recorded and, on exit, exactly those
# PIDs are stopped. Conditions are awaited by polling with generous deadlines, never by fixed sleeps, so
# the tests hold on a loaded machine; no check is about how fast something happens.
#
# Needs KESTREL_BIN (the launcher) and KESTREL_X_CLIENT (tests/e2e/x-client.cpp).
# scripts/run and scripts/measure use the same helpers with their own E2E_PREFIX.

set -euo pipefail

E2E_PIDS=()
E2E_PREFIX=${E2E_PREFIX:-e2e}
E2E_KEEP=${E2E_KEEP:-0}
E2E_CHECKS=0
# Deadline for anything the launcher or the X server should do in reaction to an input (seconds).
E2E_DEADLINE=${E2E_DEADLINE:-20}

e2e_log() { printf '%s: %s\n' "$E2E_PREFIX" "$*"; }

# Stops everything this scenario started, newest first (the launcher before its X server), by PID, and
# only while it is still our child.
e2e_cleanup() {
  local status=$?
  local i pid n
  for ((i = ${#E2E_PIDS[@]} - 1; i >= 0; i--)); do
    pid=${E2E_PIDS[i]}
    e2e_is_our_child "$pid" || continue
    kill -TERM "$pid" 2>/dev/null || true
    n=0
    while e2e_is_our_child "$pid" && ((n < 50)); do sleep 0.1; n=$((n + 1)); done
    e2e_is_our_child "$pid" && kill -KILL "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  if [ -n "${E2E_TMP:-}" ] && [ -d "$E2E_TMP" ]; then
    if ((status != 0 || E2E_KEEP)); then
      e2e_log "kept the scenario's files in $E2E_TMP"
    else
      rm -rf "$E2E_TMP"
    fi
  fi
  exit "$status"
}

# True while PID is alive (not a zombie) and a child of this shell: a PID that was reused by another
# program after ours ended is never signalled.
e2e_is_our_child() {
  local stat
  stat=$(cat "/proc/$1/stat" 2>/dev/null) || return 1
  stat=${stat##*) }
  set -- $stat
  [ "$1" != Z ] && [ "$2" = "$$" ]
}

e2e_remember() { E2E_PIDS+=("$1"); }

e2e_init() {
  for tool in Xvfb openbox xdotool xclip xprop xwininfo; do
    command -v "$tool" >/dev/null || { e2e_log "$tool is missing (scripts/install-deps installs it)" >&2; exit 1; }
  done
  [ -x "${KESTREL_BIN:-}" ] || { e2e_log "KESTREL_BIN does not name the launcher binary" >&2; exit 1; }
  [ -x "${KESTREL_X_CLIENT:-}" ] || { e2e_log "KESTREL_X_CLIENT does not name the test X client" >&2; exit 1; }
  E2E_TMP=$(mktemp -d "${TMPDIR:-/tmp}/kestrel-e2e.XXXXXX")
  trap e2e_cleanup EXIT
  trap 'exit 130' INT TERM HUP
  RUNTIME_DIR=$E2E_TMP/runtime
  mkdir -m 700 "$RUNTIME_DIR"
  unset WAYLAND_DISPLAY QT_QPA_PLATFORM DBUS_SESSION_BUS_ADDRESS XDG_CURRENT_DESKTOP DESKTOP_SESSION
}

# Fails the scenario: prints why, the launcher's stderr and a screenshot's location.
e2e_die() {
  e2e_log "FAIL: $*" >&2
  if [ -n "${DISPLAY:-}" ] && command -v import >/dev/null; then
    import -window root "$E2E_TMP/failure.png" 2>/dev/null && e2e_log "screenshot: $E2E_TMP/failure.png" >&2
  fi
  if [ -s "${E2E_TMP:-/nonexistent}/launcher.err" ]; then
    e2e_log "launcher stderr:" >&2
    sed 's/^/  | /' "$E2E_TMP/launcher.err" >&2
  fi
  exit 1
}

# expect DESCRIPTION COMMAND...: the scenario goes on when COMMAND succeeds and fails otherwise.
expect() {
  local what=$1
  shift
  E2E_CHECKS=$((E2E_CHECKS + 1))
  if "$@"; then
    e2e_log "ok: $what"
  else
    e2e_die "$what"
  fi
}

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

# Succeeds when COMMAND holds at every poll during SECONDS (for "nothing happens" checks, always paired
# with a later positive observation that proves the inputs were processed).
holds_for() {
  local limit=$1
  shift
  local end=$(($(date +%s%N) + limit * 1000000000))
  while (($(date +%s%N) < end)); do
    "$@" >/dev/null 2>&1 || return 1
    sleep 0.1
  done
}

# ---------------------------------------------------------------- X server and window manager

start_x() {
  local display_file=$E2E_TMP/display
  Xvfb -displayfd 9 -screen 0 1280x800x24 -nolisten tcp -noreset 9>"$display_file" 2>"$E2E_TMP/xvfb.log" &
  e2e_remember $!
  wait_for 30 test -s "$display_file" || e2e_die "Xvfb did not start: $(tail -n 5 "$E2E_TMP/xvfb.log")"
  export DISPLAY=":$(head -n 1 "$display_file")"
  openbox --sm-disable >"$E2E_TMP/openbox.log" 2>&1 &
  e2e_remember $!
  wait_for 30 window_manager_running || e2e_die "openbox did not start on $DISPLAY"
  timeout 60 "$KESTREL_X_CLIENT" --probe-window-manager || e2e_die "openbox does not manage windows on $DISPLAY"
  e2e_log "X server $DISPLAY with openbox"
}

window_manager_running() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; }

# Starts the test X client with ARGS; its stdout goes to $E2E_TMP/NAME.out. Sets X_CLIENT_PID.
start_x_client() {
  local name=$1
  shift
  "$KESTREL_X_CLIENT" "$@" >"$E2E_TMP/$name.out" 2>"$E2E_TMP/$name.err" &
  X_CLIENT_PID=$!
  e2e_remember "$X_CLIENT_PID"
}

# ---------------------------------------------------------------- fixture catalogue

# A catalogue whose full list is, in order: Apricot, Blueberry, Candied Fig, Cherry, Elderberry, Fig.
# Entries are split between $XDG_DATA_HOME and $XDG_DATA_DIRS; a NoDisplay entry that would sort first
# must stay out. Each entry's Exec runs bin/mark with the entry's id, which appends the id to
# $FIXTURE/launched and saves the environment the application was started with in $FIXTURE/env-<id>.
make_catalog() {
  FIXTURE=$E2E_TMP/fixture
  mkdir -p "$FIXTURE/home" "$FIXTURE/data-home/applications" "$FIXTURE/data-dir/applications" "$FIXTURE/bin"
  : >"$FIXTURE/launched"
  cat >"$FIXTURE/bin/mark" <<EOF
#!/bin/sh
env >"$FIXTURE/env-\$1"
printf '%s\n' "\$1" >>"$FIXTURE/launched"
EOF
  chmod +x "$FIXTURE/bin/mark"
  add_entry data-home apricot "Apricot"
  add_entry data-dir blueberry "Blueberry"
  add_entry data-dir candied-fig "Candied Fig"
  add_entry data-home cherry "Cherry"
  add_entry data-dir elderberry "Elderberry"
  add_entry data-home fig "Fig"
  add_entry data-dir aardvark "Aardvark" "NoDisplay=true"
}

# add_entry TREE ID NAME [EXTRA-LINE]
add_entry() {
  {
    printf '[Desktop Entry]\nType=Application\nName=%s\nExec=%s %s\n' "$3" "$FIXTURE/bin/mark" "$2"
    if [ -n "${4:-}" ]; then printf '%s\n' "$4"; fi
  } >"$FIXTURE/$1/applications/$2.desktop"
}

launched_count() { wc -l <"$FIXTURE/launched"; }
launched_count_is() { [ "$(launched_count)" -eq "$1" ]; }
last_launched() { tail -n 1 "$FIXTURE/launched"; }

# ---------------------------------------------------------------- the launcher

# The environment the launcher runs in: the fixture catalogue, private HOME and runtime directory.
# (An array for `env`, not a function, so that `env ... &` leaves the launcher's own PID in $!.)
launcher_env() {
  LAUNCHER_ENV=(HOME="$FIXTURE/home" XDG_DATA_HOME="$FIXTURE/data-home" XDG_DATA_DIRS="$FIXTURE/data-dir"
    XDG_CONFIG_HOME="$FIXTURE/home/.config" XDG_CACHE_HOME="$FIXTURE/home/.cache"
    XDG_RUNTIME_DIR="$RUNTIME_DIR" LC_ALL=C.UTF-8 DISPLAY="$DISPLAY")
}

# Starts the launcher in the background and waits until it is ready for the hot key: it listens on its
# single-instance socket and holds the Ctrl+Space grab. With --hotkey-taken (another client holds
# Ctrl+Space) it waits instead for the launcher to say on stderr that the key is taken. Sets LAUNCHER_PID.
start_launcher() {
  launcher_env
  env "${LAUNCHER_ENV[@]}" "$KESTREL_BIN" >"$E2E_TMP/launcher.out" 2>"$E2E_TMP/launcher.err" &
  LAUNCHER_PID=$!
  e2e_remember "$LAUNCHER_PID"
  wait_for 60 launcher_listening || e2e_die "the launcher did not come up (no socket in \$XDG_RUNTIME_DIR)"
  if [ "${1:-}" = --hotkey-taken ]; then
    wait_for 60 grep -qi 'ctrl+space' "$E2E_TMP/launcher.err" || e2e_die "the launcher did not report the taken hot key"
  else
    wait_for 60 hotkey_held || e2e_die "the launcher did not grab Ctrl+Space"
  fi
  e2e_log "launcher running as PID $LAUNCHER_PID"
}

# Some client holds Ctrl+Space (asked without getting in the way of a launcher that is grabbing it).
hotkey_held() { launcher_alive && "$KESTREL_X_CLIENT" --probe-hotkey; }

launcher_alive() { e2e_is_our_child "$LAUNCHER_PID"; }
launcher_listening() { launcher_alive && [ -n "$(find "$RUNTIME_DIR" -type s 2>/dev/null)" ]; }

# The launcher's viewable (mapped, on screen) windows, one id per line.
launcher_viewable_windows() { xdotool search --onlyvisible --pid "$LAUNCHER_PID" 2>/dev/null || true; }
launcher_shown() { [ -n "$(launcher_viewable_windows)" ]; }
launcher_hidden() { launcher_alive && [ -z "$(launcher_viewable_windows)" ]; }
# The X input focus is on a window of the launcher, so typing reaches it.
launcher_focused() {
  local window
  window=$(xdotool getwindowfocus 2>/dev/null) || return 1
  [ "$(xdotool getwindowpid "$window" 2>/dev/null)" = "$LAUNCHER_PID" ]
}

# Runs the binary a second time (the single-instance toggle path), with NAME=VALUE... added to its
# environment; it must exit 0 by itself.
second_start() {
  local status=0
  launcher_env
  env "${LAUNCHER_ENV[@]}" "$@" timeout 60 "$KESTREL_BIN" >"$E2E_TMP/second.out" 2>"$E2E_TMP/second.err" || status=$?
  [ "$status" -eq 0 ] || e2e_die "a second start exited with status $status: $(cat "$E2E_TMP/second.err")"
}

press_hotkey() { xdotool key ctrl+space; }
press() { local key; for key in "$@"; do xdotool key "$key"; done; }
type_text() { xdotool type --delay 40 -- "$1"; }

# Shows the launcher with the hot key and waits until it is on screen with the keyboard focus.
show_with_hotkey() {
  launcher_hidden || e2e_die "show_with_hotkey: the launcher is not hidden"
  press_hotkey
  wait_for "$E2E_DEADLINE" launcher_shown || e2e_die "Ctrl+Space did not show the launcher"
  wait_for "$E2E_DEADLINE" launcher_focused || e2e_die "the shown launcher did not get the keyboard focus"
}

# launch_and_expect ID TEXT [KEY...]: shows the launcher, types TEXT, presses the KEYs and Return, and
# checks that exactly the application ID was launched and the window went away.
launch_and_expect() {
  local id=$1 text=$2
  shift 2
  local before
  before=$(launched_count)
  show_with_hotkey
  [ -z "$text" ] || type_text "$text"
  press "$@" Return
  local what="'$text'${*:+ then $*}, Return launches $id"
  wait_for "$E2E_DEADLINE" launched_count_is $((before + 1)) || e2e_die "$what: nothing was launched"
  expect "$what" test "$(last_launched)" = "$id"
  wait_for "$E2E_DEADLINE" launcher_hidden || e2e_die "$what: the window stayed on screen"
}

# ---------------------------------------------------------------- the clipboard

clipboard() { xclip -o -selection clipboard 2>/dev/null; }
clipboard_is() { [ "$(clipboard; printf x)" = "${1}x" ]; }

# Puts TEXT on the clipboard from an xclip kept in the foreground (it ends when another client takes
# the selection) and waits until it serves it.
set_clipboard() {
  printf '%s' "$1" >"$E2E_TMP/clipboard-in"
  xclip -quiet -selection clipboard -i "$E2E_TMP/clipboard-in" >/dev/null 2>&1 &
  e2e_remember $!
  wait_for "$E2E_DEADLINE" clipboard_is "$1" || e2e_die "could not put '$1' on the clipboard"
}

screenshot() { import -window root "$E2E_TMP/$1.png"; }
