// The pieces of the command table that every command uses.
#include "linux/cli/command.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace varnox::cli {
namespace {

TEST(FindNameTest, AnEqualNameFirstThenOneEqualIgnoringCase) {
  const std::vector<std::string> names = {"Joe@Example.com", "joe@example.com", "Archiv\xC9"};
  struct Case {
    const char* name;
    int found;
  };
  for (const Case& c :
       {Case{"joe@example.com", 1}, Case{"JOE@EXAMPLE.COM", 0}, Case{"Joe@Example.com", 0},
        Case{"archiv\xE9", 2}, Case{"bob@example.com", -1}, Case{"", -1}}) {
    EXPECT_EQ(FindName(names, c.name), c.found) << c.name;
  }
  EXPECT_EQ(FindName({}, "Inbox"), -1);
}

}  // namespace
}  // namespace varnox::cli
