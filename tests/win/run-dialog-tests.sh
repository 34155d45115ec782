#!/usr/bin/env bash
# Runs the dialog test program under Wine on a virtual display of its own
# (24-bit, large enough for every dialog), then turns the screenshots it took
# into PNG files beside it.
#
#   run-dialog-tests.sh WINE_RUN WINE_PREFIX CONVERT SCREENSHOT_DIR PROGRAM [ARGS...]
set -euo pipefail
wine_run=$1 prefix=$2 convert=$3 shots=$4
shift 4

rm -rf "$shots"
mkdir -p "$shots"
# Wine's desktop belongs to its server: one left running by a program without
# a display could not draw, so wait for it to end first.
WINEPREFIX=$prefix wineserver -w || true
# There is no window manager on the virtual display: Wine then draws the
# windows' frames and captions itself, as the screenshots need.
"$wine_run" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null
# This Wine takes fonts from the prefix's Fonts folder only: Wine's own
# (Debian fonts-wine: MS Sans Serif, Marlett for the caption buttons) go
# there, so that the dialogs are drawn with the fonts they were made for.
if [ -d /usr/share/wine/fonts ]; then
  cp -n /usr/share/wine/fonts/* "$prefix/drive_c/windows/Fonts/"
fi
status=0
xvfb-run -a -s "-screen 0 1280x1024x24" \
  env WINEPREFIX="$prefix" bash -c '"$0" "$@"; status=$?; wineserver -w; exit $status' \
  "$wine_run" "$@" || status=$?

for bmp in "$shots"/*.bmp; do
  [ -e "$bmp" ] || continue
  "$convert" "$bmp" "${bmp%.bmp}.png" && rm -f "$bmp"
done
exit $status
