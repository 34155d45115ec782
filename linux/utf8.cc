#include "linux/utf8.h"

#include <array>
#include <cstdint>

namespace varnox::utf8 {
namespace {

// Characters of bytes 0x80-0x9F; the rest of the code page equals Latin-1.
constexpr std::array<char32_t, 32> kHighRow = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80-87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88-8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90-97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98-9F
};

char32_t CharacterOf(unsigned char byte) {
  if (byte >= 0x80 && byte <= 0x9F)
    return kHighRow[byte - 0x80];
  return byte;
}

// The 1252 byte for `c`, or `unmapped(c)` when the code page has none.
char ByteOf(char32_t c, UnmappedCharacter unmapped) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
    return static_cast<char>(c);
  for (std::size_t i = 0; i < kHighRow.size(); ++i) {
    if (kHighRow[i] == c)
      return static_cast<char>(0x80 + i);
  }
  return unmapped(c);
}

char QuestionMark(char32_t) {
  return '?';
}

inline constexpr char32_t kInvalid = 0xFFFFFFFF;

// Decodes one character at text[*pos] and advances *pos past it. A byte
// that does not start a well-formed sequence gives kInvalid and is passed
// over alone, so that decoding resynchronises at the next byte.
char32_t DecodeOne(std::string_view text, std::size_t* pos) {
  const auto lead = static_cast<unsigned char>(text[*pos]);
  ++*pos;
  if (lead < 0x80)
    return lead;
  int length;
  char32_t c;
  char32_t smallest;
  if ((lead & 0xE0) == 0xC0) {
    length = 2, c = lead & 0x1F, smallest = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, c = lead & 0x0F, smallest = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, c = lead & 0x07, smallest = 0x10000;
  } else {
    return kInvalid;  // a continuation byte or 0xF8-0xFF
  }
  std::size_t at = *pos;
  for (int i = 1; i < length; ++i, ++at) {
    if (at >= text.size())
      return kInvalid;
    const auto next = static_cast<unsigned char>(text[at]);
    if ((next & 0xC0) != 0x80)
      return kInvalid;
    c = (c << 6) | (next & 0x3F);
  }
  if (c < smallest || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
    return kInvalid;
  *pos = at;
  return c;
}

}  // namespace

std::string FromCodePage1252(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char byte : text)
    AppendUtf8(CharacterOf(static_cast<unsigned char>(byte)), out);
  return out;
}

std::string ToCodePage1252(std::string_view text) {
  return ToCodePage1252(text, QuestionMark);
}

std::string ToCodePage1252(std::string_view text, UnmappedCharacter unmapped) {
  std::string out;
  out.reserve(text.size());
  std::size_t pos = 0;
  while (pos < text.size()) {
    const char32_t c = DecodeOne(text, &pos);
    out.push_back(c == kInvalid ? '?' : ByteOf(c, unmapped));
  }
  return out;
}

bool IsValid(std::string_view text) {
  std::size_t pos = 0;
  while (pos < text.size()) {
    if (DecodeOne(text, &pos) == kInvalid)
      return false;
  }
  return true;
}

void AppendUtf8(char32_t character, std::string& out) {
  const char32_t c = character;
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

}  // namespace varnox::utf8
