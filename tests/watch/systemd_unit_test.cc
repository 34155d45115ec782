// The user unit's text: what a unit line would read otherwise is escaped,
// and what no unit line can hold is refused. (systemd's own reading of the
// unit `varnox service` prints: tests/linux/varnox_service_test.cc.)
#include "linux/watch/systemd_unit.h"

#include <gtest/gtest.h>

#include <string>

namespace varnox {
namespace {

using watch::UnitQuoted;

TEST(UnitQuotedTest, EscapesWhatAUnitLineWouldReadOtherwise) {
  struct Case {
    const char* text;
    watch::UnitWord word;
    const char* quoted;  // null: refused
  };
  using enum watch::UnitWord;
  const Case cases[] = {
      {"/usr/bin/varnox", kProgram, "\"/usr/bin/varnox\""},
      {"", kArgument, "\"\""},
      {"a b", kProgram, "\"a b\""},
      {"100%", kProgram, "\"100%%\""},
      {"100%", kArgument, "\"100%%\""},
      {"100%", kEnvironment, "\"100%%\""},
      {"$HOME", kArgument, "\"$$HOME\""},
      {"$HOME", kProgram, "\"$HOME\""},      // the program's name expands nothing
      {"$HOME", kEnvironment, "\"$HOME\""},  // nor does Environment=
      {"say \"hi\"", kArgument, "\"say \\\"hi\\\"\""},
      {"back\\slash", kEnvironment, "\"back\\\\slash\""},
      {"it's", kArgument, "\"it's\""},
      {"caf\xc3\xa9", kArgument, "\"caf\xc3\xa9\""},  // UTF-8 as it is
      {"/opt/say \"hi\"/varnox", kProgram, nullptr},
      {"/opt/back\\slash/varnox", kProgram, nullptr},
      {"/opt/it's/varnox", kProgram, nullptr},
      {"new\nline", kArgument, nullptr},
      {"tab\there", kEnvironment, nullptr},
      {"del\x7f", kProgram, nullptr},
  };
  for (const Case& c : cases) {
    const std::optional<std::string> quoted = UnitQuoted(c.text, c.word);
    if (c.quoted == nullptr)
      EXPECT_FALSE(quoted.has_value()) << c.text;
    else
      EXPECT_EQ(quoted.value_or("(refused)"), c.quoted) << c.text;
  }
}

TEST(UserUnitTest, RefusesAStoreItCannotWrite) {
  EXPECT_FALSE(watch::UserUnit({"/usr/bin/varnox", {"/home/a/Mail\nbox"}, {}}).has_value());
  EXPECT_FALSE(watch::UserUnit({"/usr/bin/varnox", {}, {{"XDG_DATA_HOME", "/x\r"}}}).has_value());
}

}  // namespace
}  // namespace varnox
