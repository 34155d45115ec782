#include "engine/message_tokens.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "engine/ignore_list.h"
#include "tests/engine/engine_test_support.h"

namespace varnox {
namespace {

using testing::Occurrences;

TEST(MessageTokensTest, WordsOfTheSubjectAndBodyApartWithoutTheIgnoredOnes) {
  IgnoreList ignored;
  ignored.AddWords("the");
  const Tokenizer tokenizer(&ignored);
  struct Case {
    const char* subject;
    const char* body;
    std::vector<std::pair<std::string, int>> words;
  };
  const Case cases[] = {
      {"Cheap", "pills", {{"cheap", 1}, {"pills", 1}}},  // never "cheappills"
      {"the offer", "The OFFER", {{"offer", 2}}},
      {"", "", {}},
  };
  for (const Case& c : cases) {
    MessageTokens tokens(c.subject, c.body, "", tokenizer);
    EXPECT_EQ(Occurrences(tokens.Words()), c.words) << c.subject;
  }
}

TEST(MessageTokensTest, EachKindIsMadeOnceUntilTheWordsAreTaken) {
  const Tokenizer tokenizer;
  MessageTokens tokens("Offer", "see http://shop.example/", "From: <a@b.example>\n", tokenizer);
  const WordCounts& words = tokens.Words();
  EXPECT_EQ(&tokens.Words(), &words);
  const TokenSet& mail = tokens.MailTokens();
  EXPECT_EQ(&tokens.MailTokens(), &mail);
  for (const char* token : {"from:@b.example", "subj:offer", "url:shop.example"})
    EXPECT_TRUE(mail.Contains(token)) << token;

  const auto counted = Occurrences(words);
  EXPECT_EQ(Occurrences(tokens.TakeWords()), counted);
  EXPECT_EQ(Occurrences(tokens.Words()), counted) << "counted again after they were taken";
}

}  // namespace
}  // namespace varnox
