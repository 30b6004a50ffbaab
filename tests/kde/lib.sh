# Helpers of the KDE Plasma scenarios (sourced, not run), on top of tests/e2e/lib.sh. Each scenario runs
# its own Plasma compositor: a plain copy of kwin_wayland (virtual output 1920x1080, XWayland, kglobalaccel
# inside) on a private session bus without service activation, the real xdg-desktop-portal-kde and
# xdg-desktop-portal, a native Wayland client (qmlscene), an X11 client (xterm) and the launcher, in a
# private XDG_RUNTIME_DIR, HOME, XDG_CONFIG_HOME and XDG_DATA_HOME. Keys go into KWin itself through its
# fake input protocol (kestrel-kde-keys), so its global shortcuts see them as a keyboard's. What the
# compositor shows (windows, their place, the active one, the work area) is asked from KWin through a
# script it runs. Every process is stopped by PID on exit.
#
# Needs KESTREL_BIN (the launcher), KESTREL_KDE_KEYS (kestrel-kde-keys) and KESTREL_KDE_DIR (this
# directory).

SESSION_NAME=kde
source "$(dirname "${BASH_SOURCE[0]}")/../e2e/lib.sh"

PORTAL_KDE=/usr/lib/x86_64-linux-gnu/libexec/xdg-desktop-portal-kde
[ -x "$PORTAL_KDE" ] || PORTAL_KDE=/usr/libexec/xdg-desktop-portal-kde
# Launching the compositor and the first start of everything on a loaded machine take long.
START_DEADLINE=${START_DEADLINE:-90}

kde_init() {
  [ -x "${KESTREL_KDE_KEYS:-}" ] || {
    session_log "KESTREL_KDE_KEYS does not name kestrel-kde-keys (it is built when libwayland-dev, wayland-scanner and plasma-wayland-protocols are installed: scripts/install-deps)" >&2
    exit 1
  }
  session_init kwin_wayland Xwayland qmlscene xterm xdotool xclip wl-paste jq dbus-daemon dbus-send dbus-monitor \
    /usr/bin/python3 \
    /usr/libexec/xdg-desktop-portal "$PORTAL_KDE"
  trap kde_cleanup EXIT
  make_catalog
  mkdir -p "$SESSION_TMP/bin" "$FIXTURE/home/.config" "$FIXTURE/data-home/kglobalaccel"
  KDE_STRAYS=$SESSION_TMP/bound-launchers
  : >"$KDE_STRAYS"
  : >"$SESSION_TMP/monitor.out"
  DISPLAY= WAYLAND_DISPLAY= KDE_BUS=
  # why: /usr/bin/kwin_wayland carries a file capability (cap_sys_resource) that this kind of machine
  # refuses to exec with (EPERM); a plain copy runs.
  cp /usr/bin/kwin_wayland "$SESSION_TMP/bin/kwin_wayland"
  # why: KWin offers org_kde_kwin_fake_input only to a program whose /proc/PID/exe is the Exec= of a
  # desktop entry asking for it.
  cp "$KESTREL_KDE_KEYS" "$SESSION_TMP/bin/kestrel-kde-keys"
  cat >"$FIXTURE/data-home/applications/kestrel-kde-keys.desktop" <<EOF
[Desktop Entry]
Type=Application
Name=Kestrel test keys
Exec=$SESSION_TMP/bin/kestrel-kde-keys
NoDisplay=true
X-KDE-Wayland-Interfaces=org_kde_kwin_fake_input
EOF
  # What the Plasma command shortcut runs: the launcher in its own environment (not KWin's), recording
  # its PID first (exec keeps it) so the cleanup can stop it.
  cat >"$SESSION_TMP/bin/bound-launcher" <<EOF
#!/bin/sh
echo \$\$ >>"$KDE_STRAYS"
export XDG_DATA_DIRS="$FIXTURE/data-dir"
exec "$KESTREL_BIN" 2>>"$SESSION_TMP/bound.err"
EOF
  chmod 755 "$SESSION_TMP/bin/bound-launcher"
}

# Launchers the command shortcut started are KWin's children, not ours: stopped by their recorded PIDs
# while these still name this scenario's launchers. Then everything that is ours, newest first; then the
# helpers that outlive their parents by design (wl-copy, serving the clipboard) once the compositor they
# serve is gone, found by this scenario's runtime directory in their environment; and the lock file of
# the XWayland server KWin ran, when that server left it behind.
kde_cleanup() {
  local status=$? pid
  while read -r pid; do
    [ -n "$pid" ] && is_scenario_process "$pid" && kill -TERM "$pid" 2>/dev/null || true
  done <"${KDE_STRAYS:-/dev/null}"
  local i
  for ((i = ${#SESSION_PIDS[@]} - 1; i >= 0; i--)); do stop_pid "${SESSION_PIDS[i]}"; done
  if [ -n "${RUNTIME_DIR:-}" ] && ! wait_for 10 no_scenario_processes; then
    for pid in $(scenario_processes); do
      session_log "stopping a stray $(readlink "/proc/$pid/exe" 2>/dev/null) ($pid)" >&2
      kill -TERM "$pid" 2>/dev/null || true
    done
    wait_for 10 no_scenario_processes || session_log "processes of this scenario still run: $(scenario_processes)" >&2
  fi
  if [ -n "${XWAYLAND_PID:-}" ] && [ -n "${DISPLAY:-}" ] && [ ! -e "/proc/$XWAYLAND_PID" ]; then
    local lock=/tmp/.X${DISPLAY#:}-lock
    [ "$(tr -d ' ' 2>/dev/null <"$lock")" = "$XWAYLAND_PID" ] && rm -f "$lock" "/tmp/.X11-unix/X${DISPLAY#:}"
  fi
  session_cleanup "$status"
}

# PID is alive and its environment names this scenario's runtime directory.
is_scenario_process() { grep -qzF "XDG_RUNTIME_DIR=$RUNTIME_DIR" "/proc/$1/environ" 2>/dev/null; }
scenario_processes() {
  local dir pid
  for dir in /proc/[0-9]*; do
    pid=${dir#/proc/}
    is_scenario_process "$pid" && echo "$pid"
  done
  return 0
}
no_scenario_processes() { [ -z "$(scenario_processes)" ]; }

# ---------------------------------------------------------------- the session's environment

# The launcher's environment (the catalogue in $FIXTURE, the private directories) with, once they run,
# the compositor's sockets and the session bus: what a Plasma session hands its programs.
kde_env() {
  launcher_env
  KDE_ENV=(PATH=/usr/local/bin:/usr/bin:/bin "${LAUNCHER_ENV[@]}" XDG_CURRENT_DESKTOP=KDE XDG_SESSION_TYPE=wayland
    KDE_FULL_SESSION=true KDE_SESSION_VERSION=5)
  [ -n "${WAYLAND_DISPLAY:-}" ] && KDE_ENV+=(WAYLAND_DISPLAY="$WAYLAND_DISPLAY")
  [ -n "${KDE_BUS:-}" ] && KDE_ENV+=(DBUS_SESSION_BUS_ADDRESS="$KDE_BUS")
  return 0
}

# The desktop's own programs (KWin, the portals) read their data (effects, scripts, GSettings schemas)
# from the system's directories; the launcher sees only the fixture catalogue's.
SYSTEM_DATA=(env XDG_DATA_DIRS=/usr/local/share:/usr/share)

# in_session COMMAND...: runs COMMAND in the session's environment (foreground).
in_session() { kde_env; env -i "${KDE_ENV[@]}" "$@"; }

# in_session_bg NAME COMMAND...: the same in the background, output in $SESSION_TMP/NAME.{out,err}; the
# PID (the program's own: env execs it) is remembered for the cleanup and left in BG_PID.
in_session_bg() {
  local name=$1
  shift
  kde_env
  env -i "${KDE_ENV[@]}" "$@" >"$SESSION_TMP/$name.out" 2>"$SESSION_TMP/$name.err" &
  BG_PID=$!
  remember_pid "$BG_PID"
}

# ---------------------------------------------------------------- bus, KWin, portals

# A private session bus that starts no services: every program on it is one this scenario started.
start_bus() {
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
  wait_for 30 test -s "$SESSION_TMP/bus.out" || session_die "the session bus did not start"
  KDE_BUS=$(head -n 1 "$SESSION_TMP/bus.out")
}

# start_plasma [--no-portal]: starts the bus, KWin (with XWayland, which it starts at once) and both
# portals (none with --no-portal). Sets WAYLAND_DISPLAY, DISPLAY (XWayland's), KWIN_PID and XWAYLAND_PID.
# A command shortcut must be written before: kglobalaccel reads them when KWin starts.
start_plasma() {
  start_bus
  WAYLAND_DISPLAY=kestrel-kde
  in_session_bg kwin "${SYSTEM_DATA[@]}" KWIN_COMPOSE=Q \
    "$SESSION_TMP/bin/kwin_wayland" --virtual --xwayland --width 1920 --height 1080 \
    --socket "$WAYLAND_DISPLAY" --no-lockscreen
  KWIN_PID=$BG_PID
  wait_for "$START_DEADLINE" xwayland_display_known || session_die "KWin did not start XWayland: $(tail -n 5 "$SESSION_TMP/kwin.err")"
  wait_for "$START_DEADLINE" bus_has_owner org.kde.kglobalaccel || session_die "kglobalaccel did not start in KWin"
  wait_for "$START_DEADLINE" in_session xprop -root _NET_SUPPORTING_WM_CHECK || session_die "XWayland $DISPLAY does not answer"
  session_log "KWin on $WAYLAND_DISPLAY, XWayland $DISPLAY"
  [ "${1:-}" != --no-portal ] || return 0

  # The portal's answers, watched for the launcher's shortcut binding.
  in_session_bg monitor dbus-monitor --address "$KDE_BUS" "type='signal',interface='org.freedesktop.portal.Request',member='Response'"
  wait_for 30 grep -q NameAcquired "$SESSION_TMP/monitor.out" || session_die "dbus-monitor did not start"
  # why: Qt 5 programs pick X11 unless told; the portal's dialogs and its Wayland integration need Wayland.
  in_session_bg portal-kde "${SYSTEM_DATA[@]}" QT_QPA_PLATFORM=wayland "$PORTAL_KDE"
  wait_for "$START_DEADLINE" bus_has_owner org.freedesktop.impl.portal.desktop.kde || session_die "xdg-desktop-portal-kde did not start: $(tail -n 5 "$SESSION_TMP/portal-kde.err")"
  in_session_bg portal "${SYSTEM_DATA[@]}" /usr/libexec/xdg-desktop-portal
  wait_for "$START_DEADLINE" bus_has_owner org.freedesktop.portal.Desktop || session_die "xdg-desktop-portal did not start: $(tail -n 5 "$SESSION_TMP/portal.err")"
  session_log "xdg-desktop-portal with xdg-desktop-portal-kde on $KDE_BUS"
}

# KWin's XWayland child runs; its command line names the display.
xwayland_display_known() {
  local pid
  pid=$(ps -o pid= --ppid "$KWIN_PID" -o comm= | awk '$2 == "Xwayland" {print $1; exit}')
  [ -n "$pid" ] || return 1
  DISPLAY=$(tr '\0' '\n' <"/proc/$pid/cmdline" | grep -m 1 '^:[0-9]*$') || return 1
  XWAYLAND_PID=$pid
}

bus_has_owner() {
  in_session dbus-send --bus="$KDE_BUS" --print-reply --dest=org.freedesktop.DBus / \
    org.freedesktop.DBus.NameHasOwner "string:$1" | grep -q 'boolean true'
}

# ---------------------------------------------------------------- what KWin shows

# kwin_eval JS: runs the JavaScript JS in KWin's scripting engine and prints what it passes to `reply(...)`
# (one line). KWin writes a script's print() to its stderr, where the line is found by a fresh tag.
kwin_eval() {
  local tag="kestrel_${BASHPID}_$(date +%s%N)" file line
  file=$SESSION_TMP/$tag.js
  printf 'function reply(text) { print("%s " + text); }\n%s\n' "$tag" "$1" >"$file"
  in_session dbus-send --bus="$KDE_BUS" --print-reply --dest=org.kde.KWin /Scripting \
    org.kde.kwin.Scripting.loadScript "string:$file" "string:$tag" >/dev/null || return 1
  in_session dbus-send --bus="$KDE_BUS" --print-reply --dest=org.kde.KWin /Scripting org.kde.kwin.Scripting.start >/dev/null || return 1
  wait_for 10 grep -q "^js: $tag " "$SESSION_TMP/kwin.err"
  line=$(grep -m 1 "^js: $tag " "$SESSION_TMP/kwin.err")
  in_session dbus-send --bus="$KDE_BUS" --print-reply --dest=org.kde.KWin /Scripting \
    org.kde.kwin.Scripting.unloadScript "string:$tag" >/dev/null || true
  rm -f "$file"
  [ -n "$line" ] || return 1
  printf '%s\n' "${line#"js: $tag "}"
}

# One line per window KWin manages: "PID X Y WIDTH HEIGHT active|- CLASS"; then "area X Y WIDTH HEIGHT",
# the work area of the screen that has the focus.
kwin_windows() {
  kwin_eval '
var lines = workspace.clientList().map(function (c) {
  var g = c.frameGeometry;
  return [c.pid, g.x, g.y, g.width, g.height, c.active ? "active" : "-", String(c.resourceClass)].join(" ");
});
var area = workspace.clientArea(KWin.MaximizeArea, workspace.activeScreen, workspace.currentDesktop);
lines.push(["area", area.x, area.y, area.width, area.height].join(" "));
reply(JSON.stringify(lines));' | jq -r '.[]'
}

# The lines of kwin_windows for process PID's windows; fails when KWin does not answer.
windows_of() {
  local windows
  windows=$(kwin_windows) || return 1
  awk -v pid="$1" '$1 == pid' <<<"$windows"
}
# The launcher's window as KWin manages it (one line as kwin_windows prints it), when mapped.
launcher_window() { windows_of "$LAUNCHER_PID"; }
# The window of process PID is the active one.
window_active() { windows_of "$1" | grep -q ' active '; }
# No window is active (the empty desktop has the focus).
none_active() {
  local windows
  windows=$(kwin_windows) && ! grep -q ' active ' <<<"$windows"
}

# The shared session's launcher_shown, launcher_hidden and show_with_hotkey ask KWin instead of the X
# server: shown means managed (mapped) by the compositor; focused means KWin's active window and the X
# input focus (where typing goes) both are the launcher's.
viewable_windows() { launcher_window; }
launcher_hidden() {
  local window
  launcher_alive && window=$(launcher_window) && [ -z "$window" ]
}
launcher_focused() {
  local window
  window_active "$LAUNCHER_PID" || return 1
  window=$(in_session xdotool getwindowfocus 2>/dev/null) || return 1
  [ "$(in_session xdotool getwindowpid "$window" 2>/dev/null)" = "$LAUNCHER_PID" ]
}

# The launcher's window is 600x400, centred in the work area (within a pixel), and active.
window_centred_and_focused() {
  local windows
  windows=$(kwin_windows) || return 1
  awk -v pid="$LAUNCHER_PID" '
    $1 == "area" { ax = $2; ay = $3; aw = $4; ah = $5 }
    $1 == pid { x = $2; y = $3; w = $4; h = $5; active = $6 }
    END {
      dx = x - (ax + (aw - w) / 2); dy = y - (ay + (ah - h) / 2)
      exit !(w == 600 && h == 400 && active == "active" && dx * dx <= 1 && dy * dy <= 1)
    }' <<<"$windows"
}

# ---------------------------------------------------------------- clients

# A native Wayland window (qmlscene), which reports on stderr each time it gains or loses the focus.
start_native_client() {
  cat >"$SESSION_TMP/native.qml" <<'EOF'
import QtQuick 2.15
import QtQuick.Window 2.15

Window {
    width: 400; height: 300; visible: true
    title: "kestrel native client"
    color: "steelblue"
    onActiveChanged: console.log("active " + active)
}
EOF
  in_session_bg native env QT_QPA_PLATFORM=wayland qmlscene "$SESSION_TMP/native.qml"
  NATIVE_PID=$BG_PID
  wait_for "$START_DEADLINE" window_active "$NATIVE_PID" || session_die "the native client did not come up active: $(tail -n 5 "$SESSION_TMP/native.err")"
  session_log "native Wayland client (qmlscene) active as PID $NATIVE_PID"
}

# The native client itself says it has the keyboard focus (its last report).
native_has_focus() { [ "$(grep -o 'active [a-z]*' "$SESSION_TMP/native.err" | tail -n 1)" = "active true" ]; }

# An X11 window (xterm) through XWayland.
start_x11_client() {
  in_session_bg xterm xterm -title "kestrel X11 client" -e cat
  X11_PID=$BG_PID
  wait_for "$START_DEADLINE" window_active "$X11_PID" || session_die "the X11 client did not come up active"
  session_log "X11 client (xterm) active as PID $X11_PID"
}

# ---------------------------------------------------------------- keys

# keys [--hold MS] CHORD...: presses keys in KWin (see kde-keys.c).
keys() { in_session "$SESSION_TMP/bin/kestrel-kde-keys" "$@"; }
press_hotkey() { keys "$@" ctrl+space; }
# Keys for the launcher's XWayland window: Shift goes first, so that a key XWayland might drop while it
# takes a new keymap is that one.
type_keys() { keys shift "$@"; }

# ---------------------------------------------------------------- the launcher

# Starts the resident launcher in the session as the session's autostart does (hidden), and waits for
# its single-instance socket. Sets LAUNCHER_PID.
start_kde_launcher() {
  BIND_ANSWERS_BEFORE=$(bind_answers)
  in_session_bg launcher "$KESTREL_BIN" --background
  LAUNCHER_PID=$BG_PID
  wait_for 60 launcher_listening || session_die "the launcher did not come up (no socket in \$XDG_RUNTIME_DIR)"
  session_log "launcher running as PID $LAUNCHER_PID"
}

# The launcher is a kestrelpoint program of this scenario (started here or by a shortcut) and runs.
launcher_alive() { [[ $(readlink "/proc/$LAUNCHER_PID/exe" 2>/dev/null) == */kestrelpoint* ]] && is_scenario_process "$LAUNCHER_PID"; }
# The PIDs of the resident launchers of this scenario that run.
running_launchers() {
  local pid
  for pid in $(scenario_processes); do
    [[ $(readlink "/proc/$pid/exe" 2>/dev/null) == */kestrelpoint-resident ]] && echo "$pid"
  done
  return 0
}

# How many times the portal has answered a BindShortcuts with a key bound (a Response that lists a
# shortcut with a non-empty trigger_description and is not CreateSession's, which names the session), as
# the bus monitor of start_plasma saw them.
bind_answers() {
  awk '
    /^signal .*member=Response/ { if (block) n += bound && !session; block = 1; bound = 0; session = 0; next }
    /^(signal|method|error)/ { if (block) n += bound && !session; block = 0; next }
    !block { next }
    /string "session_handle"/ { session = 1 }
    trigger && /variant +string "[^"]/ { bound = 1 }
    { trigger = /string "trigger_description"/ }
    END { if (block) n += bound && !session; print n + 0 }' "$SESSION_TMP/monitor.out"
}

# Since the launcher started, the portal has answered its BindShortcuts with a key bound: Plasma hands
# the key to the portal, which passes the presses to the launcher (the answer reaches the launcher before
# any press it forwards).
launcher_bound() { (($(bind_answers) > BIND_ANSWERS_BEFORE)); }
launcher_holds_ctrl_space() { launcher_bound && ctrl_space_held; }

# The global shortcuts that hold Ctrl+Space in kglobalaccel ("COMPONENT ACTION" lines).
ctrl_space_holders() { in_session /usr/bin/python3 "$KESTREL_KDE_DIR/kglobalaccel.py" holders; }
# set_shortcut_key COMPONENT ACTION KEY|none: gives a shortcut another key, or none, as System Settings does.
set_shortcut_key() { in_session /usr/bin/python3 "$KESTREL_KDE_DIR/kglobalaccel.py" set "$@"; }
ctrl_space_held() { [ -n "$(ctrl_space_holders)" ]; }

# Lines the launcher wrote on stderr that are its own (not Qt's or a library's).
launcher_lines() { grep -h '^kestrelpoint:' "$SESSION_TMP/launcher.err" "$SESSION_TMP/bound.err" 2>/dev/null || true; }
launcher_says() { launcher_lines | grep -qF "$1"; }

# The clipboards, as an X11 and as a native Wayland client read them.
x_clipboard_is() { [ "$(in_session timeout 10 xclip -o -selection clipboard 2>/dev/null; printf x)" = "${1}x" ]; }
wl_clipboard_is() { [ "$(in_session timeout 10 wl-paste --no-newline 2>/dev/null; printf x)" = "${1}x" ]; }
