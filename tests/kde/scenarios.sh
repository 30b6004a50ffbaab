#!/usr/bin/env bash
# Scenarios on KDE Plasma's own compositor (scripts/lib/kde-session.sh). Nothing is set up for the
# launcher: it has to get Ctrl+Space by itself, through the KDE portal.
#   scenarios.sh SCENARIO      (ctest runs one test per scenario; see CMakeLists.txt)
SESSION_NAME=kde
source "$(dirname "${BASH_SOURCE[0]}")/../e2e/lib.sh"
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib/kde-session.sh"

start_plasma_and_launcher() {
  start_plasma
  start_kde_launcher
  expect "Plasma binds the launcher's shortcut to Ctrl+Space" wait_for "$START_DEADLINE" launcher_holds_ctrl_space
}
launcher_holds_ctrl_space() { launcher_bound && ctrl_space_held; }

# The global shortcuts that hold Ctrl+Space in kglobalaccel ("COMPONENT ACTION" lines), and a shortcut's
# key set as System Settings → Shortcuts does (kglobalaccel.py).
KGLOBALACCEL=$(dirname "${BASH_SOURCE[0]}")/kglobalaccel.py
ctrl_space_holders() { in_session /usr/bin/python3 "$KGLOBALACCEL" holders; }
ctrl_space_held() { [ -n "$(ctrl_space_holders)" ]; }
set_shortcut_key() { in_session /usr/bin/python3 "$KGLOBALACCEL" set "$@"; }

# Ctrl+Space shows the window centred in the work area and focused from an empty desktop, over a native
# Wayland window (where 2+3 Return then reaches both clipboards) and over an X11 window, there ten times
# in a row with Space held 120 ms as people hold it, each press toggling.
scenario_hotkey_from_any_focus() {
  start_plasma_and_launcher
  press_hotkey
  expect "empty: Ctrl+Space shows the launcher, centred in the work area and active" wait_for "$DEADLINE" window_centred_and_focused
  expect "empty: typing goes to it" wait_for "$DEADLINE" launcher_focused
  press_hotkey
  expect "empty: the next press hides it and no window has the focus" wait_for "$DEADLINE" none_active

  start_native_client
  press_hotkey
  expect "native: Ctrl+Space shows the launcher, centred and active" wait_for "$DEADLINE" window_centred_and_focused
  expect "native: typing goes to it" wait_for "$DEADLINE" launcher_focused
  expect "native: the native window lost the focus" wait_for "$DEADLINE" not native_has_focus
  keys shift 2 plus 3 Return
  expect "native: 2+3 Return hides the window and the focus goes back" wait_for "$DEADLINE" native_has_focus
  expect "xclip reads 5.0" wait_for "$DEADLINE" x_clipboard_is "5.0"
  expect "wl-paste reads 5.0" wait_for "$DEADLINE" wl_clipboard_is "5.0"

  start_x11_client
  ten_presses "press_hotkey --hold 120" window_centred_and_focused "window_active $X11_PID"
  expect "the launcher printed nothing" test -z "$(launcher_lines)"
}

none_active() { local w; w=$(kwin_windows) && ! grep -q ' active ' <<<"$w"; }

# After a restart Ctrl+Space still shows the window, held by the same one shortcut. With its key taken
# away in System Settings the launcher, started again, says where to give it one, and nothing holds
# Ctrl+Space.
scenario_restart_keeps_the_key() {
  start_plasma_and_launcher
  local holders
  holders=$(ctrl_space_holders)
  stop_pid "$LAUNCHER_PID"
  start_kde_launcher
  expect "after a restart Plasma binds the shortcut again" wait_for "$START_DEADLINE" launcher_holds_ctrl_space
  expect "the same one shortcut holds Ctrl+Space ($holders)" test "$(ctrl_space_holders)" = "$holders"
  press_hotkey
  expect "Ctrl+Space shows the window, centred and active" wait_for "$DEADLINE" window_centred_and_focused

  stop_pid "$LAUNCHER_PID"
  set_shortcut_key kestrelpoint toggle none
  start_kde_launcher
  expect "with no key, one line says where to give it one" wait_for "$START_DEADLINE" launcher_says "System Settings → Shortcuts"
  expect "and the launcher keeps running" launcher_alive
  expect "nothing holds Ctrl+Space in Plasma" test -z "$(ctrl_space_holders)"
}

# A Plasma command shortcut (`kestrelpoint` on Ctrl+Space), pressed while no launcher runs, starts the
# launcher and shows its window; the next press hides it.
scenario_cold_start_by_command_shortcut() {
  add_command_shortcut
  start_plasma
  start_native_client
  expect "the command shortcut holds Ctrl+Space" wait_for "$START_DEADLINE" ctrl_space_held
  press_hotkey
  expect "the binding starts a launcher" wait_for "$START_DEADLINE" find_launcher
  expect "which shows its window, centred and active" wait_for "$START_DEADLINE" window_centred_and_focused
  expect "typing goes to it" wait_for "$DEADLINE" launcher_focused
  press_hotkey
  expect "the next press hides it and the focus goes back" wait_for "$DEADLINE" native_has_focus
  expect "one launcher runs" find_launcher
}

kde_init
make_catalog
run_scenario "$@"
