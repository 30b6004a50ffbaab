# What the private Wayland desktops (gnome-session.sh, kde-session.sh, sway-session.sh) share, sourced
# after x-session.sh. Each runs its compositor with Xwayland in the private XDG_RUNTIME_DIR of x-session.sh,
# with a private HOME and catalogue ($FIXTURE), its programs on a private D-Bus that starts no services,
# and the launcher as a copy in $SESSION_TMP/bin. On exit every process of the desktop is stopped: the ones
# started here by PID, then the ones the desktop started (launchers its key bindings ran, Xwayland,
# wl-copy) found by the private runtime directory in their environment; then the lock files of the X
# displays they took go.

DESKTOP_ENV=() # what the desktop adds to its programs' environment (XDG_CURRENT_DESKTOP...)
DESKTOP_AS=()  # runs a program as another user (sway refuses root)
DESKTOP_BUS=
LAUNCHER_PID=

# desktop_init TOOL...: session_init, an empty private HOME and catalogue (a test's make_catalog fills
# it), the launcher's copy (with its build directory's other kestrelpoint* programs) and the cleanup.
desktop_init() {
  session_init "$@"
  trap desktop_cleanup EXIT
  FIXTURE=$SESSION_TMP/fixture
  mkdir -p "$SESSION_TMP/bin" "$FIXTURE/home/.config" "$FIXTURE/data-home/applications" "$FIXTURE/data-dir/applications"
  [ -x "${KESTREL_BIN:-}" ] || session_die "KESTREL_BIN does not name the launcher binary"
  find "$(dirname "$KESTREL_BIN")" -maxdepth 1 -type f -name 'kestrelpoint*' -perm -u+x -exec cp -t "$SESSION_TMP/bin" {} +
  DESKTOP_BIN=$SESSION_TMP/bin/kestrelpoint
  DISPLAY= WAYLAND_DISPLAY= XAUTHORITY=
}

# why: rootless Xwayland's root window has no image, and import can block on it for good.
import() { return 1; }

desktop_cleanup() {
  local status=$? pid i lock ours
  ours=" $(session_processes | tr '\n' ' ') "
  for pid in $(running_launchers); do stop_process "$pid"; done
  for ((i = ${#SESSION_PIDS[@]} - 1; i >= 0; i--)); do stop_pid "${SESSION_PIDS[i]}"; done
  for pid in $(session_processes); do stop_process "$pid"; done
  for lock in /tmp/.X*-lock; do
    [ -f "$lock" ] && pid=$(tr -d ' \n' <"$lock") || continue
    [[ $ours == *" $pid "* ]] && [ ! -e "/proc/$pid" ] || continue
    i=${lock#/tmp/.X}
    rm -f "$lock" "/tmp/.X11-unix/X${i%-lock}"
  done
  session_cleanup "$status"
}

# The PIDs of the processes whose environment names this session's runtime directory.
session_processes() {
  [ -n "${RUNTIME_DIR:-}" ] || return 0
  grep -lzxF "XDG_RUNTIME_DIR=$RUNTIME_DIR" /proc/[0-9]*/environ 2>/dev/null | cut -d/ -f3 || true
}
# The resident launchers of this session that run (started here or by a key binding), one PID a line.
running_launchers() {
  find /proc -mindepth 2 -maxdepth 2 -name exe -lname "$SESSION_TMP/bin/kestrelpoint-resident" 2>/dev/null | cut -d/ -f3 || true
}

# "PID:START" of a running process (START from /proc/PID/stat), so that a reused PID is never taken for it.
# why: a process whose main thread has ended shows as a zombie while its other threads still end and
# hold its files (a launcher's lock among them); it runs until its last thread has gone.
process_id() {
  local stat
  stat=$(cat "/proc/$1/stat" 2>/dev/null) || return 1
  stat=${stat##*) }
  set -- "$1" $stat
  [ "$2" != Z ] || [ "$(ls "/proc/$1/task" 2>/dev/null | wc -l)" -gt 1 ] || return 1
  echo "$1:${21}"
}
is_running() { [ "$(process_id "${1%%:*}")" = "$1" ]; }

# Stops PID, our child or not (TERM, then KILL after five seconds), and waits until it has ended.
stop_process() {
  local id
  is_our_child "$1" && { stop_pid "$1"; return 0; }
  id=$(process_id "$1") || return 0
  kill -TERM "$1" 2>/dev/null || true
  wait_for 5 not is_running "$id" || kill -KILL "$1" 2>/dev/null || true
  wait_for 10 not is_running "$id" || true
}

# ---------------------------------------------------------------- programs in the session

# The environment of the desktop's programs: the launcher's (the private directories and catalogue), the
# desktop's own, and once they run, the compositor's displays and the session bus. PATH starts with the
# launcher's copy, so a binding that runs the bare `kestrelpoint` runs it.
session_env() {
  local var
  launcher_env
  SESSION_ENV=(PATH="$SESSION_TMP/bin:/usr/local/bin:/usr/bin:/bin")
  for var in "${LAUNCHER_ENV[@]}" "${DESKTOP_ENV[@]}"; do [ "$var" = DISPLAY= ] || SESSION_ENV+=("$var"); done
  [ -z "$WAYLAND_DISPLAY" ] || SESSION_ENV+=(WAYLAND_DISPLAY="$WAYLAND_DISPLAY")
  [ -z "$XAUTHORITY" ] || SESSION_ENV+=(XAUTHORITY="$XAUTHORITY")
  [ -z "$DESKTOP_BUS" ] || SESSION_ENV+=(DBUS_SESSION_BUS_ADDRESS="$DESKTOP_BUS")
}

# in_session COMMAND...: runs COMMAND in the session's environment (foreground).
in_session() { session_env; "${DESKTOP_AS[@]}" env -i "${SESSION_ENV[@]}" "$@"; }

# in_session_bg NAME COMMAND...: the same in the background, output in $SESSION_TMP/NAME.{out,err}; the PID
# (the program's own: setpriv and env exec it) is remembered for the cleanup and left in BG_PID.
in_session_bg() {
  local name=$1
  shift
  session_env
  "${DESKTOP_AS[@]}" env -i "${SESSION_ENV[@]}" "$@" >"$SESSION_TMP/$name.out" 2>"$SESSION_TMP/$name.err" &
  BG_PID=$!
  remember_pid "$BG_PID"
}

# start_bus NAME TYPE: a private dbus-daemon of TYPE (session or system) in the runtime directory, with no
# service activation. Sets BUS_ADDRESS and BUS_PID.
start_bus() {
  rm -f "$RUNTIME_DIR/$1"
  cat >"$SESSION_TMP/$1.conf" <<EOF
<busconfig>
  <type>$2</type>
  <listen>unix:path=$RUNTIME_DIR/$1</listen>
  <auth>EXTERNAL</auth>
  <policy context="default"><allow send_destination="*" eavesdrop="true"/><allow eavesdrop="true"/><allow own="*"/></policy>
</busconfig>
EOF
  in_session_bg "$1" dbus-daemon --config-file="$SESSION_TMP/$1.conf" --nofork --print-address=1
  BUS_PID=$BG_PID
  wait_for 30 test -s "$SESSION_TMP/$1.out" || session_die "the $2 bus did not start: $(cat "$SESSION_TMP/$1.err")"
  BUS_ADDRESS=$(head -n 1 "$SESSION_TMP/$1.out")
}

bus_has_owner() {
  in_session dbus-send --bus="$DESKTOP_BUS" --print-reply --dest=org.freedesktop.DBus / \
    org.freedesktop.DBus.NameHasOwner "string:$1" | grep -q 'boolean true'
}

# ---------------------------------------------------------------- the launcher

# start_desktop_launcher [NAME=VALUE...]: starts the launcher hidden, as the session's autostart does, with
# the variables given added, and waits for its single-instance socket. Sets LAUNCHER_PID.
start_desktop_launcher() {
  in_session_bg launcher env "$@" "$DESKTOP_BIN" --background
  LAUNCHER_PID=$BG_PID
  wait_for 60 launcher_listening || session_die "the launcher did not come up (no socket in \$XDG_RUNTIME_DIR)"
  session_log "launcher running as PID $LAUNCHER_PID"
}

# The one resident launcher of the session, whoever started it: sets LAUNCHER_PID.
find_launcher() {
  local pids
  pids=$(running_launchers)
  [ -n "$pids" ] && [ "$(wc -l <<<"$pids")" -eq 1 ] && LAUNCHER_PID=$pids
}

launcher_alive() { [[ -n $LAUNCHER_PID && $(readlink "/proc/$LAUNCHER_PID/exe" 2>/dev/null) == "$SESSION_TMP"/bin/kestrelpoint* ]]; }

# The lines the launchers of the session wrote on stderr that are their own (not Qt's or a library's).
launcher_lines() { grep -h '^kestrelpoint:' "$SESSION_TMP"/*.err 2>/dev/null || true; }
launcher_says() { launcher_lines | grep -qF "$1"; }
