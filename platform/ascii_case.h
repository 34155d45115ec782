// Letter case of ASCII only, for the names of formats and protocols (header
// field names, charsets, MIME types, tags, registry script keywords): bytes
// above 0x7F are never folded, whatever the text's encoding, and no locale
// is consulted. Text shown to the user compares in code page 1252 instead
// (code_page.h).
#ifndef VARNOX_PLATFORM_ASCII_CASE_H_
#define VARNOX_PLATFORM_ASCII_CASE_H_

#include <cstddef>
#include <string_view>

namespace varnox::ascii {

constexpr char ToLower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

constexpr bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size())
    return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (ToLower(a[i]) != ToLower(b[i]))
      return false;
  }
  return true;
}

constexpr bool StartsWithIgnoreCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && EqualsIgnoreCase(text.substr(0, prefix.size()), prefix);
}

}  // namespace varnox::ascii

#endif  // VARNOX_PLATFORM_ASCII_CASE_H_
