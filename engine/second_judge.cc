#include "engine/second_judge.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <new>
#include <utility>

#include "engine/aging.h"
#include "engine/judge_tokens.h"
#include "engine/word_database_format.h"

namespace varnox {
namespace {

constexpr std::string_view kFormatLine = "Varnox second judge = 1\n";
constexpr std::size_t kMaxStoredTokenLength = 255;

std::int32_t& CountOf(WordEntry& entry, Side side) {
  return side == Side::kSpam ? entry.spamCount : entry.cleanCount;
}

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

bool IsTokenByte(unsigned char byte) {
  return byte > 0x20 && byte != 0x7F;
}

// "spam clean time token", as Save writes it; false for anything else.
bool ReadTokenLine(std::string_view line, std::string_view* token, WordEntry* entry) {
  std::int32_t numbers[3];
  const char* at = line.data();
  const char* end = line.data() + line.size();
  for (std::int32_t& number : numbers) {
    const auto [next, error] = std::from_chars(at, end, number);
    if (error != std::errc() || next == end || *next != ' ' || number < 0)
      return false;
    at = next + 1;
  }
  *token = std::string_view(at, static_cast<std::size_t>(end - at));
  if (token->empty() || token->size() > kMaxStoredTokenLength)
    return false;
  for (unsigned char byte : *token) {
    if (!IsTokenByte(byte))
      return false;
  }
  *entry = WordEntry{numbers[0], numbers[1], 0.5f, numbers[2]};
  return true;
}

// "Spam = n" / "Clean = n" as the word database writes its counts.
bool ReadCountLine(std::string_view line, std::string_view name, std::int32_t* count) {
  if (line.size() <= name.size() + 3 || line.substr(0, name.size()) != name ||
      line.substr(name.size(), 3) != " = ")
    return false;
  const std::string_view digits = line.substr(name.size() + 3);
  std::int32_t value = 0;
  const auto [next, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (error != std::errc() || next != digits.data() + digits.size() || value < 0)
    return false;
  *count = value;
  return true;
}

template <class Fn>
void ForEachToken(const WordTable& words, const TokenSet& extra, Fn&& fn) {
  words.ForEachUnordered([&](std::string_view token, const WordEntry&) { fn(WordKey(token)); });
  for (const WordKey& key : extra.keys())
    fn(key);
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
  const auto beyond = std::partition(kept.begin(), kept.end(),
                                     [t](const Candidate& c) { return c.distance > t; });
  const auto at_t =
      std::partition(beyond, kept.end(), [t](const Candidate& c) { return c.distance == t; });
  const auto taken_at_t = beyond + static_cast<std::ptrdiff_t>(limit) - (beyond - kept.begin());
  std::partial_sort(beyond, taken_at_t, at_t, [&](const Candidate& a, const Candidate& b) {
    return token_at(a.position) < token_at(b.position);
  });
  kept.resize(limit);
}

}  // namespace

void SecondJudge::ExtraTokens(std::string_view headers, std::string_view subject,
                              std::string_view body, TokenSet* extra) {
  judge_tokens::AddHeaderTokens(headers, subject, extra);
  judge_tokens::AddLinkTokens(body, extra);
}

void SecondJudge::Learn(const WordTable& words, const TokenSet& extra, Side side,
                        std::int32_t now) {
  ForEachToken(words, extra, [&](const WordKey& token) {
    WordEntry& entry = *table_.Insert(token, WordEntry{0, 0, 0.5f, now}).first;
    CountOf(entry, side) = AddCounts(CountOf(entry, side), 1);
    entry.lastSeen = now;
  });
  std::int32_t& messages = side == Side::kSpam ? spamMessages_ : cleanMessages_;
  messages = AddCounts(messages, 1);
}

void SecondJudge::Move(const WordTable& words, const TokenSet& extra, Side target,
                       std::int32_t now) {
  const Side other = target == Side::kSpam ? Side::kClean : Side::kSpam;
  ForEachToken(words, extra, [&](const WordKey& token) {
    WordEntry& entry = *table_.Insert(token, WordEntry{0, 0, 0.5f, now}).first;
    if (CountOf(entry, other) > 0)
      --CountOf(entry, other);
    CountOf(entry, target) = AddCounts(CountOf(entry, target), 1);
    entry.lastSeen = now;
  });
  std::int32_t& to = target == Side::kSpam ? spamMessages_ : cleanMessages_;
  std::int32_t& from = target == Side::kSpam ? cleanMessages_ : spamMessages_;
  to = AddCounts(to, 1);
  if (from > 0)
    --from;
}

void SecondJudge::StartFrom(const BayesianCore& core) {
  if (spamMessages_ != 0 || cleanMessages_ != 0 || core.spamMessages() <= 0 ||
      core.cleanMessages() <= 0)
    return;
  core.words().ForEachUnordered([&](std::string_view word, const WordEntry& classic) {
    WordEntry& entry = *table_.Insert(word, WordEntry{0, 0, 0.5f, classic.lastSeen}).first;
    entry.spamCount =
        AddCounts(entry.spamCount, std::clamp(classic.spamCount, 0, core.spamMessages()));
    entry.cleanCount =
        AddCounts(entry.cleanCount, std::clamp(classic.cleanCount, 0, core.cleanMessages()));
  });
  spamMessages_ = AddCounts(spamMessages_, core.spamMessages());
  cleanMessages_ = AddCounts(cleanMessages_, core.cleanMessages());
}

double SecondJudge::Combine(std::span<const double> probabilities) {
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

std::int32_t SecondJudge::ScoreOf(double indicator, double cutoff) {
  if (!(indicator > cutoff)) {
    if (!(cutoff > 0))
      return 0;
    return static_cast<std::int32_t>(std::clamp(indicator / cutoff * 90.0, 0.0, 90.0));
  }
  const double above = (indicator - cutoff) / (1.0 - cutoff);
  return 91 + static_cast<std::int32_t>(std::clamp(above * 10.0, 0.0, 9.0));
}

JudgeVerdict SecondJudge::Judge(std::span<const WordKey> words, std::span<const WordKey> extra,
                                const JudgeParameters& parameters) const {
  const auto token_at = [&](std::uint32_t position) {
    return position < words.size() ? words[position].word() : extra[position - words.size()].word();
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
                                                                    {extra, words.size()}};
  for (const auto& [keys, base] : parts) {
    for (std::size_t first = 0; first < keys.size(); first += kBatch) {
      const std::size_t count = std::min(kBatch, keys.size() - first);
      table_.FindMany(keys.data() + first, count, found);
      for (std::size_t i = 0; i < count; ++i) {
        if (found[i] == nullptr)
          continue;
        const double probability = TokenProbability(found[i]->spamCount, found[i]->cleanCount,
                                                    spamMessages_, cleanMessages_, parameters);
        const double distance = std::fabs(probability - 0.5);
        // Written so that a NaN distance is never a candidate.
        if (distance >= parameters.minDeviation)
          kept.push_back({distance, probability, static_cast<std::uint32_t>(base + first + i)});
      }
    }
  }
  KeepFarthest(kept, parameters.maxClues, token_at);
  std::sort(kept.begin(), kept.end(), farther);  // farthest first
  std::vector<double> probabilities;
  probabilities.reserve(kept.size());
  for (const Candidate& clue : kept)
    probabilities.push_back(clue.probability);

  JudgeVerdict verdict;
  verdict.indicator = Combine(probabilities);
  verdict.spam = verdict.indicator > parameters.cutoff;
  verdict.score = ScoreOf(verdict.indicator, parameters.cutoff);
  const std::size_t shown = std::min(kept.size(), kTopWords);
  verdict.top.reserve(shown);
  for (std::size_t i = 0; i < shown; ++i)
    verdict.top.push_back({token_at(kept[i].position), kept[i].probability});
  std::sort(verdict.top.begin(), verdict.top.end(),
            [](const Clue& a, const Clue& b) { return a.token < b.token; });
  return verdict;
}

int SecondJudge::Load() {
  if (path_.empty())
    return 0;
  std::string text;
  if (!platform_.files.ReadWholeFile(path_, &text)) {
    unreadable_ = platform_.files.Exists(path_);
    onDisk_ = unreadable_;
    return 0;
  }
  unreadable_ = false;
  onDisk_ = true;
  word_database::MaskBytes(text.data(), text.size());
  const std::string_view all(text);
  if (all.substr(0, kFormatLine.size()) != kFormatLine) {
    // Not a companion file of ours: keep it rather than overwrite it.
    unreadable_ = true;
    return 0;
  }
  const std::int32_t load_time = platform_.clock.Now();
  table_.clear();
  spamMessages_ = 0;
  cleanMessages_ = 0;
  for (std::size_t start = kFormatLine.size(); start < all.size();) {
    std::size_t end = all.find('\n', start);
    if (end == std::string_view::npos)
      end = all.size();
    const std::string_view line = all.substr(start, end - start);
    start = end + 1;
    std::string_view token;
    WordEntry entry;
    if (ReadCountLine(line, "Spam", &spamMessages_) ||
        ReadCountLine(line, "Clean", &cleanMessages_) || !ReadTokenLine(line, &token, &entry) ||
        (entry.spamCount == 0 && entry.cleanCount == 0))
      continue;  // damaged lines are skipped
    if (entry.lastSeen == 0)
      entry.lastSeen = load_time;
    auto [stored, inserted] = table_.Insert(token, entry);
    if (!inserted) {
      stored->spamCount = AddCounts(stored->spamCount, entry.spamCount);
      stored->cleanCount = AddCounts(stored->cleanCount, entry.cleanCount);
      stored->lastSeen = std::max(stored->lastSeen, entry.lastSeen);
    }
  }
  return 1;
}

int SecondJudge::Save(bool agingDue, std::int32_t now) {
  if (path_.empty() || unreadable_)
    return 0;
  // What a save does to one entry: the aging, when due.
  const auto after_save = [&](WordEntry& entry) {
    if (agingDue)
      aging::AgeEntry(entry, now);
    return entry.spamCount > 0 || entry.cleanCount > 0;
  };
  try {
    std::string text(kFormatLine);
    text.reserve(64 + table_.size() * 32);
    text.append("Spam = ");
    word_database::AppendInteger(spamMessages_, &text);
    text.append("\nClean = ");
    word_database::AppendInteger(cleanMessages_, &text);
    text.push_back('\n');
    for (const auto [token, stored] : std::as_const(table_)) {
      WordEntry entry = stored;
      if (!after_save(entry))
        continue;
      word_database::AppendInteger(entry.spamCount, &text);
      text.push_back(' ');
      word_database::AppendInteger(entry.cleanCount, &text);
      text.push_back(' ');
      word_database::AppendInteger(entry.lastSeen, &text);
      text.push_back(' ');
      text.append(token);
      text.push_back('\n');
    }
    word_database::MaskBytes(text.data(), text.size());
    if (!platform_.files.ReplaceWholeFile(path_, text))
      return 0;
  } catch (const std::bad_alloc&) {
    return 0;
  }
  table_.Rewrite([&](std::string_view, WordEntry& entry) { return after_save(entry); });
  onDisk_ = true;
  return 1;
}

}  // namespace varnox
