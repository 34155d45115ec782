// BayesianCore's scoring: word lookup with the rules for rare and one-sided
// words, the choice of the most telling words, and their combination into a
// score.
#include <algorithm>
#include <cmath>
#include <functional>

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

// Inlined into the scoring loop, where it runs for every word.
[[gnu::always_inline]] inline WordLookup BayesianCore::LookupEntry(const WordEntry* entry) const {
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
  return LookupEntry(store_.Find(WordKey(word)));
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

namespace {

// One message word with what scoring found for it.
struct Candidate {
  std::string_view word;  // refers to the message word map
  const WordKey* key;
  WordLookup lookup;
  double distance;
};

bool InWordOrder(const Candidate* a, const Candidate* b) {
  return *a->key < *b->key;
}

// The selection rule read literally: words in ascending order; while fewer
// than `limit` are chosen, each is taken; after that a word displaces the
// chosen word nearest to 0.5 (the first such on ties, and never one at the
// full distance 0.5) when it is strictly farther from 0.5. Returns the
// chosen words in word order.
std::vector<const Candidate*> SelectInOrder(std::vector<const Candidate*> all,
                                            std::uint32_t limit) {
  std::sort(all.begin(), all.end(), InWordOrder);
  std::vector<const Candidate*> chosen;
  for (const Candidate* candidate : all) {
    if (chosen.size() < limit) {
      chosen.push_back(candidate);
      continue;
    }
    std::size_t nearest = chosen.size();
    double nearest_distance = 0.5;
    for (std::size_t j = 0; j < chosen.size(); ++j) {
      if (chosen[j]->distance < nearest_distance) {
        nearest = j;
        nearest_distance = chosen[j]->distance;
      }
    }
    if (nearest < chosen.size() && candidate->distance > nearest_distance) {
      chosen.erase(chosen.begin() + static_cast<std::ptrdiff_t>(nearest));
      chosen.push_back(candidate);
    }
  }
  return chosen;
}

// The limit-th largest of `distances`, counted with repeats, from one pass:
// a min-heap of the `limit` largest so far, whose least is the answer at
// the end. Once it is full nearly every word is turned away by one
// comparison. False when a distance is NaN (only hand-set tables have one).
bool LimitthLargest(const std::vector<double>& distances, std::uint32_t limit, double* t) {
  std::vector<double> largest;
  largest.reserve(limit);
  for (const double distance : distances) {
    if (std::isnan(distance))
      return false;
    if (largest.size() < limit) {
      largest.push_back(distance);
      std::push_heap(largest.begin(), largest.end(), std::greater<double>());
    } else if (distance > largest.front()) {
      std::pop_heap(largest.begin(), largest.end(), std::greater<double>());
      largest.back() = distance;
      std::push_heap(largest.begin(), largest.end(), std::greater<double>());
    }
  }
  *t = largest.front();
  return true;
}

// The same choice as SelectInOrder without sorting the whole message, given
// t, the limit-th largest distance (below 0.5), and `far`, the words at t or
// beyond. A word nearer to 0.5 than t can enter the selection only to leave
// it again, and never changes what happens to the others (it is always the
// one displaced first), so only the words at t or beyond matter. Of those,
// every word beyond t stays; the first `limit` of them in word order fill
// the selection, after which each word beyond t displaces the earliest word
// at t still chosen and every word at t is left out. So the words at t that
// stay are the last (limit - beyond) of those at t among the first `limit`.
std::vector<const Candidate*> SelectFar(const std::vector<Candidate>& far_words, double t,
                                        std::uint32_t limit) {
  std::vector<const Candidate*> far;
  far.reserve(far_words.size());
  std::size_t beyond = 0;
  for (const Candidate& candidate : far_words) {
    far.push_back(&candidate);
    beyond += candidate.distance > t ? 1 : 0;
  }
  if (far.size() > limit)
    std::nth_element(far.begin(), far.begin() + (limit - 1), far.end(), InWordOrder);
  std::sort(far.begin(), far.begin() + limit, InWordOrder);

  std::vector<const Candidate*> at_t;
  for (std::size_t i = 0; i < limit; ++i) {
    if (far[i]->distance == t)
      at_t.push_back(far[i]);
  }
  const std::size_t stay = limit - beyond;
  std::vector<const Candidate*> chosen(at_t.end() - static_cast<std::ptrdiff_t>(stay), at_t.end());
  for (const Candidate* candidate : far) {
    if (candidate->distance > t)
      chosen.push_back(candidate);
  }
  std::sort(chosen.begin(), chosen.end(), InWordOrder);
  return chosen;
}

}  // namespace

void BayesianCore::SelectInto(const std::vector<WordKey>& keys,
                              const std::vector<std::string_view>* words, std::uint32_t limit,
                              std::vector<SelectedWord>* selected) {
  selected->clear();
  if (limit == 0 || keys.empty())
    return;
  const std::int32_t now = Now();
  const std::size_t count = keys.size();
  const auto word_of = [&](std::size_t i) {
    return words != nullptr ? (*words)[i] : keys[i].word();
  };

  std::vector<const WordEntry*> found(count);
  store_.FindMany(keys.data(), count, found.data());

  // What each word looks up to, and its distance from 0.5; the words that
  // can be chosen are then found from the distances alone, so only those
  // become candidates.
  std::vector<WordLookup> lookups(count);
  std::vector<double> distances(count);
  for (std::size_t i = 0; i < count; ++i) {
    WordLookup lookup = LookupEntry(found[i]);
    if (lookup.found == 0)
      lookup = LookupShorterForms(word_of(i));
    if (TotalCount(lookup) < kMinTotalCount)
      lookup.probability = 0.5f;
    lookups[i] = lookup;
    distances[i] = Distance(lookup.probability);
  }

  double t = 0.5;
  const bool by_distance = count > limit && LimitthLargest(distances, limit, &t) && t < 0.5;
  std::vector<Candidate> candidates;
  for (std::size_t i = 0; i < count; ++i) {
    if (!by_distance || distances[i] >= t)
      candidates.push_back(Candidate{word_of(i), &keys[i], lookups[i], distances[i]});
  }
  std::vector<const Candidate*> chosen;
  if (by_distance) {
    chosen = SelectFar(candidates, t, limit);
  } else {
    std::vector<const Candidate*> all;
    for (const Candidate& candidate : candidates)
      all.push_back(&candidate);
    chosen = SelectInOrder(std::move(all), limit);
  }
  for (const Candidate* candidate : chosen) {
    const WordLookup& lookup = candidate->lookup;
    selected->push_back(SelectedWord{
        candidate->word, WordEntry{lookup.spamCount, lookup.cleanCount, lookup.probability, now}});
  }
}

void BayesianCore::SelectFromMap(const WordTable& messageWords, std::uint32_t limit,
                                 std::vector<SelectedWord>* selected) {
  std::vector<std::string_view> words;
  std::vector<WordKey> keys;
  words.reserve(messageWords.size());
  keys.reserve(messageWords.size());
  messageWords.CollectKeys(&words, &keys);
  SelectInto(keys, &words, limit, selected);
}

void BayesianCore::SelectInteresting(const WordTable& messageWords, WordTable& selection,
                                     std::uint32_t limit) {
  std::lock_guard<std::recursive_mutex> hold(lock_);
  selection.clear();
  std::vector<SelectedWord> selected;
  SelectFromMap(messageWords, limit, &selected);
  for (const SelectedWord& word : selected)
    selection.Insert(word.word, word.entry);
}

std::int32_t BayesianCore::ScoreWords(const WordTable& messageWords,
                                      std::vector<SelectedWord>* selected) {
  std::lock_guard<std::recursive_mutex> hold(lock_);
  SelectFromMap(messageWords, kInterestingCount, selected);
  return CombineProbabilities(*selected);
}

std::int32_t BayesianCore::ScoreWords(const WordCounts& counts,
                                      std::vector<SelectedWord>* selected) {
  std::lock_guard<std::recursive_mutex> hold(lock_);
  SelectInto(counts.keys(), nullptr, kInterestingCount, selected);
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
