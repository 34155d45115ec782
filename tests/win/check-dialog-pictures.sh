#!/usr/bin/env bash
# The README's pictures of the dialogs still show the dialogs as they are:
# each picture in PICTURES_DIR has the size of the screenshot of the same
# name that the dialog tests took, and has one.
#
#   check-dialog-pictures.sh CONVERT SCREENSHOT_DIR PICTURES_DIR
set -euo pipefail
convert=$1 shots=$2 pictures=$3
size() { "$convert" "$1" -format '%wx%h' info:; }
status=0
for picture in "$pictures"/*.png; do
  shot=$shots/$(basename "$picture")
  if [ ! -e "$shot" ]; then
    echo "$picture: the dialog tests took no such screenshot" >&2
    status=1
  elif [ "$(size "$picture")" != "$(size "$shot")" ]; then
    echo "$picture is $(size "$picture"), the dialog now $(size "$shot")" >&2
    status=1
  fi
done
[ $status -eq 0 ] || echo "bash scripts/refresh-dialog-pictures.sh refreshes the pictures" >&2
exit $status
