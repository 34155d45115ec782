#!/usr/bin/env bash
# Refreshes the pictures of the dialogs in docs/dialogs/ from what the dialog
# tests photograph under Wine: builds the Windows dialog test program, runs
# it, and puts each screenshot in place of the picture of the same name (a
# screenshot without one becomes a new picture). The tests must pass first.
# Pictures whose pixels are the same are left alone, and the ones written
# carry no time stamps, so that git shows only real changes.
#
#   bash scripts/refresh-dialog-pictures.sh [PRESET]    (default: windows)
set -euo pipefail
cd "$(dirname "$0")/.."
preset=${1:-windows}

bash scripts/install-deps.sh native windows
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" --target win_dialog_tests
ctest --preset "$preset" -R '^win_dialog_tests$'

shots=build/$preset/screenshots
pictures=docs/dialogs
for shot in "$shots"/*.png; do
  picture=$pictures/$(basename "$shot")
  # compare prints the number of pixels that differ (and fails when they do).
  if [ -e "$picture" ] && [ "$(compare -metric AE "$shot" "$picture" null: 2>&1)" = 0 ]; then
    continue
  fi
  convert "$shot" -strip "$picture"
  echo "refreshed $picture"
done
# Pictures of dialogs the tests no longer photograph are named.
bash tests/win/check-dialog-pictures.sh convert "$shots" "$pictures"
