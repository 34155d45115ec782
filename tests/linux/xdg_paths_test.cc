#include "linux/platform/xdg_paths.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace varnox {
namespace {

TEST(XdgPathsTest, FollowsTheVariablesAndTheirDefaults) {
  struct Case {
    const char* what;
    std::map<std::string, std::string> env;
    const char* config;
    const char* data;
  };
  const Case cases[] = {
      {"defaults under HOME",
       {{"HOME", "/home/u"}},
       "/home/u/.config/varnox",
       "/home/u/.local/share/varnox"},
      {"both set",
       {{"HOME", "/home/u"}, {"XDG_CONFIG_HOME", "/c"}, {"XDG_DATA_HOME", "/d/"}},
       "/c/varnox",
       "/d/varnox"},
      {"empty and relative values are passed over",
       {{"HOME", "/home/u/"}, {"XDG_CONFIG_HOME", ""}, {"XDG_DATA_HOME", "rel/data"}},
       "/home/u/.config/varnox",
       "/home/u/.local/share/varnox"},
      {"no HOME needed when both are set",
       {{"XDG_CONFIG_HOME", "/c"}, {"XDG_DATA_HOME", "/"}},
       "/c/varnox",
       "/varnox"},
  };
  for (const Case& c : cases) {
    auto lookup = [&](const char* name) -> const char* {
      auto it = c.env.find(name);
      return it == c.env.end() ? nullptr : it->second.c_str();
    };
    XdgPaths paths;
    std::string error;
    ASSERT_TRUE(FindXdgPaths(lookup, &paths, &error)) << c.what << ": " << error;
    EXPECT_EQ(paths.config_folder, c.config) << c.what;
    EXPECT_EQ(paths.data_folder, c.data) << c.what;
  }
  XdgPaths paths{"/c/varnox", "/d/varnox"};
  EXPECT_EQ(paths.SettingsFile(), "/c/varnox/settings.ini");
  EXPECT_EQ(paths.WordFile(), "/d/varnox/words.db");
}

}  // namespace
}  // namespace varnox
