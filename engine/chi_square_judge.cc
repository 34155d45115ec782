#include "engine/chi_square_judge.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <utility>

#include "engine/aging.h"

namespace varnox {
namespace {

// log(e^a + e^b) without overflow.
double LogAdd(double a, double b) {
  if (a < b)
    std::swap(a, b);
  return a + std::log1p(std::exp(b - a));
}

// Probability that a chi-square variable with 2k degrees of freedom exceeds
// x2: e^-m (1 + m + m^2/2! + ... + m^(k-1)/(k-1)!), m = x2 / 2. The terms
// e^-m m^i / i! are summed directly while e^-m is a normal double (the
// whole series adds up to 1, so no term overflows); beyond, in logarithms,
// so that neither a large m nor a large k loses the result.
double ChiSquareQ(double x2, std::size_t k) {
  const double m = x2 / 2.0;
  if (!(m > 0.0))
    return 1.0;
  if (m < 700.0) {
    double term = std::exp(-m);
    double sum = term;
    for (std::size_t i = 1; i < k; ++i) {
      term *= m / static_cast<double>(i);
      sum += term;
    }
    return std::min(1.0, sum);
  }
  const double log_m = std::log(m);
  double log_sum = -m;
  double log_term = -m;
  for (std::size_t i = 1; i < k; ++i) {
    log_term += log_m - std::log(static_cast<double>(i));
    log_sum = LogAdd(log_sum, log_term);
  }
  return std::min(1.0, std::exp(log_sum));
}

// Leaves in `kept` the `limit` farthest candidates, equally far ones in
// token order (by `token_at` of their positions), in no particular order.
template <class Candidate, class TokenAt>
void KeepFarthest(std::vector<Candidate>& kept, std::size_t limit, const TokenAt& token_at) {
  if (kept.size() <= limit)
    return;
  if (limit == 0) {
    kept.clear();
    return;
  }
  const auto nth = kept.begin() + static_cast<std::ptrdiff_t>(limit - 1);
  std::nth_element(kept.begin(), nth, kept.end(),
                   [](const Candidate& a, const Candidate& b) { return a.distance > b.distance; });
  const double t = nth->distance;
  const auto beyond =
      std::partition(kept.begin(), kept.end(), [t](const Candidate& c) { return c.distance > t; });
  const auto at_t =
      std::partition(beyond, kept.end(), [t](const Candidate& c) { return c.distance == t; });
  const auto taken_at_t = beyond + static_cast<std::ptrdiff_t>(limit) - (beyond - kept.begin());
  std::partial_sort(beyond, taken_at_t, at_t, [&](const Candidate& a, const Candidate& b) {
    return token_at(a.position) < token_at(b.position);
  });
  kept.resize(limit);
}

}  // namespace

double ChiSquareJudge::Combine(std::span<const double> probabilities) {
  if (probabilities.empty())
    return 0.5;
  double log_spam = 0;
  double log_good = 0;
  for (double f : probabilities) {
    log_spam += std::log(f);
    log_good += std::log(1.0 - f);
  }
  const std::size_t k = probabilities.size();
  const double spam = 1.0 - ChiSquareQ(-2.0 * log_good, k);
  const double good = 1.0 - ChiSquareQ(-2.0 * log_spam, k);
  return std::clamp((1.0 + spam - good) / 2.0, 0.0, 1.0);
}

std::int32_t ChiSquareJudge::ScoreOf(double indicator, const ChiSquareParameters& parameters) {
  const double cutoff = parameters.cutoff;
  // Each part of the scale: `low` scores `from`, `high` scores `to`.
  const auto linear = [&](double low, double high, double from, double to) {
    const double share = high > low ? (indicator - low) / (high - low) : 1.0;
    // Written so that a NaN indicator scores `from`.
    return static_cast<std::int32_t>(from + (share > 0 ? std::min(share, 1.0) : 0.0) * (to - from));
  };
  if (!(indicator > cutoff)) {
    if (!(indicator > 0.5) || !(cutoff > 0.5))
      return linear(0.0, std::min(cutoff, 0.5), 0, cutoff > 0.5 ? 50 : 90);
    return linear(0.5, cutoff, 50, 90);
  }
  // Above the cutoff the indicator crowds against 1: the score follows the
  // order of magnitude of the doubt left.
  const double doubt = 1.0 - indicator;
  const double doubt_at_cutoff = 1.0 - cutoff;
  if (!(doubt > parameters.sureDoubt))
    return 100;
  const double share =
      std::log(doubt_at_cutoff / doubt) / std::log(doubt_at_cutoff / parameters.sureDoubt);
  return 91 + static_cast<std::int32_t>(std::clamp(share * 9.0, 0.0, 8.0));
}

ChiSquareVerdict ChiSquareJudge::Weigh(std::span<const WordKey> words,
                                       std::span<const WordKey> mail,
                                       const ChiSquareParameters& parameters) const {
  std::lock_guard<std::recursive_mutex> hold(lock_);
  const MessageCounts& messages = store_.messages();
  const auto token_at = [&](std::uint32_t position) {
    return position < words.size() ? words[position].word() : mail[position - words.size()].word();
  };
  // The farthest from 0.5 first; equally far ones in token order, so the
  // verdict never depends on the table's layout. The tokens are compared
  // only between equally far ones.
  const auto farther = [&](const Candidate& a, const Candidate& b) {
    return a.distance != b.distance ? a.distance > b.distance
                                    : token_at(a.position) < token_at(b.position);
  };
  // Every token far enough counts as a candidate; the maxClues farthest are
  // then found from the distances alone, and the tokens compared only
  // among those exactly as far as the last one taken.
  std::vector<Candidate>& kept = kept_;
  kept.clear();
  // Looked up a batch at a time, so that the memory reads of the table
  // overlap.
  constexpr std::size_t kBatch = 32;
  const WordEntry* found[kBatch];
  const std::pair<std::span<const WordKey>, std::size_t> parts[] = {{words, 0},
                                                                    {mail, words.size()}};
  for (const auto& [keys, base] : parts) {
    for (std::size_t first = 0; first < keys.size(); first += kBatch) {
      const std::size_t count = std::min(kBatch, keys.size() - first);
      store_.FindMany(keys.data() + first, count, found);
      for (std::size_t i = 0; i < count; ++i) {
        if (found[i] == nullptr ||
            std::int64_t{found[i]->spamCount} + found[i]->cleanCount < parameters.minMessages)
          continue;
        const double probability = TokenProbability(found[i]->spamCount, found[i]->cleanCount,
                                                    messages.spam, messages.clean, parameters);
        const double distance = std::fabs(probability - 0.5);
        // Written so that a NaN distance is never a candidate.
        if (distance >= parameters.minDeviation)
          kept.push_back({distance, probability, static_cast<std::uint32_t>(base + first + i)});
      }
    }
  }
  KeepFarthest(kept, parameters.maxClues, token_at);
  // Combined in the order of their values, so that the indicator does not
  // depend on the order the tokens came in.
  std::vector<double>& probabilities = probabilities_;
  probabilities.clear();
  for (const Candidate& clue : kept)
    probabilities.push_back(clue.probability);
  std::sort(probabilities.begin(), probabilities.end());

  ChiSquareVerdict weighed;
  weighed.indicator = Combine(probabilities);
  Verdict& verdict = weighed.verdict;
  verdict.spam = weighed.indicator > parameters.cutoff;
  verdict.score = ScoreOf(weighed.indicator, parameters);
  // The farthest are shown.
  const std::size_t shown = std::min(kept.size(), kTopWords);
  std::partial_sort(kept.begin(), kept.begin() + static_cast<std::ptrdiff_t>(shown), kept.end(),
                    farther);
  verdict.clues.reserve(shown);
  for (std::size_t i = 0; i < shown; ++i)
    verdict.clues.push_back({token_at(kept[i].position), kept[i].probability});
  std::sort(verdict.clues.begin(), verdict.clues.end(),
            [](const Clue& a, const Clue& b) { return a.token < b.token; });
  return weighed;
}

Verdict ChiSquareJudge::Decide(MessageTokens& tokens) {
  // Judged from the keys of the counted words, as the classic judge judges.
  const WordCounts& words = tokens.Words();
  return Weigh(words.keys(), tokens.MailTokens().keys()).verdict;
}

int ChiSquareJudge::Learn(MessageTokens& tokens, Side side) {
  const WordCounts& words = tokens.Words();
  LearnTokens(words.keys(), tokens.MailTokens().keys(), side, platform_.clock.Now());
  return 1;
}

int ChiSquareJudge::Relearn(MessageTokens& tokens, Side side) {
  const WordCounts& words = tokens.Words();
  MoveTokens(words.keys(), tokens.MailTokens().keys(), side, platform_.clock.Now());
  return 0;
}

void ChiSquareJudge::LearnTokens(std::span<const WordKey> words, std::span<const WordKey> mail,
                                 Side side, std::int32_t now) {
  std::lock_guard<std::recursive_mutex> hold(lock_);
  WordTable& table = store_.mutable_table();
  for (const std::span<const WordKey> keys : {words, mail}) {
    for (const WordKey& token : keys) {
      WordEntry& entry = *table.Insert(token, WordEntry{0, 0, 0.5f, now}).first;
      CountOf(entry, side) = AddCounts(CountOf(entry, side), 1);
      entry.lastSeen = now;
    }
  }
  std::int32_t& messages = store_.mutable_messages().of(side);
  messages = AddCounts(messages, 1);
}

void ChiSquareJudge::MoveTokens(std::span<const WordKey> words, std::span<const WordKey> mail,
                                Side target, std::int32_t now) {
  std::lock_guard<std::recursive_mutex> hold(lock_);
  const Side other = OtherSide(target);
  WordTable& table = store_.mutable_table();
  for (const std::span<const WordKey> keys : {words, mail}) {
    for (const WordKey& token : keys) {
      WordEntry& entry = *table.Insert(token, WordEntry{0, 0, 0.5f, now}).first;
      if (CountOf(entry, other) > 0)
        --CountOf(entry, other);
      CountOf(entry, target) = AddCounts(CountOf(entry, target), 1);
      entry.lastSeen = now;
    }
  }
  MessageCounts& messages = store_.mutable_messages();
  messages.of(target) = AddCounts(messages.of(target), 1);
  if (messages.of(other) > 0)
    --messages.of(other);
}

void ChiSquareJudge::StartFrom(const WordStore& classic) {
  std::lock_guard<std::recursive_mutex> hold(lock_);
  const MessageCounts& messages = classic.messages();
  if (store_.messages().spam != 0 || store_.messages().clean != 0 || messages.spam <= 0 ||
      messages.clean <= 0)
    return;
  const WordTable& words = classic.table();
  MessageCounts& own = store_.mutable_messages();
  WordTable& table = store_.mutable_table();
  words.ForEachUnordered([&](std::string_view word, const WordEntry& counts) {
    WordEntry& entry = *table.Insert(word, WordEntry{0, 0, 0.5f, counts.lastSeen}).first;
    entry.spamCount = AddCounts(entry.spamCount, std::clamp(counts.spamCount, 0, messages.spam));
    entry.cleanCount =
        AddCounts(entry.cleanCount, std::clamp(counts.cleanCount, 0, messages.clean));
  });
  own.spam = AddCounts(own.spam, messages.spam);
  own.clean = AddCounts(own.clean, messages.clean);
}

bool ChiSquareJudge::Ready() const {
  std::lock_guard<std::recursive_mutex> hold(lock_);
  return store_.messages().spam > 0 && store_.messages().clean > 0;
}

bool ChiSquareJudge::onDisk() const {
  std::lock_guard<std::recursive_mutex> hold(lock_);
  return store_.onDisk();
}

bool ChiSquareJudge::unreadable() const {
  std::lock_guard<std::recursive_mutex> hold(lock_);
  return store_.unreadable();
}

std::int32_t ChiSquareJudge::spamMessages() const {
  std::lock_guard<std::recursive_mutex> hold(lock_);
  return store_.messages().spam;
}

std::int32_t ChiSquareJudge::cleanMessages() const {
  std::lock_guard<std::recursive_mutex> hold(lock_);
  return store_.messages().clean;
}

int ChiSquareJudge::Load(const std::string& wordFilePath) {
  std::lock_guard<std::recursive_mutex> hold(lock_);
  try {
    const std::string path = FilePath(wordFilePath);
    if (!path.empty()) {
      platform_.files.RemoveAbandonedCopies(path);
      platform_.files.RemoveAbandonedCopies(WordImage::PathFor(path));
    }
    store_.set_path(path);
    return store_.Load();
  } catch (const std::bad_alloc&) {
    return 0;  // the path is not set: nothing is read or written
  }
}

int ChiSquareJudge::Save(bool agingDue, std::int32_t now) {
  std::lock_guard<std::recursive_mutex> hold(lock_);
  try {
    if (!agingDue && store_.UpToDate()) {
      return 1;  // the file holds these bytes already
    }
    const bool written = store_.Save([&](std::string_view, WordEntry& entry) {
      if (agingDue)
        aging::AgeEntry(entry, now);
      return entry.spamCount > 0 || entry.cleanCount > 0;
    });
    return written ? 1 : 0;
  } catch (const std::bad_alloc&) {
    return 0;  // no room even for the rule
  }
}

void ChiSquareJudge::ClearWords() {
  std::lock_guard<std::recursive_mutex> hold(lock_);
  store_.ClearWords();
}

}  // namespace varnox
