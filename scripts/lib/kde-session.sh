# A private KDE Plasma compositor (sourced after x-session.sh and desktop-session.sh): a plain copy of
# kwin_wayland (virtual output 1920x1080, Xwayland, kglobalaccel inside), the real xdg-desktop-portal-kde
# behind xdg-desktop-portal, a native Wayland client (qmlscene) and an X11 client (xterm). Keys go into
# KWin itself through its fake input protocol (kestrel-kde-keys, $KESTREL_KDE_KEYS), so its global
# shortcuts see them as a keyboard's; what KWin shows is asked through a script it runs. Used by
# scripts/measure-desktops and tests/kde.

source "$(dirname "${BASH_SOURCE[0]}")/desktop-session.sh"

PORTAL_KDE=/usr/lib/x86_64-linux-gnu/libexec/xdg-desktop-portal-kde
[ -x "$PORTAL_KDE" ] || PORTAL_KDE=/usr/libexec/xdg-desktop-portal-kde
# Launching the compositor and the first start of everything on a loaded machine take long.
START_DEADLINE=${START_DEADLINE:-90}
# The desktop's own programs (KWin, the portals) read their data from the system's directories; the
# launcher sees only the catalogue's.
SYSTEM_DATA=(env XDG_DATA_DIRS=/usr/local/share:/usr/share)

kde_init() {
  [ -x "${KESTREL_KDE_KEYS:-}" ] || {
    session_log "KESTREL_KDE_KEYS does not name kestrel-kde-keys (built when libwayland-dev, wayland-scanner and plasma-wayland-protocols are installed: scripts/install-deps)" >&2
    exit 1
  }
  desktop_init kwin_wayland Xwayland qmlscene xterm xdotool xclip wl-paste jq dbus-daemon dbus-send dbus-monitor \
    /usr/bin/python3 /usr/libexec/xdg-desktop-portal "$PORTAL_KDE"
  DESKTOP_ENV=(XDG_CURRENT_DESKTOP=KDE XDG_SESSION_TYPE=wayland KDE_FULL_SESSION=true KDE_SESSION_VERSION=5)
  mkdir -p "$FIXTURE/data-home/kglobalaccel"
  : >"$SESSION_TMP/monitor.out"
  # why: /usr/bin/kwin_wayland carries a file capability (cap_sys_resource) that this kind of machine
  # refuses to exec with (EPERM); a plain copy runs.
  cp /usr/bin/kwin_wayland "$KESTREL_KDE_KEYS" "$SESSION_TMP/bin/"
  # why: KWin offers org_kde_kwin_fake_input only to a program whose /proc/PID/exe is the Exec= of a
  # desktop entry asking for it.
  printf '[Desktop Entry]\nType=Application\nName=Kestrel keys\nExec=%s\nNoDisplay=true\nX-KDE-Wayland-Interfaces=org_kde_kwin_fake_input\n' \
    "$SESSION_TMP/bin/kestrel-kde-keys" >"$FIXTURE/data-home/applications/kestrel-kde-keys.desktop"
}

# A Plasma command shortcut running `kestrelpoint` on Ctrl+Space (System Settings → Shortcuts → Add
# Command). It must be written before start_plasma: kglobalaccel reads them when KWin starts.
add_command_shortcut() {
  printf '[Desktop Entry]\nType=Application\nName=Kestrelpoint\nExec=%s\nX-KDE-GlobalAccel-CommandShortcut=true\nX-KDE-Shortcuts=Ctrl+Space\n' \
    "$DESKTOP_BIN" >"$FIXTURE/data-home/kglobalaccel/kestrelpoint-command.desktop"
}

# start_plasma [--no-portal]: the bus, KWin (with Xwayland, which it starts at once) and both portals
# (none with --no-portal). Sets WAYLAND_DISPLAY and DISPLAY (Xwayland's).
start_plasma() {
  start_bus bus session
  DESKTOP_BUS=$BUS_ADDRESS
  WAYLAND_DISPLAY=kestrel-kde
  in_session_bg kwin "${SYSTEM_DATA[@]}" KWIN_COMPOSE=Q "$SESSION_TMP/bin/kwin_wayland" --virtual --xwayland \
    --width 1920 --height 1080 --socket "$WAYLAND_DISPLAY" --no-lockscreen
  KWIN_PID=$BG_PID
  wait_for "$START_DEADLINE" xwayland_display_known || session_die "KWin did not start Xwayland: $(tail -n 5 "$SESSION_TMP/kwin.err")"
  wait_for "$START_DEADLINE" bus_has_owner org.kde.kglobalaccel || session_die "kglobalaccel did not start in KWin"
  wait_for "$START_DEADLINE" in_session xprop -root _NET_SUPPORTING_WM_CHECK || session_die "Xwayland $DISPLAY does not answer"
  session_log "KWin on $WAYLAND_DISPLAY, Xwayland $DISPLAY"
  [ "${1:-}" != --no-portal ] || return 0

  # The portal's answers, watched for the launcher's shortcut binding.
  in_session_bg monitor dbus-monitor --address "$DESKTOP_BUS" "type='signal',interface='org.freedesktop.portal.Request',member='Response'"
  wait_for 30 grep -q NameAcquired "$SESSION_TMP/monitor.out" || session_die "dbus-monitor did not start"
  # why: Qt 5 programs pick X11 unless told; the portal's dialogs and its Wayland integration need Wayland.
  in_session_bg portal-kde "${SYSTEM_DATA[@]}" QT_QPA_PLATFORM=wayland "$PORTAL_KDE"
  wait_for "$START_DEADLINE" bus_has_owner org.freedesktop.impl.portal.desktop.kde || session_die "xdg-desktop-portal-kde did not start: $(tail -n 5 "$SESSION_TMP/portal-kde.err")"
  in_session_bg portal "${SYSTEM_DATA[@]}" /usr/libexec/xdg-desktop-portal
  wait_for "$START_DEADLINE" bus_has_owner org.freedesktop.portal.Desktop || session_die "xdg-desktop-portal did not start: $(tail -n 5 "$SESSION_TMP/portal.err")"
}

# KWin's Xwayland child runs; its command line names the display.
xwayland_display_known() {
  local pid
  pid=$(ps -o pid= --ppid "$KWIN_PID" -o comm= | awk '$2 == "Xwayland" {print $1; exit}')
  [ -n "$pid" ] && DISPLAY=$(tr '\0' '\n' <"/proc/$pid/cmdline" | grep -m 1 '^:[0-9]*$')
}

# ---------------------------------------------------------------- what KWin shows

# kwin_eval JS: runs the JavaScript JS in KWin's scripting engine and prints what it passes to `reply(...)`
# (one line). KWin writes a script's print() to its stderr, where the line is found by a fresh tag.
kwin_eval() {
  local tag="kestrel_${BASHPID}_$(date +%s%N)" line
  printf 'function reply(text) { print("%s " + text); }\n%s\n' "$tag" "$1" >"$SESSION_TMP/$tag.js"
  kwin_scripting loadScript "string:$SESSION_TMP/$tag.js" "string:$tag" && kwin_scripting start || return 1
  wait_for 10 grep -q "^js: $tag " "$SESSION_TMP/kwin.err"
  line=$(grep -m 1 "^js: $tag " "$SESSION_TMP/kwin.err")
  kwin_scripting unloadScript "string:$tag" || true
  rm -f "$SESSION_TMP/$tag.js"
  [ -n "$line" ] && printf '%s\n' "${line#"js: $tag "}"
}
kwin_scripting() {
  in_session dbus-send --bus="$DESKTOP_BUS" --print-reply --dest=org.kde.KWin /Scripting "org.kde.kwin.Scripting.$1" "${@:2}" >/dev/null
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
window_active() { windows_of "$1" | grep -q ' active '; }

# x-session.sh's launcher_shown, launcher_hidden and show_with_hotkey ask KWin: shown means managed
# (mapped) by the compositor; focused means KWin's active window and the X input focus (where typing goes)
# both are the launcher's.
viewable_windows() { windows_of "$LAUNCHER_PID"; }
launcher_hidden() { local w; launcher_alive && w=$(viewable_windows) && [ -z "$w" ]; }
launcher_focused() {
  local window
  window_active "$LAUNCHER_PID" && window=$(in_session xdotool getwindowfocus 2>/dev/null) &&
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

# A native Wayland window (qmlscene), which reports on stderr each time it gains or loses the focus.
start_native_client() {
  printf 'import QtQuick 2.15\nimport QtQuick.Window 2.15\nWindow { width: 400; height: 300; visible: true; onActiveChanged: console.log("active " + active) }\n' \
    >"$SESSION_TMP/native.qml"
  in_session_bg native env QT_QPA_PLATFORM=wayland qmlscene "$SESSION_TMP/native.qml"
  NATIVE_PID=$BG_PID
  wait_for "$START_DEADLINE" window_active "$NATIVE_PID" || session_die "the native client did not come up active: $(tail -n 5 "$SESSION_TMP/native.err")"
}
# The native client itself says it has the keyboard focus (its last report).
native_has_focus() { [ "$(grep -o 'active [a-z]*' "$SESSION_TMP/native.err" | tail -n 1)" = "active true" ]; }

# An X11 window (xterm) through Xwayland.
start_x11_client() {
  in_session_bg xterm xterm -title "kestrel X11 client" -e cat
  X11_PID=$BG_PID
  wait_for "$START_DEADLINE" window_active "$X11_PID" || session_die "the X11 client did not come up active"
}

# keys [--hold MS] [--time] CHORD...: presses keys in KWin (see kde-keys.c).
keys() { in_session "$SESSION_TMP/bin/kestrel-kde-keys" "$@"; }
press_hotkey() { keys "$@" ctrl+space; }

# ---------------------------------------------------------------- the launcher's shortcut

start_kde_launcher() {
  BIND_ANSWERS_BEFORE=$(bind_answers)
  start_desktop_launcher
}

# How many times the portal has answered a BindShortcuts with a key bound (a Response that lists a
# shortcut with a non-empty trigger_description and is not CreateSession's, which names the session).
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

# Since the launcher started, the portal has answered its BindShortcuts with a key bound: Plasma hands the
# key to the portal, which passes the presses on (the answer reaches the launcher before any press).
launcher_bound() { (($(bind_answers) > BIND_ANSWERS_BEFORE)); }
