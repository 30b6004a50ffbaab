#!/usr/bin/env bash
# Scenarios on KDE Plasma's own compositor, headless: kwin_wayland with XWayland, the real
# xdg-desktop-portal-kde behind xdg-desktop-portal, a native Wayland client and an X11 client, keys
# pressed in KWin itself. Nothing is set up for the launcher: it has to get Ctrl+Space by itself.
#   scenarios.sh SCENARIO      (ctest runs one test per scenario; see CMakeLists.txt)
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

# Starts Plasma and the launcher, and waits until the launcher holds Ctrl+Space.
start_plasma_and_launcher() {
  start_plasma
  start_kde_launcher
  expect "Plasma binds the launcher's shortcut to a key" wait_for "$START_DEADLINE" launcher_holds_ctrl_space
}

# Ctrl+Space shows the window centred in the work area and focused, whatever has the focus: nothing
# (the empty desktop), a native Wayland window, an X11 window; the next press hides it and the focus
# goes back where it was.
scenario_shows_centred_and_focused_from_any_focus() {
  start_plasma_and_launcher
  local focus
  for focus in empty native x11; do
    case $focus in
      native) start_native_client ;;
      x11) start_x11_client ;;
    esac
    press_hotkey
    expect "$focus: Ctrl+Space shows the launcher" wait_for "$DEADLINE" launcher_shown
    expect "$focus: 600x400, centred in the work area, active" wait_for "$DEADLINE" window_centred_and_focused
    expect "$focus: typing goes to the launcher" wait_for "$DEADLINE" launcher_focused
    [ "$focus" != native ] || expect "native: the native window lost the focus" wait_for "$DEADLINE" not native_has_focus
    press_hotkey
    expect "$focus: the next press hides it" wait_for "$DEADLINE" launcher_hidden
    case $focus in
      empty) expect "empty: no window has the focus" wait_for "$DEADLINE" none_active ;;
      native) expect "native: the focus goes back to the native window" wait_for "$DEADLINE" native_has_focus ;;
      x11) expect "x11: the focus goes back to the X11 window" wait_for "$DEADLINE" window_active "$X11_PID" ;;
    esac
  done
  expect "the launcher printed nothing" test -z "$(launcher_lines)"
}

# 2+3 Return copies the result: an X11 client (xclip) and a native Wayland client (wl-paste) both read it.
scenario_calculator_reaches_both_clipboards() {
  start_plasma_and_launcher
  start_native_client
  show_with_hotkey
  type_keys 2 plus 3
  type_keys Return
  expect "Return hides the window" wait_for "$DEADLINE" launcher_hidden
  expect "xclip reads 5.0" wait_for "$DEADLINE" x_clipboard_is "5.0"
  expect "wl-paste reads 5.0 while the native window has the focus" wait_for "$DEADLINE" wl_clipboard_is "5.0"
}

# Ten presses in a row, Space held 120 ms as people hold it, from an X11 window: each one toggles, once.
scenario_ten_presses_all_toggle() {
  start_plasma_and_launcher
  start_x11_client
  local press state
  for press in {1..10}; do
    press_hotkey --hold 120
    if ((press % 2)); then state=launcher_shown; else state=launcher_hidden; fi
    expect "press $press: ${state#launcher_}" wait_for "$DEADLINE" "$state"
    expect "press $press: and stays ${state#launcher_} (one toggle per press)" holds_for 1 "$state"
  done
}

# After the launcher restarts, Ctrl+Space still shows the window; Plasma keeps one shortcut for it.
scenario_restart_keeps_the_key() {
  start_plasma_and_launcher
  start_native_client
  local holders round
  holders=$(ctrl_space_holders)
  for round in 1 2; do
    show_with_hotkey
    stop_pid "$LAUNCHER_PID"
    start_kde_launcher
    expect "restart $round: Plasma binds the shortcut to a key again" wait_for "$START_DEADLINE" launcher_holds_ctrl_space
    expect "restart $round: the same one shortcut holds Ctrl+Space" test "$(ctrl_space_holders)" = "$holders"
    press_hotkey
    expect "restart $round: Ctrl+Space shows the window" wait_for "$DEADLINE" launcher_shown
    expect "restart $round: centred and focused" wait_for "$DEADLINE" window_centred_and_focused
    press_hotkey
    expect "restart $round: and hides it" wait_for "$DEADLINE" launcher_hidden
  done
}

# A Plasma command shortcut (System Settings → Shortcuts → Add Command: `kestrelpoint` on Ctrl+Space),
# pressed while no launcher runs, starts the launcher and shows its window; later presses toggle it.
scenario_cold_start_by_command_shortcut() {
  cat >"$FIXTURE/data-home/kglobalaccel/kestrelpoint-command.desktop" <<EOF
[Desktop Entry]
Type=Application
Name=Kestrelpoint
Exec=$SESSION_TMP/bin/bound-launcher
X-KDE-GlobalAccel-CommandShortcut=true
X-KDE-Shortcuts=Ctrl+Space
EOF
  start_plasma
  start_native_client
  expect "the command shortcut holds Ctrl+Space" wait_for "$START_DEADLINE" ctrl_space_held
  press_hotkey
  expect "the binding starts a launcher" wait_for "$START_DEADLINE" test -s "$KDE_STRAYS"
  LAUNCHER_PID=$(head -n 1 "$KDE_STRAYS")
  expect "which shows its window" wait_for "$START_DEADLINE" launcher_shown
  expect "centred and focused" wait_for "$DEADLINE" window_centred_and_focused
  expect "typing goes to it" wait_for "$DEADLINE" launcher_focused
  press_hotkey
  expect "the next press hides it" wait_for "$DEADLINE" launcher_hidden
  expect "and the focus goes back to the native window" wait_for "$DEADLINE" native_has_focus
  press_hotkey
  expect "the one after shows it again" wait_for "$DEADLINE" launcher_shown
  expect "and it stays shown (one toggle per press)" holds_for 1 launcher_shown
  expect "one launcher runs" test "$(running_launchers | wc -l)" -eq 1
}

# The key the user gives the launcher's entry (kestrelpoint) in System Settings → Shortcuts stands when
# the launcher restarts: Meta+K shows the window and Ctrl+Space no longer does. With the key taken away,
# the launcher says where to give it one, and nothing holds Ctrl+Space in Plasma.
scenario_key_chosen_in_system_settings_stands() {
  start_plasma_and_launcher
  start_native_client
  stop_pid "$LAUNCHER_PID"
  set_shortcut_key kestrelpoint toggle $((0x10000000 | 0x4b)) # Qt::META | Qt::Key_K
  start_kde_launcher
  expect "Plasma binds the shortcut to the chosen key" wait_for "$START_DEADLINE" launcher_bound
  expect "nothing holds Ctrl+Space any more" test -z "$(ctrl_space_holders)"
  press_hotkey
  expect "Ctrl+Space does not show the window" holds_for 2 launcher_hidden
  keys meta+k
  expect "Meta+K shows it" wait_for "$DEADLINE" launcher_shown
  expect "centred and focused" wait_for "$DEADLINE" window_centred_and_focused
  keys meta+k
  expect "and hides it" wait_for "$DEADLINE" launcher_hidden
  expect "the launcher printed nothing" test -z "$(launcher_lines)"

  stop_pid "$LAUNCHER_PID"
  set_shortcut_key kestrelpoint toggle none
  start_kde_launcher
  expect "with no key, one line says where to give it one" wait_for "$START_DEADLINE" launcher_says "System Settings → Shortcuts"
  expect "and the launcher keeps running" launcher_alive
  expect "nothing holds Ctrl+Space in Plasma" test -z "$(ctrl_space_holders)"
}

kde_init
run_scenario "$@"
