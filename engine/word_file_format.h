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
    bool foreign = false;   // cut short with neither count line: no word file at all
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

  // --- For the image of the file (word_image.h) ---------------------------------

  // Tells the images of files of this kind from those of another kind.
  virtual std::uint32_t ImageKind() const = 0;
  // What reading makes of the line AppendEntry writes for `word` and
  // `*entry`, in a file of such lines.
  enum class ReadBack {
    kAsWord,    // read as this word alone; `*entry` is then what reading
                // gives (a probability as its printed digits read)
    kSkipped,   // passed over: reading gives nothing
    kAnyOther,  // another word, a header line, the load time: only the
                // text can tell
  };
  virtual ReadBack ReadsBackAs(std::string_view word, WordEntry* entry) const = 0;
  // What the format keeps from a file besides the table and the counts
  // (the word database's version), as 32 bits for the image; and back.
  virtual std::uint32_t ImageExtra() const { return 0; }
  virtual void set_imageExtra(std::uint32_t) {}
};

}  // namespace varnox

#endif  // VARNOX_ENGINE_WORD_FILE_FORMAT_H_
