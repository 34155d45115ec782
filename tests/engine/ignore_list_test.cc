#include "engine/ignore_list.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace varnox {
namespace {

using Words = std::set<std::string, std::less<>>;

TEST(IgnoreListTest, AddsWhitespaceSeparatedWordsButComments) {
  struct Case {
    std::string text;
    Words words;
    std::size_t distinct;  // in the text
  };
  const Case cases[] = {
      {"", {}, 0},
      {" \t\r\n\v\f", {}, 0},
      {"; sales words\nthe  Offer\r\n;comment the\n", {"Offer", "sales", "the", "words"}, 4},
      {";;x ;", {}, 0},
      {"a;b", {"a;b"}, 1},
      {std::string("nul\0byte", 8), {std::string("nul\0byte", 8)}, 1},
  };
  for (const Case& c : cases) {
    IgnoreList list;
    EXPECT_EQ(list.AddWords(c.text), c.distinct) << c.text;
    EXPECT_EQ(list.words(), c.words) << c.text;
  }
}

TEST(IgnoreListTest, GrowsAndCountsOnlyTheTextsOwnWords) {
  IgnoreList list;
  list.AddWords("one two");
  EXPECT_EQ(list.AddWords("two three three"), 2u);
  EXPECT_EQ(list.words(), (Words{"one", "three", "two"}));
  EXPECT_EQ(list.Text("\r\n"), "one\r\nthree\r\ntwo\r\n");
}

TEST(IgnoreListTest, KeyLookupsAgreeWithWordLookups) {
  IgnoreList list;
  list.AddWords("the Offer a-very-long-ignored-word");
  for (const char* word : {"the", "Offer", "offer", "a-very-long-ignored-word", "th", ""}) {
    const std::string_view view(word);
    EXPECT_EQ(list.Contains(WordKey(view)), list.Contains(view)) << word;
  }
  EXPECT_TRUE(list.Contains("the"));
  EXPECT_FALSE(list.Contains("offer"));  // kept as read: no lower-casing
}

}  // namespace
}  // namespace varnox
