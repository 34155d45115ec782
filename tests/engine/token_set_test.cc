#include "engine/token_set.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace varnox {
namespace {

std::vector<std::string> InOrder(const TokenSet& set) {
  std::vector<std::string> tokens;
  for (const WordKey& key : set.keys())
    tokens.emplace_back(key.word());
  return tokens;
}

TEST(TokenSetTest, KeepsEachTokenOnceInTheOrderFirstAdded) {
  struct Case {
    std::vector<std::string> added;
    std::vector<std::string> kept;
  };
  const std::string long_token = "rcvd:" + std::string(40, 'x') + ".example";
  const std::string huge_token(10000, 'h');  // larger than a block of bytes
  const Case cases[] = {
      {{}, {}},
      {{"a", "b", "a", "c", "b"}, {"a", "b", "c"}},
      {{""}, {""}},
      // 15 bytes fit in a key, 16 do not; both compare whole.
      {{"fifteen-bytes-x", "sixteen-bytes-xy", "fifteen-bytes-x", "sixteen-bytes-xz"},
       {"fifteen-bytes-x", "sixteen-bytes-xy", "sixteen-bytes-xz"}},
      {{long_token, "short", long_token}, {long_token, "short"}},
      {{std::string("nul\0one", 7), std::string("nul\0two", 7), std::string("nul\0one", 7)},
       {std::string("nul\0one", 7), std::string("nul\0two", 7)}},
      {{huge_token, "after", huge_token}, {huge_token, "after"}},
  };
  for (const Case& c : cases) {
    TokenSet set;
    for (const std::string& token : c.added)
      set.Add(token);
    EXPECT_EQ(InOrder(set), c.kept);
    for (const std::string& token : c.added)
      EXPECT_TRUE(set.Contains(token));
    EXPECT_FALSE(set.Contains("absent"));
  }
}

TEST(TokenSetTest, AddTellsWhetherTheTokenIsNew) {
  TokenSet set;
  EXPECT_TRUE(set.Add("from:@x.example"));
  EXPECT_FALSE(set.Add("from:@x.example"));
  EXPECT_TRUE(set.Add("from:@y.example"));
  EXPECT_EQ(set.size(), 2u);
}

TEST(TokenSetTest, LongTokensStayReadableAsTheSetGrowsAndAfterClear) {
  // Thousands of long tokens: the index is rebuilt and new blocks of bytes
  // are taken several times; every key must still read its own token.
  TokenSet set;
  for (int round = 0; round < 2; ++round) {
    std::vector<std::string> tokens;
    for (int i = 0; i < 3000; ++i)
      tokens.push_back("url:host-number-" + std::to_string(i + round) + ".example");
    for (const std::string& token : tokens)
      ASSERT_TRUE(set.Add(token));
    for (const std::string& token : tokens)
      ASSERT_FALSE(set.Add(token));
    ASSERT_EQ(InOrder(set), tokens);
    set.clear();
    EXPECT_TRUE(set.empty());
    EXPECT_FALSE(set.Contains(tokens.front()));
  }
}

}  // namespace
}  // namespace varnox
