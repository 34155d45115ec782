#include "engine/bayesian_core.h"

#include <new>

namespace varnox {
namespace {

#ifdef _WIN32
constexpr std::string_view kTextLineEnd = "\r\n";  // what a "wt" stream writes
#else
constexpr std::string_view kTextLineEnd = "\n";
#endif

}  // namespace

BayesianCore::BayesianCore(const Platform& platform) : platform_(platform) {}

void BayesianCore::set_messageCounts(std::int32_t spam, std::int32_t clean) {
  std::lock_guard<std::recursive_mutex> hold(lock_);
  MaterializeProbabilities();
  spamMessages_ = spam;
  cleanMessages_ = clean;
}

const WordTable& BayesianCore::words() const {
  std::lock_guard<std::recursive_mutex> hold(lock_);
  MaterializeProbabilities();
  return table_;
}

WordTable& BayesianCore::mutable_words() {
  std::lock_guard<std::recursive_mutex> hold(lock_);
  MaterializeProbabilities();
  return table_;
}

std::size_t BayesianCore::wordCount() const {
  std::lock_guard<std::recursive_mutex> hold(lock_);
  return table_.size();
}

void BayesianCore::ClearWords() {
  std::lock_guard<std::recursive_mutex> hold(lock_);
  table_.clear();
  probabilitiesStale_ = false;
  saved_ = 0;
}

float BayesianCore::ProbabilityFromCounts(const WordEntry& entry) const {
  // Counts are occurrences while the message counts count messages, so x and
  // y may exceed 1; only the ratio is bounded.
  const double spam_messages = spamMessages_ == 0 ? 1.0 : spamMessages_;
  const double clean_messages = cleanMessages_ == 0 ? 1.0 : cleanMessages_;
  const double x = entry.spamCount / spam_messages;
  const double y = 2.0 * entry.cleanCount / clean_messages;
  const double d = x + y;
  if (d == 0.0)
    return 1.0f;
  double r = x / d;
  if (r > 1.0)
    r = 1.0;
  if (!(r >= 0.0001))  // NaN too, when counts were set by hand to cancel out
    r = 0.0001;
  return static_cast<float>(r);
}

void BayesianCore::RecomputeProbabilities() {
  std::lock_guard<std::recursive_mutex> hold(lock_);
  table_.ForEachUnordered([this](std::string_view, WordEntry& entry) {
    entry.probability = ProbabilityFromCounts(entry);
  });
  probabilitiesStale_ = false;
  saved_ = 0;
}

// Every probability is a function of the entry's counts and the two message
// counts. After a learning step all of them equal that function, and they
// keep doing so until a count changes again. Learning changes counts and
// marks them stale; every other change of a count or a message count, and
// every read of a stored probability, materializes first. So the values seen
// anywhere are those an eager recompute after each step would give.
void BayesianCore::ProbabilitiesChanged() {
  saved_ = 0;
  if (eagerRecompute_)
    RecomputeProbabilities();
  else
    probabilitiesStale_ = true;
}

void BayesianCore::MaterializeProbabilities() const {
  if (!probabilitiesStale_)
    return;
  table_.ForEachUnordered([this](std::string_view, WordEntry& entry) {
    entry.probability = ProbabilityFromCounts(entry);
  });
  probabilitiesStale_ = false;
}

WordCounts BayesianCore::CountWords(std::string_view text) const {
  try {
    return Tokenizer(&ignoreList_).Count(text);
  } catch (const std::bad_alloc&) {
    return WordCounts();
  }
}

std::uint32_t BayesianCore::Tokenize(std::string_view text, WordTable& map) const {
  if (text.empty())
    return static_cast<std::uint32_t>(map.size());
  const bool was_empty = map.empty();
  try {
    CountWords(text).AddTo(map);
  } catch (const std::bad_alloc&) {
    // For want of memory the text yields no words.
    if (was_empty)
      map.clear();
  }
  return static_cast<std::uint32_t>(map.size());
}

void BayesianCore::LoadIgnoreList(const std::string& path) {
  set_ignorePath(path);
  // Until every word is in, the file counts as unreadable: a read cut short
  // (out of memory) must never be written back as the whole list.
  ignoreFile_ = IgnoreFile::kUnreadable;
  std::string contents;
  if (!platform_.files.ReadWholeFile(path, &contents)) {
    if (!platform_.files.Exists(path))
      ignoreFile_ = IgnoreFile::kNotRead;
    return;
  }
  // The list only grows, so it holds every word of the file; the same count
  // means nothing else.
  ignoreFile_ = ignoreList_.AddWords(contents) == ignoreList_.size() ? IgnoreFile::kSameWords
                                                                     : IgnoreFile::kNotRead;
}

void BayesianCore::SaveIgnoreList() {
  if (ignorePath_.empty() || ignoreFile_ != IgnoreFile::kNotRead)
    return;
  // A failed write keeps the old file whole; nobody is told.
  platform_.files.ReplaceWholeFile(ignorePath_, ignoreList_.Text(kTextLineEnd));
}

void BayesianCore::ShowSaveFailure() const {
  constexpr std::uint32_t kFlags = kMbOk | kMbIconWarning | kMbSetForeground | kMbTopmost;
  std::string text;
  try {
    text = "Cannot save database (" + databasePath_ + ")";
  } catch (...) {
    platform_.ui.ShowMessage("Cannot save database", "Bayesian Plugin Error", kFlags);
    return;
  }
  platform_.ui.ShowMessage(text, "Bayesian Plugin Error", kFlags);
}

}  // namespace varnox
