#include "platform/ascii_case.h"

#include <gtest/gtest.h>

#include <string_view>

namespace varnox {
namespace {

TEST(AsciiCaseTest, FoldsAsciiLettersOnly) {
  struct Case {
    std::string_view a;
    std::string_view b;
    bool equal;
    bool starts;  // a starts with b
  };
  const Case cases[] = {
      {"Content-Type", "content-type", true, true},
      {"MULTIPART/mixed", "multipart/", false, true},
      {"", "", true, true},
      {"x", "", false, true},
      {"", "x", false, false},
      {"multipart", "multipart/", false, false},
      // 1252 and UTF-8 letters are not folded: "\xC9" is E acute in 1252 and
      // a lead byte in UTF-8.
      {"\xC9", "\xE9", false, false},
      {"[\\]^_`", "[\\]^_`", true, true},
      {"@", "`", false, false},  // the neighbours of the letters stay apart
      {"Z", "z", true, true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ascii::EqualsIgnoreCase(c.a, c.b), c.equal) << c.a << " / " << c.b;
    EXPECT_EQ(ascii::StartsWithIgnoreCase(c.a, c.b), c.starts) << c.a << " / " << c.b;
  }
}

}  // namespace
}  // namespace varnox
