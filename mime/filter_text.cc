#include "mime/filter_text.h"

#include <glib.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>

#include "platform/utf8.h"

namespace varnox::mime {
namespace {

char ForeignCharacter(char32_t c) {
  const auto u = static_cast<gunichar>(c);
  return g_unichar_isalpha(u) || g_unichar_ismark(u) ? kForeignLetter : '?';
}

bool IsAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// NFC of `text`, or `text` itself when it is not well-formed UTF-8 (the
// conversion then marks the bad bytes) or normalisation fails.
std::string Composed(std::string_view text) {
  if (!g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr))
    return std::string(text);
  std::unique_ptr<gchar, decltype(&g_free)> nfc(
      g_utf8_normalize(text.data(), static_cast<gssize>(text.size()), G_NORMALIZE_DEFAULT_COMPOSE),
      &g_free);
  return nfc ? std::string(nfc.get()) : std::string(text);
}

// Combining marks (U+0300 to U+07FF hold the common ones, encoded with
// lead bytes 0xCC to 0xDF) or characters beyond: text that may need
// composing. Most mail has neither, and composing is costly.
bool MayNeedComposing(std::string_view text) {
  return std::any_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) >= 0xCC; });
}

// Blocks of characters that composing never changes, whatever stands
// around them: no combining class, no canonical decomposition of their own
// that differs from them (so no singletons such as U+212B), and never the
// second part of a canonical decomposition (so nothing before them can
// absorb them). The blocks mail uses most beyond Latin-1: punctuation,
// currency, symbols, Greek, Cyrillic, kana, CJK, Hangul syllables,
// full-width forms, pictographs. tests/mime/filter_text_test.cc checks
// every character of them against glib's tables.
constexpr char32_t kInertBlocks[][2] = {
    {0x0080, 0x02FF}, {0x0370, 0x0373}, {0x0375, 0x037D}, {0x037F, 0x0386}, {0x0388, 0x03FF},
    {0x0400, 0x0482}, {0x048A, 0x052F}, {0x2010, 0x2027}, {0x2030, 0x205E}, {0x20A0, 0x20C0},
    {0x2100, 0x2125}, {0x2127, 0x2129}, {0x212C, 0x214F}, {0x2190, 0x2328}, {0x232B, 0x23FF},
    {0x2460, 0x27BF}, {0x3000, 0x3029}, {0x3030, 0x303F}, {0x3041, 0x3098}, {0x309B, 0x30FF},
    {0x4E00, 0x9FFF}, {0xAC00, 0xD7A3}, {0xFF01, 0xFFEE}, {0xFFFD, 0xFFFD}, {0x1F000, 0x1FAFF},
};

bool IsInert(char32_t c) {
  for (const auto& block : kInertBlocks) {
    if (c < block[0])
      return false;
    if (c <= block[1])
      return true;
  }
  return false;
}

}  // namespace

bool IsComposedText(std::string_view utf8) {
  const char* p = utf8.data();
  const char* const end = p + utf8.size();
  while (p < end) {
    if (static_cast<unsigned char>(*p) < 0x80) {
      ++p;
      continue;
    }
    const gunichar c = g_utf8_get_char_validated(p, end - p);
    if (c == static_cast<gunichar>(-1) || c == static_cast<gunichar>(-2) || !IsInert(c))
      return false;
    p = g_utf8_next_char(p);
  }
  return true;
}

std::string ToFilterText(std::string_view utf8) {
  if (IsAscii(utf8))
    return std::string(utf8);
  if (!MayNeedComposing(utf8) || IsComposedText(utf8)) {
    std::string text = utf8::ToCodePage1252(utf8, ForeignCharacter);
    std::replace(text.begin(), text.end(), '\xA0', ' ');
    return text;
  }
  // g_utf8_normalize stops at a NUL byte; such text is composed piecewise.
  std::string composed;
  std::size_t start = 0;
  while (start <= utf8.size()) {
    const std::size_t nul = std::min(utf8.find('\0', start), utf8.size());
    composed += Composed(utf8.substr(start, nul - start));
    if (nul < utf8.size())
      composed.push_back('\0');
    start = nul + 1;
  }
  std::string text = utf8::ToCodePage1252(composed, ForeignCharacter);
  std::replace(text.begin(), text.end(), '\xA0', ' ');
  return text;
}

static_assert(std::endian::native == std::endian::little,
              "FindLineEnd reads the lowest byte first");

std::size_t FindLineEnd(std::string_view text, std::size_t from) {
  // Eight bytes at a time: a byte of x equal to b makes the byte of x ^ b
  // zero, and the lowest zero byte of v is the lowest byte set in
  // (v - 0x01..01) & ~v & 0x80..80 (higher ones may be false).
  constexpr std::uint64_t kOnes = 0x0101010101010101ull;
  constexpr std::uint64_t kHighs = 0x8080808080808080ull;
  std::size_t at = from;
  for (; at + 8 <= text.size(); at += 8) {
    std::uint64_t x;
    std::memcpy(&x, text.data() + at, sizeof x);
    const std::uint64_t lf = x ^ (kOnes * '\n');
    const std::uint64_t cr = x ^ (kOnes * '\r');
    const std::uint64_t found = (((lf - kOnes) & ~lf) | ((cr - kOnes) & ~cr)) & kHighs;
    if (found != 0)
      return at + static_cast<std::size_t>(std::countr_zero(found)) / 8;
  }
  for (; at < text.size(); ++at) {
    if (text[at] == '\n' || text[at] == '\r')
      return at;
  }
  return std::string_view::npos;
}

std::string WithLineEnds(std::string_view text, std::string_view line_end) {
  std::string out;
  out.reserve(text.size() + text.size() / 32);
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t end = FindLineEnd(text, at);
    if (end == std::string_view::npos) {
      out.append(text.substr(at));
      break;
    }
    out.append(text.substr(at, end - at));
    out.append(line_end);
    at = end + (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1);
  }
  return out;
}

}  // namespace varnox::mime
