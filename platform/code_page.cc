#include "platform/code_page.h"

#include <array>
#include <cstdint>

namespace varnox::code_page {
namespace {

enum : std::uint8_t { kDigit = 1, kLetter = 2 };

struct Tables {
  std::array<std::uint8_t, 256> classes{};
  std::array<unsigned char, 256> lower{};
  std::array<unsigned char, 256> upper{};
};

constexpr bool InRange(int b, int first, int last) {
  return b >= first && b <= last;
}

// Code page 1252 letters above 0x7F as Windows classes them: the Latin-1
// letters C0-FF without the multiplication and division signs, the ordinal
// indicators AA and BA, the micro sign B5, and the Windows additions in the
// 80-9F row (f with hook, modifier circumflex, S/s/Z/z caron, OE/oe, Y
// diaeresis).
constexpr bool IsHighLetter(int b) {
  switch (b) {
    case 0x83:
    case 0x88:
    case 0x8A:
    case 0x8C:
    case 0x8E:
    case 0x9A:
    case 0x9C:
    case 0x9E:
    case 0x9F:
    case 0xAA:
    case 0xB5:
    case 0xBA:
      return true;
    default:
      return InRange(b, 0xC0, 0xFF) && b != 0xD7 && b != 0xF7;
  }
}

// Superscript one, two and three are alphanumeric without being letters.
constexpr bool IsHighDigit(int b) {
  return b == 0xB2 || b == 0xB3 || b == 0xB9;
}

constexpr Tables MakeTables() {
  Tables t;
  for (int b = 0; b < 256; ++b) {
    std::uint8_t cls = 0;
    if (InRange(b, '0', '9') || IsHighDigit(b))
      cls = kDigit;
    if (InRange(b, 'A', 'Z') || InRange(b, 'a', 'z') || IsHighLetter(b))
      cls = kLetter;
    t.classes[b] = cls;
    t.lower[b] = static_cast<unsigned char>(b);
    t.upper[b] = static_cast<unsigned char>(b);
  }
  for (int b = 'A'; b <= 'Z'; ++b) {
    t.lower[b] = static_cast<unsigned char>(b + 0x20);
    t.upper[b + 0x20] = static_cast<unsigned char>(b);
  }
  for (int b = 0xC0; b <= 0xDE; ++b) {
    if (b == 0xD7)
      continue;  // multiplication sign; F7 is the division sign
    t.lower[b] = static_cast<unsigned char>(b + 0x20);
    t.upper[b + 0x20] = static_cast<unsigned char>(b);
  }
  constexpr std::array<std::array<int, 2>, 4> kPairs{
      {{0x8A, 0x9A}, {0x8C, 0x9C}, {0x8E, 0x9E}, {0x9F, 0xFF}}};
  for (const auto& [upper, lower] : kPairs) {
    t.lower[upper] = static_cast<unsigned char>(lower);
    t.upper[lower] = static_cast<unsigned char>(upper);
  }
  return t;
}

constexpr Tables kTables = MakeTables();

}  // namespace

bool IsAlphaNumeric(unsigned char byte) {
  return kTables.classes[byte] != 0;
}
bool IsAlphabetic(unsigned char byte) {
  return kTables.classes[byte] == kLetter;
}
unsigned char ToLower(unsigned char byte) {
  return kTables.lower[byte];
}
unsigned char ToUpper(unsigned char byte) {
  return kTables.upper[byte];
}

void LowerInPlace(std::string& text) {
  for (char& c : text)
    c = static_cast<char>(ToLower(static_cast<unsigned char>(c)));
}

void UpperInPlace(std::string& text) {
  for (char& c : text)
    c = static_cast<char>(ToUpper(static_cast<unsigned char>(c)));
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size())
    return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (ToLower(static_cast<unsigned char>(a[i])) != ToLower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

}  // namespace varnox::code_page
