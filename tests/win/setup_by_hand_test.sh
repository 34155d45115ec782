#!/usr/bin/env bash
# The setup program started by hand, and with Outlook running, in a fresh
# Wine prefix whose user profile folder is named PROFILE, on a display of its
# own (run it under xvfb-run):
#
#   setup_by_hand_test.sh SETUP.exe PROBE.exe WORK_FOLDER PROFILE
#
# The pages are read and worked by setup_probe from outside, by window
# messages, as a user's clicks would. The welcome page says what is
# installed, where and for whom, with Install and Cancel; Cancel leaves
# nothing installed. Outlook running is the stand-in Outlook in a copy of
# setup_probe named OUTLOOK.EXE, with the installed add-in loaded: Install
# then asks the user to close it; Cancel there installs nothing; Retry once
# Outlook is closed installs. Silent, the setup and the uninstaller end with
# status 32 and change nothing while Outlook runs.
set -euo pipefail

source "$(dirname "$0")/setup_common.sh"

outlook_exe=$work/OUTLOOK.EXE
cp "$probe" "$outlook_exe"
outlook_pid= setup_pid=

start_outlook() {
  wine "$outlook_exe" outlook </dev/null >"$work/outlook.out" 2>&1 &
  outlook_pid=$!
  check "Outlook starts" step outlook-up
}
close_outlook() {
  check "Outlook is closed" step close-outlook
  local status=0
  wait "$outlook_pid" || status=$?
  [ $status -eq 0 ] || fail "Outlook ended with status $status: $(cat "$work/outlook.out")"
  outlook_pid=
}
start_setup() {
  wine "$setup" "$@" </dev/null >/dev/null 2>&1 &
  setup_pid=$!
}
# The setup started last ends with status $1.
setup_ends_with() {
  local status=0
  wait "$setup_pid" || status=$?
  setup_pid=
  check "the setup ends with status $1 (not $status)" test "$status" -eq "$1"
}
# Runs a Windows program to its end and checks its status, without waiting
# for Wine's server (Outlook may be running).
ends_with() {
  local expected=$1 status=0
  shift
  wine "$@" </dev/null >/dev/null 2>&1 || status=$?
  check "$(basename "$1") ${*:2} ends with status $expected (not $status)" test "$status" -eq "$expected"
}
nothing_installed() {
  check "$1: no program folder" test ! -e "$local_dir"
  check "$1: no data folder" test ! -e "$data"
  check "$1: no settings" test -z "$(export_key 'HKCU\Software\Varnox MSOutlook')"
  check "$1: no class" test -z "$(export_key "HKCU\\Software\\Classes\\CLSID\\$clsid")"
  check "$1: no Apps entry" \
    test -z "$(export_key 'HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Varnox')"
}
# Each program file with the time of its last change, which replacing it
# moves even when the bytes stay the same.
program_files() { (cd "$local_dir" && find . -type f -exec stat -c '%n %Z' {} + | sort); }
cleanup() {
  [ -z "$setup_pid" ] || kill "$setup_pid" 2>/dev/null || true
  [ -z "$outlook_pid" ] || kill "$outlook_pid" 2>/dev/null || true
  remove_prefix
}
trap cleanup EXIT

# --- By hand: the welcome page first; Cancel installs nothing.
start_setup
check "the welcome page" step welcome
check "Cancel" step click cancel
check "asked whether to quit: Yes" step answer "Are you sure you want to quit" yes
setup_ends_with 1
nothing_installed "after Cancel on the welcome page"

# --- Outlook running: Install asks to close it; Cancel there returns to the
# welcome page, and quitting installs nothing. Silent, the setup fails.
start_outlook
start_setup
check "the welcome page with Outlook running" step welcome
check "Install" step click install
check "asked to close Outlook: Cancel" step answer "Outlook is running. Please close Outlook" cancel
check "back on the welcome page" step welcome
check "Cancel" step click cancel
check "asked whether to quit: Yes" step answer "Are you sure you want to quit" yes
setup_ends_with 1
nothing_installed "after Cancel with Outlook running"
ends_with 32 "$setup" /S
nothing_installed "after /S with Outlook running"
close_outlook

# --- An upgrade while Outlook holds the installed add-in: silent, the
# setup and the uninstaller leave every file as it is; by hand, Retry
# while Outlook runs asks again, and once Outlook is closed the files are
# replaced.
check "setup /S" run "$setup" /S
start_outlook
before=$(program_files)
ends_with 32 "$setup" /S
# _?= runs the uninstaller in place, so that its status is its own; the
# folder comes last and unquoted, so without spaces: its short name.
ends_with 32 "$local_dir/Uninstall.exe" /S "_?=$(winepath -s "$(winepath -w "$local_dir")")"
check "nothing replaced or removed while Outlook runs" test "$before" = "$(program_files)"
start_setup
check "the welcome page over an installed Varnox" step welcome
check "Install" step click install
check "asked to close Outlook: Retry while it runs" step answer "Outlook is running" retry
close_outlook
check "asked again: Retry once it is closed" step answer "Outlook is running" retry
check "the Finish page" step finish
setup_ends_with 0
after=$(program_files)
check "the program files are replaced" test "$before" != "$after"
check "the same program files" test "$(cut -d' ' -f1 <<<"$before")" = "$(cut -d' ' -f1 <<<"$after")"

report
