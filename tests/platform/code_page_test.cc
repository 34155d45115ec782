#include "platform/code_page.h"

#include <gtest/gtest.h>

#include <set>

namespace varnox::code_page {
namespace {

// What Windows answers with code page 1252 above 0x7F.
const std::set<int> kHighLetters = [] {
  std::set<int> s{0x83, 0x88, 0x8A, 0x8C, 0x8E, 0x9A, 0x9C, 0x9E, 0x9F, 0xAA, 0xB5, 0xBA};
  for (int b = 0xC0; b <= 0xFF; ++b) {
    if (b != 0xD7 && b != 0xF7)
      s.insert(b);
  }
  return s;
}();
const std::set<int> kHighDigits{0xB2, 0xB3, 0xB9};

TEST(CodePageTest, ClassesEveryByteAsWindowsDoes) {
  for (int b = 0; b < 256; ++b) {
    const auto byte = static_cast<unsigned char>(b);
    bool letter = (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || kHighLetters.count(b);
    bool digit = (b >= '0' && b <= '9') || kHighDigits.count(b);
    EXPECT_EQ(IsAlphabetic(byte), letter) << "byte " << b;
    EXPECT_EQ(IsAlphaNumeric(byte), letter || digit) << "byte " << b;
  }
}

TEST(CodePageTest, LowerCasesAsCharLowerDoes) {
  struct Case {
    int in, out;
  };
  const Case cases[] = {{'A', 'a'},   {'Z', 'z'},   {'a', 'a'},   {'0', '0'},   {0x8A, 0x9A},
                        {0x8C, 0x9C}, {0x8E, 0x9E}, {0x9F, 0xFF}, {0xC0, 0xE0}, {0xD6, 0xF6},
                        {0xD7, 0xD7}, {0xD8, 0xF8}, {0xDE, 0xFE}, {0xDF, 0xDF}, {0x83, 0x83},
                        {0xB5, 0xB5}, {0x81, 0x81}, {0xF7, 0xF7}};
  for (const Case& c : cases) {
    EXPECT_EQ(ToLower(static_cast<unsigned char>(c.in)), c.out) << "byte " << c.in;
  }
  // Everything not listed as an upper-case letter maps to itself.
  int changed = 0;
  for (int b = 0; b < 256; ++b)
    changed += ToLower(static_cast<unsigned char>(b)) != b;
  EXPECT_EQ(changed, 26 + 30 + 4);
}

TEST(CodePageTest, UpperIsTheInverseOfLower) {
  for (int b = 0; b < 256; ++b) {
    const auto byte = static_cast<unsigned char>(b);
    unsigned char lower = ToLower(byte);
    if (lower != byte) {
      EXPECT_EQ(ToUpper(lower), byte) << "byte " << b;
    }
  }
  EXPECT_EQ(ToUpper(0xDF), 0xDF);  // sharp s has no upper case in 1252
  EXPECT_EQ(ToUpper(0xF7), 0xF7);
}

TEST(CodePageTest, ComparesWholeTextsIgnoringCase) {
  struct Case {
    const char* a;
    const char* b;
    bool equal;
  };
  const Case cases[] = {
      {"Bob@Example.COM", "bob@example.com", true},
      {"", "", true},
      {"", "a", false},
      {"abc", "abcd", false},
      {"\xC9t\xE9", "\xE9T\xC9", true},  // accented letters fold too
      {"SpamFilter", "SPAMFILTER", true},
      {"a\xD7", "A\xF7", false},  // multiplication and division signs stay apart
  };
  for (const Case& c : cases)
    EXPECT_EQ(EqualsIgnoreCase(c.a, c.b), c.equal) << c.a;
}

}  // namespace
}  // namespace varnox::code_page
