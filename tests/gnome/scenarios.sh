#!/usr/bin/env bash
# Scenarios on GNOME Shell 43 itself (scripts/lib/gnome-session.sh). The launcher starts as the session's
# autostart starts it, with no setup by the user: it registers its own GNOME custom keybinding.
#   scenarios.sh SCENARIO      (ctest runs one test per scenario; see CMakeLists.txt)
SESSION_NAME=gnome
source "$(dirname "${BASH_SOURCE[0]}")/../e2e/lib.sh"
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib/gnome-session.sh"

# Ctrl+Space shows the window centred in the work area and focused over a native Wayland window (where
# 2+3 Return then reaches both clipboards), over an X11 window (ten presses in a row, each toggling) and on
# an empty desktop.
scenario_hotkey_from_any_focus() {
  start_gnome
  start_desktop_launcher
  expect "with no setup, the launcher registers its Ctrl+Space binding and GNOME grabs it" \
    wait_for "$DEADLINE" launcher_binding_ready
  press_hotkey
  expect "from foot: Ctrl+Space shows the launcher, centred and focused" wait_for "$DEADLINE" window_is_placed
  press 2 plus 3 Return >/dev/null
  expect "2+3 Return hides the window" wait_for "$DEADLINE" launcher_hidden
  expect "and gives the focus back to foot" wait_for "$DEADLINE" foot_focused
  expect "xclip reads 5.0" wait_for "$DEADLINE" x_clipboard_is "5.0"
  expect "wl-paste reads 5.0" wait_for "$DEADLINE" wl_clipboard_is "5.0"

  start_x11_client
  ten_presses press_hotkey window_is_placed x11_client_focused

  stop_pid "$XEV_PID"
  stop_pid "$FOOT_PID"
  expect "the desktop is empty" wait_for "$DEADLINE" no_windows
  press_hotkey
  expect "from an empty desktop: Ctrl+Space shows the launcher, centred and focused" wait_for "$DEADLINE" window_is_placed
  press_hotkey
  expect "and hides it" wait_for "$DEADLINE" launcher_hidden
}

no_windows() { [ -z "$(shell_windows | tr -d ' \n')" ]; }

# The first start adds one custom keybinding and changes nothing else in the user's settings. With no
# launcher running, Ctrl+Space starts one through it and the window shows at once; a restart finds the
# binding and writes nothing.
scenario_restarts_and_cold_start_keep_one_binding() {
  start_gnome
  in_session dconf dump / >"$SESSION_TMP/settings.before"
  start_desktop_launcher
  expect "the first start registers the binding" wait_for "$DEADLINE" launcher_binding_ready
  in_session dconf dump / >"$SESSION_TMP/settings.first"
  expect "only the list of custom keybindings and the one new entry changed" only_one_binding_added
  stop_process "$LAUNCHER_PID"
  press_hotkey
  expect "with no launcher, Ctrl+Space starts one" wait_for "$DEADLINE" find_launcher
  expect "which shows its window at once, centred and focused" wait_for "$DEADLINE" window_is_placed
  stop_process "$LAUNCHER_PID"
  start_desktop_launcher
  press_hotkey
  expect "after a restart Ctrl+Space shows the launcher" wait_for "$DEADLINE" window_is_placed
  press_hotkey
  expect "and hides it" wait_for "$DEADLINE" launcher_hidden
  expect "the settings are as the first start left them" same_settings "$SESSION_TMP/settings.first"
  expect "no stderr line" test -z "$(launcher_lines)"
}

same_settings() { diff -u "$1" <(in_session dconf dump /) >&2; }

# Between settings.before and settings.first (dumps as sorted "[SECTION]KEY=VALUE" lines) nothing was
# removed and one section was added, besides the list of custom keybindings.
only_one_binding_added() {
  local list='^\[org/gnome/settings-daemon/plugins/media-keys\]custom-keybindings=' added f
  for f in settings.before settings.first; do
    awk '/^\[/ { s = $0; next } NF { print s $0 }' "$SESSION_TMP/$f" | sort >"$SESSION_TMP/$f.lines"
  done
  [ -z "$(comm -23 "$SESSION_TMP"/settings.{before,first}.lines | grep -v "$list")" ] || return 1
  added=$(comm -13 "$SESSION_TMP"/settings.{before,first}.lines | grep -v "$list")
  printf 'added:\n%s\n' "$added" >&2
  [ "$(cut -d']' -f1 <<<"$added" | sort -u)" = "[org/gnome/settings-daemon/plugins/media-keys/custom-keybindings/kestrelpoint" ]
}

# A binding the user made stands: the launcher writes nothing when one already runs it (whatever its key),
# and nothing when Ctrl+Space is held by another binding, custom or GNOME's own; then one stderr line says
# the key is taken and how to bind another.
scenario_user_bindings_are_left_alone() {
  start_gnome
  local case
  for case in own-key taken-by-custom taken-by-builtin; do
    in_session dconf reset -f /org/gnome/settings-daemon/plugins/media-keys/
    in_session dconf reset -f /org/gnome/desktop/wm/keybindings/
    forget_grabs
    case $case in
      own-key) add_custom_binding "<Super>k" kestrelpoint ;;
      taken-by-custom) add_custom_binding "<Control>space" "touch $SESSION_TMP/marked" ;;
      taken-by-builtin) in_session gsettings set org.gnome.desktop.wm.keybindings switch-input-source "['<Primary>space']" ;;
    esac
    in_session dconf dump / >"$SESSION_TMP/settings.before"
    start_desktop_launcher
    if [ $case = own-key ]; then
      press super+k >/dev/null
      expect "own-key: the user's Super+K shows the launcher" wait_for "$DEADLINE" window_is_placed
      expect "own-key: no stderr line" test -z "$(launcher_lines)"
    else
      expect "$case: one stderr line says Ctrl+Space is taken and how to bind another key" \
        wait_for "$DEADLINE" launcher_says "Custom Shortcuts"
      expect "$case: exactly one line" holds_for 1 test "$(launcher_lines | wc -l)" -eq 1
    fi
    if [ $case = taken-by-custom ]; then
      press_hotkey
      expect "$case: Ctrl+Space still runs the user's command" wait_for "$DEADLINE" test -e "$SESSION_TMP/marked"
      expect "$case: and does not show the launcher" launcher_hidden
    fi
    expect "$case: the user's settings are unchanged" same_settings "$SESSION_TMP/settings.before"
    stop_process "$LAUNCHER_PID"
  done
}

# add_custom_binding BINDING COMMAND: what a user does in GNOME Settings (Custom Shortcuts, +), and waits
# until gsd-media-keys has grabbed the key.
add_custom_binding() {
  local path=/org/gnome/settings-daemon/plugins/media-keys/custom-keybindings/custom0/
  in_session gsettings set "$CUSTOM_SCHEMA:$path" name "Mine"
  in_session gsettings set "$CUSTOM_SCHEMA:$path" binding "$1"
  in_session gsettings set "$CUSTOM_SCHEMA:$path" command "$2"
  in_session gsettings set "$MEDIA_KEYS" custom-keybindings "['$path']"
  wait_for "$DEADLINE" key_grabbed "$1" || session_die "gsd-media-keys did not grab $1"
}

gnome_init
make_catalog
run_scenario "$@"
