// Conversion between the system's text (code page 1252 on every host) and
// UTF-8, the text of Linux terminals, files meant for people and MIME
// decoders. This is the one place where that conversion lives.
//
// The mapping is Windows' own for code page 1252: the five bytes that 1252
// leaves unassigned (81 8D 8F 90 9D) map to the C1 controls of the same
// number, so every byte string converts to UTF-8 and back unchanged.
#ifndef VARNOX_PLATFORM_UTF8_H_
#define VARNOX_PLATFORM_UTF8_H_

#include <cstddef>
#include <string>
#include <string_view>

namespace varnox::utf8 {

// Never fails: every 1252 byte has a character.
std::string FromCodePage1252(std::string_view text);

// A character that code page 1252 lacks becomes "?", and so does each byte
// that does not belong to a well-formed UTF-8 sequence (overlong forms,
// surrogates and values above U+10FFFF included).
std::string ToCodePage1252(std::string_view text);

// As above, but each well-formed character that 1252 lacks becomes the byte
// `unmapped` chooses for it (malformed bytes still become "?").
using UnmappedCharacter = char (*)(char32_t character);
std::string ToCodePage1252(std::string_view text, UnmappedCharacter unmapped);

// True when `text` is well-formed UTF-8 throughout (the empty text is).
bool IsValid(std::string_view text);

// What begins at a byte of UTF-8 text. Well-formed: `length` (1 to 4) bytes
// make `character`; overlong forms, surrogates and values above U+10FFFF are
// not well-formed. Otherwise `length` is 0 and `skip` (at least 1) counts
// the bytes of the longest start of a well-formed sequence there, which
// readers that follow the Unicode practice replace by one U+FFFD.
struct Sequence {
  char32_t character = 0;
  std::size_t length = 0;
  std::size_t skip = 1;
};
// `at` must be below text.size().
Sequence SequenceAt(std::string_view text, std::size_t at);

// Appends the UTF-8 form of `character` (at most U+10FFFF) to `out`.
void AppendUtf8(char32_t character, std::string& out);

}  // namespace varnox::utf8

#endif  // VARNOX_PLATFORM_UTF8_H_
