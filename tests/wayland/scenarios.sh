#!/usr/bin/env bash
# Scenarios on a real Wayland compositor: headless sway with XWayland, foot in front, keys from wtype,
# and the GlobalShortcuts portal (the real xdg-desktop-portal frontend with the test backend
# shortcuts-backend.py on a private session bus).
#   scenarios.sh SCENARIO      (ctest runs one test per scenario; see CMakeLists.txt)
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

# The launcher's window as sway places it: floating, 600x400, centred on the output, focused.
window_is_placed() {
  local line
  line=$(launcher_window)
  [ -n "$line" ] || return 1
  set -- $line
  [ "$3" = floating ] && [ "$4" = focused ] && [ "$7" -eq 600 ] && [ "$8" -eq 400 ] &&
    [ "$5" -eq $((($9 - 600) / 2)) ] && [ "$6" -eq $(((${10} - 400) / 2)) ]
}

# The compositor's binding (Ctrl+Space runs `kestrelpoint`) toggles the window over the native client.
scenario_binding_toggles_window_over_native_client() {
  start_sway
  start_wl_launcher
  expect "no launcher window at start; foot keeps the focus" holds_for 1 focused_is foot
  press_binding
  expect "the binding shows the launcher over foot" wait_for "$E2E_DEADLINE" wl_launcher_shown
  expect "the window is floating, 600x400, centred and focused" wait_for "$E2E_DEADLINE" window_is_placed
  expect "foot is still mapped behind it" foot_mapped
  press_binding
  expect "a second press hides the shown window" wait_for "$E2E_DEADLINE" wl_launcher_hidden
  expect "the focus goes back to foot" wait_for "$E2E_DEADLINE" focused_is foot
  show_with_binding
  expect "a third press shows it placed again" wait_for "$E2E_DEADLINE" window_is_placed
  expect "every press went to the one resident launcher" test "$(bound_launchers_alive)" -eq 0
}

foot_mapped() { [ -n "$(windows | awk '$1 == "xdg_shell"')" ]; }
bound_launchers_alive() {
  local pid count=0
  while read -r pid; do [ -n "$pid" ] && wl_is_bound_launcher "$pid" && count=$((count + 1)); done <"$WL_STRAYS"
  echo "$count"
}

# Typing goes to the field from the first key; Escape hides; Return launches the typed application.
scenario_typing_launches_and_escape_hides() {
  start_sway
  start_wl_launcher
  show_with_binding
  type_keys -k Escape
  expect "Escape hides the window" wait_for "$E2E_DEADLINE" wl_launcher_hidden
  expect "the focus goes back to foot" wait_for "$E2E_DEADLINE" focused_is foot

  show_with_binding
  type_keys "cher" -k Return
  expect "typing 'cher' and Return launches Cherry" wait_for "$E2E_DEADLINE" launched_count_is 1
  expect "the launched application is Cherry" test "$(last_launched)" = cherry
  expect "the window hides after the launch" wait_for "$E2E_DEADLINE" wl_launcher_hidden

  show_with_binding
  type_keys "elde" -k Return
  expect "a later show takes the typed text again: 'elde' launches Elderberry" wait_for "$E2E_DEADLINE" launched_count_is 2
  expect "the second application is Elderberry" test "$(last_launched)" = elderberry
}

# "2+3" Return puts 5.0 on the clipboard for native Wayland clients, and X clients still read it.
scenario_calculator_result_pastes_natively() {
  start_sway
  start_wl_launcher
  show_with_binding
  type_keys "2+3" -k Return
  expect "the window hides after copying" wait_for "$E2E_DEADLINE" wl_launcher_hidden
  expect "wl-paste reads 5.0 while foot has the focus" wait_for "$E2E_DEADLINE" wl_clipboard_is "5.0"
  expect "the Wayland clipboard offers it as UTF-8 plain text" wl_offers_plain_text
  stop_wl_launcher
  expect "the copied text outlives the launcher" wl_clipboard_is "5.0"
  start_wl_launcher
  show_with_binding
  expect "an X client with the focus reads 5.0 as well" wait_for "$E2E_DEADLINE" x_clipboard_is "5.0"
}

wl_offers_plain_text() { in_session timeout 10 wl-paste --list-types | grep -qx 'text/plain;charset=utf-8'; }
wl_clipboard_is() { [ "$(in_session timeout 10 wl-paste --no-newline 2>/dev/null; printf x)" = "${1}x" ]; }
x_clipboard_is() { [ "$(in_session timeout 10 xclip -o -selection clipboard 2>/dev/null; printf x)" = "${1}x" ]; }

# The portal binds the shortcut, and its Activated signal toggles the window.
scenario_portal_binds_and_activated_toggles() {
  start_sway
  start_portal bind
  start_wl_launcher
  expect "the launcher creates a portal session" wait_for "$E2E_DEADLINE" backend_called CreateSession
  expect "and binds one shortcut: toggle, 'Show or hide Kestrelpoint', preferred trigger CTRL+space" \
    wait_for "$E2E_DEADLINE" grep -qF '"shortcuts": [["toggle", {"description": "Show or hide Kestrelpoint", "preferred_trigger": "CTRL+space"}]]' "$E2E_TMP/backend.log"
  expect "the launcher says nothing on stderr" holds_for 1 test -z "$(launcher_lines)"
  expect "pressing the portal shortcut reaches one session" test "$(backend_activate toggle)" -eq 1
  expect "Activated shows the launcher" wait_for "$E2E_DEADLINE" wl_launcher_shown
  expect "placed and focused as from the binding" wait_for "$E2E_DEADLINE" window_is_placed
  type_keys "fig" -k Return
  expect "the keys reach the field: 'fig' Return launches Fig" wait_for "$E2E_DEADLINE" launched_count_is 1
  expect "the launched application is Fig" test "$(last_launched)" = fig
  expect "which hides the window" wait_for "$E2E_DEADLINE" wl_launcher_hidden
  backend_activate toggle >/dev/null
  expect "the next Activated shows it again" wait_for "$E2E_DEADLINE" wl_launcher_shown
  backend_activate toggle >/dev/null
  expect "another Activated hides it" wait_for "$E2E_DEADLINE" wl_launcher_hidden
  expect "an unknown shortcut id toggles nothing" test "$(backend_activate other)" -eq 0
  expect "the launcher still says nothing on stderr" test -z "$(launcher_lines)"
  stop_wl_launcher
  expect "its session is closed when it quits" wait_for "$E2E_DEADLINE" backend_called Close
}

# Every way the portal can fail ends in the X11 fallback with one stderr line that names the reason and
# the command to bind, while the launcher keeps running and the compositor binding keeps toggling it.
scenario_portal_failures_fall_back() {
  start_sway
  # mode: how the test backend answers (no-frontend: the bus has no portal at all, so the launcher's first
  # call gets an error reply; no-backend: the frontend runs without any GlobalShortcuts backend). The
  # frontend passes a backend's error reply on as response code 2.
  #     mode           the reason the stderr line gives
  local cases=(
    "no-frontend   no portal on the session bus"
    "no-backend    the portal has no GlobalShortcuts interface"
    "refuse-create the desktop could not open a shortcut session"
    "refuse        the desktop declined the shortcut"
    "error         the desktop could not bind the shortcut"
    "silent        the portal did not answer"
  )
  local row mode reason
  for row in "${cases[@]}"; do
    mode=${row%% *}
    reason=$(sed 's/^[^ ]* *//' <<<"$row")
    start_portal "$mode"
    start_wl_launcher
    expect "$mode: one stderr line names the reason" wait_for 30 launcher_says "$reason"
    expect "$mode: and names the command to bind" bash -c "grep '^kestrelpoint:' '$E2E_TMP/launcher.err' | grep -q 'bind that command to a key'"
    show_with_binding
    press_binding
    expect "$mode: the binding still toggles the launcher" wait_for "$E2E_DEADLINE" wl_launcher_hidden
    expect "$mode: exactly one line was printed" test "$(launcher_lines | wc -l)" -eq 1
    stop_wl_launcher
    stop_portal
  done
}

launcher_says() { launcher_lines | grep -qF "$1"; }

# While the portal is still negotiating (a backend that never answers), the launcher is not blocked: the
# binding toggles it at once.
scenario_portal_never_blocks_start() {
  start_sway
  start_portal silent
  start_wl_launcher
  expect "BindShortcuts reached the backend" wait_for "$E2E_DEADLINE" backend_called BindShortcuts
  show_with_binding
  expect "the window came up before the portal's deadline passed" test -z "$(launcher_lines)"
  type_keys -k Escape
  expect "Escape hides it" wait_for "$E2E_DEADLINE" wl_launcher_hidden
  expect "after the deadline, one line says the portal did not answer" wait_for 30 launcher_says "the portal did not answer"
}

# The portal leaving the bus while the launcher runs: one stderr line, and the launcher carries on.
scenario_portal_vanishing_falls_back() {
  start_sway
  start_portal bind
  start_wl_launcher
  expect "the shortcut is bound" wait_for "$E2E_DEADLINE" backend_called BindShortcuts
  expect "pressing the portal shortcut shows the launcher" test "$(backend_activate toggle)" -eq 1
  expect "shown" wait_for "$E2E_DEADLINE" wl_launcher_shown
  stop_bg "$PORTAL_PID"
  expect "one line says the portal left the bus" wait_for "$E2E_DEADLINE" launcher_says "the portal left the session bus"
  expect "the launcher is still running" wl_launcher_alive
  press_binding
  expect "and the binding hides it" wait_for "$E2E_DEADLINE" wl_launcher_hidden
  expect "exactly one line was printed" test "$(launcher_lines | wc -l)" -eq 1
}

stop_portal() {
  local name pid
  for name in PORTAL_PID BACKEND_PID BUS_PID; do
    pid=${!name:-}
    [ -n "$pid" ] && stop_bg "$pid"
    eval "$name="
  done
  rm -f "$E2E_TMP/portals/"*.portal "$E2E_TMP/bus.out"
  : >"$E2E_TMP/backend.log"
  WL_BUS=
}

main() {
  local scenario=${1:?usage: scenarios.sh SCENARIO}
  declare -F "scenario_$scenario" >/dev/null || { e2e_log "no scenario named $scenario" >&2; exit 2; }
  wl_init
  "scenario_$scenario"
  e2e_log "PASS: $scenario ($E2E_CHECKS checks)"
}

main "$@"
