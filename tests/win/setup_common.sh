# What the setup tests share (sourced by setup_test.sh and
# setup_by_hand_test.sh, which take the same arguments):
#
#   SCRIPT SETUP.exe PROBE.exe WORK_FOLDER PROFILE
#
# makes a fresh Wine prefix in WORK_FOLDER whose user profile folder is named
# PROFILE (Wine names it after $USER), and gives the helpers below and
# $home, $local_dir (the per-user program folder) and $data (the user's data
# folder).
setup=$1 probe=$2 work=$3 profile=$4
clsid='{A76A29A2-98E5-4EEB-9B7C-FE8F35AF0FF9}'
export WINEPREFIX=$work/prefix WINEDEBUG=-all USER=$profile
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d"
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
check() { local what=$1; shift; "$@" || fail "$what"; }
# Runs a Windows program and waits for everything it started (an NSIS
# uninstaller runs on from a copy of itself).
run() { local status=0; wine "$@" </dev/null >/dev/null 2>&1 || status=$?; wineserver -w; return $status; }
# Runs setup_probe with these arguments; what it says goes to the test's
# output when it fails. Only the probe is waited for: other Windows programs
# may be running.
step() {
  local status=0
  wine "$probe" "$@" </dev/null >"$work/probe.out" 2>&1 || status=$?
  [ $status -eq 0 ] || sed 's/^/  setup_probe: /' "$work/probe.out" >&2
  return $status
}
# The same, then waits for every Windows program to end.
probe() { local status=0; step "$@" || status=$?; wineserver -w; return $status; }
# A registry key exported as UTF-8 text without its header ("" when absent).
export_key() {
  local file
  file=$(mktemp)
  if wine reg export "$1" "$(winepath -w "$file")" /y >/dev/null 2>&1; then
    iconv -f UTF-16 -t UTF-8 "$file" | tr -d '\r' | sed 1,2d
  fi
  rm -f "$file"
}
# One value as text: a string as written (every character kept), a DWORD as
# 0x... (reg query's form).
value() {
  local text
  text=$(export_key "$1" | sed -n "s/^\"$2\"=\"\(.*\)\"\$/\1/p" | sed 's/\\\\/\\/g; s/\\"/"/g')
  if [ -z "$text" ]; then
    text=$(wine reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' | sed -n "s/^ *$2 *REG_DWORD *//p")
  fi
  printf '%s' "$text"
}

# A prefix holds about 1.3 GB of Wine's own files: it goes when the test
# ends, passed or failed, so that a run of every setup test fits a small disk
# (VARNOX_KEEP_PREFIX=1 keeps it for a look after a failure).
remove_prefix() {
  wineserver -k 2>/dev/null || true
  [ -n "${VARNOX_KEEP_PREFIX:-}" ] || rm -rf "$WINEPREFIX"
}
trap remove_prefix EXIT

# The test's verdict, after Wine's processes have ended.
report() {
  wineserver -k 2>/dev/null || true
  [ "$failures" -eq 0 ] || { echo "$failures check(s) failed" >&2; exit 1; }
  echo "$(basename "$0"): all checks passed for profile '$profile'"
}

# A fresh prefix, made without a display; its server is let end, so that
# the next one starts on the test's display, if any (Wine's desktop belongs
# to its server).
rm -rf "$work"
mkdir -p "$work"
DISPLAY= wineboot --init >/dev/null 2>&1
wineserver -w
home=$WINEPREFIX/drive_c/users/$profile
local_dir=$home/AppData/Local/Programs/Varnox
data=$home/AppData/Roaming/Varnox
[ -d "$home" ] || { echo "Wine made no profile folder $home" >&2; exit 1; }
