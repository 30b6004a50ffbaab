#!/usr/bin/env bash
# Scenarios on GNOME's own compositor: GNOME Shell 43 headless on Wayland with Xwayland, gsd-media-keys
# running the custom keybindings, foot as a native client and xev as an X11 client, keys pressed in the
# compositor through mutter's RemoteDesktop. The launcher starts as the session's autostart starts it, with
# no setup by the user: it registers its own GNOME custom keybinding, Ctrl+Space.
#   scenarios.sh SCENARIO      (ctest runs one test per scenario; see CMakeLists.txt)
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

# Starts the shell (foot in front) and the launcher, and waits until its Ctrl+Space binding is grabbed.
start_with_binding() {
  start_gnome
  start_gnome_launcher
  expect "with no setup, the launcher registers its Ctrl+Space binding and GNOME grabs it" \
    wait_for "$DEADLINE" launcher_binding_ready
}

# shows_and_hides HOW AWAY: Ctrl+Space shows the window centred in the work area and focused, the next
# press hides it and AWAY (a check) holds again.
shows_and_hides() {
  press_hotkey
  expect "$1: Ctrl+Space shows the launcher" wait_for "$DEADLINE" launcher_shown
  expect "$1: centred in the work area and focused" wait_for "$DEADLINE" window_is_placed
  press_hotkey
  expect "$1: the next press hides it" wait_for "$DEADLINE" launcher_hidden
  expect "$1: and the focus goes back" wait_for "$DEADLINE" "$2"
}

# Ctrl+Space shows and hides the window while a native Wayland window has the focus, while an X11 window
# has it and on an empty desktop; Escape hides it too and gives the focus back.
scenario_hotkey_from_any_focus() {
  start_with_binding
  expect "no window at start; foot keeps the focus" holds_for 1 foot_focused
  shows_and_hides "from foot (native Wayland)" foot_focused

  press_hotkey
  expect "shown again over foot" wait_for "$DEADLINE" window_is_placed
  press Escape
  expect "Escape hides it" wait_for "$DEADLINE" launcher_hidden
  expect "and gives the focus back to foot" wait_for "$DEADLINE" foot_focused

  start_x11_client
  shows_and_hides "from xev (X11)" x11_client_focused

  stop_pid "$XEV_PID"
  stop_pid "$FOOT_PID"
  expect "the desktop is empty" wait_for "$DEADLINE" no_windows
  shows_and_hides "from an empty desktop" true
}

# 2+3 Return copies 5.0 for X11 clients (xclip) and native Wayland ones (wl-paste).
scenario_calculator_reaches_both_clipboards() {
  start_with_binding
  press_hotkey
  expect "Ctrl+Space shows the launcher over foot" wait_for "$DEADLINE" window_is_placed
  # As a person does: type, see the result, press Return.
  press 2 plus 3
  GN_TICKS=
  expect "the launcher settles after typing" wait_for "$DEADLINE" launcher_settled
  press Return
  expect "Return hides the window" wait_for "$DEADLINE" launcher_hidden
  expect "xclip reads 5.0" wait_for "$DEADLINE" x_clipboard_is "5.0"
  expect "wl-paste reads 5.0 while foot has the focus" wait_for "$DEADLINE" wl_clipboard_is "5.0"
}

# The clipboard as X11 clients (xclip) and native ones (wl-paste) read it is TEXT (the last read is kept in
# $SESSION_TMP/clipboard).
x_clipboard_is() { in_session timeout 10 xclip -o -selection clipboard >"$SESSION_TMP/clipboard" 2>&1 && [ "$(cat "$SESSION_TMP/clipboard"; printf x)" = "${1}x" ]; }
wl_clipboard_is() { in_session timeout 10 wl-paste --no-newline >"$SESSION_TMP/clipboard" 2>&1 && [ "$(cat "$SESSION_TMP/clipboard"; printf x)" = "${1}x" ]; }

# Ten presses in a row, an X11 window focused at the start, each toggle the window: none is lost or doubled.
scenario_ten_presses_all_toggle() {
  start_with_binding
  start_x11_client
  local i
  for i in {1..10}; do
    press_hotkey
    if ((i % 2)); then
      expect "press $i shows the launcher, focused" wait_for "$DEADLINE" launcher_focused
    else
      expect "press $i hides it" wait_for "$DEADLINE" launcher_hidden
      expect "press $i gives the focus back to xev" wait_for "$DEADLINE" x11_client_focused
    fi
  done
}

# The first start writes one custom keybinding and changes nothing else in the user's settings; restarts
# find it and add nothing; the key still works after them.
scenario_restarts_keep_one_binding() {
  start_gnome
  settings_dump >"$SESSION_TMP/settings.before"
  start_gnome_launcher
  expect "the first start registers the binding" wait_for "$DEADLINE" launcher_binding_ready
  settings_dump >"$SESSION_TMP/settings.first"
  expect "only the list of custom keybindings and the one new entry changed" \
    only_one_binding_added "$SESSION_TMP/settings.before" "$SESSION_TMP/settings.first"
  expect "no stderr line" test -z "$(launcher_lines)"

  local round
  for round in 1 2 3; do
    stop_resident "$LAUNCHER_PID"
    start_gnome_launcher
    press_hotkey
    expect "restart $round: Ctrl+Space shows the launcher" wait_for "$DEADLINE" window_is_placed
    press_hotkey
    expect "restart $round: and hides it" wait_for "$DEADLINE" launcher_hidden
    expect "restart $round: the settings are as the first start left them" \
      same_settings "$SESSION_TMP/settings.first"
    expect "restart $round: no stderr line" test -z "$(launcher_lines)"
  done
  expect "exactly one binding runs the launcher" test "$(launcher_bindings | wc -l)" -eq 1
}

# The settings in FILE (a dump) are those now in dconf.
same_settings() { diff -u "$1" <(settings_dump) >"$SESSION_TMP/settings.diff"; }

# only_one_binding_added BEFORE AFTER (dumps): nothing was removed or changed except the list of custom
# keybindings, which gained one path, and that path's section is the only new one.
only_one_binding_added() {
  local before after added removed
  before=$(dump_lines "$1")
  after=$(dump_lines "$2")
  removed=$(comm -23 <(echo "$before") <(echo "$after") | grep -v "^\[org/gnome/settings-daemon/plugins/media-keys\]custom-keybindings=" || true)
  added=$(comm -13 <(echo "$before") <(echo "$after") | grep -v "^\[org/gnome/settings-daemon/plugins/media-keys\]custom-keybindings=" || true)
  printf 'removed:\n%s\nadded:\n%s\n' "$removed" "$added" >"$SESSION_TMP/settings.diff"
  [ -z "$removed" ] && [ "$(cut -d']' -f1 <<<"$added" | sort -u | wc -l)" -eq 1 ] &&
    [[ $added == "[org/gnome/settings-daemon/plugins/media-keys/custom-keybindings/"* ]] &&
    [ "$(grep -c '^\[org/gnome/settings-daemon/plugins/media-keys\]custom-keybindings=' <<<"$after")" -eq 1 ]
}

# A dconf dump as sorted lines "[SECTION]KEY=VALUE".
dump_lines() { awk '/^\[/ { section = $0; next } NF { print section $0 }' "$1" | sort; }

# With no launcher running (quit, or crashed), Ctrl+Space starts it through its binding and the window shows
# at once; the next press hides it.
scenario_cold_start_by_binding_shows() {
  start_with_binding
  stop_resident "$LAUNCHER_PID"
  expect "no launcher runs" wait_for "$DEADLINE" not find_launcher
  press_hotkey
  expect "Ctrl+Space starts a launcher" wait_for "$DEADLINE" find_launcher
  expect "which shows its window at once, centred and focused" wait_for "$DEADLINE" window_is_placed
  press_hotkey
  expect "the next press hides it" wait_for "$DEADLINE" launcher_hidden
  expect "and the focus goes back to foot" wait_for "$DEADLINE" foot_focused
  expect "still exactly one binding runs the launcher" test "$(launcher_bindings | wc -l)" -eq 1
}

# A binding the user made stands: the launcher writes nothing when one already runs it (whatever its key),
# and nothing when Ctrl+Space is held by another binding, custom or GNOME's own; then one stderr line says
# the key is taken and how to bind another.
scenario_user_bindings_are_left_alone() {
  start_gnome
  # case: what the user has (each case starts from default settings)
  local cases=(own-key taken-by-custom taken-by-builtin)
  local case
  for case in "${cases[@]}"; do
    in_session dconf reset -f /org/gnome/settings-daemon/plugins/media-keys/
    in_session dconf reset -f /org/gnome/desktop/wm/keybindings/
    forget_grabs
    "user_has_$case"
    settings_dump >"$SESSION_TMP/settings.before"
    start_gnome_launcher
    "launcher_leaves_$case"
    expect "$case: the user's settings are unchanged" same_settings "$SESSION_TMP/settings.before"
    stop_resident "$LAUNCHER_PID"
  done
}

# Super+K runs the bare `kestrelpoint`, as the README suggested before.
user_has_own-key() {
  add_custom_binding "Launcher" "<Super>k" kestrelpoint
  wait_for "$DEADLINE" key_grabbed '<Super>k' || session_die "gsd-media-keys did not grab Super+K"
}
launcher_leaves_own-key() {
  press super+k
  expect "own-key: the user's Super+K shows the launcher" wait_for "$DEADLINE" window_is_placed
  press super+k
  expect "own-key: and hides it" wait_for "$DEADLINE" launcher_hidden
  expect "own-key: no stderr line" test -z "$(launcher_lines)"
}

# Ctrl+Space runs another program (it leaves a mark).
user_has_taken-by-custom() {
  add_custom_binding "Mark" "<Control>space" "touch $SESSION_TMP/marked"
  wait_for "$DEADLINE" key_grabbed '<Control>space' || session_die "gsd-media-keys did not grab Ctrl+Space"
}
launcher_leaves_taken-by-custom() {
  expect_taken_line taken-by-custom
  press_hotkey
  expect "taken-by-custom: Ctrl+Space still runs the user's command" wait_for "$DEADLINE" test -e "$SESSION_TMP/marked"
  expect "taken-by-custom: and does not show the launcher" launcher_hidden
}

# Ctrl+Space switches input sources (a GNOME key, spelt as GNOME Settings writes it).
user_has_taken-by-builtin() {
  in_session gsettings set org.gnome.desktop.wm.keybindings switch-input-source "['<Primary>space']"
}
launcher_leaves_taken-by-builtin() { expect_taken_line taken-by-builtin; }

expect_taken_line() {
  expect "$1: one stderr line says Ctrl+Space is taken" wait_for "$DEADLINE" launcher_says "Ctrl+Space"
  expect "$1: and how to bind another key" launcher_says "Custom Shortcuts"
  expect "$1: exactly one line" holds_for 1 test "$(launcher_lines | wc -l)" -eq 1
}

gnome_init
run_scenario "$@"
