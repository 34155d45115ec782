#!/usr/bin/env bash
# One `varnox` process at a time over a big word database, as a delivery
# agent starts it for every message: `varnox classify --stamp` of a 4 KB
# message and `varnox stats`, each as a whole process (start, settings,
# opening the database, judging, output), with a database of WORDS words
# saved by `varnox learn` (so with its image, where the build makes one).
#
#   bash bench/lone_command.sh [WORDS] [RUNS] [VARNOX...]
#
# WORDS defaults to 1,000,000, RUNS to 20, VARNOX to build/release/linux/
# varnox; builds are timed alternately. Prints, per build and command, the
# median and the fastest wall-clock time of the RUNS processes and the peak
# resident memory of one (/usr/bin/time, Debian package time). Run it alone
# on a quiet machine (see `uptime`).
set -euo pipefail
cd "$(dirname "$0")/.."

words=${1:-1000000}
runs=${2:-20}
shift 2 || shift $# || true
builds=("$@")
[ ${#builds[@]} -gt 0 ] || builds=(build/release/linux/varnox)
[ -x /usr/bin/time ] || { echo "lone_command: needs /usr/bin/time (Debian package time)" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The database as the system writes it (words of 6 to 14 bytes).
python3 tests/load/make_database.py "$work/words.db" "$words"

# A 4 KB message of common words and words of the database.
python3 - "$work/message.eml" "$words" <<'PY'
import random, sys
random.seed(4)
common = ("the budget meeting offer cheap pills quarterly report shall we meet noon please "
          "find attached invoice payment account review project schedule team update").split()
text = ("Received: by mx.example\nFrom: Ann <ann@example.org>\nTo: bob@example.org\n"
        "Subject: Quarterly offer\nDate: Mon, 1 Dec 2025 10:00:00 +0000\n"
        "Message-ID: <1@example.org>\n\n")
body = ""
while len(text) + len(body) < 4096:
    word = random.choice(common) if random.random() < 0.6 else "w%dx" % random.randrange(int(sys.argv[2]))
    body += word + (" " if random.random() < 0.9 else "\n")
open(sys.argv[1], "w").write(text + body[:4096 - len(text)])
PY

for i in "${!builds[@]}"; do
  home="$work/home$i"
  mkdir -p "$home"
  HOME=$home XDG_CONFIG_HOME=$home/.config XDG_DATA_HOME=$home/.local/share \
    "${builds[$i]}" init >/dev/null
  cp "$work/words.db" "$home/.local/share/varnox/words.db"
  # A save, as any lesson makes one: the file (and its image) as written.
  HOME=$home XDG_CONFIG_HOME=$home/.config XDG_DATA_HOME=$home/.local/share \
    "${builds[$i]}" learn --good "$work/message.eml" >/dev/null
done
echo "database: $words words, $(stat -c %s "$work/home0/.local/share/varnox/words.db") bytes;" \
  "message: $(stat -c %s "$work/message.eml") bytes; load: $(uptime)"

one() {  # build index, command...: the wall-clock milliseconds of one process
  local i=$1 start end
  shift
  local home="$work/home$i"
  start=$EPOCHREALTIME
  HOME=$home XDG_CONFIG_HOME=$home/.config XDG_DATA_HOME=$home/.local/share \
    "${builds[$i]}" "$@" <"$work/message.eml" >/dev/null
  end=$EPOCHREALTIME
  awk -v s="$start" -v e="$end" 'BEGIN { printf "%.2f\n", (e - s) * 1000 }'
}

for command in "classify --stamp" "stats"; do
  for run in $(seq 1 "$runs"); do
    for i in "${!builds[@]}"; do
      # shellcheck disable=SC2086
      one "$i" $command >>"$work/ms-$i-${command%% *}"
    done
  done
  for i in "${!builds[@]}"; do
    home="$work/home$i"
    # shellcheck disable=SC2086
    HOME=$home XDG_CONFIG_HOME=$home/.config XDG_DATA_HOME=$home/.local/share \
      /usr/bin/time -f "%M" -o "$work/rss" "${builds[$i]}" $command <"$work/message.eml" >/dev/null
    sort -n "$work/ms-$i-${command%% *}" | awk -v b="$i" -v c="$command" -v k="$(cat "$work/rss")" \
      '{ t[NR] = $1 } END { printf "build %d, %s: median %.1f ms, fastest %.1f ms over %d processes; peak %.1f MiB\n",
                              b, c, t[int((NR + 1) / 2)], t[1], NR, k / 1024 }'
  done
done
