#!/usr/bin/env bash
# Scenarios on a real Wayland compositor: headless sway with XWayland, foot in front, keys from wtype,
# and the GlobalShortcuts portal (the real xdg-desktop-portal frontend with the test backend
# shortcuts-backend.py on a private session bus).
#   scenarios.sh SCENARIO      (ctest runs one test per scenario; see CMakeLists.txt)
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

# The launcher's window as sway places it: floating, 600x400, centred on the output, focused.
window_is_placed() {
  launcher_window | awk '$3 == "floating" && $4 == "focused" && $7 == 600 && $8 == 400 &&
    $5 == int(($9 - 600) / 2) && $6 == int(($10 - 400) / 2) { placed = 1 } END { exit !placed }'
}

# The compositor's binding (Ctrl+Space runs `kestrelpoint`) toggles the window over the native client;
# typing goes to the field from the first key; Return launches; a calculator result's Return puts it on
# the clipboard for native Wayland clients, where it outlives the launcher.
scenario_binding_toggles_window_over_native_client() {
  start_sway
  start_wl_launcher
  expect "no launcher window at start; foot keeps the focus" holds_for 1 foot_focused
  press_hotkey
  expect "the binding shows the launcher over foot" wait_for "$DEADLINE" launcher_shown
  expect "the window is floating, 600x400, centred and focused" wait_for "$DEADLINE" window_is_placed
  press_hotkey
  expect "a second press hides the shown window" wait_for "$DEADLINE" launcher_hidden
  expect "the focus goes back to foot" wait_for "$DEADLINE" foot_focused

  show_with_hotkey
  type_keys "cher" -k Return
  expect "typing 'cher' and Return launches Cherry" wait_for "$DEADLINE" launched_count_is 1
  expect "the launched application is Cherry" test "$(last_launched)" = cherry
  expect "the window hides after the launch" wait_for "$DEADLINE" launcher_hidden

  show_with_hotkey
  type_keys "2+3" -k Return
  expect "the window hides after copying" wait_for "$DEADLINE" launcher_hidden
  expect "wl-paste reads 5.0 while foot has the focus" wait_for "$DEADLINE" wl_clipboard_is "5.0"
  stop_pid "$LAUNCHER_PID"
  expect "the copied text outlives the launcher" wl_clipboard_is "5.0"
}

wl_clipboard_is() { [ "$(in_session timeout 10 wl-paste --no-newline 2>/dev/null; printf x)" = "${1}x" ]; }

# The portal binds the shortcut, its Activated signal toggles the window, the session is closed when
# the launcher quits; and when the portal leaves the bus, one stderr line says so and the launcher
# carries on with the compositor binding.
scenario_portal_binds_and_activated_toggles() {
  start_sway
  start_portal bind
  start_wl_launcher
  expect "the launcher creates a portal session" wait_for "$DEADLINE" backend_called CreateSession
  expect "and binds one shortcut: toggle, 'Show or hide Kestrelpoint', preferred trigger CTRL+space" \
    wait_for "$DEADLINE" grep -qF "$toggle_shortcuts" "$SESSION_TMP/backend.log"
  expect "the session, named kestrelpoint, carries the same shortcuts (Plasma 5.27 reads them only there)" \
    test "$(sessions_created_with_shortcuts)" -eq 1
  expect "pressing the portal shortcut reaches one session" test "$(backend_activate toggle)" -eq 1
  expect "Activated shows the launcher" wait_for "$DEADLINE" launcher_shown
  expect "placed and focused as from the binding" wait_for "$DEADLINE" window_is_placed
  backend_activate toggle >/dev/null
  expect "the next Activated hides it" wait_for "$DEADLINE" launcher_hidden
  expect "and the focus goes back to foot" wait_for "$DEADLINE" foot_focused
  stop_pid "$LAUNCHER_PID"
  expect "its session is closed when it quits" wait_for "$DEADLINE" backend_called Close

  start_wl_launcher
  expect "a new launcher binds again and is shown by Activated" wait_for "$DEADLINE" activated_in_one_session
  expect "its session has the same name, so Plasma gives it the same entry and key" test "$(sessions_created_with_shortcuts)" -eq 2
  expect "and shows the launcher" wait_for "$DEADLINE" launcher_shown
  stop_pid "$PORTAL_PID"
  expect "one line says the portal left the bus" wait_for "$DEADLINE" launcher_says "the portal left the session bus"
  expect "the launcher is still running" launcher_alive
  press_hotkey
  expect "and the binding hides it" wait_for "$DEADLINE" launcher_hidden
  expect "exactly one line was printed" test "$(launcher_lines | wc -l)" -eq 1
}

# Every way the portal can fail ends in the X11 fallback with one stderr line that names the reason and
# the command to bind, while the launcher keeps running and the compositor binding keeps toggling it.
# A portal that never answers does not block the start: the binding shows the window at once.
scenario_portal_failures_fall_back() {
  start_sway
  # mode: how the test backend answers (no-frontend: the bus has no portal at all; no-backend: the
  # frontend runs without any GlobalShortcuts backend).
  #     mode           the reason the stderr line gives
  local cases=(
    "no-frontend   no portal on the session bus"
    "no-backend    the portal has no GlobalShortcuts interface"
    "refuse-create the desktop could not open a shortcut session"
    "refuse        the desktop declined the shortcut"
    "silent        the portal did not answer"
  )
  local row mode reason
  for row in "${cases[@]}"; do
    mode=${row%% *}
    reason=$(sed 's/^[^ ]* *//' <<<"$row")
    start_portal "$mode"
    start_wl_launcher
    [ "$mode" != silent ] || expect "silent: BindShortcuts reached the backend" wait_for "$DEADLINE" backend_called BindShortcuts
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

activated_in_one_session() { [ "$(backend_activate toggle)" -eq 1 ]; }

# The shortcut list the launcher asks for, as the test backend logs it.
toggle_shortcuts='"shortcuts": [["toggle", {"description": "Show or hide Kestrelpoint", "preferred_trigger": "CTRL+space"}]]'
# How many sessions were created with the token kestrelpoint and the shortcut list in their options.
sessions_created_with_shortcuts() {
  grep -cF "\"call\": \"CreateSession\", \"app_id\": \"\", \"token\": \"kestrelpoint\", $toggle_shortcuts" "$SESSION_TMP/backend.log" || true
}

# An answer that binds the shortcut no key: KDE Plasma names the key it bound in trigger_description (an
# empty one: the user took the key away in System Settings), and any portal that lists nothing binds
# nothing; then the launcher closes its session and falls back, with one line that says where to give the
# shortcut a key. Hyprland's portal names no key even when the compositor's configuration binds one:
# there the launcher stays on the portal.
scenario_portal_answer_without_a_key() {
  start_sway
  #      mode       XDG_CURRENT_DESKTOP  falls back
  local cases=(
    "no-trigger KDE                  yes"
    "bind-none  sway                 yes"
    "no-trigger Hyprland             no"
  )
  local row mode desktop fallback
  for row in "${cases[@]}"; do
    read -r mode desktop fallback <<<"$row"
    start_portal "$mode"
    start_wl_launcher XDG_CURRENT_DESKTOP="$desktop"
    expect "$mode on $desktop: the launcher binds its shortcut" wait_for "$DEADLINE" backend_called BindShortcuts
    if [ "$fallback" = yes ]; then
      expect "$mode on $desktop: one line says where to give it a key" wait_for 30 launcher_says "System Settings → Shortcuts"
      expect "$mode on $desktop: and that the X11 grab stands in" launcher_says "grabbed through X11 instead"
      expect "$mode on $desktop: the portal session is closed" wait_for "$DEADLINE" backend_called Close
      show_with_hotkey
      press_hotkey
      expect "$mode on $desktop: the compositor binding toggles the launcher" wait_for "$DEADLINE" launcher_hidden
    else
      expect "$mode on $desktop: pressing the portal shortcut reaches the session" wait_for "$DEADLINE" activated_in_one_session
      expect "$mode on $desktop: Activated shows the launcher" wait_for "$DEADLINE" launcher_shown
      backend_activate toggle >/dev/null
      expect "$mode on $desktop: and hides it" wait_for "$DEADLINE" launcher_hidden
      expect "$mode on $desktop: nothing was printed" test -z "$(launcher_lines)"
    fi
    stop_pid "$LAUNCHER_PID"
    stop_portal
  done
}

# Without the compositor's binding the launcher's X11 grab is its hot key, which sees Ctrl+Space while an
# X11 window has the focus. Held as people hold it (Space down 120 ms), each of ten presses toggles the
# window: the release that XWayland hands the newly focused window is not taken for auto-repeat.
scenario_held_hotkey_toggles_every_press_over_x11_client() {
  start_sway --no-binding
  in_session_bg xclient xev -name kestrel-wayland-x11 -event keyboard
  XCLIENT_PID=$BG_PID
  wait_for "$DEADLINE" x11_client_focused || session_die "the X11 client did not come up focused"
  # why: wtype's virtual keyboard brings a keymap of its own (Space on another keycode), which XWayland
  # takes on at its first key and keeps; the grab names keycodes as the mapping stands when the launcher
  # starts, so the test keyboard's keymap is made current first (this press goes to the X11 client).
  hold_hotkey
  wait_for "$DEADLINE" grep -q 'keysym 0x20' "$SESSION_TMP/xclient.out" || session_die "the X11 client got no Space"
  start_wl_launcher
  # The socket is there before the grab is: the line that the grab holds says when it is.
  wait_for 60 launcher_says "grabbed through X11" || session_die "the launcher did not grab Ctrl+Space"
  local press
  for press in 1 2 3 4 5 6 7 8 9 10; do
    hold_hotkey
    if [ $((press % 2)) -eq 1 ]; then
      expect "press $press shows the window" wait_for "$DEADLINE" launcher_focused
    else
      expect "press $press hides it" wait_for "$DEADLINE" launcher_hidden
      expect "and the X11 client has the focus again" wait_for "$DEADLINE" x11_client_focused
    fi
  done
}

# Ctrl+Space with Space held 120 ms; like type_keys, a Shift tap first is the key XWayland may drop.
hold_hotkey() { in_session wtype -s 300 -M shift -m shift -s 50 -M ctrl -P space -s 120 -p space -m ctrl; }
x11_client_focused() { windows | awk -v pid="$XCLIENT_PID" '$1 == "xwayland" && $2 == pid && $4 == "focused" { f = 1 } END { exit !f }'; }

wl_init
run_scenario "$@"
