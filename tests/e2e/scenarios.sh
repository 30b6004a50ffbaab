#!/usr/bin/env bash
# End-to-end scenarios: the real launcher on a private Xvfb with openbox, driven with real key presses.
#   scenarios.sh SCENARIO      (ctest runs one test per scenario; see CMakeLists.txt)
# Observed from outside: what a Return launched, what the clipboard holds, whether the window is mapped.
# Filtering and order are the core's unit tests' business; these prove that the real window, keys,
# clipboard, launches, hot key and single-instance socket work together.
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

# The hot key reaches the launcher while another client (xev) has the focus and toggles the one window,
# whatever the lock keys; held past the repeat delay it toggles once (auto-repeat is no press).
scenario_hotkey_toggles_over_other_client() {
  start_x
  make_catalog
  stdbuf -oL xev -name kestrel-e2e-other -event keyboard >"$SESSION_TMP/other.out" 2>&1 &
  remember_pid $!
  wait_for "$DEADLINE" other_window || session_die "the other client did not map its window"
  local other first locks
  other=$(other_window)
  start_launcher
  xdotool windowfocus --sync "$other" 2>/dev/null || true
  press x
  expect "the other client has the focus and receives the keys typed (so its log can show a Space)" \
    wait_for "$DEADLINE" grep -q 'keysym 0x78' "$SESSION_TMP/other.out"
  show_with_hotkey
  first=$(viewable_windows)
  expect "the launcher shows one window" test "$(wc -l <<<"$first")" -eq 1
  for locks in Num_Lock Caps_Lock; do
    press "$locks"
    press_hotkey
    expect "Ctrl+Space hides the launcher after $locks" wait_for "$DEADLINE" launcher_hidden
    show_with_hotkey
  done
  expect "every show reuses the first window" test "$(viewable_windows)" = "$first"
  expect "the other client never received a Space" bash -c "! grep -q 'keysym 0x20' '$SESSION_TMP/other.out'"
  xdotool keydown ctrl+space
  expect "Ctrl+Space held down hides the launcher" wait_for "$DEADLINE" launcher_hidden
  expect "and auto-repeat while it is held does not show it again" holds_for 2 launcher_hidden
  xdotool keyup ctrl+space
  show_with_hotkey
}

other_window() { xdotool search --onlyvisible --name '^kestrel-e2e-other$' 2>/dev/null | head -n 1 | grep .; }

# Typed text reaches the field and Down moves the selection, Return launches once and hides, Escape
# hides, a calculator row's Return copies the plain number, and an application installed while the
# launcher runs is found on a later show (the refresh on Qt's event loop, which only this test runs).
scenario_keys_drive_the_search() {
  start_x
  make_catalog
  start_launcher
  show_with_hotkey
  type_text "FIG"
  press Down Return
  expect "'FIG', Down, Return launches" wait_for "$DEADLINE" launched_count_is 1
  expect "exactly Candied Fig" test "$(cat "$FIXTURE/launched")" = candied-fig
  expect "and hides the window" wait_for "$DEADLINE" launcher_hidden
  expect "the launched application does not inherit a platform choice the launcher made for itself" \
    bash -c "! grep -q '^QT_QPA_PLATFORM=' '$FIXTURE/env-candied-fig'"

  show_with_hotkey
  type_text "fig"
  press Escape
  expect "Escape hides the window" wait_for "$DEADLINE" launcher_hidden
  expect "Escape launched nothing" launched_count_is 1

  show_with_hotkey
  type_text "7-10"
  press Return
  expect "'7-10', Return puts exactly '-3.0' on the clipboard" wait_for "$DEADLINE" clipboard_is "-3.0"
  expect "and hides the window" wait_for "$DEADLINE" launcher_hidden

  add_entry data-dir kiwi "Kiwi"
  launch_when_listed kiwi "kiwi"
}

# The gear button's centre in the search window of WIDTH x HEIGHT: the header ends 20 in from the right
# with the two 16x16 buttons 8 apart, the power button rightmost. The panel (header, a 1-high divider and
# the 300-high list) is centred in the window, so the header's middle lies (HEIGHT - 301) / 2 from the
# top whatever the header's own height.
click_settings_button() {
  local width height
  eval "$(xdotool getwindowgeometry --shell "$1" | grep -E '^(WIDTH|HEIGHT)=' | tr 'A-Z' 'a-z')"
  xdotool mousemove --window "$1" $((width - 20 - 16 - 8 - 8)) $(((height - 301) / 2)) click 1
}

# The settings sheet belongs to the search window: it hangs from the window's top edge, centred on it,
# after every show, wherever the window is placed. Each show is checked the moment the sheet is first
# seen (the window manager takes the window on anew at each show, and a sheet placed from the window's
# position during that moment showed at the screen's top-left); then a panel takes the left of the screen,
# the window is centred in what is left, and the sheet follows it there.
scenario_settings_sheet_comes_back_over_its_window() {
  start_x 1280x1024
  make_catalog
  start_launcher
  show_with_hotkey
  local window first cycle
  window=$(viewable_windows)
  click_settings_button "$window"
  wait_for "$DEADLINE" sheet_of "$window" || session_die "the settings button did not open the sheet"
  first=$(position "$window")
  for cycle in {1..12}; do sheet_returns_over "$window" "show $cycle"; done
  stdbuf -oL xev -name kestrel-e2e-panel -geometry 400x1024+0+0 -event structure >/dev/null 2>&1 &
  remember_pid $!
  wait_for "$DEADLINE" xdotool search --onlyvisible --name '^kestrel-e2e-panel$' || session_die "the panel did not map its window"
  xprop -id "$(xdotool search --onlyvisible --name '^kestrel-e2e-panel$' | head -n 1)" -f _NET_WM_STRUT 32c -set _NET_WM_STRUT 400,0,0,0
  expect "the panel takes the left 400 pixels off the desktop's work area" \
    wait_for "$DEADLINE" bash -c "xprop -root _NET_WORKAREA | grep -q '= 400, 0, 880,'"
  sheet_returns_over "$window" "a show beside the panel"
  expect "the window was centred elsewhere than before (was $first)" test "$(position "$window")" != "$first"
}

# "X Y" of WINDOW's top-left corner on the screen.
position() { xdotool getwindowgeometry --shell "$1" | awk -F= '$1 == "X" || $1 == "Y" { printf "%s ", $2 }'; }
# The launcher's one viewable window other than the search window WINDOW (the settings sheet is a dialog).
sheet_of() { local sheet; sheet=$(viewable_windows | grep -vx "$1") && [ "$(wc -l <<<"$sheet")" -eq 1 ] && echo "$sheet"; }

# sheet_returns_over WINDOW WHAT: Ctrl+Space hides the window and its sheet, and again shows both, the
# sheet (450 wide) centred on the window (600 wide, within a pixel) with the same top edge as soon as
# it is seen.
sheet_returns_over() {
  local sheet window_x window_y sheet_x sheet_y
  press_hotkey
  wait_for "$DEADLINE" launcher_hidden || session_die "$2: Ctrl+Space did not hide the window and its sheet"
  press_hotkey
  wait_for "$DEADLINE" sheet_of "$1" || session_die "$2: Ctrl+Space did not bring the sheet back"
  read -r window_x window_y <<<"$(position "$1")"
  read -r sheet_x sheet_y <<<"$(position "$(sheet_of "$1")")"
  expect "$2: the sheet comes back over its window (at $window_x $window_y: $sheet_x $sheet_y)" \
    test $((sheet_x + 225 - window_x - 300)) -ge -1 -a $((sheet_x + 225 - window_x - 300)) -le 1 -a "$sheet_y" = "$window_y"
}

# With Ctrl+Space held by another program (a rival launcher with a runtime directory of its own) the
# launcher still starts and says so; starting the program again toggles the running launcher and exits 0.
scenario_second_start_toggles_when_hotkey_taken() {
  start_x
  make_catalog
  mkdir -m 700 "$SESSION_TMP/rival-runtime"
  launcher_env
  env "${LAUNCHER_ENV[@]}" XDG_RUNTIME_DIR="$SESSION_TMP/rival-runtime" "$KESTREL_BIN" --background >/dev/null 2>&1 &
  RIVAL_PID=$!
  remember_pid "$RIVAL_PID"
  wait_for 60 "$KESTREL_X_PROBE" --hotkey || session_die "the rival did not grab Ctrl+Space"
  start_launcher --hotkey-taken
  press_hotkey
  expect "Ctrl+Space goes to the program that holds it" wait_for "$DEADLINE" rival_shown
  expect "and does not show the launcher" launcher_hidden
  press_hotkey
  wait_for "$DEADLINE" not rival_shown || session_die "the rival did not hide"

  second_start DESKTOP_STARTUP_ID=e2e-launch-42 XDG_ACTIVATION_TOKEN=e2e-token
  expect "a second start shows the running launcher's window" wait_for "$DEADLINE" launcher_shown
  expect "and it has the keyboard focus" wait_for "$DEADLINE" launcher_focused
  expect "the window names the startup id that the second start was given" startup_id_is e2e-launch-42
  second_start
  expect "another start hides it" wait_for "$DEADLINE" launcher_hidden
}

# Runs the binary a second time (the single-instance toggle path), with NAME=VALUE... added to its
# environment; it must exit 0 by itself.
second_start() {
  local status=0
  launcher_env
  env "${LAUNCHER_ENV[@]}" "$@" timeout 60 "$KESTREL_BIN" >"$SESSION_TMP/second.out" 2>"$SESSION_TMP/second.err" || status=$?
  [ "$status" -eq 0 ] || session_die "a second start exited with status $status: $(cat "$SESSION_TMP/second.err")"
}

rival_shown() { [ -n "$(viewable_windows "$RIVAL_PID")" ]; }
startup_id_is() { xprop -id "$(viewable_windows | head -n 1)" _NET_STARTUP_ID | grep -qF "\"$1\""; }

# Icon= may name anything: each hostile file below gives its row the gray placeholder, promptly and
# quietly. Icons are decoded one after another on one worker, in the order asked for, so the good icons
# at the end of the table arriving proves that every hostile one before them was tried and given up.
scenario_hostile_icons_give_placeholders() {
  start_x
  make_catalog
  local icons=$FIXTURE/icons
  write_icons "$icons"
  local table name file shows
  #      name            icon file      what the row's picture shows
  table=$(cat <<'TABLE'
Fifo Pipe|fifo.png|placeholder
Loop Link|loop-a.png|placeholder
Zero Device|zero.png|placeholder
Folder Icon|folder.png|placeholder
Locked File|locked.png|placeholder
Oversized File|oversized.png|placeholder
Red Square|red.png|icon:ff0000
Green Square|green.svg|icon:00ff00
TABLE
)
  while IFS='|' read -r name file shows; do
    add_entry data-home "$(tr 'A-Z ' 'a-z-' <<<"$name")" "$name" "Icon=$icons/$file"
  done <<<"$table"
  start_launcher
  while IFS='|' read -r name file shows; do
    show_with_hotkey
    type_text "$name"
    expect "$name ($file): the row shows $shows" wait_for "$DEADLINE" first_picture_is "$shows"
    press Escape
    expect "$name: Escape hides the window promptly" wait_for 2 launcher_hidden
  done <<<"$table"
  local peak
  peak=$(awk '/^VmHWM:/ { print $2 }' "/proc/$LAUNCHER_PID/status")
  expect "memory stays bounded: peak resident under 150 MB (${peak} kB)" test "$peak" -lt 153600
  expect "nothing was printed on stderr" test ! -s "$SESSION_TMP/launcher.err"
}

# The icon files of the table: the good ones, and the hostile: they block (a FIFO), never end (/dev/zero),
# loop (two links), are no file (a folder), cannot be read (mode 0; the superuser, who reads it anyway,
# finds a truncated PNG) or are far too large (a PNG padded to 9 MB). What the decoder makes of broken
# image data is the desktop tests' business.
write_icons() {
  mkdir -p "$1"
  convert -size 64x64 xc:'#ff0000' "PNG24:$1/red.png"
  printf '<svg xmlns="http://www.w3.org/2000/svg" width="64" height="64"><rect width="64" height="64" fill="#00ff00"/></svg>' \
    >"$1/green.svg"
  mkfifo "$1/fifo.png"
  ln -s loop-b.png "$1/loop-a.png"
  ln -s loop-a.png "$1/loop-b.png"
  ln -s /dev/zero "$1/zero.png"
  mkdir "$1/folder.png"
  head -c 60 "$1/red.png" >"$1/locked.png"
  chmod 0 "$1/locked.png"
  cp "$1/red.png" "$1/oversized.png"
  truncate -s 9M "$1/oversized.png"
}

# What the first row's picture shows: "icon:rrggbb", or "placeholder" (a flat gray square: its centre is
# gray and unlike the background 24 pixels to its left), or "nothing". The centre of its 32 x 32 area
# lies 44 in from the window's left edge and 92 down (below the header and divider, a
# two-line row's picture).
first_picture_is() {
  local window y=92 format x seen
  window=$(viewable_windows | head -n 1)
  [ -n "$window" ] && import -window "$window" "$SESSION_TMP/row.png" 2>/dev/null || return 1
  # The centre's colour in hex, then the red, green and blue (0-255) of the centre and of the background.
  format="%[hex:p{44,$y}]"
  for x in 44 20; do
    format+=" %[fx:255*p{$x,$y}.r] %[fx:255*p{$x,$y}.g] %[fx:255*p{$x,$y}.b]"
  done
  seen=$(convert "$SESSION_TMP/row.png" -format "$format" info: | awk '
    function gap(a, b) { return a > b ? a - b : b - a }
    {
      beside = gap($2, $5) + gap($3, $6) + gap($4, $7)
      gray = gap($2, $3) + gap($3, $4) + gap($2, $4)
      print (beside < 12 ? "nothing" : gray < 12 ? "placeholder" : "icon:" tolower(substr($1, 1, 6)))
    }')
  [ "$seen" = "$1" ]
}

# launch_when_listed ID TEXT: shows the launcher, types TEXT and presses Return until that launches ID
# (the catalogue is rebuilt a short while after a change; until then Escape hides the kept window).
launch_when_listed() {
  local before end=$(($(date +%s) + DEADLINE))
  before=$(launched_count)
  while show_with_hotkey && type_text "$2" && press Return && ! wait_for 2 launched_count_is $((before + 1)); do
    (($(date +%s) < end)) || session_die "'$2' never listed $1"
    press Escape
    wait_for "$DEADLINE" launcher_hidden || session_die "Escape did not hide the launcher"
  done
  expect "'$2', Return launches the newly listed $1" test "$(last_launched)" = "$1"
}

# A start that a person asks for (a key binding, the menu) while no launcher runs starts it with its window
# shown and focused at once, carrying the start's startup id; the hot key then hides it. (The session's
# autostart, --background, shows nothing: every other scenario starts the launcher that way.)
scenario_cold_start_shows_the_window() {
  start_x
  make_catalog
  launcher_env
  env "${LAUNCHER_ENV[@]}" DESKTOP_STARTUP_ID=e2e-cold-start_TIME0 "$KESTREL_BIN" >"$SESSION_TMP/launcher.out" \
    2>"$SESSION_TMP/launcher.err" &
  LAUNCHER_PID=$!
  remember_pid "$LAUNCHER_PID"
  expect "the first start shows the window" wait_for 60 launcher_shown
  expect "with the keyboard focus" wait_for "$DEADLINE" launcher_focused
  expect "the window names the start's startup id" startup_id_is e2e-cold-start_TIME0
  wait_for 60 hotkey_held || session_die "the launcher did not grab Ctrl+Space"
  press_hotkey
  expect "the hot key hides it" wait_for "$DEADLINE" launcher_hidden
}

session_init xev import stdbuf
run_scenario "$@"
