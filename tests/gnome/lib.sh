# Helpers of the GNOME scenarios (sourced, not run), on top of tests/e2e/lib.sh. Each scenario gets its own
# GNOME Shell 43, headless on Wayland with Xwayland (gnome-shell --headless), in its own XDG_RUNTIME_DIR, HOME
# and XDG_CONFIG_HOME (so dconf is private), on a private session bus and an empty private system bus, with
# dconf-service and gsd-media-keys (which runs GNOME's custom keybindings) on that bus, foot as a native
# client and xev as an X11 client. Keys go into the compositor itself through mutter's RemoteDesktop
# (shell-probe.py, one session for the whole scenario), so GNOME's keybindings fire from any focus.
# Processes are stopped by PID on exit; launchers that gsd-media-keys starts (not our children) are found by
# their executable, which is this scenario's own copy. Needs KESTREL_BIN and KESTREL_GNOME_DIR (this
# directory).

SESSION_NAME=gnome
# A loaded 2-core machine: GNOME Shell, Xwayland and the launcher share it with other suites.
DEADLINE=${DEADLINE:-30}
source "$(dirname "${BASH_SOURCE[0]}")/../e2e/lib.sh"

PYTHON=/usr/bin/python3 # the system's, which has python3-dbus and python3-gi
GN_SCHEMAS=/usr/share/glib-2.0/schemas
MEDIA_KEYS=org.gnome.settings-daemon.plugins.media-keys
CUSTOM_SCHEMA=$MEDIA_KEYS.custom-keybinding
CUSTOM_ROOT=/org/gnome/settings-daemon/plugins/media-keys/custom-keybindings/

# session_die's screenshot. why: rootless Xwayland's root window has no image, so the launcher's window is
# taken instead (when it is mapped), and `import` is bounded in time: it can block for good on Xwayland.
import() {
  local window
  window=$(launcher_window 2>/dev/null) || return 1
  [ "$1 $2" = "-window root" ] && shift 2 && set -- -window "$window" "$@"
  timeout 20 "$(type -P import)" "$@"
}

gnome_init() {
  session_init gnome-shell Xwayland pgrep foot xev xdotool xwininfo xprop xclip wl-paste dbus-daemon dbus-send \
    dbus-monitor gsettings dconf "$PYTHON" /usr/libexec/gsd-media-keys /usr/libexec/dconf-service
  trap gnome_cleanup EXIT
  mkdir -p "$SESSION_TMP/bin"
  cp "$KESTREL_GNOME_DIR/shell-probe.py" "$SESSION_TMP/bin/"
  make_catalog
  gn_place_launcher
  gn_x11_socket_directory
  GN_SHELL_PID= LAUNCHER_PID= FOOT_PID= XEV_PID= DISPLAY= WAYLAND_DISPLAY= XAUTHORITY= GN_BUS= GN_SYSTEM_BUS=
}

# The launcher (with its build directory's other kestrelpoint* programs) runs copied into the scenario's
# directory: a resident launcher of this scenario is then told by its executable's path, also when
# gsd-media-keys started it.
gn_place_launcher() {
  find "$(dirname "$KESTREL_BIN")" -maxdepth 1 -type f -name 'kestrelpoint*' -perm -u+x -exec cp -t "$SESSION_TMP/bin" {} +
  GN_BIN=$SESSION_TMP/bin/$(basename "$KESTREL_BIN")
  GN_RESIDENT=$SESSION_TMP/bin/kestrelpoint-resident
  [ -x "$GN_RESIDENT" ] || session_die "no kestrelpoint-resident next to $KESTREL_BIN"
}

# why: mutter starts Xwayland only when /tmp/.X11-unix has mode 1777, as systemd-tmpfiles creates it; a
# missing one it creates itself under the umask (1755) and then refuses.
gn_x11_socket_directory() {
  [ -d /tmp/.X11-unix ] || mkdir -m 1777 /tmp/.X11-unix 2>/dev/null || true
  if [ "$(stat -c %a /tmp/.X11-unix)" != 1777 ] && [ "$(stat -c %u /tmp/.X11-unix)" = 0 ] && [ "$(id -u)" = 0 ]; then
    chmod 1777 /tmp/.X11-unix
  fi
  [ "$(stat -c %a /tmp/.X11-unix)" = 1777 ] || session_die "/tmp/.X11-unix must have mode 1777 for Xwayland under mutter"
}

# Stops this scenario's resident launchers (by PID, while their executable is still ours), then everything
# we started, newest first, then what the shell started (Xwayland outlives a shell that crashes on TERM),
# then removes the lock files (and sockets) of the Xwayland displays the shell took, which such a shell
# leaves behind.
gnome_cleanup() {
  local status=$? pid i
  for pid in $(resident_pids); do stop_resident "$pid"; done
  for ((i = ${#SESSION_PIDS[@]} - 1; i >= 0; i--)); do stop_pid "${SESSION_PIDS[i]}"; done
  for i in "${GN_FOREIGN[@]}"; do stop_foreign "$i"; done
  [ -z "$GN_SHELL_PID" ] || gn_remove_x_locks "$GN_SHELL_PID"
  session_cleanup "$status"
}

# Processes this script did not fork but stops: "PID:START", START the process's start time (field 22
# of /proc/PID/stat), so that a PID reused by another program is never signalled.
GN_FOREIGN=()
start_time() {
  local stat
  stat=$(cat "/proc/$1/stat" 2>/dev/null) || return 1
  stat=${stat##*) }
  set -- $stat
  echo "${20}"
}
remember_foreign() { local t; t=$(start_time "$1") && GN_FOREIGN+=("$1:$t"); }
# The process "PID:START" is still running: the same process, and not a zombie (which has closed its files).
is_running() {
  local id=$1 stat
  stat=$(cat "/proc/${id%%:*}/stat" 2>/dev/null) || return 1
  stat=${stat##*) }
  set -- $stat
  [ "$1" != Z ] && [ "${20}" = "${id#*:}" ]
}
# Stops "PID:START" (TERM, then KILL after five seconds) and waits until it has ended, and reaps it when it
# is our child.
stop_foreign() {
  local n=0
  is_running "$1" || return 0
  kill -TERM "${1%%:*}" 2>/dev/null || true
  while is_running "$1" && ((n < 50)); do sleep 0.1; n=$((n + 1)); done
  ! is_running "$1" || kill -KILL "${1%%:*}" 2>/dev/null || true
  wait_for 10 not is_running "$1" || true
  wait "${1%%:*}" 2>/dev/null || true # reaps our child; anything else is not waited for
}
gn_remember_shell_children() {
  local pid
  for pid in $(pgrep -P "$GN_SHELL_PID"); do remember_foreign "$pid"; done
}

# Lock files name the PID of the server that took the display: mutter takes them itself, for the public
# display and the one of its own services.
gn_remove_x_locks() {
  local lock display
  for lock in /tmp/.X*-lock; do
    [ -f "$lock" ] && [ "$(tr -d ' \n\0' <"$lock" 2>/dev/null)" = "$1" ] || continue
    display=${lock#/tmp/.X}
    display=${display%-lock}
    rm -f "$lock" "/tmp/.X11-unix/X$display"
  done
}

# The PIDs of running resident launchers of this scenario (ours or the binding's), one a line.
resident_pids() {
  find /proc -mindepth 2 -maxdepth 2 -name exe -lname "$GN_RESIDENT" 2>/dev/null | cut -d/ -f3
}
is_resident() { [ "$(readlink "/proc/$1/exe" 2>/dev/null)" = "$GN_RESIDENT" ]; }

# Stops a resident launcher, which need not be our child, and waits until it has ended: its executable
# goes from /proc before its descriptors close, and a launcher started meanwhile would reach the dying one.
stop_resident() {
  local t
  is_resident "$1" && t=$(start_time "$1") || return 0
  stop_foreign "$1:$t"
}

# ---------------------------------------------------------------- environment

# The environment every program of the session runs in: the fixture catalogue's directories (the schemas
# through GSETTINGS_SCHEMA_DIR, as XDG_DATA_DIRS holds only the fixture), the private runtime and
# configuration directories, the private buses, and once the shell runs, its Wayland and X displays. PATH
# starts with the launcher's copy, so a binding whose command is the bare `kestrelpoint` runs it.
gn_env() {
  GN_ENV=(PATH="$SESSION_TMP/bin:/usr/local/bin:/usr/bin:/bin" HOME="$FIXTURE/home"
    XDG_DATA_HOME="$FIXTURE/data-home" XDG_DATA_DIRS="$FIXTURE/data-dir" XDG_CONFIG_HOME="$FIXTURE/home/.config"
    XDG_CACHE_HOME="$FIXTURE/home/.cache" XDG_RUNTIME_DIR="$RUNTIME_DIR" GSETTINGS_SCHEMA_DIR="$GN_SCHEMAS"
    LC_ALL=C.UTF-8 XDG_CURRENT_DESKTOP=GNOME XDG_SESSION_TYPE=wayland XDG_SESSION_DESKTOP=gnome
    DESKTOP_SESSION=gnome)
  [ -z "$GN_BUS" ] || GN_ENV+=(DBUS_SESSION_BUS_ADDRESS="$GN_BUS" DBUS_SYSTEM_BUS_ADDRESS="$GN_SYSTEM_BUS")
  [ -z "$DISPLAY" ] || GN_ENV+=(DISPLAY="$DISPLAY" XAUTHORITY="$XAUTHORITY" WAYLAND_DISPLAY="$WAYLAND_DISPLAY")
  return 0
}

# in_session COMMAND...: runs COMMAND in the session's environment (foreground).
in_session() { gn_env; env -i "${GN_ENV[@]}" "$@"; }

# in_session_bg NAME COMMAND...: the same in the background, output in $SESSION_TMP/NAME.{out,err}; the PID
# (the program's own: env execs it) is remembered for the cleanup and left in BG_PID.
in_session_bg() {
  local name=$1
  shift
  gn_env
  env -i "${GN_ENV[@]}" "$@" >"$SESSION_TMP/$name.out" 2>"$SESSION_TMP/$name.err" &
  BG_PID=$!
  remember_pid "$BG_PID"
}

# ---------------------------------------------------------------- buses, shell, settings daemon

# start_bus NAME TYPE: a private dbus-daemon of TYPE (session or system) in the runtime directory, with no
# service activation; prints its address.
start_bus() {
  cat >"$SESSION_TMP/$1.conf" <<EOF
<busconfig>
  <type>$2</type>
  <listen>unix:path=$RUNTIME_DIR/$1</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
EOF
  in_session_bg "$1" dbus-daemon --config-file="$SESSION_TMP/$1.conf" --nofork --print-address=1
  wait_for 30 test -s "$SESSION_TMP/$1.out" || session_die "the $2 bus did not start: $(cat "$SESSION_TMP/$1.err")"
}

# Starts GNOME Shell with everything the scenarios use around it, in this order: the buses (the system bus
# empty: without one the shell tries logind and dies), dconf-service (the settings' writer), a watch of the
# key grabs gsd-media-keys asks of the shell, the probe (keys and windows; it first stands in for systemd,
# see shell-probe.py), the shell (out of its start-up overview), gsd-media-keys, and foot in front. Sets
# DISPLAY, WAYLAND_DISPLAY, XAUTHORITY, GN_SHELL_PID, FOOT_PID.
start_gnome() {
  start_bus system-bus system
  GN_SYSTEM_BUS=$(head -n 1 "$SESSION_TMP/system-bus.out")
  start_bus bus session
  GN_BUS=$(head -n 1 "$SESSION_TMP/bus.out")
  in_session_bg dconf /usr/libexec/dconf-service
  wait_for 30 bus_has_owner ca.desrt.dconf || session_die "dconf-service did not start"
  in_session_bg grabs stdbuf -oL dbus-monitor --session \
    "type='method_call',interface='org.gnome.Shell',member='GrabAccelerator'" \
    "type='method_call',interface='org.gnome.Shell',member='GrabAccelerators'" \
    "type='method_call',interface='org.gnome.Shell',member='UngrabAccelerator'" \
    "type='method_call',interface='org.gnome.Shell',member='UngrabAccelerators'"
  wait_for 30 grep -q 'member=NameAcquired' "$SESSION_TMP/grabs.out" || session_die "dbus-monitor did not start"
  in_session gsettings set org.gnome.desktop.interface enable-hot-corners false
  in_session_bg probe "$PYTHON" "$SESSION_TMP/bin/shell-probe.py"
  wait_for 60 grep -qx systemd "$SESSION_TMP/probe.out" || session_die "the probe did not start: $(tail -n 3 "$SESSION_TMP/probe.err")"

  WAYLAND_DISPLAY=kestrel-gnome
  in_session_bg shell env XDG_DATA_DIRS=/usr/local/share:/usr/share \
    gnome-shell --headless --wayland --virtual-monitor 1920x1080 --wayland-display "$WAYLAND_DISPLAY"
  GN_SHELL_PID=$BG_PID
  wait_for 60 grep -q 'Using public X11 display' "$SESSION_TMP/shell.err" || session_die "gnome-shell did not start Xwayland: $(grep -i -m 3 -e error -e fail "$SESSION_TMP/shell.err")"
  DISPLAY=$(sed -n 's/.*Using public X11 display \(:[0-9]*\).*/\1/p' "$SESSION_TMP/shell.err" | head -n 1)
  XAUTHORITY=$(find "$RUNTIME_DIR" -maxdepth 1 -name '.mutter-Xwaylandauth.*' | head -n 1)
  [ -n "$XAUTHORITY" ] || session_die "no Xwayland authority file in the runtime directory"
  export DISPLAY XAUTHORITY # for the X tools this script runs itself (xdotool, xprop, xwininfo)
  wait_for 90 grep -q 'GNOME Shell started' "$SESSION_TMP/shell.err" || session_die "gnome-shell did not finish starting"
  gn_remember_shell_children
  shell_call org.freedesktop.DBus.Properties.Set string:org.gnome.Shell string:OverviewActive variant:boolean:false >/dev/null
  wait_for "$DEADLINE" overview_closed || session_die "the shell's overview did not close"
  wait_for 60 grep -qx ready "$SESSION_TMP/probe.out" || session_die "the probe did not start: $(tail -n 3 "$SESSION_TMP/probe.err")"

  start_media_keys
  in_session_bg foot foot --app-id kestrel-gnome-foot -- cat
  FOOT_PID=$BG_PID
  wait_for 60 foot_focused || session_die "foot did not come up focused"
  session_log "gnome-shell on $WAYLAND_DISPLAY, Xwayland $DISPLAY, foot in front"
}

# gsd-media-keys, which runs the custom keybindings (started with the session's environment, which the
# commands it runs inherit). It asks the shell for its key grabs once it owns its bus name.
start_media_keys() {
  in_session_bg media-keys /usr/libexec/gsd-media-keys
  wait_for 60 bus_has_owner org.gnome.SettingsDaemon.MediaKeys || session_die "gsd-media-keys did not start: $(tail -n 3 "$SESSION_TMP/media-keys.err")"
  wait_for 60 grep -q 'member=GrabAccelerators' "$SESSION_TMP/grabs.out" || session_die "gsd-media-keys grabbed no keys"
}

bus_has_owner() {
  in_session dbus-send --session --print-reply --dest=org.freedesktop.DBus / \
    org.freedesktop.DBus.NameHasOwner "string:$1" | grep -q 'boolean true'
}

shell_call() { in_session dbus-send --session --print-reply --dest=org.gnome.Shell /org/gnome/Shell "$@"; }
overview_closed() {
  shell_call org.freedesktop.DBus.Properties.Get string:org.gnome.Shell string:OverviewActive | grep -q 'boolean false'
}

# gsd-media-keys has asked the shell to grab ACCELERATOR (as the binding spells it) since forget_grabs, and
# the shell has handled the request: it serves its callers in order, so a later round trip to it comes back
# after the grab.
GN_GRABS_FROM=0
key_grabbed() {
  tail -c "+$((GN_GRABS_FROM + 1))" "$SESSION_TMP/grabs.out" | awk -v accel="\"$1\"" '
    /^method call/ { grab = / member=GrabAccelerators?$/ } grab && index($0, accel) { found = 1 } END { exit !found }' &&
    shell_windows >/dev/null
}
# (The log is not truncated: dbus-monitor would go on writing at its old offset.)
forget_grabs() { GN_GRABS_FROM=$(stat -c %s "$SESSION_TMP/grabs.out"); }

# ---------------------------------------------------------------- keys and windows (shell-probe.py)

probe() {
  in_session dbus-send --session --print-reply=literal --dest=org.kestrelpoint.ShellProbe \
    /org/kestrelpoint/ShellProbe "org.kestrelpoint.ShellProbe.$1" "${@:2}"
}
# press KEYS...: chords as shell-probe.py names them ("ctrl+space", "2", "plus", "Return").
press() { probe Press "string:$*" >/dev/null; }
press_hotkey() { press ctrl+space; }

# One line per window of the shell: "CLIENT FOCUS WM-CLASS TITLE" (CLIENT wayland or x11).
shell_windows() { probe Windows; }
foot_focused() { shell_windows | awk '$1 == "wayland" && $2 == "focused" && $3 == "kestrel-gnome-foot" { f = 1 } END { exit !f }'; }
no_windows() { [ -z "$(shell_windows | tr -d ' \n')" ]; }

# The X window named by _NET_ACTIVE_WINDOW on Xwayland's root, in decimal ("0" for none).
active_window() {
  local id
  id=$(xprop -root _NET_ACTIVE_WINDOW 2>/dev/null | sed -n 's/.*window id # \(0x[0-9a-fA-F]*\).*/\1/p')
  printf '%d\n' "${id:-0}"
}

# ---------------------------------------------------------------- the X11 client

# Starts xev (an X11 client with a window of its own), which mutter focuses when it maps. Sets XEV_PID.
start_x11_client() {
  in_session_bg xev xev -name kestrel-gnome-x11 -event keyboard
  XEV_PID=$BG_PID
  wait_for 60 x11_client_focused || session_die "the X11 client did not come up focused"
}
x11_client_window() { xdotool search --onlyvisible --name '^kestrel-gnome-x11$' 2>/dev/null | head -n 1 | grep .; }
x11_client_focused() { local w; w=$(x11_client_window) && [ "$(active_window)" = "$w" ]; }

# ---------------------------------------------------------------- the launcher

# Starts the resident launcher in the session, hidden, as the session's autostart entry does, and waits for
# its single-instance socket. Sets LAUNCHER_PID.
start_gnome_launcher() {
  in_session_bg launcher "$GN_BIN" --background
  LAUNCHER_PID=$BG_PID
  wait_for 60 launcher_listening || session_die "the launcher did not come up (no socket in \$XDG_RUNTIME_DIR)"
  session_log "launcher running as PID $LAUNCHER_PID"
}

# The one resident launcher of the scenario, whoever started it: sets LAUNCHER_PID.
find_launcher() {
  local pids
  pids=$(resident_pids)
  [ -n "$pids" ] && [ "$(wc -l <<<"$pids")" -eq 1 ] || return 1
  LAUNCHER_PID=$pids
}

launcher_alive() { [ -n "$LAUNCHER_PID" ] && is_resident "$LAUNCHER_PID"; }
launcher_window() { viewable_windows | head -n 1 | grep .; }
launcher_focused() { local w; w=$(launcher_window) && [ "$(active_window)" = "$w" ]; }

# The launcher's window is 600x400, centred in the work area (_NET_WORKAREA of the first desktop: the
# screen less the top bar) and has the focus.
window_is_placed() {
  local w geometry area
  w=$(launcher_window) || return 1
  geometry=$(xwininfo -id "$w" | awk '/Absolute upper-left X/ { x = $NF } /Absolute upper-left Y/ { y = $NF }
    /^ *Width:/ { w = $NF } /^ *Height:/ { h = $NF } END { print x, y, w, h }')
  area=$(xprop -root _NET_WORKAREA | sed 's/.*= //; s/,//g' | awk '{ print $1, $2, $3, $4 }')
  echo "$geometry $area" >"$SESSION_TMP/placement"
  awk '{ exit !($3 == 600 && $4 == 400 && $1 == $5 + int(($7 - 600) / 2) && $2 == $6 + int(($8 - 400) / 2)) }' \
    "$SESSION_TMP/placement" && launcher_focused
}
placement() { cat "$SESSION_TMP/placement" 2>/dev/null; }

# The launcher has used no CPU for 300 ms: it has finished showing, as a person sees it before typing.
# (Poll it with wait_for after `GN_TICKS=`.)
launcher_settled() {
  local stat now
  stat=$(cat "/proc/$LAUNCHER_PID/stat" 2>/dev/null) || return 1
  stat=${stat##*) }
  set -- $stat
  now=$(date +%s%N)
  if [ "$((${12} + ${13}))" != "${GN_TICKS%% *}" ]; then
    GN_TICKS="$((${12} + ${13})) $now"
    return 1
  fi
  ((now - ${GN_TICKS#* } >= 300000000))
}

launcher_lines() { grep -h '^kestrelpoint:' "$SESSION_TMP"/launcher.err "$SESSION_TMP"/media-keys.err 2>/dev/null || true; }
launcher_says() { launcher_lines | grep -qiF "$1"; }

# ---------------------------------------------------------------- the user's settings

# The custom keybindings, one line each: "PATH<TAB>NAME<TAB>BINDING<TAB>COMMAND" (the values as gsettings
# prints them, quoted).
custom_bindings() {
  local path
  for path in $(in_session gsettings get "$MEDIA_KEYS" custom-keybindings | tr -d "[],'" | sed 's/^@as//'); do
    printf '%s\t%s\t%s\t%s\n' "$path" "$(custom_get "$path" name)" "$(custom_get "$path" binding)" "$(custom_get "$path" command)"
  done
}
custom_get() { in_session gsettings get "$CUSTOM_SCHEMA:$1" "$2"; }

# add_custom_binding NAME BINDING COMMAND: what a user does in GNOME Settings (Custom Shortcuts, +).
add_custom_binding() {
  local list path n=0
  list=$(in_session gsettings get "$MEDIA_KEYS" custom-keybindings | sed 's/^@as //')
  while [[ $list == *"custom$n/"* ]]; do n=$((n + 1)); done
  path=${CUSTOM_ROOT}custom$n/
  in_session gsettings set "$CUSTOM_SCHEMA:$path" name "$1"
  in_session gsettings set "$CUSTOM_SCHEMA:$path" binding "$2"
  in_session gsettings set "$CUSTOM_SCHEMA:$path" command "$3"
  if [ "$list" = "[]" ]; then list="['$path']"; else list="${list%]}, '$path']"; fi
  in_session gsettings set "$MEDIA_KEYS" custom-keybindings "$list"
}

# The user's settings as dconf holds them (every key written, one `dconf dump /`).
settings_dump() { in_session dconf dump /; }

# The custom keybindings that run this scenario's `kestrelpoint` (by any key), as custom_bindings prints them.
launcher_bindings() { custom_bindings | awk -F '\t' -v cmd="'$GN_BIN'" '$4 == cmd'; }

# The launcher's own binding is in place: exactly one custom keybinding runs this scenario's
# `kestrelpoint`, named Kestrelpoint, on Ctrl+Space, and gsd-media-keys has grabbed the key.
launcher_binding_ready() {
  [ "$(launcher_bindings | cut -f 2-3)" = "'Kestrelpoint'"$'\t'"'<Control>space'" ] && key_grabbed '<Control>space'
}
