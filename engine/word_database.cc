// BayesianCore's word database file: loading with its repairs, saving with
// the first save's purge and the periodic aging, and the header-only file
// made at first start. The format is in docs/word-database.md.
#include <algorithm>
#include <cfloat>
#include <cstring>
#include <new>

#include "engine/bayesian_core.h"
#include "engine/word_database_format.h"
#include "platform/code_page.h"

namespace varnox {
namespace {

// The bytes a word may begin with: the tokenizer strips every other leading
// byte, the loader does the same, and the first save purges the rest.
bool CanStartWord(unsigned char byte) {
  return code_page::IsAlphaNumeric(byte) || byte == '$';
}

// A word spelled like a header line's name would be written back as that
// header line and change the message counts or the version at the next load.
// The tokenizer never makes one (its words are lower case); only a damaged
// line can ("-Spam" loses its "-").
bool IsHeaderName(std::string_view word) {
  return word == "Spam" || word == "Clean" || word == "Version";
}

float ClampProbability(double p) {
  if (p >= 1.0)
    return 1.0f;
  if (!(p >= 0.0001))  // NaN (never read from a file; set by hand) as well
    return 0.0001f;
  return static_cast<float>(p);
}

// A real read for the 32-bit version: beyond float's range it is the largest
// float, so the next save writes a number again.
float ToVersion(double value) {
  if (value > FLT_MAX)
    return FLT_MAX;
  return static_cast<float>(value);
}

// What a save does to one entry: the purge (first save only), the aging
// (when due), the clamp. Computed without touching the table, so the file
// can be written first and the table changed only once it is on disk.
struct SaveOutcome {
  bool keep;
  WordEntry entry;
};

SaveOutcome EntryAfterSave(std::string_view word, WordEntry entry, bool purge, bool aging,
                           std::int32_t now) {
  if (purge) {
    entry.spamCount = std::max(entry.spamCount, 0);
    entry.cleanCount = std::max(entry.cleanCount, 0);
    if (word.empty() || !CanStartWord(static_cast<unsigned char>(word[0])))
      return {false, entry};
  }
  if (aging && aging::AgeEntry(entry, now) && entry.spamCount == 0 && entry.cleanCount == 0)
    return {false, entry};
  entry.probability = ClampProbability(entry.probability);
  return {true, entry};
}

// Room for the entries of a file: one per line, but never more than one per
// 16 bytes, so a file of empty lines cannot make the table reserve much more
// than the file's own size.
std::size_t EntriesToReserve(std::string_view text) {
  const auto lines = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) + 1;
  return std::min(lines, text.size() / 16 + 1);
}

}  // namespace

int BayesianCore::LoadDatabase() {
  if (databasePath_.empty())
    return 0;
  std::lock_guard<std::recursive_mutex> hold(lock_);
  // Until the whole file is in the table it counts as unreadable: a load cut
  // short by memory running out must never be saved over the full file.
  databaseUnreadable_ = true;
  databaseCutShort_ = false;
  try {
    std::string text;
    if (!platform_.files.ReadWholeFile(databasePath_, &text)) {
      databaseUnreadable_ = platform_.files.Exists(databasePath_);
      return 0;
    }
    ParseDatabase(text);
  } catch (const std::bad_alloc&) {
    // Judging from part of the statistics would mislead; start empty. (The
    // file stays unreadable even if this throws again.)
    table_.clear();
    probabilitiesStale_ = false;
    spamMessages_ = 0;
    cleanMessages_ = 0;
    return 0;
  }
  databaseUnreadable_ = false;
  return 1;
}

void BayesianCore::ParseDatabase(std::string& text) {
  word_database::MaskBytes(text.data(), text.size());
  const std::int32_t load_time = Now();
  table_.clear();
  const std::size_t reserved = EntriesToReserve(text);
  table_.reserve(reserved);
  probabilitiesStale_ = false;
  spamMessages_ = 0;
  cleanMessages_ = 0;
  int repaired = 0;

  // A word line's values, as read: repaired and entered into the table.
  const auto add_word = [&](std::string_view name, WordEntry entry, double probability) {
    // Counts cannot be negative: the value filter drops minus signs.
    if (entry.spamCount == 0 && entry.cleanCount == 0)
      return;
    entry.probability = ClampProbability(probability);
    if (entry.lastSeen == 0) {
      entry.lastSeen = load_time;
      repaired = 1;
    }
    std::size_t first = 0;
    while (first < name.size() && !CanStartWord(static_cast<unsigned char>(name[first])))
      ++first;
    const std::string_view word = name.substr(first);
    if (word.empty() || word.size() > kMaxStoredWordLength)
      return;
    if (first != 0)
      repaired = 1;
    if (IsHeaderName(word))
      return;  // dropped, and since stripping made it, marked repaired
    auto [stored, inserted] = table_.Insert(word, entry);
    if (!inserted) {
      // A second line for the same word.
      stored->spamCount = AddCounts(stored->spamCount, entry.spamCount);
      stored->cleanCount = AddCounts(stored->cleanCount, entry.cleanCount);
      stored->probability = (stored->probability + entry.probability) / 2.0f;
      stored->lastSeen = std::max(stored->lastSeen, entry.lastSeen);
    }
  };

  word_database::RecordReader reader(text);
  word_database::Record record;
  while (reader.Next(&record)) {
    switch (record.kind) {
      case word_database::Record::Kind::kSpam:
        spamMessages_ = record.count;
        break;
      case word_database::Record::Kind::kClean:
        cleanMessages_ = record.count;
        break;
      case word_database::Record::Kind::kVersion:
        version_ = ToVersion(record.version);
        break;
      case word_database::Record::Kind::kWord:
        add_word(record.name, WordEntry{record.spamCount, record.cleanCount, 0.0f, record.lastSeen},
                 record.probability);
        break;
    }
  }
  if (table_.size() < reserved / 2)
    table_.shrink_to_fit();  // many lines were not words
  table_.IndexAppended();    // now rather than at the first lookup
  saved_ = repaired == 0 ? 1 : 0;
  databaseCutShort_ = reader.CutShort();
}

int BayesianCore::SaveDatabase(Aging aging) {
  const std::int32_t now = Now();
  const bool aging_due = aging == Aging::kWhenDue && aging::Due(now, lastAgingTime_);
  bool failed = false;
  if (!databasePath_.empty()) {
    std::lock_guard<std::recursive_mutex> hold(lock_);
    const bool purge = purgePending_ == 1;
    try {
      // Never replace a file that exists but could not be read at start.
      failed = databaseUnreadable_;
      if (!failed) {
        MaterializeProbabilities();
        std::string text;
        text.reserve(64 + table_.size() * 40);
        word_database::AppendHeader(version_, spamMessages_, cleanMessages_, &text);
        for (const auto [word, entry] : std::as_const(table_)) {
          const SaveOutcome outcome = EntryAfterSave(word, entry, purge, aging_due, now);
          if (outcome.keep)
            word_database::AppendWordLine(word, outcome.entry, &text);
        }
        word_database::MaskBytes(text.data(), text.size());
        failed = !platform_.files.ReplaceWholeFile(databasePath_, text);
      }
      if (!failed) {
        // The file holds the outcome now; bring the table to it.
        table_.Rewrite([&](std::string_view word, WordEntry& entry) {
          const SaveOutcome outcome = EntryAfterSave(word, entry, purge, aging_due, now);
          entry = outcome.entry;
          return outcome.keep;
        });
        purgePending_ = 0;
        saved_ = 1;
      }
    } catch (const std::bad_alloc&) {
      failed = true;
    }
  }
  if (failed)
    ShowSaveFailure();  // after the lock is released
  if (aging_due)
    lastAgingTime_ = now;
  return saved_;
}

int BayesianCore::CreateDatabaseFile() {
  if (databasePath_.empty())
    return 0;
  std::lock_guard<std::recursive_mutex> hold(lock_);
  if (databaseUnreadable_)
    return 0;
  try {
    std::string text;
    word_database::AppendHeader(version_, spamMessages_, cleanMessages_, &text);
    word_database::MaskBytes(text.data(), text.size());
    return platform_.files.ReplaceWholeFile(databasePath_, text) ? 1 : 0;
  } catch (const std::bad_alloc&) {
    return 0;
  }
}

}  // namespace varnox
