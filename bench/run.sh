#!/usr/bin/env bash
# Builds the release preset and runs every micro-benchmark, one program after
# the other. Arguments go to each program, for example
#   bash bench/run.sh --benchmark_repetitions=3
# Run it alone on a quiet machine. corpus_bench needs the corpus
# (bash bench/corpus.sh --fetch-only) and says so when it is missing.
set -euo pipefail
cd "$(dirname "$0")/.."

benches=(engine_bench mime_reader_bench corpus_bench process_new_item_bench)
cmake --preset release >/dev/null
cmake --build --preset release --target "${benches[@]}" >/dev/null
echo "load: $(uptime)"
for bench in "${benches[@]}"; do
  echo
  echo "== $bench"
  "build/release/bench/$bench" "$@"
done
