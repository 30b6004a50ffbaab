#!/usr/bin/env bash
# Scenarios on headless sway (scripts/lib/sway-session.sh), and the GlobalShortcuts portal: the real
# xdg-desktop-portal frontend with the test backend shortcuts-backend.py on a private session bus.
#   scenarios.sh SCENARIO      (ctest runs one test per scenario; see CMakeLists.txt)
SESSION_NAME=wayland
source "$(dirname "${BASH_SOURCE[0]}")/../e2e/lib.sh"
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib/sway-session.sh"
BACKEND=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/shortcuts-backend.py

# The launcher's window as sway places it: floating, 600x400, centred on the output, focused.
window_is_placed() {
  viewable_windows | awk '$3 == "floating" && $4 == "focused" && $7 == 600 && $8 == 400 &&
    $5 == int(($9 - 600) / 2) && $6 == int(($10 - 400) / 2) { placed = 1 } END { exit !placed }'
}

# The compositor's binding (Ctrl+Space runs `kestrelpoint`) toggles the window over the native client;
# typing goes to the field from the first key; Return launches; a calculator result's Return puts it on
# the clipboard for native Wayland clients, where it outlives the launcher.
scenario_binding_toggles_window_over_native_client() {
  start_sway
  start_desktop_launcher
  expect "no launcher window at start; foot keeps the focus" holds_for 1 foot_focused
  press_hotkey
  expect "the binding shows the launcher over foot, floating, 600x400, centred and focused" wait_for "$DEADLINE" window_is_placed
  press_hotkey
  expect "a second press hides it" wait_for "$DEADLINE" launcher_hidden
  expect "the focus goes back to foot" wait_for "$DEADLINE" foot_focused

  show_with_hotkey
  type_keys "cher" -k Return
  expect "typing 'cher' and Return launches Cherry" wait_for "$DEADLINE" launched_count_is 1
  expect "the launched application is Cherry" test "$(last_launched)" = cherry
  expect "and the window hides" wait_for "$DEADLINE" launcher_hidden
  show_with_hotkey
  type_keys "2+3" -k Return
  expect "wl-paste reads 5.0 while foot has the focus" wait_for "$DEADLINE" wl_clipboard_is "5.0"
  stop_pid "$LAUNCHER_PID"
  expect "the copied text outlives the launcher" wl_clipboard_is "5.0"
}

# The portal binds the shortcut (its list also in CreateSession's options, where Plasma 5.27 reads it),
# its Activated signal toggles the window, the session is closed when the launcher quits; when the portal
# leaves the bus, one stderr line says so and the launcher carries on with the compositor binding.
scenario_portal_binds_and_activated_toggles() {
  start_sway
  start_portal bind
  start_desktop_launcher
  local shortcuts='"shortcuts": [["toggle", {"description": "Show or hide Kestrelpoint", "preferred_trigger": "CTRL+space"}]]'
  expect "the launcher creates a session named kestrelpoint that carries its one shortcut" wait_for "$DEADLINE" \
    logged CreateSession "\"app_id\": \"\", \"token\": \"kestrelpoint\", $shortcuts"
  expect "and binds the same shortcut" wait_for "$DEADLINE" logged BindShortcuts "$shortcuts"
  expect "pressing the portal shortcut reaches one session" wait_for "$DEADLINE" activated_in_one_session
  expect "Activated shows the launcher, placed and focused" wait_for "$DEADLINE" window_is_placed
  backend_activate >/dev/null
  expect "the next Activated hides it" wait_for "$DEADLINE" launcher_hidden
  stop_pid "$LAUNCHER_PID"
  expect "its session is closed when it quits" wait_for "$DEADLINE" logged Close ""

  start_desktop_launcher
  expect "a new launcher binds again" wait_for "$DEADLINE" activated_in_one_session
  stop_pid "$PORTAL_PID"
  expect "one line says the portal left the bus" wait_for "$DEADLINE" launcher_says "the portal left the session bus"
  press_hotkey
  expect "and the binding toggles the launcher" wait_for "$DEADLINE" launcher_hidden
  expect "exactly one line was printed" test "$(launcher_lines | wc -l)" -eq 1
}

# Every way the portal can fail, and an answer that binds no key where the desktop names the key it binds
# (KDE), ends in the X11 fallback with one stderr line that names the reason and the command to bind, while
# the compositor binding keeps toggling the launcher. A portal that never answers does not block the
# start: the binding shows the window at once.
scenario_portal_failures_fall_back() {
  start_sway
  #     mode          desktop  the reason the stderr line gives
  local cases=(
    "no-frontend   sway     no portal on the session bus"
    "no-backend    sway     the portal has no GlobalShortcuts interface"
    "refuse-create sway     the desktop could not open a shortcut session"
    "refuse        sway     the desktop declined the shortcut"
    "silent        sway     the portal did not answer"
    "no-trigger    KDE      a key in System Settings → Shortcuts"
  )
  local row mode desktop reason
  for row in "${cases[@]}"; do
    read -r mode desktop reason <<<"$row"
    start_portal "$mode"
    start_desktop_launcher XDG_CURRENT_DESKTOP="$desktop"
    [ "$mode" != silent ] || wait_for "$DEADLINE" logged BindShortcuts "" || session_die "silent: no BindShortcuts"
    show_with_hotkey
    [ "$mode" != silent ] || expect "silent: the window came up before the portal's deadline passed" test -z "$(launcher_lines)"
    press_hotkey
    expect "$mode: the binding toggles the launcher" wait_for "$DEADLINE" launcher_hidden
    expect "$mode: one stderr line names the reason" wait_for 30 launcher_says "$reason"
    expect "$mode: and names the command to bind" launcher_says "bind that command to a key"
    expect "$mode: exactly one line was printed" holds_for 1 test "$(launcher_lines | wc -l)" -eq 1
    stop_pid "$LAUNCHER_PID"
    stop_portal
  done
}

# Without the compositor's binding the launcher's X11 grab is its hot key, which sees Ctrl+Space while an
# X11 window has the focus. Held as people hold it (Space down 120 ms), each of ten presses toggles the
# window: the release that Xwayland hands the newly focused window is not taken for auto-repeat.
scenario_held_hotkey_toggles_every_press_over_x11_client() {
  start_sway --no-binding
  in_session_bg xclient xev -name kestrel-wayland-x11 -event keyboard
  XCLIENT_PID=$BG_PID
  wait_for "$DEADLINE" x11_client_focused || session_die "the X11 client did not come up focused"
  # why: wtype's virtual keyboard brings a keymap of its own (Space on another keycode), which Xwayland
  # takes on at its first key and keeps; the grab names keycodes as the mapping stands when the launcher
  # starts, so the test keyboard's keymap is made current first (this press goes to the X11 client).
  hold_hotkey
  wait_for "$DEADLINE" grep -q 'keysym 0x20' "$SESSION_TMP/xclient.out" || session_die "the X11 client got no Space"
  start_desktop_launcher
  wait_for 60 launcher_says "grabbed through X11" || session_die "the launcher did not grab Ctrl+Space"
  ten_presses hold_hotkey launcher_focused x11_client_focused
}

x11_client_focused() { windows | awk -v pid="$XCLIENT_PID" '$1 == "xwayland" && $2 == pid && $4 == "focused" { f = 1 } END { exit !f }'; }

# ---------------------------------------------------------------- the portal

# start_portal MODE: a private session bus with the real xdg-desktop-portal frontend and the test backend
# answering in MODE; "no-frontend" is the bus only, "no-backend" the frontend only. Sets PORTAL_PID (the
# frontend's) and PORTAL_PIDS.
start_portal() {
  start_bus bus session
  DESKTOP_BUS=$BUS_ADDRESS
  PORTAL_PIDS=("$BUS_PID")
  : >"$SESSION_TMP/backend.log" # (made before start_sway, so the backend, run as $SWAY_USER, owns it)
  [ "$1" = no-frontend ] && return 0
  if [ "$1" != no-backend ]; then
    printf '[portal]\nDBusName=org.freedesktop.impl.portal.desktop.kestreltest\nInterfaces=org.freedesktop.impl.portal.GlobalShortcuts;\nUseIn=kestreltest\n' \
      >"$SESSION_TMP/kestreltest.portal"
    in_session_bg backend /usr/bin/python3 "$BACKEND" --mode "$1" --log "$SESSION_TMP/backend.log"
    PORTAL_PIDS+=("$BG_PID")
    wait_for 30 grep -q '"ready"' "$SESSION_TMP/backend.log" || session_die "the test backend did not start: $(cat "$SESSION_TMP/backend.err")"
  fi
  # why: where the system has GSettings schemas the portal reads settings at start and aborts when it finds
  # none under the session's data directories (the fixture's); it reads them from memory, not dconf.
  in_session_bg portal env XDG_CURRENT_DESKTOP=kestreltest XDG_DESKTOP_PORTAL_DIR="$SESSION_TMP" \
    GSETTINGS_SCHEMA_DIR=/usr/share/glib-2.0/schemas GSETTINGS_BACKEND=memory /usr/libexec/xdg-desktop-portal
  PORTAL_PID=$BG_PID
  PORTAL_PIDS+=("$BG_PID")
  wait_for 30 bus_has_owner org.freedesktop.portal.Desktop || session_die "xdg-desktop-portal did not start: $(tail -n 5 "$SESSION_TMP/portal.err")"
}

stop_portal() {
  local i
  for ((i = ${#PORTAL_PIDS[@]} - 1; i >= 0; i--)); do stop_pid "${PORTAL_PIDS[i]}"; done
  rm -f "$SESSION_TMP/kestreltest.portal" "$SESSION_TMP/bus.out"
  DESKTOP_BUS=
}

# Presses the portal shortcut "toggle" in the test backend; prints in how many sessions it was bound.
backend_activate() {
  in_session dbus-send --bus="$DESKTOP_BUS" --print-reply --dest=org.freedesktop.impl.portal.desktop.kestreltest \
    /org/freedesktop/portal/desktop org.kestrelpoint.TestBackend.Activate string:toggle | awk '/uint32/ {print $2}'
}
activated_in_one_session() { [ "$(backend_activate)" = 1 ]; }
# logged CALL TEXT: the test backend logged a CALL whose line holds TEXT.
logged() { grep -F "\"call\": \"$1\"" "$SESSION_TMP/backend.log" | grep -qF -- "$2"; }

sway_init xev dbus-daemon /usr/libexec/xdg-desktop-portal
make_catalog
: >"$SESSION_TMP/backend.log"
run_scenario "$@"
