# What the end-to-end scenarios add to the private X session of scripts/lib/x-session.sh (sourced, not
# run): checks that report and fail, and the fixture catalogue whose applications record their launches.

SESSION_NAME=${SESSION_NAME:-e2e}
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib/x-session.sh"

CHECKS=0

# expect DESCRIPTION COMMAND...: the scenario goes on when COMMAND succeeds and fails otherwise.
expect() {
  local what=$1
  shift
  CHECKS=$((CHECKS + 1))
  if "$@"; then
    session_log "ok: $what"
  else
    session_die "$what"
  fi
}

# Succeeds when COMMAND holds at every poll during SECONDS (for "nothing happens" checks, always paired
# with a later positive observation that proves the inputs were processed).
holds_for() {
  local limit=$1
  shift
  ! wait_for "$limit" not "$@"
}

# ten_presses PRESS SHOWN HIDDEN: ten presses in a row (PRESS) each toggle the window: after the odd ones
# the check SHOWN holds, after the even ones HIDDEN (commands split on spaces).
ten_presses() {
  local press
  for press in {1..10}; do
    $1
    if ((press % 2)); then
      expect "press $press shows the launcher ($2)" wait_for "$DEADLINE" $2
    else
      expect "press $press hides it ($3)" wait_for "$DEADLINE" $3
    fi
  done
}

# run_scenario NAME: runs scenario_NAME in a fresh session, as ctest asks (one test per scenario).
run_scenario() {
  local scenario=${1:?usage: scenarios.sh SCENARIO}
  declare -F "scenario_$scenario" >/dev/null || { session_log "no scenario named $scenario" >&2; exit 2; }
  session_log "scenario $scenario"
  "scenario_$scenario"
  session_log "passed: $scenario ($CHECKS checks)"
}

# ---------------------------------------------------------------- fixture catalogue

# A catalogue whose full list is, in order: Apricot, Blueberry, Candied Fig, Cherry, Elderberry, Fig,
# split between $XDG_DATA_HOME and $XDG_DATA_DIRS. Each entry's Exec runs bin/mark with the entry's id,
# which appends the id to $FIXTURE/launched and saves the environment the application was started with
# in $FIXTURE/env-<id>.
make_catalog() {
  FIXTURE=$SESSION_TMP/fixture
  mkdir -p "$FIXTURE/home" "$FIXTURE/data-home/applications" "$FIXTURE/data-dir/applications" "$FIXTURE/bin"
  : >"$FIXTURE/launched"
  cat >"$FIXTURE/bin/mark" <<EOS
#!/bin/sh
env >"$FIXTURE/env-\$1"
printf '%s\n' "\$1" >>"$FIXTURE/launched"
EOS
  chmod +x "$FIXTURE/bin/mark"
  local tree id name
  while read -r tree id name; do
    add_entry "$tree" "$id" "$name"
  done <<'EOS'
data-home apricot Apricot
data-dir blueberry Blueberry
data-dir candied-fig Candied Fig
data-home cherry Cherry
data-dir elderberry Elderberry
data-home fig Fig
EOS
}

# add_entry TREE ID NAME [EXTRA-LINE]: TREE is data-home or data-dir.
add_entry() {
  {
    printf '[Desktop Entry]\nType=Application\nName=%s\nExec=%s %s\n' "$3" "$FIXTURE/bin/mark" "$2"
    if [ -n "${4:-}" ]; then printf '%s\n' "$4"; fi
  } >"$FIXTURE/$1/applications/$2.desktop"
}

# The clipboard of a desktop session (scripts/lib/desktop-session.sh), as an X11 client (xclip) and a native
# Wayland client (wl-paste) read it.
x_clipboard_is() { [ "$(in_session timeout 10 xclip -o -selection clipboard 2>/dev/null; printf x)" = "${1}x" ]; }
wl_clipboard_is() { [ "$(in_session timeout 10 wl-paste --no-newline 2>/dev/null; printf x)" = "${1}x" ]; }

launched_count() { wc -l <"$FIXTURE/launched"; }
launched_count_is() { [ "$(launched_count)" -eq "$1" ]; }
last_launched() { tail -n 1 "$FIXTURE/launched"; }
