# Helpers of the Wayland scenarios (sourced, not run), on top of tests/e2e/lib.sh. Each scenario gets its
# own headless sway with XWayland and foot in front, in its own XDG_RUNTIME_DIR. sway refuses root, so
# as root everything runs as the unprivileged $WL_USER through setpriv (which execs, so the PIDs
# remembered are the programs' own). Processes are stopped by PID on exit; the launchers sway's binding
# starts record their PIDs for that. Needs KESTREL_BIN and KESTREL_WAYLAND_DIR (this directory).

SESSION_NAME=wayland
source "$(dirname "${BASH_SOURCE[0]}")/../e2e/lib.sh"

WL_USER=${WL_USER:-kestrel-wayland}
PYTHON=/usr/bin/python3 # the system's, which has python3-dbus and python3-gi

wl_init() {
  session_init sway Xwayland foot wtype wl-paste swaymsg jq dbus-daemon dbus-send "$PYTHON" \
    /usr/libexec/xdg-desktop-portal $([ "$(id -u)" -ne 0 ] || echo setpriv useradd)
  trap wl_cleanup EXIT
  WL_STRAYS=$SESSION_TMP/bound-launchers
  mkdir -p "$SESSION_TMP/bin" "$SESSION_TMP/portals"
  : >"$WL_STRAYS"
  : >"$SESSION_TMP/backend.log"
  cp "$KESTREL_WAYLAND_DIR/shortcuts-backend.py" "$SESSION_TMP/bin/"
  make_catalog
  wl_place_launcher
  wl_prepare_user
}

# As root: the unprivileged user exists (created once, idempotently, safe against a parallel test doing
# the same) and owns the scenario's directory (the files written later as root are only read).
wl_prepare_user() {
  WL_AS=()
  [ "$(id -u)" -eq 0 ] || return 0
  for _ in {1..10}; do
    id -u "$WL_USER" >/dev/null 2>&1 && break
    useradd --system --no-create-home --home-dir /nonexistent --shell /usr/sbin/nologin "$WL_USER" 2>/dev/null || sleep 0.5
  done
  id -u "$WL_USER" >/dev/null 2>&1 || session_die "could not create the user $WL_USER"
  chmod 755 "$SESSION_TMP"
  chown -R "$WL_USER": "$SESSION_TMP"
  WL_AS=(setpriv --reuid="$WL_USER" --regid="$WL_USER" --clear-groups --)
}

# The launcher (with its build directory's other kestrelpoint* programs) runs copied into the scenario's
# directory, where the test user can execute it.
wl_place_launcher() {
  find "$(dirname "$KESTREL_BIN")" -maxdepth 1 -type f -name 'kestrelpoint*' -perm -u+x -exec cp -t "$SESSION_TMP/bin" {} +
  WL_BIN=$SESSION_TMP/bin/$(basename "$KESTREL_BIN")
  # What sway's key binding runs: the launcher, recording its PID first (exec keeps it).
  cat >"$SESSION_TMP/bin/bound-launcher" <<EOF
#!/bin/sh
echo \$\$ >>"$WL_STRAYS"
exec "$WL_BIN" 2>>"$SESSION_TMP/bound.err"
EOF
  chmod 755 "$SESSION_TMP/bin/bound-launcher"
}

# Launchers started by sway's binding are not our children: stopped by their recorded PIDs while these
# still name this scenario's launchers; then everything that is ours.
wl_cleanup() {
  local status=$? pid
  while read -r pid; do
    [ -n "$pid" ] && wl_is_bound_launcher "$pid" && kill -TERM "$pid" 2>/dev/null || true
  done <"${WL_STRAYS:-/dev/null}"
  session_cleanup "$status"
}

# PID is a kestrelpoint* program whose environment names this scenario's runtime directory.
wl_is_bound_launcher() {
  [[ $(readlink "/proc/$1/exe" 2>/dev/null) == */kestrelpoint* ]] && grep -q "$RUNTIME_DIR" "/proc/$1/environ" 2>/dev/null
}


# The session's environment: the launcher's, and once they run, sway's sockets and the session bus.
wl_env() {
  launcher_env
  WL_ENV=(PATH=/usr/local/bin:/usr/bin:/bin "${LAUNCHER_ENV[@]}")
  [ -n "${WAYLAND_DISPLAY:-}" ] && WL_ENV+=(WAYLAND_DISPLAY="$WAYLAND_DISPLAY" SWAYSOCK="$SWAYSOCK")
  [ -n "${WL_BUS:-}" ] && WL_ENV+=(DBUS_SESSION_BUS_ADDRESS="$WL_BUS")
  return 0
}

# in_session COMMAND...: runs COMMAND as the user, in the session's environment (foreground).
in_session() { wl_env; "${WL_AS[@]}" env -i "${WL_ENV[@]}" "$@"; }

# in_session_bg NAME COMMAND...: the same in the background, output in $SESSION_TMP/NAME.{out,err}; the
# PID (the program's own: setpriv and env exec it) is remembered for the cleanup and left in BG_PID.
in_session_bg() {
  local name=$1
  shift
  wl_env
  "${WL_AS[@]}" env -i "${WL_ENV[@]}" "$@" >"$SESSION_TMP/$name.out" 2>"$SESSION_TMP/$name.err" &
  BG_PID=$!
  remember_pid "$BG_PID"
}

# ---------------------------------------------------------------- sway, XWayland and foot

# Starts headless sway whose Ctrl+Space runs the launcher (the binding a user makes; none with
# --no-binding), with foot focused in front. Sets WAYLAND_DISPLAY, SWAYSOCK and DISPLAY (XWayland's, which
# sway reports to its children).
start_sway() {
  DISPLAY=
  local binding="bindsym Ctrl+space exec $SESSION_TMP/bin/bound-launcher"
  [ "${1:-}" != --no-binding ] || binding=
  cat >"$SESSION_TMP/sway.config" <<EOF
xwayland enable
$binding
exec printenv DISPLAY >$SESSION_TMP/display.tmp && mv $SESSION_TMP/display.tmp $SESSION_TMP/display
EOF
  in_session_bg sway env WLR_BACKENDS=headless WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1 \
    sway --config "$SESSION_TMP/sway.config"
  wait_for 30 sway_socket_ready || session_die "sway did not start: $(tail -n 5 "$SESSION_TMP/sway.err")"
  wait_for 30 test -s "$SESSION_TMP/display" || session_die "sway did not report XWayland's display"
  DISPLAY=$(cat "$SESSION_TMP/display")
  in_session_bg foot foot --app-id kestrel-test-foot -- cat
  wait_for 30 foot_focused || session_die "foot did not come up focused"
  session_log "sway on $WAYLAND_DISPLAY, XWayland $DISPLAY, foot in front"
}

sway_socket_ready() {
  local socket display
  socket=$(find "$RUNTIME_DIR" -maxdepth 1 -name 'sway-ipc.*.sock' -type s 2>/dev/null | head -n 1)
  display=$(find "$RUNTIME_DIR" -maxdepth 1 -name 'wayland-*' -type s -printf '%f\n' 2>/dev/null | head -n 1)
  [ -n "$socket" ] && [ -n "$display" ] || return 1
  WAYLAND_DISPLAY=$display SWAYSOCK=$socket
  in_session swaymsg -t get_version >/dev/null
}

# One line per mapped window in sway's tree: "SHELL PID FLOATING FOCUSED X Y WIDTH HEIGHT OUTPUT-W OUTPUT-H"
# (the rectangle in layout coordinates; the headless backend has one output).
windows() {
  in_session swaymsg -r -t get_tree | jq -r '(first(.. | objects | select(.type == "output")).rect) as $out
    | .. | objects | select((.type == "con" or .type == "floating_con") and .pid != null and .visible != false)
    | [.shell, .pid, (if .type == "floating_con" then "floating" else "tiled" end),
       (if .focused then "focused" else "-" end), .rect.x, .rect.y, .rect.width, .rect.height, $out.width, $out.height]
    | join(" ")'
}

# The window of the launcher, when mapped (one line as `windows` prints it). The shared session's
# launcher_shown, launcher_hidden and show_with_hotkey ask these instead of the X server.
launcher_window() { windows | awk -v pid="$LAUNCHER_PID" '$1 == "xwayland" && $2 == pid'; }
viewable_windows() { launcher_window; }
launcher_focused() { launcher_window | grep -q ' focused '; }
foot_focused() { [ -n "$(windows | awk '$4 == "focused" && $1 == "xdg_shell"')" ]; }

# ---------------------------------------------------------------- the launcher

# start_wl_launcher [NAME=VALUE...]: starts the resident launcher in the session (the first start; later
# ones come from the binding), with the variables given added, and waits for its single-instance socket.
# Sets LAUNCHER_PID.
start_wl_launcher() {
  in_session_bg launcher env "$@" "$WL_BIN" --background
  LAUNCHER_PID=$BG_PID
  wait_for 60 launcher_listening || session_die "the launcher did not come up (no socket in \$XDG_RUNTIME_DIR)"
  session_log "launcher running as PID $LAUNCHER_PID"
}

# Keys through a new virtual keyboard: Ctrl+Space is sway's binding (which runs the launcher). Keys
# for the XWayland window wait after the keymap, which XWayland otherwise answers by dropping the call's
# first key; a busy machine can stretch that past the wait, so a Shift tap goes first to be the one lost.
press_hotkey() { in_session wtype -M ctrl -k space -m ctrl; }
type_keys() { in_session wtype -s 300 -M shift -m shift -s 50 "$@"; }

# Lines the launcher wrote on stderr that are its own (not Qt's or a library's).
launcher_lines() { grep '^kestrelpoint:' "$SESSION_TMP/launcher.err" 2>/dev/null || true; }
launcher_says() { launcher_lines | grep -qF "$1"; }

# ---------------------------------------------------------------- the portal

# start_portal MODE: a private session bus (no service activation) with the real xdg-desktop-portal
# frontend and the test backend answering in MODE (shortcuts-backend.py); "no-frontend" is the bus only,
# "no-backend" the frontend only. Sets WL_BUS, PORTAL_PID (the frontend's) and PORTAL_PIDS.
start_portal() {
  local mode=$1
  cat >"$SESSION_TMP/bus.conf" <<EOF
<busconfig>
  <type>session</type>
  <listen>unix:dir=$RUNTIME_DIR</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
EOF
  in_session_bg bus dbus-daemon --config-file="$SESSION_TMP/bus.conf" --nofork --print-address=1
  PORTAL_PIDS=("$BG_PID")
  wait_for 30 test -s "$SESSION_TMP/bus.out" || session_die "the session bus did not start"
  WL_BUS=$(head -n 1 "$SESSION_TMP/bus.out")
  [ "$mode" = no-frontend ] && return 0
  if [ "$mode" != no-backend ]; then
    printf '[portal]\nDBusName=org.freedesktop.impl.portal.desktop.kestreltest\nInterfaces=org.freedesktop.impl.portal.GlobalShortcuts;\nUseIn=kestreltest\n' \
      >"$SESSION_TMP/portals/kestreltest.portal"
    in_session_bg backend "$PYTHON" "$SESSION_TMP/bin/shortcuts-backend.py" --mode "$mode" --log "$SESSION_TMP/backend.log"
    PORTAL_PIDS+=("$BG_PID")
    wait_for 30 grep -q '"ready"' "$SESSION_TMP/backend.log" || session_die "the test backend did not start: $(cat "$SESSION_TMP/backend.err")"
  fi
  # why: where the system has GSettings schemas the portal reads settings at start and aborts when it finds
  # none under the session's data directories (the fixture's); it reads them from memory, not dconf.
  in_session_bg portal env XDG_CURRENT_DESKTOP=kestreltest XDG_DESKTOP_PORTAL_DIR="$SESSION_TMP/portals" \
    GSETTINGS_SCHEMA_DIR=/usr/share/glib-2.0/schemas GSETTINGS_BACKEND=memory \
    /usr/libexec/xdg-desktop-portal --verbose
  PORTAL_PID=$BG_PID
  PORTAL_PIDS+=("$BG_PID")
  wait_for 30 bus_has_owner org.freedesktop.portal.Desktop || session_die "xdg-desktop-portal did not start: $(tail -n 5 "$SESSION_TMP/portal.err")"
  session_log "xdg-desktop-portal on $WL_BUS with the test backend in mode $mode"
}

# Stops the portal, its backend and the bus, newest first, and forgets the bus.
stop_portal() {
  local i
  for ((i = ${#PORTAL_PIDS[@]} - 1; i >= 0; i--)); do stop_pid "${PORTAL_PIDS[i]}"; done
  rm -f "$SESSION_TMP/portals/"*.portal "$SESSION_TMP/bus.out"
  : >"$SESSION_TMP/backend.log"
  WL_BUS=
}

bus_has_owner() {
  in_session dbus-send --bus="$WL_BUS" --print-reply --dest=org.freedesktop.DBus / \
    org.freedesktop.DBus.NameHasOwner "string:$1" | grep -q 'boolean true'
}

# Presses the portal shortcut ID in the test backend; prints in how many sessions it was bound.
backend_activate() {
  in_session dbus-send --bus="$WL_BUS" --print-reply --dest=org.freedesktop.impl.portal.desktop.kestreltest \
    /org/freedesktop/portal/desktop org.kestrelpoint.TestBackend.Activate "string:$1" | awk '/uint32/ {print $2}'
}

backend_called() { grep -q "\"call\": \"$1\"" "$SESSION_TMP/backend.log"; }
