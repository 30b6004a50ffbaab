# A private GNOME Shell 43 (sourced after x-session.sh and desktop-session.sh): headless on Wayland with
# Xwayland, on a private session bus and an empty private system bus (without one the shell tries logind
# and dies), with dconf-service and gsd-media-keys (which runs GNOME's custom keybindings), foot in front.
# Keys go into the compositor itself through mutter's RemoteDesktop (gnome-probe.py, one session for the
# whole run), so GNOME's keybindings fire from any focus. Used by scripts/measure-desktops and tests/gnome.

source "$(dirname "${BASH_SOURCE[0]}")/desktop-session.sh"

# A loaded 2-core machine: GNOME Shell, Xwayland and the launcher share it with other work.
DEADLINE=${DEADLINE:-30}
GNOME_LIB=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
MEDIA_KEYS=org.gnome.settings-daemon.plugins.media-keys
CUSTOM_SCHEMA=$MEDIA_KEYS.custom-keybinding

gnome_init() {
  desktop_init gnome-shell Xwayland foot xev xdotool xwininfo xprop xclip wl-paste dbus-daemon dbus-send \
    dbus-monitor gsettings dconf /usr/bin/python3 /usr/libexec/gsd-media-keys /usr/libexec/dconf-service "$@"
  DESKTOP_ENV=(GSETTINGS_SCHEMA_DIR=/usr/share/glib-2.0/schemas XDG_CURRENT_DESKTOP=GNOME XDG_SESSION_TYPE=wayland
    XDG_SESSION_DESKTOP=gnome DESKTOP_SESSION=gnome)
  # why: mutter starts Xwayland only when /tmp/.X11-unix has mode 1777, as systemd-tmpfiles creates it; a
  # missing one it creates itself under the umask (1755) and then refuses.
  [ -d /tmp/.X11-unix ] || mkdir -m 1777 /tmp/.X11-unix 2>/dev/null || true
  [ "$(stat -c %a /tmp/.X11-unix)" = 1777 ] || [ "$(stat -c %u /tmp/.X11-unix)" != 0 ] || [ "$(id -u)" != 0 ] ||
    chmod 1777 /tmp/.X11-unix
  [ "$(stat -c %a /tmp/.X11-unix)" = 1777 ] || session_die "/tmp/.X11-unix must have mode 1777 for Xwayland under mutter"
}

# Starts, in this order: the buses, dconf-service, a watch of the key grabs gsd-media-keys asks of the
# shell, the probe (which first stands in for systemd, see gnome-probe.py), the shell (out of its start-up
# overview), gsd-media-keys, and foot in front. Sets DISPLAY, WAYLAND_DISPLAY, XAUTHORITY, FOOT_PID.
start_gnome() {
  start_bus system-bus system
  DESKTOP_ENV+=(DBUS_SYSTEM_BUS_ADDRESS="$BUS_ADDRESS")
  start_bus bus session
  DESKTOP_BUS=$BUS_ADDRESS
  in_session_bg dconf /usr/libexec/dconf-service
  wait_for 30 bus_has_owner ca.desrt.dconf || session_die "dconf-service did not start"
  in_session_bg grabs stdbuf -oL dbus-monitor --session "type='method_call',interface='org.gnome.Shell',member='GrabAccelerator'" \
    "type='method_call',interface='org.gnome.Shell',member='GrabAccelerators'"
  wait_for 30 grep -q 'member=NameAcquired' "$SESSION_TMP/grabs.out" || session_die "dbus-monitor did not start"
  in_session gsettings set org.gnome.desktop.interface enable-hot-corners false
  in_session_bg probe /usr/bin/python3 "$GNOME_LIB/gnome-probe.py"
  wait_for 60 grep -qx systemd "$SESSION_TMP/probe.out" || session_die "the probe did not start: $(tail -n 3 "$SESSION_TMP/probe.err")"

  WAYLAND_DISPLAY=kestrel-gnome
  in_session_bg shell env XDG_DATA_DIRS=/usr/local/share:/usr/share \
    gnome-shell --headless --wayland --virtual-monitor 1920x1080 --wayland-display "$WAYLAND_DISPLAY"
  wait_for 60 grep -q 'Using public X11 display' "$SESSION_TMP/shell.err" || session_die "gnome-shell did not start Xwayland: $(grep -i -m 3 -e error -e fail "$SESSION_TMP/shell.err")"
  DISPLAY=$(sed -n 's/.*Using public X11 display \(:[0-9]*\).*/\1/p' "$SESSION_TMP/shell.err" | head -n 1)
  XAUTHORITY=$(find "$RUNTIME_DIR" -maxdepth 1 -name '.mutter-Xwaylandauth.*' | head -n 1)
  [ -n "$XAUTHORITY" ] || session_die "no Xwayland authority file in the runtime directory"
  export DISPLAY XAUTHORITY # for the X tools run here (xdotool, xprop, xwininfo)
  wait_for 90 grep -q 'GNOME Shell started' "$SESSION_TMP/shell.err" || session_die "gnome-shell did not finish starting"
  shell_call org.freedesktop.DBus.Properties.Set string:org.gnome.Shell string:OverviewActive variant:boolean:false >/dev/null
  wait_for "$DEADLINE" overview_closed || session_die "the shell's overview did not close"
  wait_for 60 grep -qx ready "$SESSION_TMP/probe.out" || session_die "the probe did not start: $(tail -n 3 "$SESSION_TMP/probe.err")"

  in_session_bg media-keys /usr/libexec/gsd-media-keys
  wait_for 60 bus_has_owner org.gnome.SettingsDaemon.MediaKeys || session_die "gsd-media-keys did not start: $(tail -n 3 "$SESSION_TMP/media-keys.err")"
  wait_for 60 grep -q 'member=GrabAccelerators' "$SESSION_TMP/grabs.out" || session_die "gsd-media-keys grabbed no keys"
  in_session_bg foot foot --app-id kestrel-gnome-foot -- cat
  FOOT_PID=$BG_PID
  wait_for 60 foot_focused || session_die "foot did not come up focused"
  session_log "gnome-shell on $WAYLAND_DISPLAY, Xwayland $DISPLAY, foot in front"
}

shell_call() { in_session dbus-send --session --print-reply --dest=org.gnome.Shell /org/gnome/Shell "$@"; }
overview_closed() {
  shell_call org.freedesktop.DBus.Properties.Get string:org.gnome.Shell string:OverviewActive | grep -q 'boolean false'
}

# gsd-media-keys has asked the shell to grab ACCELERATOR (as the binding spells it) since forget_grabs, and
# the shell has handled the request: it serves its callers in order, so a later round trip comes back after.
GRABS_FROM=0
key_grabbed() {
  tail -c "+$((GRABS_FROM + 1))" "$SESSION_TMP/grabs.out" | grep -qF "\"$1\"" && shell_windows >/dev/null
}
# (The log is not truncated: dbus-monitor would go on writing at its old offset.)
forget_grabs() { GRABS_FROM=$(stat -c %s "$SESSION_TMP/grabs.out"); }

# ---------------------------------------------------------------- keys and windows (gnome-probe.py)

probe() {
  in_session dbus-send --session --print-reply=literal --dest=org.kestrelpoint.ShellProbe \
    /org/kestrelpoint/ShellProbe "org.kestrelpoint.ShellProbe.$1" "${@:2}"
}
# press KEYS...: chords as gnome-probe.py names them ("ctrl+space", "2", "plus", "Return"); prints the time
# (CLOCK_REALTIME, ns) just before the last chord was completed.
press() { probe Press "string:$*" | awk '{ print $NF }'; }
press_hotkey() { press ctrl+space >/dev/null; }

# One line per window of the shell: "CLIENT FOCUS WM-CLASS TITLE" (CLIENT wayland or x11).
shell_windows() { probe Windows; }
foot_focused() { shell_windows | awk '$1 == "wayland" && $2 == "focused" && $3 == "kestrel-gnome-foot" { f = 1 } END { exit !f }'; }

# The X window named by _NET_ACTIVE_WINDOW on Xwayland's root, in decimal ("0" for none).
active_window() {
  local id
  id=$(xprop -root _NET_ACTIVE_WINDOW 2>/dev/null | sed -n 's/.*window id # \(0x[0-9a-fA-F]*\).*/\1/p')
  printf '%d\n' "${id:-0}"
}

# Starts xev (an X11 client), which mutter focuses when it maps. Sets XEV_PID.
start_x11_client() {
  in_session_bg xev xev -name kestrel-gnome-x11 -event keyboard
  XEV_PID=$BG_PID
  wait_for 60 x11_client_focused || session_die "the X11 client did not come up focused"
}
x11_client_focused() {
  local w
  w=$(xdotool search --onlyvisible --name '^kestrel-gnome-x11$' 2>/dev/null | head -n 1) && [ -n "$w" ] && [ "$(active_window)" = "$w" ]
}

launcher_window() { viewable_windows | head -n 1 | grep .; }
launcher_focused() { local w; w=$(launcher_window) && [ "$(active_window)" = "$w" ]; }

# The launcher's window is 600x400, centred in the work area (_NET_WORKAREA: the screen less the top bar)
# and has the focus.
window_is_placed() {
  local w
  w=$(launcher_window) || return 1
  { xwininfo -id "$w" | awk '/Absolute upper-left [XY]/ || /^ *(Width|Height):/ { printf "%s ", $NF }'
    xprop -root _NET_WORKAREA | sed 's/.*= //; s/,//g'; } | tee "$SESSION_TMP/placement" |
    awk '{ exit !($3 == 600 && $4 == 400 && $1 == $5 + int(($7 - 600) / 2) && $2 == $6 + int(($8 - 400) / 2)) }' &&
    launcher_focused
}

# ---------------------------------------------------------------- the launcher's binding

# The custom keybindings, one line each: "PATH<TAB>NAME<TAB>BINDING<TAB>COMMAND" (as gsettings prints them).
custom_bindings() {
  local path key
  for path in $(in_session gsettings get "$MEDIA_KEYS" custom-keybindings | tr -d "[],'" | sed 's/^@as//'); do
    printf '%s' "$path"
    for key in name binding command; do printf '\t%s' "$(in_session gsettings get "$CUSTOM_SCHEMA:$path" "$key")"; done
    printf '\n'
  done
}

# The custom keybindings that run this session's `kestrelpoint` (by any key).
launcher_bindings() { custom_bindings | awk -F '\t' -v cmd="'$DESKTOP_BIN'" '$4 == cmd'; }

# Exactly one custom keybinding runs `kestrelpoint`, named Kestrelpoint, on Ctrl+Space, and gsd-media-keys
# has grabbed the key.
launcher_binding_ready() {
  [ "$(launcher_bindings | cut -f 2-3)" = "'Kestrelpoint'"$'\t'"'<Control>space'" ] && key_grabbed '<Control>space'
}
