#!/usr/bin/env bash
# A word database of 2,000,000 words under the real `varnox` command: start
# and judge one message (varnox classify), start, learn and save (varnox
# learn), each timed with its peak memory (/usr/bin/time). Not part of CI;
# run alone on a quiet machine, after `cmake --build --preset release`:
#
#   tests/load/big_database.sh [WORDS] [RUNS]
#
# Prints one line per step and run: wall seconds and peak resident memory.
set -euo pipefail
cd "$(dirname "$0")/../.."

words=${1:-2000000}
runs=${2:-3}
varnox=build/release/linux/varnox
[ -x "$varnox" ] || { echo "big_database: build the release preset first" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "big_database: needs /usr/bin/time (Debian package time)" >&2; exit 1; }

home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
export HOME="$home" XDG_CONFIG_HOME="$home/.config" XDG_DATA_HOME="$home/.local/share"
"$varnox" init >/dev/null
db="$XDG_DATA_HOME/varnox/words.db"

# The file as the system writes it (words of 6 to 14 bytes).
python3 tests/load/make_database.py "$db" "$words"
echo "database: $words words, $(stat -c %s "$db") bytes"

message="$home/message.eml"
{
  printf 'Received: by mx.example\nFrom: Ann <ann@example.org>\nSubject: Quarterly offer\n\n'
  for i in $(seq 1 200); do printf 'w%dx the budget meeting offer w%dxq cheap pills %d\n' $((i * 977)) $((i * 31)) "$i"; done
} >"$message"

measure() {  # label, command...
  local label=$1
  shift
  /usr/bin/time -f "%e %M" -o "$home/time" "$@" >/dev/null
  read -r seconds kilobytes <"$home/time"
  awk -v l="$label" -v s="$seconds" -v k="$kilobytes" 'BEGIN { printf "%-28s %8.2f s  %8.1f MiB peak\n", l, s, k / 1024 }'
}

for run in $(seq 1 "$runs"); do
  measure "start + judge (classify)" "$varnox" classify "$message"
  measure "start + learn + save" "$varnox" learn --spam "$message"
done
echo "after the runs: $(stat -c %s "$db") bytes"
