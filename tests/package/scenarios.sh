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

# package_init [TOOL...]: sets up the session's temporary directory (checking the TOOLs) and extracts the
# package that package.builds made into $ROOT inside it. Sets DEB, ROOT and KESTREL_BIN (the extracted
# launcher).
package_init() {
  session_init "$@"
  DEB=$(cat "$KESTREL_PACKAGE_RECORD" 2>/dev/null) || session_die "no package recorded (package.builds makes it)"
  ROOT=$SESSION_TMP/root
  dpkg-deb -x "$DEB" "$ROOT" || session_die "dpkg-deb -x $DEB failed"
  KESTREL_BIN=$ROOT/usr/bin/kestrelpoint
}

# Runs scripts/package of the source tree SOURCE on the build directory BUILD with extra environment
# NAME=VALUE...; its output goes to $SESSION_TMP/NAME.out and its status to PACKAGE_STATUS. The caller's
# SOURCE_DATE_EPOCH is left out (the package takes its date from the last commit unless NAME=VALUE gives
# one), and so is a compiler launcher that would apply to a new build directory.
run_package_script() {
  local name=$1 source=$2 build=$3
  shift 3
  PACKAGE_STATUS=0
  env -u SOURCE_DATE_EPOCH -u CMAKE_CXX_COMPILER_LAUNCHER KESTREL_BUILD_DIR="$build" "$@" "$source/scripts/package" \
    >"$SESSION_TMP/$name.out" 2>&1 || PACKAGE_STATUS=$?
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

# The time of the last commit of the source tree, in seconds since 1970.
commit_time() { git -C "$KESTREL_SOURCE_DIR" log -1 --format=%ct; }

# explain_difference DEB1 DEB2: prints the files whose contents differ between two .deb files.
explain_difference() {
  dpkg-deb -R "$1" "$SESSION_TMP/a" && dpkg-deb -R "$2" "$SESSION_TMP/b"
  diff -rq "$SESSION_TMP/a" "$SESSION_TMP/b" | sed 's/^/  /'
}

# True when every compile command of the build that made the package ($KESTREL_BUILD_DIR) defines
# _FORTIFY_SOURCE (2 or 3); prints the files compiled without it.
build_is_fortified() {
  python3 - "$KESTREL_BUILD_DIR/compile_commands.json" <<'PY'
import json
import re
import sys

commands = json.load(open(sys.argv[1]))
missing = [c["file"] for c in commands if not re.search(r"-D_FORTIFY_SOURCE=[23]\b", c["command"])]
for file in missing[:10]:
    print("  compiled without _FORTIFY_SOURCE:", file)
if len(missing) > 10:
    print(f"  and {len(missing) - 10} more")
sys.exit(1 if missing or not commands else 0)
PY
}

# True when the C library's start files carry the x86 control-flow protection marking (IBT, SHSTK): a
# linker marks a program only when every object in it is marked, and Debian 12's start files are not,
# so no program built there carries the marking, whatever its own code was compiled with.
start_files_mark_cet() {
  local file
  for file in Scrt1.o crti.o crtn.o; do
    readelf -n "$(c++ -print-file-name="$file")" 2>/dev/null | grep -q 'x86 feature: IBT, SHSTK' || return 1
  done
}

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
  install -m 755 <(printf '#!/bin/sh\necho "dpkg-shlibdeps: refusing on purpose" >&2\nexit 1\n') "$SESSION_TMP/shim/dpkg-shlibdeps"
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
  local depends package
  depends=$(dpkg-deb -f "$deb" Depends)
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
}

# The extracted package holds exactly what the build tree's install rules install and icons of the size
# their directory says; lintian finds no errors or warnings (among them manual pages that do not render,
# odd file modes, files in usr/local; informational tags are listed, not failed on) and no hardening tag;
# both desktop entries validate, the autostart one is enabled, and the launcher's own catalogue lists the
# menu entry. (Each program runs in another scenario, so its libraries resolve.)
scenario_contents_are_complete() {
  package_init
  local status=0
  lintian --info --display-level '>=pedantic' "$DEB" >"$SESSION_TMP/lintian.out" 2>"$SESSION_TMP/lintian.err" || status=$?
  sed 's/^/  | /' "$SESSION_TMP/lintian.out" "$SESSION_TMP/lintian.err"
  # lintian exits 1 when it reports an error, 2 when it could not check the package.
  expect "lintian checked the package and reports no errors or warnings" \
    bash -c "[ $status -eq 0 ] && ! grep -Eq '^(E|W): ' '$SESSION_TMP/lintian.out'"
  expect "lintian reports no hardening tag, not even informational ones" \
    bash -c "! grep -Eq '^[A-Z]: [^ ]+: hardening-' '$SESSION_TMP/lintian.out'"
  local menu=$ROOT/usr/share/applications/kestrelpoint.desktop
  local autostart=$ROOT/etc/xdg/autostart/kestrelpoint.desktop
  expect "both desktop entries pass desktop-file-validate" desktop-file-validate "$menu" "$autostart"
  expect "the autostart entry is not disabled" bash -c "! grep -Eq '^(Hidden=true|X-GNOME-Autostart-enabled=false)' '$autostart'"
  local listed
  listed=$(env -i PATH="$ROOT/usr/bin:/usr/bin:/bin" HOME="$SESSION_TMP" XDG_DATA_HOME="$SESSION_TMP/none" \
    XDG_DATA_DIRS="$ROOT/usr/share" LC_ALL=C.UTF-8 "$ROOT/usr/bin/kestrelpoint-query" --list)
  expect "the launcher's catalogue lists the menu entry (its TryExec found)" \
    test "$listed" = "$(printf 'application\tKestrelpoint\t%s\tkestrelpoint' "$menu")"
  DESTDIR="$SESSION_TMP/installed" cmake --install "$KESTREL_BUILD_DIR" --prefix /usr >"$SESSION_TMP/install.out" 2>&1 ||
    session_die "cmake --install failed: $(tail -n 5 "$SESSION_TMP/install.out")"
  (cd "$SESSION_TMP/installed" && find . ! -type d | sort) >"$SESSION_TMP/installed.list"
  (cd "$ROOT" && find . ! -type d | sort) >"$SESSION_TMP/package.list"
  expect "the package holds exactly what cmake --install installs" diff "$SESSION_TMP/installed.list" "$SESSION_TMP/package.list"

  local size
  for size in 16 22 24 32 48 64 128 256; do
    expect "the package holds a ${size}x$size PNG icon" \
      bash -c "file -b '$ROOT/usr/share/icons/hicolor/${size}x$size/apps/kestrelpoint.png' | grep -q 'PNG image data, $size x $size'"
  done
}

# Every program in the package passes hardening-check: position-independent, stack protector, fortified
# libc calls, full RELRO and immediate binding (and control-flow protection where the C library allows
# the marking); stack clash protection is reported "unknown" by the tool when no function has a frame
# large enough to need probes, which it does not count as a failure. The tool sees fortification only
# in the __*_chk calls it leaves; a program left with none ("only unprotected functions found") passes
# when the build compiled every file with _FORTIFY_SOURCE.
scenario_programs_are_hardened() {
  package_init hardening-check readelf python3
  local -a options=()
  start_files_mark_cet || options+=(--nocfprotection)
  local program found report failing
  while read -r program; do
    [ -n "$program" ] || continue
    found=$(find "$ROOT/usr/bin" "$ROOT/usr/libexec" -type f -name "$program")
    [ -n "$found" ] || session_die "$program is not in the package"
    report=$(hardening-check "${options[@]}" "$found") || true
    sed 's/^/  | /' <<<"$report"
    failing=$(grep -E ': no\b' <<<"$report" | grep -v '(ignored)' || true)
    if [ "$failing" = " Fortify Source functions: no, only unprotected functions found!" ]; then
      expect "$program passes the rest of hardening-check ${options[*]} --nofortify" \
        hardening-check --quiet --nofortify "${options[@]}" "$found"
      expect "it has no fortified call left for the tool to see; the build compiled every file with _FORTIFY_SOURCE" \
        build_is_fortified
    else
      expect "$program passes hardening-check ${options[*]}" hardening-check --quiet "${options[@]}" "$found"
    fi
  done <"$KESTREL_PROGRAMS"
}

# The AppStream metadata validates (appstreamcli, alone and with the package's tree, which checks that
# its launchable names a desktop entry there), and agrees with the package: the binaries it provides are
# the programs in usr/bin, and its release is the package's version dated with the last commit.
scenario_metainfo_validates() {
  package_init appstreamcli python3
  local metainfo=$ROOT/usr/share/metainfo/kestrelpoint.metainfo.xml
  [ -f "$metainfo" ] || session_die "the package has no usr/share/metainfo/kestrelpoint.metainfo.xml"
  # why: the id follows the menu entry's file name, kestrelpoint.desktop, which users' pinned favourites
  # and autostart overrides (~/.config/autostart/kestrelpoint.desktop) name, so it is not a reverse
  # domain name; appstreamcli warns about that and about nothing else.
  local -a validate=(--no-net --override=cid-desktopapp-is-not-rdns=info)
  appstreamcli validate "${validate[@]}" "$metainfo" 2>&1 | sed 's/^/  | /'
  expect "appstreamcli validates the metainfo file" appstreamcli validate "${validate[@]}" "$metainfo"
  expect "and the package's tree (the launchable desktop entry is there)" \
    appstreamcli validate-tree "${validate[@]}" "$ROOT"
  local binaries
  binaries=$(cd "$ROOT/usr/bin" && find . -type f -printf '%f\n' | sort | tr '\n' ' ')
  expect "it provides exactly the programs in usr/bin (${binaries% })" \
    test "$(metainfo_values "$metainfo" 'provides/binary' text | sort | tr '\n' ' ')" = "$binaries"
  expect "its release is the package's version, dated with the last commit" \
    test "$(metainfo_values "$metainfo" releases/release version date)" = "$KESTREL_VERSION $(date -u -d "@$(commit_time)" +%F)"
}

# metainfo_values FILE PATH ATTRIBUTE...: for each element at PATH, its ATTRIBUTEs ("text": its text).
metainfo_values() {
  python3 -c 'import sys, xml.etree.ElementTree as t
for e in t.parse(sys.argv[1]).getroot().findall(sys.argv[2]):
    print(*[e.text if a == "text" else e.get(a) for a in sys.argv[3:]])' "$@"
}

# Two builds of the same tree in different folders give the same .deb, byte for byte: one from the source
# tree in place (its date from the last commit, compiled through ccache when there is one), one from a
# copy of the tree elsewhere, checked out anew (files of other times, no git, so SOURCE_DATE_EPOCH
# gives the commit's date) and compiled without ccache in a build directory of another depth. Every member
# of the package bears the commit's time and so does the changelog.
scenario_builds_are_reproducible() {
  session_init git
  local epoch one=$SESSION_TMP/one copy=$SESSION_TMP/elsewhere/source two=$SESSION_TMP/elsewhere/deeper/build
  epoch=$(commit_time) || session_die "the source tree has no commit"
  mkdir -p "$one" "$copy" "$two"
  tar -C "$KESTREL_SOURCE_DIR" --exclude='./build*' --exclude=./.git -cf - . | tar -C "$copy" -xmf -
  local -a launcher=()
  # why: an empty CCACHE_BASEDIR keeps ccache from rewriting the source paths relative to the build
  # directory, which would change the debug information and so the programs' build IDs.
  command -v ccache >/dev/null && launcher=(CMAKE_CXX_COMPILER_LAUNCHER=ccache CCACHE_BASEDIR=)
  run_package_script one "$KESTREL_SOURCE_DIR" "$one" "${launcher[@]}"
  [ "$PACKAGE_STATUS" -eq 0 ] || { tail -n 30 "$SESSION_TMP/one.out" >&2; session_die "the first build failed"; }
  run_package_script two "$copy" "$two" SOURCE_DATE_EPOCH="$epoch" CCACHE_DISABLE=1
  [ "$PACKAGE_STATUS" -eq 0 ] || { tail -n 30 "$SESSION_TMP/two.out" >&2; session_die "the second build failed"; }
  local first second
  first=$(tail -n 1 "$SESSION_TMP/one.out")
  second=$(tail -n 1 "$SESSION_TMP/two.out")
  cmp "$first" "$second" || explain_difference "$first" "$second"
  expect "the two packages are identical" cmp -s "$first" "$second"
  local stamp
  stamp=$(date -u -d "@$epoch" '+%F %T')
  expect "every member of the package bears the last commit's time ($stamp)" \
    test "$(dpkg-deb --fsys-tarfile "$first" | TZ=UTC tar -tv --full-time | awk '{ print $4, $5 }' | sort -u)" = "$stamp"
  expect "the changelog is dated with the last commit" \
    bash -c "dpkg-deb --fsys-tarfile '$first' | tar -xOf - ./usr/share/doc/kestrelpoint/changelog.gz | zcat | grep -qF '  $(date -u -R -d "@$epoch")'"
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
# launcher; the hot key shows it and "2+3" Return copies 5.0.
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
}

run_scenario "$@"
