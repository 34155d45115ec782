// BayesianCore: the classic judge, and the state it owns: the ignore list and
// the tokenizer that honours it, the learned word table with the message
// counts in the word database file (a WordStore in the format of
// WordDatabaseFormat), the file paths and the lock; and its operations:
// tokenizing, loading and saving the file, scoring from the fifteen most
// telling words, learning. BayesianFilter runs it beside the chi-square
// judge (spam_judge.h); tests, tools and benchmarks reach it through
// BayesianFilter::core().
//
// Threads: the system calls on one thread, but the core still guards its
// table with one re-entrant lock, held by LoadDatabase, by SaveDatabase and
// CreateDatabaseFile while they write, by SelectInteresting, LearnWords and
// MoveWords, and by the accessors of the table. No message box is shown while
// it is held.
//
// Errors: nothing here shows anything but the "Cannot save database" message.
// Operations report by their int results; only std::bad_alloc can escape
// (BayesianFilter catches it at its entries).
#ifndef VARNOX_ENGINE_BAYESIAN_CORE_H_
#define VARNOX_ENGINE_BAYESIAN_CORE_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "engine/aging.h"
#include "engine/ignore_list.h"
#include "engine/message_tokens.h"
#include "engine/spam_judge.h"
#include "engine/tokenizer.h"
#include "engine/word_database_format.h"
#include "engine/word_store.h"
#include "engine/word_table.h"
#include "platform/platform.h"

namespace varnox {

// What LookupWord found for one word.
struct WordLookup {
  int found = 0;
  float probability = 0.5f;
  std::int32_t spamCount = 0;
  std::int32_t cleanCount = 0;
};

// One word chosen by SelectInteresting, in the order of the selection.
struct SelectedWord {
  std::string_view word;  // refers to the message word map
  WordEntry entry;
};

class BayesianCore final : public SpamJudge {
 public:
  // Tuning values, fixed; every comparison against them is unsigned.
  static constexpr std::uint32_t kSpamThreshold = 90;
  static constexpr std::uint32_t kLearnSpamThreshold = 98;
  static constexpr std::uint32_t kInterestingCount = 15;
  static constexpr std::uint32_t kMinWordLength = Tokenizer::kMinWordLength;
  static constexpr std::uint32_t kMaxWordLength = Tokenizer::kMaxWordLength;
  static constexpr std::uint32_t kAgingAge = aging::kAge;
  static constexpr std::int64_t kAgingInterval = aging::kInterval;
  static constexpr std::uint32_t kMinTotalCount = 5;
  static constexpr std::uint32_t kMaxRetrainPasses = 25;
  static constexpr float kDefaultVersion = WordDatabaseFormat::kDefaultVersion;
  static constexpr std::size_t kMaxStoredWordLength = WordDatabaseFormat::kMaxStoredWordLength;

  // `platform` (clock, files, message box) must outlive the core.
  explicit BayesianCore(const Platform& platform);
  BayesianCore(const BayesianCore&) = delete;
  BayesianCore& operator=(const BayesianCore&) = delete;

  // --- As a judge -------------------------------------------------------------

  // Scores the message's words (Classify's rule: no words, score 0, clean).
  Verdict Decide(MessageTokens& tokens) override;
  // LearnWords of the message's word map, at 100 for spam, 0 for clean mail.
  int Learn(MessageTokens& tokens, Side side) override;
  // Retrain of the message's word map; 0 when it has no words.
  int Relearn(MessageTokens& tokens, Side side) override;
  // Initialize's part: removes the copies that killed saves left beside the
  // file, loads it, and when that fails creates the header-only file and
  // loads that. The path is set only where a failure can no longer leave it
  // set beside a file that was not read.
  int Load(const std::string& wordFilePath) override;
  // SaveDatabase with the aging decided by the caller; when due, the aging
  // clock restarts at `now`. The `saved` flag.
  int Save(bool agingDue, std::int32_t now) override;
  // Removes every word (Empty's first step); the table no longer matches the
  // file, so `saved` becomes 0.
  void ClearWords() override;

  // --- Tokenizer and ignore list -------------------------------------------

  // Adds each countable word of `text` to `map` (both counts = occurrences).
  // Returns the number of entries in the map afterwards. For want of memory
  // the text yields no words.
  std::uint32_t Tokenize(std::string_view text, WordTable& map) const;
  // The countable words of `text`, for judging without a word map; none
  // for want of memory.
  WordCounts CountWords(std::string_view text) const;
  // Adds counted words to `map` as Tokenize does; returns the map's size.
  static std::uint32_t AddWords(const WordCounts& counts, WordTable& map);
  // Reads whitespace-separated words (a word starting with ";" is skipped)
  // into the ignore list; sets ignorePath to `path` even when it cannot be
  // read.
  void LoadIgnoreList(const std::string& path);
  // Replaces the file at ignorePath with the list, one word a line, sorted.
  // Does nothing for an empty path, for a file that exists but could not be
  // read whole, and for a file that holds the list's words already (its own
  // lines, comments and all, stay); a failed write leaves the old file whole.
  void SaveIgnoreList();
  int IsIgnored(std::string_view word) const { return ignoreList_.Contains(word) ? 1 : 0; }
  const std::set<std::string, std::less<>>& ignoreList() const { return ignoreList_.words(); }
  // The tokenizer with the ignore list, for every judge's words.
  Tokenizer tokenizer() const { return Tokenizer(&ignoreList_); }

  // --- Word database file (format: docs/word-database.md) --------------------

  // 1 when the file was read (the table and counts are replaced), 0 when the
  // path is empty or the file cannot be read whole (memory ran out included:
  // the table and counts are then empty).
  int LoadDatabase();
  // Writes the table (with the first save's purge and, unless `aging` is
  // kNever, the two-day aging) by replacing the file whole. Returns `saved`.
  // On failure the old file, the table, the counts, `saved` and
  // `purgePending` stay as they were and the "Cannot save database" message
  // is shown. A kNever save leaves lastAgingTime alone.
  int SaveDatabase(Aging aging = Aging::kWhenDue);
  // 1 when a file of the three header lines was written, else 0.
  int CreateDatabaseFile();

  // --- Scoring --------------------------------------------------------------

  WordLookup LookupWord(std::string_view word) const;
  // Fills `selection` with at most `limit` of the message's words, those
  // farthest from 0.5.
  void SelectInteresting(const WordTable& messageWords, WordTable& selection, std::uint32_t limit);
  // Score 0..100 of the message; *isSpam (optional) = score > kSpamThreshold.
  // `selection` is left holding the deciding words.
  std::int32_t ScoreWords(const WordTable& messageWords, WordTable& selection,
                          int* isSpam = nullptr);
  // As ScoreWords, giving the selection in word order as a list; the words
  // refer to `messageWords`.
  std::int32_t ScoreWords(const WordTable& messageWords, std::vector<SelectedWord>* selected);
  // The same for the words of CountWords; the words refer to `counts`.
  std::int32_t ScoreWords(const WordCounts& counts, std::vector<SelectedWord>* selected);
  // Sets every word's probability from its counts and clears `saved`.
  void RecomputeProbabilities();

  // --- Learning -------------------------------------------------------------

  // 1 when learned (score >= 98 as spam, < 90 as clean), 0 otherwise.
  int LearnWords(const WordTable& messageWords, std::uint32_t learnScore);
  void MoveWords(const WordTable& messageWords, Side target);
  // Number of extra learning passes, 0 to 25.
  int Retrain(const WordTable& messageWords, Side target);

  // --- State ----------------------------------------------------------------

  // The learned table with every probability up to date. The reference stays
  // valid; call again after learning to see new probabilities.
  const WordTable& words() const;
  // The word storage as it is: counts and times always up to date, the
  // stored probabilities only after words() (which computes every one of
  // them, when learning left them behind).
  const WordStore& store() const { return store_; }
  // The same, for changing entries directly (tests and tools).
  WordTable& mutable_words();
  std::size_t wordCount() const;

  std::int32_t spamMessages() const { return store_.messages().spam; }
  std::int32_t cleanMessages() const { return store_.messages().clean; }
  void set_messageCounts(std::int32_t spam, std::int32_t clean);
  int saved() const { return saved_; }
  int purgePending() const { return purgePending_; }
  std::int32_t lastAgingTime() const { return lastAgingTime_; }
  void set_lastAgingTime(std::int32_t time) { lastAgingTime_ = time; }
  float version() const { return format_.version(); }
  void set_version(float version) { format_.set_version(version); }
  // How a matching image of the word database is used (WordStore::ImageUse).
  void set_imageUse(WordStore::ImageUse use) { store_.set_imageUse(use); }
  const std::string& databasePath() const { return store_.path(); }
  void set_databasePath(std::string path) { store_.set_path(std::move(path)); }
  const std::string& ignorePath() const { return ignorePath_; }
  void set_ignorePath(std::string path) {
    ignorePath_ = std::move(path);
    ignoreFile_ = IgnoreFile::kNotRead;
  }
  // True when the database file exists but could not be read whole (memory
  // running out during the load included): it is then never overwritten,
  // since that would destroy statistics nobody has seen.
  bool databaseUnreadable() const { return store_.unreadable(); }
  // True when the last load read a file that ends early: its last line has
  // no line feed, or the "Spam" or "Clean" line is missing. What it held was
  // loaded.
  bool databaseCutShort() const { return store_.readNotes().cutShort; }
  bool databaseForeign() const { return store_.readNotes().foreign; }

  std::recursive_mutex& lock() const { return lock_; }
  std::int32_t Now() const { return platform_.clock.Now(); }

  // Learning leaves the probabilities to be computed when they are next
  // looked at, which gives the same values as computing all of them after
  // every step. On: compute them after every step (to compare, in tests and
  // benchmarks).
  void set_eagerRecompute(bool eager) { eagerRecompute_ = eager; }

 private:
  // Spam probability of a word seen on both sides, from its counts and the
  // current message counts.
  float ProbabilityFromCounts(const WordEntry& entry) const;
  // After learning: the probabilities now follow from the counts.
  void ProbabilitiesChanged();
  // Stores the computed probabilities before anything reads or changes the
  // table directly.
  void MaterializeProbabilities() const;
  WordLookup LookupEntry(const WordEntry* entry) const;
  WordLookup LookupShorterForms(std::string_view word) const;
  // `words` (optional) names each key's word where the key does not hold it
  // in a way that outlives the selection.
  void SelectInto(const std::vector<WordKey>& keys, const std::vector<std::string_view>* words,
                  std::uint32_t limit, std::vector<SelectedWord>* selected);
  // The same for a message word map; the words refer to `messageWords`.
  void SelectFromMap(const WordTable& messageWords, std::uint32_t limit,
                     std::vector<SelectedWord>* selected);
  void ShowSaveFailure() const;
  // What a save does to one entry: the purge (first save only), the aging
  // (when due), the clamp.
  static bool AfterSave(std::string_view word, WordEntry& entry, bool purge, bool agingDue,
                        std::int32_t now);
  // The learned table, kept up to date by the probabilities' materializing.
  WordTable& table() const { return store_.mutable_table(); }

  Platform platform_;
  IgnoreList ignoreList_;
  std::string ignorePath_;
  mutable std::recursive_mutex lock_;
  // The word database: its version lives with its format.
  WordDatabaseFormat format_;
  // Mutable so that reading the table can materialize its probabilities.
  mutable WordStore store_{platform_, format_};
  int saved_ = 0;
  std::int32_t lastAgingTime_ = 0;
  int purgePending_ = 1;
  // What became of the ignore file at ignorePath when it was loaded.
  enum class IgnoreFile {
    kNotRead,     // not loaded, or absent: teardown writes the list
    kUnreadable,  // exists but was not read whole: never written
    kSameWords,   // holds exactly the list's words: nothing to write
  };
  IgnoreFile ignoreFile_ = IgnoreFile::kNotRead;
  // The stored probabilities are out of date; the true value of each is
  // ProbabilityFromCounts. Set only by learning, cleared by materializing.
  mutable bool probabilitiesStale_ = false;
  bool eagerRecompute_ = false;
};

}  // namespace varnox

#endif  // VARNOX_ENGINE_BAYESIAN_CORE_H_
