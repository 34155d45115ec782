#!/usr/bin/env bash
# Builds the libFuzzer targets (the `fuzz` preset) and runs each one for a
# while, two at a time, with its seed corpus from tests/fuzz/corpus/.
#
#   scripts/fuzz.sh [SECONDS] [TARGET...]
#
# SECONDS defaults to 30 (the CI run); the long runs use 600. What a run finds
# goes to build/fuzz/corpus/<target>/ (the corpus grows there, never in the
# source tree), crashes to build/fuzz/artifacts/, logs to build/fuzz/logs/.
# Prints one line per target: runs, exec/s, coverage (cov, ft). Fails when any
# target failed.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-30}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(tokenizer_fuzz word_database_fuzz ignore_list_fuzz
  pipeline_fuzz sender_list_fuzz settings_file_fuzz mime_reader_fuzz maildir_message_fuzz
  imap_client_fuzz word_image_fuzz)

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

out=build/fuzz
mkdir -p "$out/logs" "$out/artifacts"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"

run_one() {
  local target=$1
  mkdir -p "$out/corpus/$target"
  "$out/tests/fuzz/$target" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=20 \
    -print_final_stats=1 -artifact_prefix="$out/artifacts/$target-" \
    "$out/corpus/$target" "tests/fuzz/corpus/$target" >"$out/logs/$target.log" 2>&1
}

# Two at a time: the machine has two cores.
failed=()
for ((i = 0; i < ${#targets[@]}; i += 2)); do
  pids=()
  for target in "${targets[@]:i:2}"; do
    run_one "$target" &
    pids+=("$!:$target")
  done
  for entry in "${pids[@]}"; do
    wait "${entry%%:*}" || failed+=("${entry#*:}")
  done
done

printf '%-22s %10s %8s %7s %7s\n' target runs exec/s cov ft
for target in "${targets[@]}"; do
  log="$out/logs/$target.log"
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | cut -d' ' -f2)
  ft=$(grep -o 'ft: [0-9]*' "$log" | tail -1 | cut -d' ' -f2)
  printf '%-22s %10s %8s %7s %7s\n' "$target" "${runs:-?}" "${speed:-?}" "${cov:-?}" "${ft:-?}"
done
if [ ${#failed[@]} -gt 0 ]; then
  for target in "${failed[@]}"; do
    echo "fuzz: $target failed; see $out/logs/$target.log" >&2
    grep -E 'invariant broken|ERROR:|SUMMARY:' "$out/logs/$target.log" | head -5 >&2 || true
  done
  echo "fuzz: $((${#targets[@]} - ${#failed[@]})) passed, ${#failed[@]} failed"
  exit 1
fi
echo "fuzz: ${#targets[@]} passed, 0 failed"
