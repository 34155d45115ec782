// Text for the filter: Unicode (UTF-8) converted to code page 1252 the way
// the Maildir host hands every body and subject to the core.
//
// - Characters that 1252 has become their byte.
// - A letter that 1252 lacks (Cyrillic, Greek, Arabic, CJK, ..., and the
//   combining marks written with such letters) becomes kForeignLetter, one
//   byte above 0x7F that code page 1252 does not class as a letter or digit,
//   so that a word in such a script still trips the rule against runs of
//   non-English characters while staying out of the words the filter learns.
// - Any other character 1252 lacks (symbols, emoji), and any malformed
//   UTF-8 byte, becomes "?".
// - A non-breaking space (U+00A0) becomes a plain space: runs of them are
//   layout, and as bytes 0xA0 they would trip the non-English rule.
// - Decomposed accents are composed first (NFC), so "e" followed by a
//   combining acute becomes the one byte 0xE9.
#ifndef VARNOX_MIME_FILTER_TEXT_H_
#define VARNOX_MIME_FILTER_TEXT_H_

#include <string>
#include <string_view>

namespace varnox::mime {

// The bullet of code page 1252: above 0x7F, neither letter nor digit.
inline constexpr char kForeignLetter = '\x95';

std::string ToFilterText(std::string_view utf8);

// True only when `utf8` is well-formed and composing (NFC) would leave it
// unchanged, judged quickly from the blocks its characters belong to; false
// for some text that is composed already.
bool IsComposedText(std::string_view utf8);

// The offset of the first CR or LF of `text` at or after `from`, or npos.
std::size_t FindLineEnd(std::string_view text, std::size_t from);

// Every line end (CR LF, lone LF, lone CR) of `text` as `line_end`.
std::string WithLineEnds(std::string_view text, std::string_view line_end);
inline std::string WithCrLfLineEnds(std::string_view text) {
  return WithLineEnds(text, "\r\n");
}

}  // namespace varnox::mime

#endif  // VARNOX_MIME_FILTER_TEXT_H_
