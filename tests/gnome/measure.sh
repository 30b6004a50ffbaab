#!/usr/bin/env bash
# Measures hot key -> launcher window mapped on GNOME Shell 43, headless, with the private session of the
# GNOME tests (a measurement, never a test; figures vary with the machine's load). The key goes into the
# compositor through mutter's RemoteDesktop; the time runs from just before the Space of Ctrl+Space is sent
# to the MapNotify of the launcher's window as an X client on Xwayland receives it (map-times.py):
#   1. GNOME's custom shortcut (what the launcher registers), the launcher running, foot focused;
#   2. the same shortcut with no launcher running (a cold start: gsd-media-keys starts `kestrelpoint`);
#   3. beside them, the X11 grab on the same compositor (the launcher told it is not on GNOME, its own
#      shortcut removed), an X11 client (xev) focused.
#   KESTREL_BIN=build/kestrelpoint tests/gnome/measure.sh [ROUNDS]     (ROUNDS: 10; the cold start: half)
KESTREL_GNOME_DIR=${KESTREL_GNOME_DIR:-$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)}
KESTREL_BIN=${KESTREL_BIN:-$KESTREL_GNOME_DIR/../../build/kestrelpoint}
source "$KESTREL_GNOME_DIR/lib.sh"

rounds=${1:-10}
gnome_init
start_gnome
start_gnome_launcher
wait_for "$DEADLINE" launcher_binding_ready || session_die "the launcher registered no GNOME shortcut"
map_times() { in_session "$PYTHON" "$KESTREL_GNOME_DIR/map-times.py" "$@"; }

echo "== 1. GNOME shortcut, launcher running, foot focused ($rounds rounds)"
map_times --count "$rounds" --pid "$LAUNCHER_PID"

echo "== 2. GNOME shortcut, cold start ($((rounds / 2)) rounds)"
cold=()
for ((i = 0; i < rounds / 2; i++)); do
  stop_resident "$LAUNCHER_PID"
  wait_for "$DEADLINE" not find_launcher || session_die "the launcher did not stop"
  cold+=("$(map_times --count 1 --no-hide | awk '/^show/ { print $2 }')")
  echo "show ${cold[-1]}"
  wait_for "$DEADLINE" find_launcher || session_die "the binding started no launcher"
  wait_for "$DEADLINE" launcher_shown || session_die "the cold start showed nothing"
done
printf '%s\n' "${cold[@]}" | sort -g | awk '{ v[NR] = $1 } END { printf "median %.1f\n", NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'

echo "== 3. X11 grab on the same compositor, xev focused ($rounds rounds)"
stop_resident "$LAUNCHER_PID"
forget_grabs
in_session dconf reset -f /org/gnome/settings-daemon/plugins/media-keys/
# gsd-media-keys takes its keys again when the list changes: wait for that, without Ctrl+Space.
regrabbed() { tail -c "+$((GN_GRABS_FROM + 1))" "$SESSION_TMP/grabs.out" | grep -q 'member=GrabAccelerators$'; }
wait_for "$DEADLINE" regrabbed && ! key_grabbed '<Control>space' || session_die "gsd-media-keys kept the shortcut"
in_session_bg launcher env XDG_CURRENT_DESKTOP=kestrel-measure "$GN_BIN" --background
LAUNCHER_PID=$BG_PID
wait_for 60 launcher_says "grabbed through X11" || session_die "the launcher did not grab Ctrl+Space through X11"
start_x11_client
map_times --count "$rounds" --pid "$LAUNCHER_PID"
