#include "engine/bayesian_core.h"

#include <algorithm>
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
  store_.mutable_messages() = MessageCounts{spam, clean};
}

const WordTable& BayesianCore::words() const {
  std::lock_guard<std::recursive_mutex> hold(lock_);
  MaterializeProbabilities();
  return store_.table();
}

WordTable& BayesianCore::mutable_words() {
  std::lock_guard<std::recursive_mutex> hold(lock_);
  MaterializeProbabilities();
  return table();
}

std::size_t BayesianCore::wordCount() const {
  std::lock_guard<std::recursive_mutex> hold(lock_);
  return store_.size();
}

void BayesianCore::ClearWords() {
  std::lock_guard<std::recursive_mutex> hold(lock_);
  store_.ClearWords();
  probabilitiesStale_ = false;
  saved_ = 0;
}

float BayesianCore::ProbabilityFromCounts(const WordEntry& entry) const {
  // Counts are occurrences while the message counts count messages, so x and
  // y may exceed 1; only the ratio is bounded.
  const MessageCounts& messages = store_.messages();
  const double spam_messages = messages.spam == 0 ? 1.0 : messages.spam;
  const double clean_messages = messages.clean == 0 ? 1.0 : messages.clean;
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
  table().ForEachUnordered([this](std::string_view, WordEntry& entry) {
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
  table().ForEachUnordered([this](std::string_view, WordEntry& entry) {
    entry.probability = ProbabilityFromCounts(entry);
  });
  probabilitiesStale_ = false;
}

WordCounts BayesianCore::CountWords(std::string_view text) const {
  return tokenizer().CountOrNone(text);
}

std::uint32_t BayesianCore::Tokenize(std::string_view text, WordTable& map) const {
  if (text.empty())
    return static_cast<std::uint32_t>(map.size());
  return AddWords(CountWords(text), map);
}

std::uint32_t BayesianCore::AddWords(const WordCounts& counts, WordTable& map) {
  const bool was_empty = map.empty();
  try {
    counts.AddTo(map);
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

Verdict BayesianCore::Decide(MessageTokens& tokens) {
  const WordCounts& words = tokens.Words();
  Verdict verdict;
  if (words.empty())
    return verdict;  // score 0, clean, no word selected
  std::vector<SelectedWord> selected;
  verdict.score = ScoreWords(words, &selected);
  verdict.spam = static_cast<std::uint32_t>(verdict.score) > kSpamThreshold;
  verdict.clues.reserve(selected.size());
  for (const SelectedWord& word : selected)
    verdict.clues.push_back(Clue{word.word, word.entry.probability});
  return verdict;
}

int BayesianCore::Learn(MessageTokens& tokens, Side side) {
  WordTable words;
  AddWords(tokens.Words(), words);
  return LearnWords(words, side == Side::kSpam ? 100 : 0);
}

int BayesianCore::Relearn(MessageTokens& tokens, Side side) {
  WordTable words;
  if (AddWords(tokens.Words(), words) == 0)
    return 0;
  return Retrain(words, side);
}

// --- Word database file --------------------------------------------------------

int BayesianCore::Load(const std::string& wordFilePath) {
  try {
    platform_.files.RemoveAbandonedCopies(wordFilePath);
    if (!wordFilePath.empty())
      platform_.files.RemoveAbandonedCopies(WordImage::PathFor(wordFilePath));
    set_databasePath(wordFilePath);
    if (LoadDatabase() == 1)
      return 1;
    return CreateDatabaseFile() == 1 ? LoadDatabase() : 0;
  } catch (const std::bad_alloc&) {
    return 0;  // starts with what could be loaded
  }
}

int BayesianCore::LoadDatabase() {
  if (databasePath().empty())
    return 0;
  std::lock_guard<std::recursive_mutex> hold(lock_);
  // Whatever the load leaves in the table holds up-to-date probabilities.
  MaterializeProbabilities();
  if (store_.Load() == 0)
    return 0;
  saved_ = store_.readNotes().repaired ? 0 : 1;
  return 1;
}

bool BayesianCore::AfterSave(std::string_view word, WordEntry& entry, bool purge, bool agingDue,
                             std::int32_t now) {
  if (purge) {
    entry.spamCount = std::max(entry.spamCount, 0);
    entry.cleanCount = std::max(entry.cleanCount, 0);
    if (word.empty() || !word_database::CanStartWord(static_cast<unsigned char>(word[0])))
      return false;
  }
  if (agingDue && aging::AgeEntry(entry, now) && entry.spamCount == 0 && entry.cleanCount == 0)
    return false;
  entry.probability = word_database::ClampProbability(entry.probability);
  return true;
}

int BayesianCore::SaveDatabase(Aging aging) {
  const std::int32_t now = Now();
  return Save(aging == Aging::kWhenDue && aging::Due(now, lastAgingTime_), now);
}

int BayesianCore::Save(bool agingDue, std::int32_t now) {
  bool failed = false;
  if (!databasePath().empty()) {
    std::lock_guard<std::recursive_mutex> hold(lock_);
    // Nothing to age and nothing changed since the file was written (or its
    // image read): it holds these bytes already.
    if (!agingDue && !probabilitiesStale_ && store_.UpToDate()) {
      saved_ = 1;
      return saved_;
    }
    const bool purge = purgePending_ == 1;
    MaterializeProbabilities();
    // Fails, among others, for a file that exists but could not be read at
    // start: it is never replaced.
    try {
      failed = !store_.Save([&](std::string_view word, WordEntry& entry) {
        return AfterSave(word, entry, purge, agingDue, now);
      });
    } catch (const std::bad_alloc&) {
      failed = true;  // no room even for the rule
    }
    if (!failed) {
      purgePending_ = 0;
      saved_ = 1;
    }
  }
  if (failed)
    ShowSaveFailure();  // after the lock is released
  if (agingDue)
    lastAgingTime_ = now;
  return saved_;
}

int BayesianCore::CreateDatabaseFile() {
  if (databasePath().empty())
    return 0;
  std::lock_guard<std::recursive_mutex> hold(lock_);
  return store_.SaveHeaderOnly() ? 1 : 0;
}

void BayesianCore::ShowSaveFailure() const {
  constexpr std::uint32_t kFlags = kMbOk | kMbIconWarning | kMbSetForeground | kMbTopmost;
  std::string text;
  try {
    text = "Cannot save database (" + databasePath() + ")";
  } catch (...) {
    platform_.ui.ShowMessage("Cannot save database", "Bayesian Plugin Error", kFlags);
    return;
  }
  platform_.ui.ShowMessage(text, "Bayesian Plugin Error", kFlags);
}

}  // namespace varnox
