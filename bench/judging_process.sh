#!/usr/bin/env bash
# The default judging path as whole processes, as a mail system runs it:
# `xargs varnox classify` over the even-odd test half of the public corpus
# (in each folder, sorted by name, the messages at odd positions; 3,023),
# each build trained first with `varnox learn` on the even positions, the
# classic judge (the default settings). Builds are timed alternately, run
# after run, so that the machine's drift falls on all alike.
#
#   bash bench/judging_process.sh [RUNS] [VARNOX...]
#
# VARNOX defaults to build/release/linux/varnox; give two to compare, for
# example an older commit built in a worktree of its own. The corpus comes
# from `bash bench/corpus.sh --fetch-only` (or VARNOX_CORPUS). Prints each
# run's wall-clock and processor seconds, and each build's medians. Run it
# alone on a quiet machine (see `uptime`).
set -euo pipefail
cd "$(dirname "$0")/.."

runs=${1:-3}
shift || true
builds=("$@")
[ ${#builds[@]} -gt 0 ] || builds=(build/release/linux/varnox)
data=${VARNOX_CORPUS:-build/corpus/package/data}
[ -d "$data/spam-2" ] ||
  { echo "judging_process: no corpus in $data (bash bench/corpus.sh --fetch-only)" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The messages of one half of the folders, as varnox eval splits them (the
# files by name, not hidden, not the corpus's .json notes): parity 0 the even
# positions (training), 1 the odd ones (judged).
half() {
  local parity=$1
  shift
  for folder in "$@"; do
    find "$data/$folder" -maxdepth 1 -type f -printf '%f\n' | grep -v -e '^\.' -e '\.json$' |
      LC_ALL=C sort | awk -v p="$parity" -v d="$data/$folder" '(NR - 1) % 2 == p { print d "/" $0 }'
  done
}
good=(easy-ham-1 easy-ham-2 hard-ham-1)
spam=(spam-1 spam-2)
half 0 "${spam[@]}" >"$work/train-spam"
half 0 "${good[@]}" >"$work/train-good"
half 1 "${good[@]}" "${spam[@]}" >"$work/judged"
echo "judged: $(wc -l <"$work/judged") messages; load: $(uptime)"

for i in "${!builds[@]}"; do
  v=$(realpath "${builds[$i]}")
  export HOME="$work/home$i" XDG_CONFIG_HOME="$work/home$i/.config" \
    XDG_DATA_HOME="$work/home$i/.local/share"
  mkdir -p "$HOME"
  "$v" init >/dev/null
  xargs -d '\n' "$v" learn --spam <"$work/train-spam" >/dev/null
  xargs -d '\n' "$v" learn --good <"$work/train-good" >/dev/null
  echo "build $i: $v: $("$v" stats | grep -E '^Words' | tr -s ' ')"
done

TIMEFORMAT='%R %U %S'
for run in $(seq 1 "$runs"); do
  for i in "${!builds[@]}"; do
    v=$(realpath "${builds[$i]}")
    export HOME="$work/home$i" XDG_CONFIG_HOME="$work/home$i/.config" \
      XDG_DATA_HOME="$work/home$i/.local/share"
    { time xargs -d '\n' "$v" classify <"$work/judged" >/dev/null 2>&1 || true; } 2>"$work/time"
    read -r real user sys <"$work/time"
    echo "$real $user $sys" >>"$work/times$i"
    printf 'run %d build %d: %s s wall, %s s user, %s s system\n' "$run" "$i" "$real" "$user" "$sys"
  done
done
for i in "${!builds[@]}"; do
  sort -n "$work/times$i" | awk -v b="$i" -v n="$runs" \
    '{ r[NR] = $1 } END { printf "build %d: median %.3f s wall over %d runs\n", b, r[int((n + 1) / 2)], n }'
done
