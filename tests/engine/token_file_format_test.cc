#include "engine/token_file_format.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/engine/engine_test_support.h"

namespace varnox {
namespace {

using testing::WordsOf;

TEST(TokenFileFormatTest, WritesTheMarkTheCountsAndALinePerToken) {
  TokenFileFormat format;
  std::string text;
  format.AppendHeader(MessageCounts{1, 2}, &text);
  format.AppendEntry("from:@x.example", WordEntry{1, 0, 0.25f, 1'700'000'000}, &text);
  format.AppendEntry("offer", WordEntry{1, 1, 0.5f, 1'700'000'100}, &text);
  EXPECT_EQ(text,
            "Varnox second judge = 1\nSpam = 1\nClean = 2\n"
            "1 0 1700000000 from:@x.example\n1 1 1700000100 offer\n");
  EXPECT_TRUE(format.Recognizes(text));

  WordTable table;
  MessageCounts counts;
  format.Read(text, 5, table, counts);
  EXPECT_EQ(counts.spam, 1);
  EXPECT_EQ(counts.clean, 2);
  EXPECT_EQ(WordsOf(table), (std::vector<std::string>{"from:@x.example", "offer"}));
  EXPECT_EQ(*table.Find("offer"), (WordEntry{1, 1, 0.5f, 1'700'000'100}));
}

TEST(TokenFileFormatTest, OnlyATextWithTheMarkIsOne) {
  const TokenFileFormat format;
  for (const char* text : {"", "Varnox second judge = 1", "plain text, not ours\n",
                           "Version = 1.01\nSpam = 1\nClean = 2\n", " Varnox second judge = 1\n"})
    EXPECT_FALSE(format.Recognizes(text)) << text;
  EXPECT_TRUE(format.Recognizes("Varnox second judge = 1\n"));
}

TEST(TokenFileFormatTest, DamagedLinesAreSkipped) {
  TokenFileFormat format;
  const std::string text =
      "Varnox second judge = 1\nSpam = 3\nClean = x\n"
      "2 1 5 good\n-1 2 5 negative\n1 1 tab\there\n0 0 5 zero\n1 2\n"
      "1 1 5 " +
      std::string(256, 'a') + "\n1 1 5 " + std::string(255, 'b') +
      "\n4 0 0 timeless\n2147483648 1 5 huge\n1 1 5 del\x7F\n1 0 5 good";  // last: no line feed
  WordTable table;
  MessageCounts counts;
  format.Read(text, 1'700'000'000, table, counts);
  EXPECT_EQ(WordsOf(table), (std::vector<std::string>{std::string(255, 'b'), "good", "timeless"}));
  EXPECT_EQ(table.Find("good")->spamCount, 3) << "two lines of one token add up";
  EXPECT_EQ(table.Find("timeless")->lastSeen, 1'700'000'000) << "load time";
  EXPECT_EQ(counts.spam, 3);
  EXPECT_EQ(counts.clean, 0);
}

}  // namespace
}  // namespace varnox
