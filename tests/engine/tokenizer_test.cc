#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "engine/bayesian_core.h"
#include "platform/code_page.h"
#include "tests/engine/engine_test_support.h"
#include "tests/fakes/fake_platform.h"

namespace varnox {
namespace {

using testing::FakePlatform;
using testing::kHostLineEnd;
using testing::Occurrences;
using Counts = std::vector<std::pair<std::string, int>>;

class TokenizerTest : public ::testing::Test {
 protected:
  Counts Tokens(std::string_view text) {
    WordTable map;
    const std::uint32_t size = core.Tokenize(text, map);
    EXPECT_EQ(size, map.size());
    return Occurrences(map);
  }

  FakePlatform fake;
  BayesianCore core{fake};
};

TEST_F(TokenizerTest, SplitsAndFiltersWords) {
  struct Case {
    std::string text;
    Counts words;
  };
  const Case cases[] = {
      {"Hello, World.", {{"hello", 1}, {"world", 1}}},
      {"FREE free Free", {{"free", 3}}},
      {"3.14", {{"3.14", 1}}},
      {"1,000.50 dollars", {{"1,000.50", 1}, {"dollars", 1}}},
      {"10.", {}},
      {"5.x", {}},
      {"price:$100", {{"$100", 1}, {"price", 1}}},
      {"buy!!!", {{"buy!!!", 1}}},
      {"!!!buy", {{"buy", 1}}},
      {"'quoted'", {}},
      {"key=value a/b/cd +free", {}},
      {"ab", {}},
      {"abcdefghijklmnop", {}},
      {"abcdefghijklmno", {{"abcdefghijklmno", 1}}},
      {"-offer", {{"offer", 1}}},
      {"!!!", {}},
      {"one\ttwo\rthree\nfour", {{"four", 1}, {"one", 1}, {"three", 1}, {"two", 1}}},
      // A letter after a kept point turns the byte before it into a space.
      {"123.-abc", {{"abc", 1}}},
      {"12.!!!xyz", {{"12.!!", 1}, {"xyz", 1}}},
      {"v1.2b", {{"v1.2b", 1}}},
      // A point after a letter splits; a point after a digit stays.
      {"end.Next 4.5.6", {{"4.5.6", 1}, {"end", 1}, {"next", 1}}},
      // Stripping happens after the length test: the word may be shorter.
      {"'em --ok", {{"em", 1}, {"ok", 1}}},
      {"$$cash", {{"$$cash", 1}}},
      {"don't we_can", {{"don't", 1}, {"we_can", 1}}},
      // Code page 1252 letters, lower-cased; the multiplication sign splits.
      {"\xC9\x43OLE Caf\xC9 2\xD7\x33", {{"caf\xE9", 1}, {"\xE9\x63ole", 1}}},
      // Superscript digits are digits: a point after one stays.
      {"x\xB2.5y", {{"x\xB2.5y", 1}}},
      {"m\xB2.55", {{"m\xB2.55", 1}}},
      {std::string("nul\0byte", 8), {{"byte", 1}, {"nul", 1}}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(Tokens(c.text), c.words) << c.text;
}

// The tokenizer as its rules are written: a copy of the text, a character
// pass that turns what cannot belong to a word into spaces, then a word pass
// over the pieces between spaces. The engine's one-pass tokenizer must give
// the same word map for any text.
Counts ReferenceTokens(std::string text, const std::set<std::string>& ignored) {
  bool after_digit = false;
  bool pending_point = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (code_page::IsAlphaNumeric(byte)) {
      const bool is_digit = !code_page::IsAlphabetic(byte);
      if (pending_point && !is_digit)
        text[i - 1] = ' ';
      pending_point = false;
      after_digit = is_digit;
    } else if (std::string_view("+/=$!'-_").find(text[i]) != std::string_view::npos) {
    } else if ((text[i] == ',' || text[i] == '.') && after_digit) {
      after_digit = false;
      pending_point = true;
    } else {
      text[i] = ' ';
    }
  }
  std::map<std::string, int> counts;
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t start = text.find_first_not_of(' ', at);
    if (start == std::string::npos)
      break;
    const std::size_t end = std::min(text.find(' ', start), text.size());
    at = end;
    const std::string token = text.substr(start, end - start);
    if (token.size() < 3 || token.size() > 15)
      continue;
    const auto last = static_cast<unsigned char>(token.back());
    if (!code_page::IsAlphaNumeric(last) && last != '!')
      continue;
    if (token.find_first_of("+/=") != std::string::npos)
      continue;
    std::size_t first = 0;
    while (first < token.size() &&
           !code_page::IsAlphaNumeric(static_cast<unsigned char>(token[first])) &&
           token[first] != '$')
      ++first;
    if (first == token.size())
      continue;
    std::string word = token.substr(first);
    for (char& c : word)
      c = static_cast<char>(code_page::ToLower(static_cast<unsigned char>(c)));
    if (ignored.count(word) == 0)
      ++counts[word];
  }
  return Counts(counts.begin(), counts.end());
}

TEST_F(TokenizerTest, AgreesWithTheTwoPassRulesOnRandomText) {
  core.LoadIgnoreList("/ignore.txt");  // absent: nothing ignored
  // Every class of byte the rules tell apart, weighted towards words.
  const std::string pieces[] = {"a",    "Z",    "e",    "x",    "7", "0",    "\xE9",
                                "\xC9", "\xB2", "\xD7", "\x8A", ".", ",",    "+",
                                "/",    "=",    "$",    "!",    "'", "-",    "_",
                                " ",    "\t",   "\r\n", "?",    ":", "\x95", std::string(1, '\0'),
                                "\xFF", "\xA0"};
  std::mt19937 random(3);
  for (int round = 0; round < 20000; ++round) {
    std::string text;
    const int length = static_cast<int>(random() % 80);
    for (int i = 0; i < length; ++i) {
      const std::size_t pick = random() % 3 == 0 ? random() % std::size(pieces) : random() % 7;
      text += pieces[pick];
    }
    ASSERT_EQ(Tokens(text), ReferenceTokens(text, {})) << round << ": " << text;
  }
}

// Text is taken 64 bytes at a time where it is mostly ASCII words: pieces
// that cross a window's edge, fill a window, or hold marks and bytes above
// 0x7F between plain words must come out as the rules say.
TEST_F(TokenizerTest, AgreesWithTheTwoPassRulesOnLongMostlyAsciiText) {
  core.LoadIgnoreList("/ignore.txt");  // absent: nothing ignored
  const std::string marks[] = {".", ",", "!", "$", "'", "-", "_", "+", "/", "=", "\xE9", "\xB2"};
  const std::string separators[] = {" ", " ", " ",  "\r\n", "\t",
                                    "?", ":", "\"", "<",    std::string(1, '\0')};
  std::mt19937 random(11);
  for (int round = 0; round < 4000; ++round) {
    std::string text;
    const std::size_t length = 60 + random() % 400;
    while (text.size() < length) {
      if (random() % 8 == 0)
        text += marks[random() % std::size(marks)];
      // A word of 1 to 20 letters and digits (now and then far longer).
      const std::size_t word_length = 1 + random() % (random() % 8 == 0 ? 80 : 20);
      for (std::size_t i = 0; i < word_length; ++i) {
        const unsigned pick = random() % 40;
        text += pick < 26 ? static_cast<char>((random() % 2 == 0 ? 'a' : 'A') + pick)
                          : static_cast<char>('0' + pick % 10);
      }
      if (random() % 6 == 0)
        text += marks[random() % std::size(marks)];
      text += separators[random() % std::size(separators)];
    }
    ASSERT_EQ(Tokens(text), ReferenceTokens(text, {})) << round << ": " << text;
  }
}

// Letter runs are passed over eight bytes at a time: every byte value, at
// every place of a run longer than eight, must end or continue it exactly as
// the rules say (the bytes next to 'A'..'Z' and 'a'..'z' above all).
TEST_F(TokenizerTest, AgreesWithTheTwoPassRulesInsideLongLetterRuns) {
  core.LoadIgnoreList("/ignore.txt");  // absent: nothing ignored
  for (const std::string run :
       {"abcdefghijklmnopqrs", "ZYXWVUTSRQPONMLKJIH", "ab7\xE9xyzQwertyUiop"}) {
    for (int byte = 1; byte < 256; ++byte) {
      for (std::size_t at = 0; at < run.size(); ++at) {
        std::string text = run;
        text[at] = static_cast<char>(byte);
        ASSERT_EQ(Tokens(text), ReferenceTokens(text, {})) << byte << " at " << at;
        const std::string framed = "x " + text + " " + text.substr(0, at);
        ASSERT_EQ(Tokens(framed), ReferenceTokens(framed, {})) << byte << " at " << at;
      }
    }
  }
}

TEST_F(TokenizerTest, AgreesWithTheTwoPassRulesOnMailText) {
  std::set<std::string> ignored;
  fake.files.files["/ignore.txt"] = "the and\nfor\n";
  core.LoadIgnoreList("/ignore.txt");
  for (const std::string& word : core.ignoreList())
    ignored.insert(word);
  for (const char* name : {"mail-meeting.txt", "mail-offer.txt", "mail-punctuation.txt"}) {
    const std::string text = testing::ReadTestFile(name);
    ASSERT_FALSE(text.empty()) << name;
    // Every window of the text, so that pieces start and end anywhere.
    for (std::size_t start = 0; start < text.size(); start += 97)
      ASSERT_EQ(Tokens(text.substr(start, 700)), ReferenceTokens(text.substr(start, 700), ignored))
          << name << " at " << start;
  }
}

TEST_F(TokenizerTest, EmptyTextLeavesTheMapAlone) {
  WordTable map;
  map.Insert("kept", WordEntry{2, 2, 0.5f, 0});
  EXPECT_EQ(core.Tokenize("", map), 1u);
  EXPECT_EQ(Occurrences(map), (Counts{{"kept", 2}}));
  EXPECT_EQ(core.Tokenize("kept more", map), 2u);
  EXPECT_EQ(Occurrences(map), (Counts{{"kept", 3}, {"more", 1}}));
}

TEST_F(TokenizerTest, IgnoredWordsAreNeverCounted) {
  fake.files.files["/ignore"] = "; sales words\nthe  Offer\r\n;comment the\n";
  core.LoadIgnoreList("/ignore");
  EXPECT_EQ(core.ignorePath(), "/ignore");
  EXPECT_EQ(core.ignoreList(),
            (std::set<std::string, std::less<>>{"Offer", "sales", "the", "words"}));
  EXPECT_EQ(core.IsIgnored("the"), 1);
  EXPECT_EQ(core.IsIgnored("comment"), 0);
  // "Offer" has a capital, and every token is lower-cased before the test.
  EXPECT_EQ(Tokens("The offer of THE sales team"), (Counts{{"offer", 1}, {"team", 1}}));
}

TEST_F(TokenizerTest, IgnoreListIsWrittenSorted) {
  fake.files.files["/ignore"] = "zeta alpha\n;gone\nmid alpha " + std::string(300, 'w');
  core.LoadIgnoreList("/ignore");
  core.set_ignorePath("/written");
  core.SaveIgnoreList();
  // Lines end as a text-mode stream of the host writes them.
  const std::string eol = kHostLineEnd;
  EXPECT_EQ(fake.files.files["/written"],
            "alpha" + eol + "mid" + eol + std::string(300, 'w') + eol + "zeta" + eol);
}

// The list changes only by loading, so a file that was read is either the
// list already (its own lines and comments stay) or must not be replaced.
TEST_F(TokenizerTest, IgnoreFileIsNotRewrittenWhenReadOrUnreadable) {
  struct Case {
    const char* what;
    bool unreadable;
    std::vector<std::string> loads;
  };
  const Case cases[] = {
      {"same words", false, {"/ignore"}},
      {"same words loaded twice", false, {"/ignore", "/ignore"}},
      {"exists but unreadable", true, {"/ignore"}},
  };
  for (const Case& c : cases) {
    testing::FakePlatform fresh;
    const std::string file = "; my words\nzeta  alpha\n;alpha\nzeta\n";
    fresh.files.files["/ignore"] = file;
    if (c.unreadable)
      fresh.files.unreadable.push_back("/ignore");
    BayesianCore loaded(fresh);
    for (const std::string& path : c.loads)
      loaded.LoadIgnoreList(path);
    loaded.SaveIgnoreList();
    EXPECT_EQ(fresh.files.replace_calls, 0) << c.what;
    EXPECT_EQ(fresh.files.files["/ignore"], file) << c.what;
  }
}

TEST_F(TokenizerTest, IgnoreListFromTwoFilesIsWrittenToTheLast) {
  fake.files.files["/first"] = "beta";
  fake.files.files["/ignore"] = "alpha";
  core.LoadIgnoreList("/first");
  core.LoadIgnoreList("/ignore");
  core.SaveIgnoreList();
  const std::string eol = kHostLineEnd;
  EXPECT_EQ(fake.files.files["/ignore"], "alpha" + eol + "beta" + eol);
}

TEST_F(TokenizerTest, MissingIgnoreFileIsCreatedEmptyOnSave) {
  core.LoadIgnoreList("/missing");
  EXPECT_TRUE(core.ignoreList().empty());
  EXPECT_EQ(core.ignorePath(), "/missing");
  core.SaveIgnoreList();
  ASSERT_EQ(fake.files.files.count("/missing"), 1u);
  EXPECT_EQ(fake.files.files["/missing"], "");
}

TEST_F(TokenizerTest, FailedIgnoreSaveKeepsTheOldFile) {
  fake.files.files["/ignore"] = "beta alpha";
  core.LoadIgnoreList("/ignore");
  fake.files.files["/other"] = "old";
  fake.files.unwritable.push_back("/other");
  core.set_ignorePath("/other");
  core.SaveIgnoreList();
  EXPECT_EQ(fake.files.replace_calls, 1);
  EXPECT_EQ(fake.files.files["/other"], "old");
  EXPECT_TRUE(fake.ui.messages.empty());
}

TEST_F(TokenizerTest, EmptyIgnorePathWritesNothing) {
  core.SaveIgnoreList();
  EXPECT_EQ(fake.files.replace_calls, 0);
}

TEST_F(TokenizerTest, BinaryAndHugeTextsAreSafe) {
  std::string binary(1 << 16, '\0');
  for (std::size_t i = 0; i < binary.size(); ++i)
    binary[i] = static_cast<char>((i * 131 + 7) % 256);
  WordTable map;
  core.Tokenize(binary, map);
  for (const auto [word, entry] : map) {
    EXPECT_GE(word.size(), 1u);
    EXPECT_LE(word.size(), BayesianCore::kMaxWordLength);
  }
  // One 20 MB run of letters is a single piece, far too long to count.
  EXPECT_EQ(Tokens(std::string(20 << 20, 'a') + " tail"), (Counts{{"tail", 1}}));
}

// The word maps of a few mail texts, kept as expected files so that any
// change of the tokenizer shows as a diff.
TEST_F(TokenizerTest, GoldenWordMaps) {
  for (const char* name : {"mail-offer", "mail-meeting", "mail-punctuation"}) {
    const std::string text = testing::ReadTestFile(std::string(name) + ".txt");
    ASSERT_FALSE(text.empty()) << name;
    std::string listing;
    for (const auto& [word, count] : Tokens(text))
      listing += word + " " + std::to_string(count) + "\n";
    EXPECT_TRUE(testing::MatchesGolden(std::string(name) + ".words", listing)) << name;
  }
}

}  // namespace
}  // namespace varnox
