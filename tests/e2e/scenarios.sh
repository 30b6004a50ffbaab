#!/usr/bin/env bash
# End-to-end scenarios: the real launcher on a private Xvfb with openbox, driven with real key presses.
#   scenarios.sh SCENARIO      (ctest runs one test per scenario; see CMakeLists.txt)
# What the launcher does is observed from outside: which fixture application a Return launched (each
# entry's Exec records its id), what the clipboard holds, and whether the launcher's window is mapped.
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

# The hot key reaches the launcher while another client has the focus, and toggles the one window.
scenario_hotkey_toggles_over_other_client() {
  start_x
  make_catalog
  start_x_client other --window
  wait_for "$E2E_DEADLINE" grep -q '^window ' "$E2E_TMP/other.out" || e2e_die "the other client did not map its window"
  local other
  other=$(awk '/^window /{print $2}' "$E2E_TMP/other.out")
  start_launcher
  expect "no launcher window at start" launcher_hidden
  expect "the other client has the focus" wait_for "$E2E_DEADLINE" focus_is "$other"

  press_hotkey
  expect "Ctrl+Space shows the launcher while another client has the focus" wait_for "$E2E_DEADLINE" launcher_shown
  expect "the shown launcher takes the keyboard focus" wait_for "$E2E_DEADLINE" launcher_focused
  local first
  first=$(launcher_viewable_windows)
  expect "the launcher shows one window" test "$(wc -l <<<"$first")" -eq 1

  press_hotkey
  expect "Ctrl+Space again hides it" wait_for "$E2E_DEADLINE" launcher_hidden

  xdotool windowfocus --sync "$other" 2>/dev/null || true
  expect "the focus is back on the other client" wait_for "$E2E_DEADLINE" focus_is "$other"
  press_hotkey
  expect "a third Ctrl+Space shows it again" wait_for "$E2E_DEADLINE" launcher_shown
  expect "the third show reuses the first window" test "$(launcher_viewable_windows)" = "$first"
  expect "and takes the keyboard focus from the other client" wait_for "$E2E_DEADLINE" launcher_focused
  expect "the other client never received a Space" bash -c "! grep -qx 'key 0x20' '$E2E_TMP/other.out'"
  press Escape
  expect "Escape hides it" wait_for "$E2E_DEADLINE" launcher_hidden
}

focus_is() { [ "$(printf '0x%x' "$(xdotool getwindowfocus -f 2>/dev/null)")" = "$1" ]; }

# Typing filters the list: prefix matches first, case-insensitive, matches inside names after them.
scenario_typing_filters() {
  start_x
  make_catalog
  start_launcher
  #                 launches     text     keys after typing
  launch_and_expect fig          "fig"
  launch_and_expect candied-fig  "FIG"    Down
  launch_and_expect blueberry    "err"
  launch_and_expect elderberry   "err"    Down Down
  launch_and_expect cherry       "Ch"
  launch_and_expect apricot      "a"
}

# Down and Up move the selection one row and stop at the first and the last row, without wrapping.
scenario_selection_stops_at_ends() {
  start_x
  make_catalog
  start_launcher
  #                 launches     text  keys
  launch_and_expect apricot      ""    Up
  launch_and_expect blueberry    ""    Down
  launch_and_expect fig          ""    Down Down Down Down Down Down Down Down
  launch_and_expect elderberry   ""    Down Down Down Down Down Down Down Down Up
  launch_and_expect blueberry    ""    Down Up Up Up Down
  launch_and_expect elderberry   "rr"  Down Down Down Down
  # The keypad's arrows (NumLock off) and Enter are keys of their own: they reach the field and do nothing.
  show_with_hotkey
  press KP_Down KP_Down KP_Enter
  expect "the keypad's Enter launches nothing" holds_for 1 launched_count_is 6
  press Down Return
  expect "the keypad's arrows left the selection where it was (Down, Return launch Blueberry)" \
    wait_for "$E2E_DEADLINE" launched_count_is 7
  expect "it is Blueberry" test "$(last_launched)" = blueberry
  wait_for "$E2E_DEADLINE" launcher_hidden || e2e_die "the window stayed on screen"
}

# Ctrl+Space works whatever the lock keys: NumLock on, CapsLock on, or both.
scenario_hotkey_works_with_lock_keys_on() {
  start_x
  make_catalog
  start_launcher
  local locks
  for locks in Num_Lock Caps_Lock Num_Lock Caps_Lock; do
    press "$locks"
    press_hotkey
    expect "Ctrl+Space shows the launcher after $locks" wait_for "$E2E_DEADLINE" launcher_shown
    press_hotkey
    expect "and hides it" wait_for "$E2E_DEADLINE" launcher_hidden
  done
}

# Return on an application launches it once, hides the window, and the launcher keeps running.
scenario_return_launches_application_and_hides() {
  start_x
  make_catalog
  start_launcher
  launch_and_expect apricot "apri"
  expect "the launcher is still running after the launch" launcher_alive
  expect "Apricot was launched exactly once" test "$(grep -cx apricot "$FIXTURE/launched")" -eq 1
  expect "the launched application does not inherit a platform choice the launcher made for itself" \
    bash -c "! grep -q '^QT_QPA_PLATFORM=' '$FIXTURE/env-apricot'"
  launch_and_expect apricot "apri"
  expect "activating the same application again launches it again" \
    test "$(grep -cx apricot "$FIXTURE/launched")" -eq 2
}

# Return on the calculator row replaces the clipboard with the plain number and hides the window.
scenario_return_copies_calculation() {
  start_x
  make_catalog
  start_launcher
  local text expected
  while IFS='|' read -r text expected; do
    set_clipboard "stale"
    show_with_hotkey
    type_text "$text"
    press Return
    expect "'$text', Return puts exactly '$expected' on the clipboard" \
      wait_for "$E2E_DEADLINE" clipboard_is "$expected"
    expect "'$text': the window is hidden after the copy" wait_for "$E2E_DEADLINE" launcher_hidden
  done <<'TABLE'
2+3|5.0
2 + 3|5.0
0.1+0.2|0.30000000000000004
7-10|-3.0
10^20|1e+20
(7 - 1) / 4|1.5
TABLE
  expect "no application was launched by a calculator row" launched_count_is 0
}

# Escape (and the hot key) hide the window; the next show starts with an empty field and the full list.
scenario_escape_hides_and_next_show_is_empty() {
  start_x
  make_catalog
  start_launcher
  show_with_hotkey
  type_text "fig"
  press Escape
  expect "Escape hides the window" wait_for "$E2E_DEADLINE" launcher_hidden
  expect "Escape launched nothing" launched_count_is 0
  # An empty field lists everything, so Return right after the show launches the first application.
  launch_and_expect apricot ""

  show_with_hotkey
  type_text "ch"
  press_hotkey
  expect "the hot key hides the window" wait_for "$E2E_DEADLINE" launcher_hidden
  # With the field emptied, "e" finds Elderberry first (prefix); "che" would have found Cherry.
  launch_and_expect elderberry "e"
}

# Return with no result (no name matches, or an expression that fails) keeps the window and its text.
scenario_return_without_results_keeps_window() {
  start_x
  make_catalog
  start_launcher
  local text
  for text in "zzz" "1/0"; do
    show_with_hotkey
    type_text "$text"
    press Return
    # Keys are handled in order: if Return had hidden the window, the typing below would go elsewhere
    # and Cherry would not launch.
    expect "'$text', Return: the window stays on screen" launcher_shown
    press BackSpace BackSpace BackSpace
    type_text "cher"
    press Return
    expect "'$text', Return launched nothing; the field still took the edits that followed" \
      wait_for "$E2E_DEADLINE" launched_count_is 1
    expect "'$text': after the edits Return launched Cherry" test "$(last_launched)" = cherry
    expect "'$text': and hid the window" wait_for "$E2E_DEADLINE" launcher_hidden
    : >"$FIXTURE/launched"
  done
}

# The settings button opens the key guide; its Close button returns to the unchanged search.
scenario_settings_sheet_opens_and_closes() {
  start_x
  make_catalog
  start_launcher
  show_with_hotkey
  type_text "fig"
  press Down
  local window
  window=$(launcher_viewable_windows | head -n 1)
  click_settings_button "$window"
  expect "the settings button opens the sheet" wait_for "$E2E_DEADLINE" settings_shown "$window"
  local sheet
  sheet=$(other_launcher_windows "$window" | head -n 1)
  expect "the sheet is 450 x 600" test "$(xdotool getwindowgeometry "$sheet" | sed -n 's/^ *Geometry: //p')" = 450x600
  screenshot settings
  click_settings_close "$window"
  expect "Close ends the sheet" wait_for "$E2E_DEADLINE" settings_gone "$window"
  expect "the launcher window is still on screen" launcher_shown
  wait_for "$E2E_DEADLINE" launcher_focused || e2e_die "the launcher lost the keyboard focus after the sheet"
  press Return
  expect "the search text and the selection survived the sheet (Return launches Candied Fig)" \
    wait_for "$E2E_DEADLINE" launched_count_is 1
  expect "it is Candied Fig" test "$(last_launched)" = candied-fig
}

# Hiding the window takes an open sheet along; the next show brings both back, and Escape then ends
# only the sheet.
scenario_settings_sheet_leaves_and_returns_with_the_window() {
  start_x
  make_catalog
  start_launcher
  show_with_hotkey
  local window
  window=$(launcher_viewable_windows | head -n 1)
  click_settings_button "$window"
  expect "the settings button opens the sheet" wait_for "$E2E_DEADLINE" settings_shown "$window"
  press_hotkey
  expect "Ctrl+Space hides the window and the sheet with it" wait_for "$E2E_DEADLINE" launcher_hidden
  second_start
  expect "the next show brings the window back" wait_for "$E2E_DEADLINE" launcher_shown
  expect "and the sheet, still open" wait_for "$E2E_DEADLINE" settings_shown "$window"
  second_start
  expect "a second start hides both" wait_for "$E2E_DEADLINE" launcher_hidden
  press_hotkey
  expect "Ctrl+Space shows both again" wait_for "$E2E_DEADLINE" settings_shown "$window"
  wait_for "$E2E_DEADLINE" launcher_focused || e2e_die "the shown sheet did not get the keyboard focus"
  press Escape
  expect "Escape ends the sheet" wait_for "$E2E_DEADLINE" settings_gone "$window"
  expect "and leaves the search window on screen" holds_for 1 launcher_shown
  press Escape
  expect "a second Escape hides the window" wait_for "$E2E_DEADLINE" launcher_hidden
  launch_and_expect cherry "cher"
}

# The gear button's centre in the search window of WIDTH x HEIGHT: the header ends 20 in from the right
# with the two 16x16 buttons 8 apart, the power button rightmost. The panel (header, a 1-high divider and
# the 300-high list) is centred in the window, so the header's middle lies (HEIGHT - 301) / 2 from the
# top whatever the header's own height.
gear_offset() { echo "$(($1 - 20 - 16 - 8 - 8)) $((($2 - 301) / 2))"; }

click_settings_button() {
  local window=$1 width height
  eval "$(xdotool getwindowgeometry --shell "$window" | grep -E '^(WIDTH|HEIGHT)=' | tr 'A-Z' 'a-z')"
  # shellcheck disable=SC2046
  xdotool mousemove --window "$window" $(gear_offset "$width" "$height") click 1
}

# The launcher's viewable windows other than the search window WINDOW (the settings sheet is a dialog).
other_launcher_windows() { launcher_viewable_windows | grep -vx "$1" || true; }
settings_shown() { [ -n "$(other_launcher_windows "$1")" ]; }
settings_gone() { [ -z "$(other_launcher_windows "$1")" ] && launcher_shown; }

# Clicks the sheet's Close button: centred at the bottom, inside the sheet's 24 padding.
click_settings_close() {
  local sheet width height
  sheet=$(other_launcher_windows "$1" | head -n 1)
  eval "$(xdotool getwindowgeometry --shell "$sheet" | grep -E '^(WIDTH|HEIGHT)=' | tr 'A-Z' 'a-z')"
  xdotool mousemove --window "$sheet" $((width / 2)) $((height - 24 - 12)) click 1
}

# Starting the program again while it runs toggles the running launcher and exits 0.
scenario_second_start_toggles_first() {
  start_x
  make_catalog
  start_launcher
  second_start DESKTOP_STARTUP_ID=e2e-launch-42 XDG_ACTIVATION_TOKEN=e2e-token
  expect "a second start shows the running launcher's window" wait_for "$E2E_DEADLINE" launcher_shown
  expect "the first launcher is still the one running" launcher_alive
  expect "and it has the keyboard focus" wait_for "$E2E_DEADLINE" launcher_focused
  expect "the window names the startup id that the second start was given" \
    bash -c "xprop -id '$(launcher_viewable_windows | head -n 1)' _NET_STARTUP_ID | grep -q '\"e2e-launch-42\"'"
  type_text "cher"
  press Return
  expect "typing into the window shown this way works" wait_for "$E2E_DEADLINE" launched_count_is 1
  expect "Return launched Cherry" test "$(last_launched)" = cherry
  wait_for "$E2E_DEADLINE" launcher_hidden || e2e_die "the window stayed after the launch"
  second_start
  expect "a second start shows it again" wait_for "$E2E_DEADLINE" launcher_shown
  second_start
  expect "another start hides it" wait_for "$E2E_DEADLINE" launcher_hidden
  launch_and_expect fig "fig"
}

# With Ctrl+Space held by another client the launcher still starts, says so, and toggles by a second start.
scenario_taken_hotkey_still_starts_and_toggles() {
  start_x
  make_catalog
  start_x_client rival --grab-ctrl-space
  wait_for "$E2E_DEADLINE" grep -qx grabbed "$E2E_TMP/rival.out" || e2e_die "the rival client could not grab Ctrl+Space"
  start_launcher --hotkey-taken
  expect "it says on stderr that Ctrl+Space is taken" grep -qiE 'ctrl\+space.*(taken|in use|grabbed)' "$E2E_TMP/launcher.err"
  expect "the launcher keeps running although Ctrl+Space is taken" holds_for 1 launcher_alive
  press_hotkey
  expect "Ctrl+Space goes to the client that holds it" wait_for "$E2E_DEADLINE" grep -qx hotkey "$E2E_TMP/rival.out"
  expect "and does not show the launcher" launcher_hidden
  second_start
  expect "a second start shows the launcher" wait_for "$E2E_DEADLINE" launcher_shown
  wait_for "$E2E_DEADLINE" launcher_focused || e2e_die "the window shown by a second start has no focus"
  type_text "fig"
  press Return
  expect "Return in that window launches Fig" wait_for "$E2E_DEADLINE" launched_count_is 1
  expect "it is Fig" test "$(last_launched)" = fig
  wait_for "$E2E_DEADLINE" launcher_hidden || e2e_die "the window stayed after the launch"
  second_start
  expect "a second start shows it again" wait_for "$E2E_DEADLINE" launcher_shown
  second_start
  expect "and the next one hides it" wait_for "$E2E_DEADLINE" launcher_hidden
}

# Icon= may name anything: each hostile file below gives its row the gray placeholder, promptly and
# quietly. Icons are decoded one after another on one worker, in the order asked for, so the good icons
# at the end of the table arriving proves that every hostile one before them was tried and given up.
scenario_hostile_icons_give_placeholders() {
  start_x
  make_catalog
  local icons=$FIXTURE/icons
  python3 "$(dirname "${BASH_SOURCE[0]}")/hostile-icons.py" "$icons"
  local table
  #      name            icon file      what the row's picture shows
  table=$(cat <<'TABLE'
Fifo Pipe|fifo.png|placeholder
Loop Link|loop-a.png|placeholder
Zero Device|zero.png|placeholder
Folder Icon|folder.png|placeholder
Locked File|locked.png|placeholder
Empty File|empty.png|placeholder
Truncated Png|truncated.png|placeholder
Truncated Svg|truncated.svg|placeholder
Huge Png|huge.png|placeholder
Entity Svg|entities.svg|placeholder
Oversized File|oversized.png|placeholder
Red Square|red.png|icon:ff0000
Green Square|green.svg|icon:00ff00
TABLE
)
  local name file shows start
  while IFS='|' read -r name file shows; do
    add_entry data-home "$(tr 'A-Z ' 'a-z-' <<<"$name")" "$name" "Icon=$icons/$file"
  done <<<"$table"
  start_launcher
  while IFS='|' read -r name file shows; do
    show_with_hotkey
    type_text "$name"
    expect "$name ($file): the row shows $shows" wait_for "$E2E_DEADLINE" first_picture_is "$shows"
    start=$(date +%s%N)
    press Escape
    expect "$name: Escape hides the window promptly" wait_for 2 launcher_hidden
    e2e_log "$name: hidden $((($(date +%s%N) - start) / 1000000)) ms after Escape"
  done <<<"$table"
  # Every decode has ended now: the placeholders are for good.
  while IFS='|' read -r name file shows; do
    [ "$shows" = placeholder ] || continue
    show_with_hotkey
    type_text "$name"
    expect "$name, shown again: still the placeholder" wait_for "$E2E_DEADLINE" first_picture_is placeholder
    press Escape
    wait_for 2 launcher_hidden || e2e_die "$name, shown again: Escape did not hide the window"
  done <<<"$table"
  local peak
  peak=$(awk '/^VmHWM:/ { print $2 }' "/proc/$LAUNCHER_PID/status")
  expect "memory stays bounded: peak resident under 150 MB (${peak} kB)" test "$peak" -lt 153600
  expect "nothing was printed on stderr" test ! -s "$E2E_TMP/launcher.err"
}

# What the first row's picture shows (the probe's answer for the centre of its 32 x 32 area, 28 in from
# the window's left edge and 76 down: below the header and divider, a two-line row's picture).
first_picture_is() {
  local window
  window=$(launcher_viewable_windows | head -n 1)
  [ -n "$window" ] || return 1
  import -window "$window" "$E2E_TMP/row.png" 2>/dev/null || return 1
  local seen
  seen=$(python3 "$(dirname "${BASH_SOURCE[0]}")/hostile-icons.py" --probe "$E2E_TMP/row.png" 44 "$FIRST_PICTURE_Y")
  echo "$seen" >"$E2E_TMP/row.seen"
  [ "$seen" = "$1" ]
}
FIRST_PICTURE_Y=${FIRST_PICTURE_Y:-92}

# ---------------------------------------------------------------- a catalogue that follows the directories

# launch_when_listed ID TEXT: shows the launcher, types TEXT and presses Return until that launches ID
# (the catalogue is rebuilt a short while after a change, so the first tries may find nothing and keep the
# window, which Escape then hides). Fails when nothing is launched within the deadline, or something else is.
launch_when_listed() {
  local id=$1 text=$2 before end
  before=$(launched_count)
  end=$(($(date +%s) + E2E_DEADLINE))
  while true; do
    show_with_hotkey
    type_text "$text"
    press Return
    if wait_for 2 launched_count_is $((before + 1)); then
      expect "'$text', Return launches the newly listed $id" test "$(last_launched)" = "$id"
      wait_for "$E2E_DEADLINE" launcher_hidden || e2e_die "the window stayed after launching $id"
      return 0
    fi
    (($(date +%s) < end)) || e2e_die "'$text' never listed $id"
    press Escape
    wait_for "$E2E_DEADLINE" launcher_hidden || e2e_die "Escape did not hide the launcher"
  done
}

# A checksum of the window's result list (below the search field, so the blinking text cursor is left out).
list_image() { import -window "$1" -crop 600x300+0+100 +repage rgb:- 2>/dev/null | md5sum; }
list_image_is_not() { [ "$(list_image "$1")" != "$2" ]; }
list_image_settled() {
  local first
  first=$(list_image "$1")
  sleep 0.3
  [ "$(list_image "$1")" = "$first" ]
}

# An application installed while the launcher is hidden is found on a later show and launches.
scenario_entry_installed_while_hidden_launches() {
  start_x
  make_catalog
  start_launcher
  add_entry data-dir kiwi "Kiwi"
  launch_when_listed kiwi "kiwi"
  expect "the launcher is still running" launcher_alive
}

# An application removed while the window lists it disappears from the list; Return then launches nothing
# (the text matches nothing any more) and keeps the window.
scenario_entry_removed_while_shown_launches_nothing() {
  start_x
  make_catalog
  add_entry data-dir kiwi "Kiwi"
  start_launcher
  show_with_hotkey
  type_text "kiwi"
  local window
  window=$(launcher_viewable_windows | head -n 1)
  wait_for "$E2E_DEADLINE" list_image_settled "$window" || e2e_die "the list never stopped changing"
  local listed
  listed=$(list_image "$window")
  rm "$FIXTURE/data-dir/applications/kiwi.desktop"
  expect "removing Kiwi changes the shown list" wait_for "$E2E_DEADLINE" list_image_is_not "$window" "$listed"
  press Return
  expect "Return after the removal keeps the window" holds_for 1 launcher_shown
  expect "and launched nothing" launched_count_is 0
  press BackSpace BackSpace BackSpace BackSpace
  type_text "fig"
  press Return
  expect "the same window still takes the search: 'fig' launches Fig" wait_for "$E2E_DEADLINE" launched_count_is 1
  expect "it is Fig" test "$(last_launched)" = fig
}

# The data home's applications directory does not exist at start; one created later is watched and its
# entries (in a vendor subdirectory too) are listed.
scenario_directory_created_after_start() {
  start_x
  make_catalog
  rm -rf "$FIXTURE/data-home"
  start_launcher
  launch_and_expect blueberry "blue"
  mkdir -p "$FIXTURE/data-home/applications/vendor"
  add_entry data-home kiwi "Kiwi"
  launch_when_listed kiwi "kiwi"
  {
    printf '[Desktop Entry]\nType=Application\nName=Lime\nExec=%s lime\n' "$FIXTURE/bin/mark"
  } >"$FIXTURE/data-home/applications/vendor/lime.desktop"
  launch_when_listed lime "lime"
}

scenario=${1:?usage: scenarios.sh SCENARIO}
declare -F "scenario_$scenario" >/dev/null || { echo "e2e: no scenario '$scenario'" >&2; exit 2; }
e2e_init
e2e_log "scenario $scenario"
"scenario_$scenario"
e2e_log "passed: $scenario ($E2E_CHECKS checks)"
