# A private sway (sourced after x-session.sh and desktop-session.sh): headless, with Xwayland and foot in
# front, keys from wtype, the window tree from swaymsg. sway refuses root, so as root every program of the
# session runs as the unprivileged $SWAY_USER through setpriv (which execs, so the PIDs remembered are the
# programs' own). Used by scripts/measure-desktops and tests/wayland.

source "$(dirname "${BASH_SOURCE[0]}")/desktop-session.sh"

SWAY_USER=${SWAY_USER:-kestrel-wayland}

sway_init() {
  desktop_init sway Xwayland foot wtype wl-paste swaymsg jq dbus-daemon dbus-send $([ "$(id -u)" -ne 0 ] || echo setpriv useradd) "$@"
}

# start_sway [--no-binding]: headless sway whose Ctrl+Space runs `kestrelpoint` (the binding a user makes;
# none with --no-binding), with foot focused in front. As root it first hands the session's directory to
# $SWAY_USER (created once, safe against a parallel run doing the same); files written later as root
# are only read. Sets WAYLAND_DISPLAY and DISPLAY (Xwayland's, which sway reports to its children).
start_sway() {
  if [ "$(id -u)" -eq 0 ]; then
    for _ in {1..10}; do
      id -u "$SWAY_USER" >/dev/null 2>&1 && break
      useradd --system --no-create-home --home-dir /nonexistent --shell /usr/sbin/nologin "$SWAY_USER" 2>/dev/null || sleep 0.5
    done
    id -u "$SWAY_USER" >/dev/null 2>&1 || session_die "could not create the user $SWAY_USER"
    chmod 755 "$SESSION_TMP"
    chown -R "$SWAY_USER": "$SESSION_TMP"
    DESKTOP_AS=(setpriv --reuid="$SWAY_USER" --regid="$SWAY_USER" --clear-groups --)
  fi
  local binding="bindsym Ctrl+space exec $DESKTOP_BIN"
  [ "${1:-}" != --no-binding ] || binding=
  printf 'xwayland enable\n%s\nexec printenv DISPLAY >%s.tmp && mv %s.tmp %s\n' "$binding" \
    "$SESSION_TMP/display" "$SESSION_TMP/display" "$SESSION_TMP/display" >"$SESSION_TMP/sway.config"
  in_session_bg sway env WLR_BACKENDS=headless WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1 \
    sway --config "$SESSION_TMP/sway.config"
  wait_for 30 sway_socket_ready || session_die "sway did not start: $(tail -n 5 "$SESSION_TMP/sway.err")"
  wait_for 30 test -s "$SESSION_TMP/display" || session_die "sway did not report Xwayland's display"
  DISPLAY=$(cat "$SESSION_TMP/display")
  in_session_bg foot foot --app-id kestrel-test-foot -- cat
  wait_for 30 foot_focused || session_die "foot did not come up focused"
  session_log "sway on $WAYLAND_DISPLAY, Xwayland $DISPLAY, foot in front"
}

sway_socket_ready() {
  local socket display
  socket=$(find "$RUNTIME_DIR" -maxdepth 1 -name 'sway-ipc.*.sock' -type s 2>/dev/null | head -n 1)
  display=$(find "$RUNTIME_DIR" -maxdepth 1 -name 'wayland-*' -type s -printf '%f\n' 2>/dev/null | head -n 1)
  [ -n "$socket" ] && [ -n "$display" ] || return 1
  WAYLAND_DISPLAY=$display
  DESKTOP_ENV=(SWAYSOCK="$socket")
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

# x-session.sh's launcher_shown, launcher_hidden and show_with_hotkey ask sway's tree.
viewable_windows() { windows | awk -v pid="$LAUNCHER_PID" '$1 == "xwayland" && $2 == pid'; }
launcher_focused() { viewable_windows | grep -q ' focused '; }
foot_focused() { windows | grep -q '^xdg_shell [0-9]* [a-z]* focused '; }

# Keys through a new virtual keyboard: Ctrl+Space is sway's binding. Keys for an Xwayland window wait after
# the keymap, which Xwayland otherwise answers by dropping the call's first key; a busy machine can stretch
# that past the wait, so a Shift tap goes first to be the one lost.
press_hotkey() { in_session wtype -M ctrl -k space -m ctrl; }
type_keys() { in_session wtype -s 300 -M shift -m shift -s 50 "$@"; }
# Ctrl+Space with Space held 120 ms, as people hold it (the Shift tap first, as in type_keys).
hold_hotkey() { in_session wtype -s 300 -M shift -m shift -s 50 -M ctrl -P space -s 120 -p space -m ctrl; }
