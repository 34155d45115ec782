// BayesianCore's scoring: word lookup with the rules for rare and one-sided
// words, the choice of the most telling words, and their combination into a
// score.
#include <cmath>

#include "engine/bayesian_core.h"

namespace varnox {
namespace {

// Spam count + clean count, as the unsigned 32-bit value that the tuning
// comparisons use.
std::uint32_t TotalCount(const WordLookup& lookup) {
  return static_cast<std::uint32_t>(static_cast<std::int64_t>(lookup.spamCount) +
                                    lookup.cleanCount);
}

// |p - 0.5| from the 32-bit value, in double precision.
double Distance(float probability) {
  return std::fabs(static_cast<double>(probability) - 0.5);
}

// The products run in single precision and are stored back as floats after
// every step, so that they underflow where a float would: 15 words at 0.0002
// give P = 0 and score 0, 15 at 0.9998 give Q = 0 and score 100.
std::int32_t CombineProbabilities(const std::vector<SelectedWord>& selected) {
  float p_product = 1.0f;
  float q_product = 1.0f;
  for (const SelectedWord& word : selected) {
    float p = word.entry.probability;
    if (!(p > 0.0f))
      p = 0.0001f;
    p_product = p_product * p;
    q_product = q_product * (1.0f - p);
  }
  const float sum = p_product + q_product;
  if (sum == 0.0f)
    return 100;
  const float percent = p_product / sum * 100.0f;
  // Probabilities stay within 0.0001..1, which keeps the percentage in
  // 0..100; the guards only keep a hand-set table from converting an
  // out-of-range float.
  if (!(percent >= 0.0f))
    return 0;
  if (percent >= 100.0f)
    return 100;
  return static_cast<std::int32_t>(percent);
}

}  // namespace

WordLookup BayesianCore::LookupEntry(const WordEntry* entry) const {
  WordLookup lookup;
  if (entry == nullptr)
    return lookup;
  lookup.found = 1;
  lookup.spamCount = entry->spamCount;
  lookup.cleanCount = entry->cleanCount;
  if (static_cast<std::int64_t>(entry->spamCount) + entry->cleanCount == 0) {
    lookup.probability = 0.5f;
    return lookup;
  }
  lookup.probability = probabilitiesStale_ ? ProbabilityFromCounts(*entry) : entry->probability;
  // Only words seen on both sides keep their stored probability.
  if (entry->cleanCount == 0)
    lookup.probability = entry->spamCount <= 10 ? 0.9998f : 0.9999f;
  if (entry->spamCount == 0)
    lookup.probability = entry->cleanCount <= 10 ? 0.0002f : 0.0001f;
  return lookup;
}

WordLookup BayesianCore::LookupWord(std::string_view word) const {
  return LookupEntry(table_.Find(word));
}

// For a word ending in "!" that is not in the table: the forms without one,
// two, ... of its final "!", as long as a form keeps three bytes. Only forms
// seen often enough count; the one farthest from 0.5 wins, the longer on a
// tie.
WordLookup BayesianCore::LookupShorterForms(std::string_view word) const {
  WordLookup best;
  double best_distance = -1.0;
  std::string_view form = word;
  while (form.size() >= kMinWordLength && form.back() == '!') {
    form.remove_suffix(1);
    const WordLookup lookup = LookupWord(form);
    if (lookup.found == 1 && TotalCount(lookup) >= kMinTotalCount &&
        Distance(lookup.probability) > best_distance) {
      best = lookup;
      best_distance = Distance(lookup.probability);
    }
  }
  if (best_distance < 0.0)
    return WordLookup{};  // no form counts: both counts 0
  return best;
}

void BayesianCore::SelectInto(const WordTable& messageWords, std::uint32_t limit,
                              std::vector<SelectedWord>* selected) {
  selected->clear();
  const std::int32_t now = Now();

  std::vector<std::string_view> words;
  std::vector<WordKey> keys;
  words.reserve(messageWords.size());
  keys.reserve(messageWords.size());
  for (const auto [word, entry] : messageWords) {
    words.push_back(word);
    keys.emplace_back(word);
  }
  std::vector<const WordEntry*> found(words.size());
  table_.FindMany(keys.data(), keys.size(), found.data());

  // Words arrive in ascending order and a newcomer must be strictly farther
  // from 0.5 than the entry it displaces, so `selected` stays in word order
  // and among equally telling words the earlier ones stay.
  for (std::size_t i = 0; i < words.size(); ++i) {
    WordLookup lookup = LookupEntry(found[i]);
    if (lookup.found == 0)
      lookup = LookupShorterForms(words[i]);
    if (TotalCount(lookup) < kMinTotalCount)
      lookup.probability = 0.5f;
    const SelectedWord candidate{
        words[i], WordEntry{lookup.spamCount, lookup.cleanCount, lookup.probability, now}};

    if (selected->size() < limit) {
      selected->push_back(candidate);
      continue;
    }
    // The selected entry nearest to 0.5, the first on ties; entries at the
    // full distance 0.5 are never displaced.
    std::size_t nearest = selected->size();
    double nearest_distance = 0.5;
    for (std::size_t j = 0; j < selected->size(); ++j) {
      const double distance = Distance((*selected)[j].entry.probability);
      if (distance < nearest_distance) {
        nearest = j;
        nearest_distance = distance;
      }
    }
    if (nearest < selected->size() && Distance(lookup.probability) > nearest_distance) {
      selected->erase(selected->begin() + static_cast<std::ptrdiff_t>(nearest));
      selected->push_back(candidate);
    }
  }
}

void BayesianCore::SelectInteresting(const WordTable& messageWords, WordTable& selection,
                                     std::uint32_t limit) {
  std::lock_guard<std::recursive_mutex> hold(lock_);
  selection.clear();
  std::vector<SelectedWord> selected;
  SelectInto(messageWords, limit, &selected);
  for (const SelectedWord& word : selected)
    selection.Insert(word.word, word.entry);
}

std::int32_t BayesianCore::ScoreWords(const WordTable& messageWords,
                                      std::vector<SelectedWord>* selected) {
  std::lock_guard<std::recursive_mutex> hold(lock_);
  SelectInto(messageWords, kInterestingCount, selected);
  return CombineProbabilities(*selected);
}

std::int32_t BayesianCore::ScoreWords(const WordTable& messageWords, WordTable& selection,
                                      int* isSpam) {
  std::vector<SelectedWord> selected;
  const std::int32_t score = ScoreWords(messageWords, &selected);
  selection.clear();
  for (const SelectedWord& word : selected)
    selection.Insert(word.word, word.entry);
  if (isSpam != nullptr)
    *isSpam = static_cast<std::uint32_t>(score) > kSpamThreshold ? 1 : 0;
  return score;
}

}  // namespace varnox
