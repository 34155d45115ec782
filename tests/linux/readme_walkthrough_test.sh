#!/usr/bin/env bash
# Runs README.md's walk-through as a user types it, from a fresh home folder:
# each "sh" block of the section is typed as it stands (the second terminal's
# in one shell, so that `v` keeps its value), a block that is only
# `bash scripts/run.sh` starts the filter in "the first terminal", the text
# between two blocks that says Ctrl-C stops it, and every line of a block
# without a language must then be printed by the filter or the commands.
#
# Usage: readme_walkthrough_test.sh SOURCE_DIR VARNOX
#
# The one stand-in: the clone is a folder holding scripts/run.sh as the
# repository has it but for its two set-up steps (installing packages and
# building), and build/release/linux/varnox is a link to VARNOX, the program
# the test suite built. Everything after the build in run.sh runs as it is.
set -euo pipefail

src=$(cd "$1" && pwd)
varnox=$(realpath "$2")
work=$(mktemp -d)
filter_pid=

cleanup() {
  if [ -n "$filter_pid" ]; then
    kill -INT "$filter_pid" 2>/dev/null || true
    wait "$filter_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "readme walk-through: $*" >&2
  echo "--- the filter printed:" >&2
  cat "$work/filter.out" >&2 || true
  echo "--- the commands printed:" >&2
  cat "$work/commands.out" >&2 || true
  exit 1
}

export HOME=$work/home
mkdir -p "$HOME"
unset XDG_CONFIG_HOME XDG_DATA_HOME MAILDIR
clone=$work/clone
mkdir -p "$clone/scripts" "$clone/build/release/linux"
ln -s "$varnox" "$clone/build/release/linux/varnox"
grep -v -e 'scripts/install-deps.sh' -e '^cmake ' "$src/scripts/run.sh" >"$clone/scripts/run.sh"
grep -q 'exec "$varnox" watch' "$clone/scripts/run.sh" || fail "scripts/run.sh no longer ends in watch"
: >"$work/filter.out"
: >"$work/commands.out"

# The section, split into blocks: blocks/N.sh (typed), blocks/N.out
# (printed), blocks/N.text (the prose before block N).
mkdir "$work/blocks"
awk -v dir="$work/blocks" '
  /^### A walk-through/ { inside = 1; n = 1; next }
  inside && /^## / { exit }
  !inside { next }
  /^```/ {
    if (kind == "") { kind = ($0 == "```sh") ? "sh" : "out"; next }
    kind = ""; n++; next
  }
  kind != "" { print > (dir "/" n "." kind); next }
  { print > (dir "/" n ".text") }
' "$src/README.md"
blocks=$(ls "$work/blocks" | sed -n 's/^\([0-9]*\)\.\(sh\|out\)$/\1/p' | sort -n)
[ -n "$blocks" ] || fail "README.md has no walk-through"

stop_filter() {
  [ -n "$filter_pid" ] || fail "Ctrl-C, but no filter runs"
  kill -INT "$filter_pid"
  wait "$filter_pid" || fail "the filter stopped with status $?"
  filter_pid=
}

start_filter() {
  [ -z "$filter_pid" ] || fail "the filter is started twice"
  (cd "$clone" && exec bash scripts/run.sh) >>"$work/filter.out" 2>&1 &
  filter_pid=$!
  local mark
  mark=$(grep -c 'Ctrl-C stops.' "$work/filter.out" || true)
  for _ in $(seq 600); do
    [ "$(grep -c 'Ctrl-C stops.' "$work/filter.out" || true)" -gt "$mark" ] && return
    kill -0 "$filter_pid" 2>/dev/null || fail "the filter did not start"
    sleep 0.1
  done
  fail "the filter did not start watching"
}

expect_printed() {
  local line
  while IFS= read -r line; do
    for _ in $(seq 600); do
      grep -qxF -- "$line" "$work/filter.out" "$work/commands.out" && continue 2
      sleep 0.1
    done
    fail "not printed: $line"
  done <"$1"
}

block_seconds=60
cd "$clone"
for n in $blocks; do
  if [ -f "$work/blocks/$n.text" ] && grep -q 'Ctrl-C' "$work/blocks/$n.text"; then
    stop_filter
  fi
  if [ -f "$work/blocks/$n.sh" ]; then
    if [ "$(cat "$work/blocks/$n.sh")" = "bash scripts/run.sh" ]; then
      start_filter
    else
      # A block that never ends (a filter started in the second terminal)
      # is stopped, with everything this script started, and fails.
      bash -c "sleep $block_seconds && exec pkill -TERM -P $$" &
      watchdog=$!
      status=0
      eval "$(cat "$work/blocks/$n.sh")" >>"$work/commands.out" 2>&1 || status=$?
      kill "$watchdog" 2>/dev/null ||
        fail "block $n did not end within $block_seconds seconds: $(cat "$work/blocks/$n.sh")"
      [ "$status" -eq 0 ] || fail "block $n failed ($status): $(cat "$work/blocks/$n.sh")"
    fi
  else
    expect_printed "$work/blocks/$n.out"
  fi
done
stop_filter

# What the prose says after the last block.
spam=$(ls "$HOME/Maildir/.SpamFilter/new" | wc -l)
[ "$spam" -eq 5 ] || fail "$spam messages in SpamFilter, not five"
grep -q '^X-VNX-RESULT:NotSpam$' "$HOME/Maildir/new/1.test" || fail "Lunch is not stamped NotSpam"
echo "readme walk-through: passed ($(echo "$blocks" | wc -l) blocks)"
