// TokenFileFormat: the text of the chi-square judge's file (words.db.second,
// beside the word database): a line that marks the file, the message
// counts, and a line per token, "spam good time token" (in how many spam and
// good messages the token appeared, when it was last learned).
// docs/word-database.md describes it.
//
// Reading keeps what reads so and skips every other line: negative or
// non-numeric counts, both counts 0, a token of a byte at or below 0x20 or
// 0x7F, or longer than kMaxTokenLength. Two lines of one token add up; a
// time of 0 becomes the load time. A text without the marking line is
// somebody else's file.
#ifndef VARNOX_ENGINE_TOKEN_FILE_FORMAT_H_
#define VARNOX_ENGINE_TOKEN_FILE_FORMAT_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/word_file_format.h"

namespace varnox {

class TokenFileFormat final : public WordFileFormat {
 public:
  static constexpr std::size_t kMaxTokenLength = 255;

  bool Recognizes(std::string_view text) const override;
  ReadNotes Read(std::string_view text, std::int32_t loadTime, WordTable& table,
                 MessageCounts& counts) override;
  void AppendHeader(const MessageCounts& counts, std::string* text) const override;
  void AppendEntry(std::string_view token, const WordEntry& entry,
                   std::string* text) const override;
  std::uint32_t ImageKind() const override { return 2; }
  ReadBack ReadsBackAs(std::string_view token, WordEntry* entry) const override;
};

}  // namespace varnox

#endif  // VARNOX_ENGINE_TOKEN_FILE_FORMAT_H_
