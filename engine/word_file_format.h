// WordFileFormat: the text of one kind of statistics file, read and written
// by WordStore. A store does everything else the same way for every kind
// (masking, reading whole, replacing whole, never replacing a file it could
// not read); a format only turns the unmasked text into a table and two
// message counts and back.
//
// Formats: WordDatabaseFormat (words.db, the classic judge's) and
// TokenFileFormat (words.db.second, the chi-square judge's).
#ifndef VARNOX_ENGINE_WORD_FILE_FORMAT_H_
#define VARNOX_ENGINE_WORD_FILE_FORMAT_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/word_entry.h"
#include "engine/word_table.h"

namespace varnox {

// How many messages were learned on each side.
struct MessageCounts {
  std::int32_t spam = 0;
  std::int32_t clean = 0;

  std::int32_t& of(Side side) { return side == Side::kSpam ? spam : clean; }
  std::int32_t of(Side side) const { return side == Side::kSpam ? spam : clean; }
};

class WordFileFormat {
 public:
  // What a read found besides the statistics.
  struct ReadNotes {
    bool repaired = false;  // lines were mended: the table differs from the file
    bool cutShort = false;  // the file ends early; what it held was read
  };

  virtual ~WordFileFormat() = default;

  // Whether the unmasked `text` is a file of this kind. A file that is not
  // is neither read nor ever replaced.
  virtual bool Recognizes(std::string_view text) const = 0;
  // Fills the empty `table` and the zero `counts` from the unmasked `text`;
  // `loadTime` stands in for a missing time. Any bytes are read without
  // harm. Throws std::bad_alloc when memory runs out.
  virtual ReadNotes Read(std::string_view text, std::int32_t loadTime, WordTable& table,
                         MessageCounts& counts) = 0;
  // The unmasked text of the header lines, then of one entry's line.
  virtual void AppendHeader(const MessageCounts& counts, std::string* text) const = 0;
  virtual void AppendEntry(std::string_view word, const WordEntry& entry,
                           std::string* text) const = 0;
};

}  // namespace varnox

#endif  // VARNOX_ENGINE_WORD_FILE_FORMAT_H_
