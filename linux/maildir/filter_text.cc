#include "linux/maildir/filter_text.h"

#include <glib.h>

#include <algorithm>
#include <memory>

#include "linux/utf8.h"

namespace varnox::maildir {
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

}  // namespace

std::string ToFilterText(std::string_view utf8) {
  if (IsAscii(utf8))
    return std::string(utf8);
  if (!MayNeedComposing(utf8)) {
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

std::size_t FindLineEnd(std::string_view text, std::size_t from) {
  // A plain loop: find_first_of calls memchr once per byte of `text`.
  for (std::size_t at = from; at < text.size(); ++at) {
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

}  // namespace varnox::maildir
