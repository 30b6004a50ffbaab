#!/usr/bin/env bash
# Package scenarios: scripts/package and the .deb it makes.
#   scenarios.sh SCENARIO      (ctest runs one test per scenario; see CMakeLists.txt)
# Needs KESTREL_SOURCE_DIR, KESTREL_BUILD_DIR (the tree that is packaged), KESTREL_VERSION,
# KESTREL_PACKAGE_RECORD (where package.builds writes the .deb's path for the other scenarios),
# KESTREL_PROGRAMS (the product's program names, one a line) and KESTREL_X_PROBE.
# The launcher runs in the end-to-end tests' private Xvfb session over their fixture catalogue.
SESSION_NAME=package
source "$(dirname "${BASH_SOURCE[0]}")/../e2e/lib.sh"

# ---------------------------------------------------------------- helpers

# Sets up the session's temporary directory and extracts the package that package.builds made into
# $ROOT inside it. Sets DEB, ROOT and KESTREL_BIN (the extracted launcher).
package_init() {
  session_init
  DEB=$(cat "$KESTREL_PACKAGE_RECORD" 2>/dev/null) || session_die "no package recorded (package.builds makes it)"
  ROOT=$SESSION_TMP/root
  dpkg-deb -x "$DEB" "$ROOT" || session_die "dpkg-deb -x $DEB failed"
  KESTREL_BIN=$ROOT/usr/bin/kestrelpoint
}

# Runs scripts/package of the source tree SOURCE on the build directory BUILD with extra environment
# NAME=VALUE...; its output goes to $SESSION_TMP/NAME.out and its status to PACKAGE_STATUS.
run_package_script() {
  local name=$1 source=$2 build=$3
  shift 3
  PACKAGE_STATUS=0
  env KESTREL_BUILD_DIR="$build" "$@" "$source/scripts/package" >"$SESSION_TMP/$name.out" 2>&1 || PACKAGE_STATUS=$?
}

# The kestrelpoint_*.deb files and the packaging leftovers in the directory DIR, one a line.
packages_in() { find "$1" -maxdepth 1 \( -name 'kestrelpoint_*.deb' -o -name 'package.*' \) | sort; }

# The launchers running from the extracted tree: PIDs of processes whose program lies under $ROOT.
launchers_from_root() {
  local proc exe
  for proc in /proc/[0-9]*; do
    exe=$(readlink "$proc/exe" 2>/dev/null) || continue
    case $exe in "$ROOT"/*) printf '%s\n' "${proc#/proc/}" ;; esac
  done
}
launcher_count_is() { [ "$(launchers_from_root | wc -l)" -eq "$1" ]; }

# The value of KEY in the [Desktop Entry] group of FILE.
entry_value() { awk -F= -v key="$2" '/^\[/ { group = $0 } group == "[Desktop Entry]" && $1 == key { sub(/^[^=]*=/, ""); print; exit }' "$1"; }

# ---------------------------------------------------------------- scenarios

# scripts/package makes the .deb, named by its last line, with the project's name, version, the
# machine's architecture and dependencies computed from the libraries; when CPack fails on the way,
# no package and no leftovers remain.
scenario_builds() {
  session_init
  local build=$KESTREL_BUILD_DIR
  mkdir -p "$SESSION_TMP/shim"
  printf '#!/bin/sh\necho "dpkg-shlibdeps: refusing on purpose" >&2\nexit 1\n' >"$SESSION_TMP/shim/dpkg-shlibdeps"
  chmod +x "$SESSION_TMP/shim/dpkg-shlibdeps"
  run_package_script failing "$KESTREL_SOURCE_DIR" "$build" PATH="$SESSION_TMP/shim:$PATH"
  expect "scripts/package fails when CPack fails" test "$PACKAGE_STATUS" -ne 0
  expect "and shows CPack's error" grep -q 'refusing on purpose' "$SESSION_TMP/failing.out"
  expect "and leaves no package or staging directory in the build directory" test -z "$(packages_in "$build")"

  run_package_script package "$KESTREL_SOURCE_DIR" "$build"
  [ "$PACKAGE_STATUS" -eq 0 ] || { cat "$SESSION_TMP/package.out" >&2; session_die "scripts/package failed ($PACKAGE_STATUS)"; }
  local deb arch
  deb=$(tail -n 1 "$SESSION_TMP/package.out")
  arch=$(dpkg --print-architecture)
  expect "the last line names the package in the build directory" \
    test "$deb" = "$(realpath "$build")/kestrelpoint_${KESTREL_VERSION}_${arch}.deb"
  expect "it is the only package there, with no leftovers" test "$(packages_in "$build")" = "$deb"
  expect "the package is kestrelpoint, of the project's version, for the machine's architecture" \
    test "$(dpkg-deb -f "$deb" Package Version Architecture | tr '\n' ' ')" = "Package: kestrelpoint Version: $KESTREL_VERSION Architecture: $arch "
  local depends
  depends=$(dpkg-deb -f "$deb" Depends)
  local package
  for package in libc6 libqt6widgets6 libqt6gui6 libqt6core6 libicu72 libglib2.0-0 libplist3 libxcb1 qt6-qpa-plugins; do
    expect "it depends on $package" grep -Eq "(^|, )$package( |,|$)" <<<"$depends"
  done
  expect "it depends on nothing for building" bash -c "! grep -Eq -- '-dev( |,|$)|cmake|g\+\+|ninja' <<<'$depends'"
  printf '%s\n' "$deb" >"$KESTREL_PACKAGE_RECORD"
}

# On a tree that does not compile, scripts/package stops with the compiler's error and a non-zero status,
# and an older package in the build directory is gone rather than passed off as this tree's.
scenario_broken_tree_leaves_no_package() {
  session_init
  local source=$SESSION_TMP/source build=$SESSION_TMP/build
  mkdir -p "$source" "$build"
  tar -C "$KESTREL_SOURCE_DIR" --exclude='./build*' --exclude=./.git -cf - . | tar -C "$source" -xf -
  find "$source/src" "$source/tools" -name '*.cpp' -exec sed -i '1i #error "this tree does not compile"' {} +
  : >"$build/kestrelpoint_0.1_$(dpkg --print-architecture).deb"
  run_package_script broken "$source" "$build"
  expect "scripts/package fails on a tree that does not compile" test "$PACKAGE_STATUS" -ne 0
  expect "and shows the compiler's error" grep -q 'this tree does not compile' "$SESSION_TMP/broken.out"
  expect "no package is left in the build directory" test -z "$(packages_in "$build")"
  expect "nor anywhere under it" test -z "$(find "$build" -name '*.deb')"
}

# The extracted package holds every program (its libraries all resolved), exactly what the build tree's
# install rules install, icons of the size their directory says and manual pages that render; lintian
# finds no errors or warnings (informational tags are listed, not failed on); both desktop entries
# validate, the autostart one is enabled, and the launcher's own catalogue lists the menu entry.
scenario_contents_are_complete() {
  package_init
  local status=0
  lintian --info --display-level '>=pedantic' "$DEB" >"$SESSION_TMP/lintian.out" 2>"$SESSION_TMP/lintian.err" || status=$?
  sed 's/^/  | /' "$SESSION_TMP/lintian.out" "$SESSION_TMP/lintian.err"
  # lintian exits 1 when it reports an error, 2 when it could not check the package.
  expect "lintian checked the package and reports no errors or warnings" \
    bash -c "[ $status -eq 0 ] && ! grep -Eq '^(E|W): ' '$SESSION_TMP/lintian.out'"
  local menu=$ROOT/usr/share/applications/kestrelpoint.desktop
  local autostart=$ROOT/etc/xdg/autostart/kestrelpoint.desktop
  expect "both desktop entries pass desktop-file-validate" desktop-file-validate "$menu" "$autostart"
  expect "the autostart entry is not disabled" bash -c "! grep -Eq '^(Hidden=true|X-GNOME-Autostart-enabled=false)' '$autostart'"
  local listed
  listed=$(env -i PATH="$ROOT/usr/bin:/usr/bin:/bin" HOME="$SESSION_TMP" XDG_DATA_HOME="$SESSION_TMP/none" \
    XDG_DATA_DIRS="$ROOT/usr/share" LC_ALL=C.UTF-8 "$ROOT/usr/bin/kestrelpoint-query" --list)
  expect "the launcher's catalogue lists the menu entry (its TryExec found)" \
    test "$listed" = "$(printf 'application\tKestrelpoint\t%s\tkestrelpoint' "$menu")"
  # (lintian fails a package without copyright or changelog, with unstripped programs, files not owned
  # by root, odd modes or files under /etc that are no configuration files.)
  expect "the package holds the scalable icon" test -f "$ROOT/usr/share/icons/hicolor/scalable/apps/kestrelpoint.svg"
  local program found
  while read -r program; do
    [ -n "$program" ] || continue
    found=$(find "$ROOT/usr/bin" "$ROOT/usr/libexec" -type f -name "$program" -perm -0755 2>/dev/null || true)
    expect "the program $program is in usr/bin or usr/libexec, executable by everyone" test "$(wc -l <<<"$found")" -eq 1 -a -n "$found"
    expect "every library $program needs is on this machine" bash -c "! ldd '$found' | grep -q 'not found'"
  done <"$KESTREL_PROGRAMS"

  DESTDIR="$SESSION_TMP/installed" cmake --install "$KESTREL_BUILD_DIR" --prefix /usr >"$SESSION_TMP/install.out" 2>&1 ||
    session_die "cmake --install failed: $(tail -n 5 "$SESSION_TMP/install.out")"
  (cd "$SESSION_TMP/installed" && find . ! -type d | sort) >"$SESSION_TMP/installed.list"
  (cd "$ROOT" && find . ! -type d | sort) >"$SESSION_TMP/package.list"
  expect "the package holds exactly what cmake --install installs" diff "$SESSION_TMP/installed.list" "$SESSION_TMP/package.list"
  expect "nothing is installed under usr/etc or usr/local" test -z "$(dpkg-deb -c "$DEB" | grep -E ' \./usr/(etc|local)/')"

  local size
  for size in 16 22 24 32 48 64 128 256; do
    expect "the package holds a ${size}x$size PNG icon" \
      bash -c "file -b '$ROOT/usr/share/icons/hicolor/${size}x$size/apps/kestrelpoint.png' | grep -q 'PNG image data, $size x $size'"
  done
  local page
  for page in kestrelpoint kestrelpoint-query; do
    expect "$page(1) renders without warnings" \
      test -z "$(MANWIDTH=80 man --warnings -l "$ROOT/usr/share/man/man1/$page.1.gz" 2>&1 >/dev/null)"
  done
}

# session_run ENTRY NAME: runs the Exec line of the desktop entry ENTRY (under $ROOT) in the background
# as a desktop session or menu runs it: its TryExec must be found, the command is looked up in a PATH
# that starts with the package's bin, with no terminal and in a session of its own. Its output goes to
# $SESSION_TMP/NAME.{out,err}; sets RUN_PID (the command's own).
session_run() {
  local entry=$ROOT/$1 session_path=$ROOT/usr/bin:$PATH exec_line
  exec_line=$(entry_value "$entry" Exec)
  [[ -n $exec_line && $exec_line != *[%\"\'\\]* ]] || session_die "$1: the Exec line has field codes, quoting or escapes"
  env PATH="$session_path" which "$(entry_value "$entry" TryExec)" >/dev/null || session_die "$1: its TryExec program is not found"
  local -a command
  read -ra command <<<"$exec_line"
  [ "$(PATH=$session_path command -v "${command[0]}")" = "$ROOT/usr/bin/kestrelpoint" ] ||
    session_die "$1: its command is not the packaged launcher"
  launcher_env
  env "${LAUNCHER_ENV[@]}" PATH="$session_path" setsid "${command[@]}" </dev/null >"$SESSION_TMP/$2.out" 2>"$SESSION_TMP/$2.err" &
  RUN_PID=$!
  remember_pid "$RUN_PID"
}

# PID ends by itself within a minute, with status 0.
exits_zero() { wait_for 60 not is_our_child "$1" && wait "$1"; }

# The launcher extracted from the package, started by the autostart entry's Exec line as a desktop
# session runs it: one launcher with no window; choosing the menu entry then shows that launcher's window,
# the autostart line again leaves it as it is, the menu entry again hides it, and none starts a second
# launcher; the hot key shows it and "2+3" Return copies 5.0 and hides it.
scenario_extracted_launcher_autostarts() {
  package_init
  start_x
  make_catalog
  local autostart=etc/xdg/autostart/kestrelpoint.desktop menu=usr/share/applications/kestrelpoint.desktop
  session_run "$autostart" launcher
  LAUNCHER_PID=$RUN_PID
  wait_for 60 launcher_listening || session_die "the autostarted launcher did not come up"
  wait_for 60 hotkey_held || session_die "the autostarted launcher did not grab Ctrl+Space"
  expect "the launcher is the process the session started" test "$(launchers_from_root)" = "$LAUNCHER_PID"
  expect "it shows no window at start" launcher_hidden

  session_run "$menu" menu
  expect "the menu entry, chosen while the launcher runs, exits 0" exits_zero "$RUN_PID"
  expect "and shows the running launcher's window" wait_for "$DEADLINE" launcher_shown
  session_run "$autostart" again
  expect "the autostart line run again exits 0" exits_zero "$RUN_PID"
  expect "and leaves the window shown" launcher_shown
  session_run "$menu" menu-again
  expect "the menu entry chosen again exits 0" exits_zero "$RUN_PID"
  expect "and hides the window" wait_for "$DEADLINE" launcher_hidden
  expect "one launcher runs, the first" launcher_count_is 1
  show_with_hotkey
  type_text "2+3"
  press Return
  expect "in the window the hot key shows, '2+3' Return copies 5.0" wait_for "$DEADLINE" clipboard_is "5.0"
  expect "and hides the window" wait_for "$DEADLINE" launcher_hidden
}

run_scenario "$@"
