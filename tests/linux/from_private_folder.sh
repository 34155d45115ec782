#!/usr/bin/env bash
# Runs a Python test on copies of itself, of the modules beside it that it
# names and of the program it tests, in a folder only its owner may read
# (0700, as a clone under /root is). A test that runs part of itself as
# another user so proves it needs nothing from where the clone lies.
#
#   from_private_folder.sh SCRIPT PROGRAM [MODULE...]
#
# Exits with the test's status (77 for skipped passes through).
set -euo pipefail
script=$1 program=$2
shift 2
folder=$(mktemp -d "${TMPDIR:-/tmp}/varnox-private-XXXXXX")
trap 'rm -rf "$folder"' EXIT
chmod 0700 "$folder"
cp "$script" "$@" "$folder/"
cp "$program" "$folder/"
status=0
python3 "$folder/$(basename "$script")" "$folder/$(basename "$program")" || status=$?
exit $status
