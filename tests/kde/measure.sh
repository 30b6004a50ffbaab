#!/usr/bin/env bash
# Measures on headless KDE Plasma how long Ctrl+Space takes to bring up the launcher's window: from just
# before kestrel-kde-keys hands the press to KWin (wall clock) to KWin taking the launcher's window among
# the windows it manages (mapped: a KWin script's clientAdded), and to the window's first content reaching
# KWin (its first damage, which KWin paints with the next frame); KWin's clock in the script, Date.now(),
# has millisecond resolution. Ten presses that show the window, each followed by one that hides it;
# prints each time and the medians, in milliseconds.
#
#   measure.sh portal      the GlobalShortcuts portal's key (KWin → kglobalaccel → xdg-desktop-portal-kde →
#                          xdg-desktop-portal → the launcher), a native Wayland window focused
#   measure.sh x11-grab    the launcher's X11 grab (no portal), an X11 window focused
#   measure.sh command     a Plasma command shortcut running `kestrelpoint` (which toggles the running
#                          launcher through its socket), a native Wayland window focused
#
# Needs what scenarios.sh needs (KESTREL_BIN, KESTREL_KDE_KEYS, KESTREL_KDE_DIR).
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

PRESSES=${PRESSES:-10}

# Keeps a KWin script running that prints "kestrel-added MILLISECONDS PID" for each window KWin takes on,
# and "kestrel-damaged MILLISECONDS PID" when its content first arrives.
watch_windows() {
  local file=$SESSION_TMP/watch.js
  cat >"$file" <<'EOS'
workspace.clientAdded.connect(function (c) {
  print("kestrel-added " + Date.now() + " " + c.pid);
  var first = true;
  c.damaged.connect(function () { if (first) { first = false; print("kestrel-damaged " + Date.now() + " " + c.pid); } });
});
EOS
  in_session dbus-send --bus="$KDE_BUS" --print-reply --dest=org.kde.KWin /Scripting \
    org.kde.kwin.Scripting.loadScript "string:$file" string:kestrel_watch >/dev/null
  in_session dbus-send --bus="$KDE_BUS" --print-reply --dest=org.kde.KWin /Scripting org.kde.kwin.Scripting.start >/dev/null
}
# events_of EVENT: the times of the launcher's EVENT lines (added, damaged), one a line.
events_of() { awk -v event="kestrel-$1" -v pid="$LAUNCHER_PID" '$1 == "js:" && $2 == event && $4 == pid { print $3 }' "$SESSION_TMP/kwin.err"; }
event_count_is() { [ "$(events_of "$1" | wc -l)" -eq "$2" ]; }

# summary PATH WHAT TIME...: one line with the median, the range and every time.
summary() {
  local path=$1 what=$2
  shift 2
  printf '%s\n' "$@" | sort -n | awk -v path="$path" -v what="$what" '
    { t[NR] = $1 } END {
      median = NR % 2 ? t[(NR + 1) / 2] : (t[NR / 2] + t[NR / 2 + 1]) / 2
      printf "%s: key -> %s, ms: median %s (min %s, max %s) of %d:", path, what, median, t[1], t[NR], NR
      for (i = 1; i <= NR; i++) printf " %s", t[i]
      printf "\n"
    }'
}

measure() {
  local path=$1 focused
  case $path in
    portal)
      start_plasma
      start_native_client
      start_kde_launcher
      wait_for "$START_DEADLINE" launcher_holds_ctrl_space || session_die "Plasma bound no key for the launcher"
      focused=native_has_focus
      ;;
    x11-grab)
      start_plasma --no-portal
      start_x11_client
      start_kde_launcher
      wait_for "$START_DEADLINE" launcher_says "grabbed through X11" || session_die "the launcher did not grab Ctrl+Space"
      focused="window_active $X11_PID"
      ;;
    command)
      cat >"$FIXTURE/data-home/kglobalaccel/kestrelpoint-command.desktop" <<EOS
[Desktop Entry]
Type=Application
Name=Kestrelpoint
Exec=$KESTREL_BIN
X-KDE-GlobalAccel-CommandShortcut=true
X-KDE-Shortcuts=Ctrl+Space
EOS
      start_plasma
      start_native_client
      start_kde_launcher
      wait_for "$START_DEADLINE" launcher_bound || session_die "the portal did not answer the launcher"
      focused=native_has_focus
      ;;
    *) session_die "usage: measure.sh portal|x11-grab|command" ;;
  esac
  watch_windows
  local i pressed mapped=() content=()
  for ((i = 1; i <= PRESSES; i++)); do
    pressed=$(($(keys --time ctrl+space) / 1000000))
    wait_for "$DEADLINE" event_count_is added "$i" || session_die "press $i did not show the window"
    wait_for "$DEADLINE" event_count_is damaged "$i" || session_die "press $i: no content reached KWin"
    mapped+=($(($(events_of added | sed -n "${i}p") - pressed)))
    content+=($(($(events_of damaged | sed -n "${i}p") - pressed)))
    wait_for "$DEADLINE" launcher_focused || session_die "press $i: the window did not get the focus"
    press_hotkey
    wait_for "$DEADLINE" launcher_hidden || session_die "press $i: the next press did not hide the window"
    wait_for "$DEADLINE" $focused || session_die "press $i: the focus did not go back"
  done
  summary "$path" "window mapped (managed by KWin)" "${mapped[@]}"
  summary "$path" "first content in KWin" "${content[@]}"
}

kde_init
measure "${1:-portal}"
