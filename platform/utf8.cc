#include "platform/utf8.h"

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
  const Sequence sequence = SequenceAt(text, *pos);
  if (sequence.length == 0) {
    ++*pos;
    return kInvalid;
  }
  *pos += sequence.length;
  return sequence.character;
}

// The character of the well-formed sequence of `length` bytes at `bytes`.
char32_t Decode(const unsigned char* bytes, std::size_t length) {
  switch (length) {
    case 1:
      return bytes[0];
    case 2:
      return (char32_t{bytes[0] & 0x1Fu} << 6) | (bytes[1] & 0x3Fu);
    case 3:
      return (char32_t{bytes[0] & 0x0Fu} << 12) | (char32_t{bytes[1] & 0x3Fu} << 6) |
             (bytes[2] & 0x3Fu);
    default:
      return (char32_t{bytes[0] & 0x07u} << 18) | (char32_t{bytes[1] & 0x3Fu} << 12) |
             (char32_t{bytes[2] & 0x3Fu} << 6) | (bytes[3] & 0x3Fu);
  }
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

Sequence SequenceAt(std::string_view text, std::size_t at) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data()) + at;
  const std::size_t available = text.size() - at;
  const unsigned char lead = bytes[0];
  if (lead < 0x80)
    return {lead, 1, 1};
  std::size_t length = 0;
  unsigned char low = 0x80;  // the range of the second byte
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0)
      low = 0xA0;  // no overlong forms
    if (lead == 0xED)
      high = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0)
      low = 0x90;  // no overlong forms
    if (lead == 0xF4)
      high = 0x8F;  // nothing above U+10FFFF
  } else {
    return {};  // a continuation byte, C0, C1 or F5-FF
  }
  std::size_t i = 1;
  for (; i < length && i < available; ++i) {
    if (bytes[i] < (i == 1 ? low : 0x80) || bytes[i] > (i == 1 ? high : 0xBF))
      break;
  }
  if (i < length)
    return {0, 0, i};
  return {Decode(bytes, length), length, length};
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
