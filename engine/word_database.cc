// The word database file whole: reading it with its repairs, and writing its
// lines. The format is in docs/word-database.md.
#include <algorithm>
#include <bit>
#include <cfloat>
#include <climits>
#include <cmath>

#include "engine/word_database_format.h"

namespace varnox {
namespace {

using word_database::CanStartWord;
using word_database::ClampProbability;

// A word spelled like a header line's name would be written back as that
// header line and change the message counts or the version at the next load.
// The tokenizer never makes one (its words are lower case); only a damaged
// line can ("-Spam" loses its "-").
bool IsHeaderName(std::string_view word) {
  return word == "Spam" || word == "Clean" || word == "Version";
}

// A real read for the 32-bit version: beyond float's range it is the largest
// float, so the next save writes a number again.
float ToVersion(double value) {
  if (value > FLT_MAX)
    return FLT_MAX;
  return static_cast<float>(value);
}

// Room for the entries of a file: one per line, but never more than one per
// 16 bytes, so a file of empty lines cannot make the table reserve much more
// than the file's own size.
std::size_t EntriesToReserve(std::string_view text) {
  const auto lines = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) + 1;
  return std::min(lines, text.size() / 16 + 1);
}

}  // namespace

WordFileFormat::ReadNotes WordDatabaseFormat::Read(std::string_view text, std::int32_t loadTime,
                                                   WordTable& table, MessageCounts& counts) {
  const std::size_t reserved = EntriesToReserve(text);
  table.reserve(reserved);
  ReadNotes notes;

  // A word line's values, as read: repaired and entered into the table.
  const auto add_word = [&](std::string_view name, WordEntry entry, double probability) {
    // Counts cannot be negative: the value filter drops minus signs.
    if (entry.spamCount == 0 && entry.cleanCount == 0)
      return;
    entry.probability = ClampProbability(probability);
    if (entry.lastSeen == 0) {
      entry.lastSeen = loadTime;
      notes.repaired = true;
    }
    std::size_t first = 0;
    while (first < name.size() && !CanStartWord(static_cast<unsigned char>(name[first])))
      ++first;
    const std::string_view word = name.substr(first);
    if (word.empty() || word.size() > kMaxStoredWordLength)
      return;
    if (first != 0)
      notes.repaired = true;
    if (IsHeaderName(word))
      return;  // dropped, and since stripping made it, marked repaired
    auto [stored, inserted] = table.Insert(word, entry);
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
        counts.spam = record.count;
        break;
      case word_database::Record::Kind::kClean:
        counts.clean = record.count;
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
  if (table.size() < reserved / 2)
    table.shrink_to_fit();  // many lines were not words
  table.IndexAppended();    // now rather than at the first lookup
  notes.cutShort = reader.CutShort();
  // Text, but of something else (or noise): a cut file keeps its first lines.
  notes.foreign = !text.empty() && reader.NoCountLine();
  return notes;
}

WordFileFormat::ReadBack WordDatabaseFormat::ReadsBackAs(std::string_view word,
                                                         WordEntry* entry) const {
  if (word.empty() || word.size() > kMaxStoredWordLength)
    return ReadBack::kSkipped;
  // Bytes a name drops, leading bytes stripped, a header's name: reading
  // gives another word or a header line.
  if (!CanStartWord(static_cast<unsigned char>(word[0])) || IsHeaderName(word))
    return ReadBack::kAnyOther;
  for (const char c : word) {
    if (!word_database::IsNameByte(static_cast<unsigned char>(c)))
      return ReadBack::kAnyOther;
  }
  // Numbers lose their minus sign; a time of 0 becomes the load time.
  const auto unsigned_value = [](std::int32_t value) {
    return value == INT32_MIN ? INT32_MAX : (value < 0 ? -value : value);
  };
  entry->spamCount = unsigned_value(entry->spamCount);
  entry->cleanCount = unsigned_value(entry->cleanCount);
  entry->lastSeen = unsigned_value(entry->lastSeen);
  if (entry->spamCount == 0 && entry->cleanCount == 0)
    return ReadBack::kSkipped;
  if (entry->lastSeen == 0)
    return ReadBack::kAnyOther;
  // "%.8f" prints the float's exact value rounded half to even to a whole
  // number of 1e-8 (the product is exact in a double: 24 + 19 significant
  // bits), and reading rounds that decimal to the nearest double, which the
  // division of two exact doubles gives. "nan" and "inf" leave no digits,
  // and the time is read in the probability's place.
  const float printed = std::fabs(entry->probability);
  if (!std::isfinite(printed))
    return ReadBack::kAnyOther;
  if (printed >= 1.0f) {
    entry->probability = 1.0f;
  } else {
    entry->probability = ClampProbability(std::nearbyint(static_cast<double>(printed) * 1e8) / 1e8);
  }
  return ReadBack::kAsWord;
}

std::uint32_t WordDatabaseFormat::ImageExtra() const {
  return std::bit_cast<std::uint32_t>(version_);
}

void WordDatabaseFormat::set_imageExtra(std::uint32_t extra) {
  version_ = std::bit_cast<float>(extra);
}

void WordDatabaseFormat::AppendHeader(const MessageCounts& counts, std::string* text) const {
  word_database::AppendHeader(version_, counts.spam, counts.clean, text);
}

void WordDatabaseFormat::AppendEntry(std::string_view word, const WordEntry& entry,
                                     std::string* text) const {
  word_database::AppendWordLine(word, entry, text);
}

}  // namespace varnox
