#!/usr/bin/env bash
# The setup program as a user meets it, in a fresh Wine prefix whose user
# profile folder is named PROFILE (Wine names it after $USER):
#
#   setup_test.sh SETUP.exe PROBE.exe WORK_FOLDER PROFILE
#
# Silent install for the current user; its files, settings, data files,
# registration (exact) and Apps entry; the add-in started by its ProgID, a
# lesson taught in one Outlook session and used in the next; an upgrade over used data keeps it
# byte for byte; the silent uninstall leaves no registration and no program
# file but keeps the data, unless /RemoveData is given. Wine's COM reads
# classes of HKLM only, so the start by ProgID is checked after the
# machine-wide install (/AllUsers) in the same prefix.
set -euo pipefail

source "$(dirname "$0")/setup_common.sh"

# --- Install for the current user.
check "setup /S succeeds" run "$setup" /S
for f in Uninstall.exe varnox.ico x64/VarnoxMail.dll x64/VarnoxRegister.exe x64/help.html \
         x64/support.html x86/VarnoxMail.dll x86/VarnoxRegister.exe x86/help.html x86/support.html; do
  check "program file $f" test -s "$local_dir/$f"
done
declare -A files=([WordFilePath]=words.db [IgnoreFilePath]=ignore.txt [BlackListPath]=blacklist.xml
                  [WhiteListPath]=whitelist.xml)
for name in "${!files[@]}"; do
  path=$(value 'HKCU\Software\Varnox MSOutlook' "$name")
  [ -n "$path" ] || { fail "setting $name"; continue; }
  unix=$(winepath -u "$path" 2>/dev/null)
  check "$name names $data/${files[$name]} ($path)" test "$(realpath -m "$unix")" = "$(realpath -m "$data/${files[$name]}")"
done
check "empty ignore file" test -f "$data/ignore.txt" -a ! -s "$data/ignore.txt"
check "empty black list" grep -qx '<BlackList />.' "$data/blacklist.xml"
check "empty white list" grep -qx '<WhiteList />.' "$data/whitelist.xml"

# The registration table, exactly, under the current user's classes.
instdir=$(winepath -w "$local_dir" | sed 's/\\/\\\\/g')
expected="[HKEY_CURRENT_USER\\Software\\Classes\\CLSID\\$clsid]
@=\"VNXAddin Class\"

[HKEY_CURRENT_USER\\Software\\Classes\\CLSID\\$clsid\\InprocServer32]
@=\"$instdir\\\\x64\\\\VarnoxMail.dll\"
\"ThreadingModel\"=\"Apartment\"

[HKEY_CURRENT_USER\\Software\\Classes\\CLSID\\$clsid\\ProgID]
@=\"VarnoxMail.VNXAddin.1\"

[HKEY_CURRENT_USER\\Software\\Classes\\CLSID\\$clsid\\Programmable]

[HKEY_CURRENT_USER\\Software\\Classes\\CLSID\\$clsid\\TypeLib]
@=\"{9AEE4E8A-B0FF-4D99-B681-D6B7EA1DD246}\"

[HKEY_CURRENT_USER\\Software\\Classes\\CLSID\\$clsid\\VersionIndependentProgID]
@=\"VarnoxMail.VNXAddin\"

[HKEY_CURRENT_USER\\Software\\Classes\\VarnoxMail.VNXAddin]
@=\"VNXAddin Class\"

[HKEY_CURRENT_USER\\Software\\Classes\\VarnoxMail.VNXAddin\\CLSID]
@=\"$clsid\"

[HKEY_CURRENT_USER\\Software\\Classes\\VarnoxMail.VNXAddin\\CurVer]
@=\"VarnoxMail.VNXAddin.1\"

[HKEY_CURRENT_USER\\Software\\Classes\\VarnoxMail.VNXAddin.1]
@=\"VNXAddin Class\"

[HKEY_CURRENT_USER\\Software\\Classes\\VarnoxMail.VNXAddin.1\\CLSID]
@=\"$clsid\"

[HKEY_CURRENT_USER\\Software\\Microsoft\\Office\\Outlook\\Addins\\VarnoxMail.VNXAddin]
\"CommandLineSafe\"=dword:00000000
\"Description\"=\"VarnoxMail\"
\"FriendlyName\"=\"VarnoxMail\"
\"LoadBehavior\"=dword:00000003
\"RequireShutdownNotification\"=dword:00000001"
# (reg export lists a key's values in name order.)
registered=$( (export_key "HKCU\\Software\\Classes\\CLSID\\$clsid"
               export_key 'HKCU\Software\Classes\VarnoxMail.VNXAddin'
               export_key 'HKCU\Software\Classes\VarnoxMail.VNXAddin.1'
               export_key 'HKCU\Software\Microsoft\Office\Outlook\Addins\VarnoxMail.VNXAddin') |
             sed -e '/^$/N;/^\n$/D')
if [ "$registered" != "$expected" ]; then
  fail "registration table"
  diff <(echo "$expected") <(echo "$registered") >&2 || true
fi

apps='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Varnox'
check "Apps DisplayName" test "$(value "$apps" DisplayName)" = Varnox
check "Apps DisplayVersion" test "$(value "$apps" DisplayVersion)" = "$VARNOX_VERSION"
check "Apps Publisher" test "$(value "$apps" Publisher)" = Varnox
check "Apps NoModify" test "$(value "$apps" NoModify)" = 0x1
check "Apps NoRepair" test "$(value "$apps" NoRepair)" = 0x1
check "Apps QuietUninstallString" bash -c '[[ "$0" == *'\''Uninstall.exe" /S'\'' ]]' "$(value "$apps" QuietUninstallString)"
check "Apps EstimatedSize" bash -c '[ $(($0)) -gt 0 ]' "$(value "$apps" EstimatedSize)"
check "Apps DisplayIcon" test -n "$(value "$apps" DisplayIcon)"

# --- The add-in starts by its ProgID (machine-wide install, which Wine's
# COM can see); its settings and data stay the user's. A first Outlook
# session teaches a message with Mark Spam and stops, which saves the words
# to the user's words.db; the next session judges with them.
check "setup /S /AllUsers succeeds" run "$setup" /S /AllUsers
check "the add-in starts by its ProgID" probe
empty_words=$( { sha256sum <"$data/words.db"; } 2>/dev/null || true)
check "a first Outlook session: Mark Spam teaches, Outlook stops" probe learn
check "the lesson is saved in $data/words.db" \
  test -s "$data/words.db" -a "$(sha256sum <"$data/words.db")" != "$empty_words"
check "with its image beside it" test -s "$data/words.db.image"
check "the next Outlook session judges with the saved lesson" probe judge

# --- Upgrade over used data: words, lists and settings byte for byte.
printf 'used words\n' >"$data/words.db"
printf 'cash\nprize\n' >"$data/ignore.txt"
printf '<BlackList>\n<Address>a@spam.example</Address>\n</BlackList>\n' >"$data/blacklist.xml"
wine reg add 'HKCU\Software\Varnox MSOutlook' /v BeepAtSpam /t REG_DWORD /d 1 /f >/dev/null 2>&1
wine reg add 'HKCU\Software\Varnox MSOutlook' /v WhiteListPath /d 'C:\elsewhere\white.xml' /f >/dev/null 2>&1
before=$( (cd "$data" && sha256sum ./*; export_key 'HKCU\Software\Varnox MSOutlook') )
check "setup /S over a used install" run "$setup" /S
after=$( (cd "$data" && sha256sum ./*; export_key 'HKCU\Software\Varnox MSOutlook') )
check "an upgrade keeps words, lists and settings" test "$before" = "$after"

# --- Uninstall: no registration, no program file; the data stays.
check "Uninstall.exe /S succeeds" run "$local_dir/Uninstall.exe" /S
check "no program folder" test ! -e "$local_dir"
check "no class" test -z "$(export_key "HKCU\\Software\\Classes\\CLSID\\$clsid")"
check "no ProgID" test -z "$(export_key 'HKCU\Software\Classes\VarnoxMail.VNXAddin')"
check "no Outlook add-in key" test -z "$(export_key 'HKCU\Software\Microsoft\Office\Outlook\Addins\VarnoxMail.VNXAddin')"
check "no Apps entry" test -z "$(export_key "$apps")"
kept=$( (cd "$data" && sha256sum ./*; export_key 'HKCU\Software\Varnox MSOutlook') )
check "uninstalling keeps the data and settings" test "$before" = "$kept"

# --- With "remove my data", the data and settings go too.
check "setup /S again" run "$setup" /S
check "Uninstall.exe /S /RemoveData succeeds" run "$local_dir/Uninstall.exe" /S /RemoveData
for f in words.db words.db.image ignore.txt blacklist.xml whitelist.xml; do
  check "$f removed" test ! -e "$data/$f"
done
check "the data folder removed" test ! -e "$data"
check "settings removed" test -z "$(export_key 'HKCU\Software\Varnox MSOutlook')"
check "no program folder after the second uninstall" test ! -e "$local_dir"

report
