// The tokenizer and Classify on arbitrary bytes. Every word the tokenizer
// gives is checked against what a word can be (it ends up in a header line
// we write, so it can never hold a line break), and every verdict against
// its score.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/bayesian_filter.h"
#include "platform/code_page.h"
#include "settings/settings_store.h"
#include "tests/fakes/fake_platform.h"
#include "tests/fuzz/fuzz_check.h"

namespace varnox {
using code_page::IsAlphaNumeric;
using code_page::ToLower;
namespace {

bool IsStrippedByte(unsigned char byte) {
  return !IsAlphaNumeric(byte) && byte != '$';
}

// The bytes a counted word may hold: those the character pass keeps.
bool IsWordByte(unsigned char byte) {
  return IsAlphaNumeric(byte) ||
         std::string_view("$!'-_,.").find(static_cast<char>(byte)) != std::string_view::npos;
}

void CheckWord(std::string_view word, const WordEntry& entry) {
  VARNOX_FUZZ_CHECK(!word.empty() && word.size() <= BayesianCore::kMaxWordLength);
  VARNOX_FUZZ_CHECK(!IsStrippedByte(static_cast<unsigned char>(word.front())));
  const unsigned char last = static_cast<unsigned char>(word.back());
  VARNOX_FUZZ_CHECK(IsAlphaNumeric(last) || last == '!');
  for (char c : word) {
    const unsigned char byte = static_cast<unsigned char>(c);
    VARNOX_FUZZ_CHECK(IsWordByte(byte));
    VARNOX_FUZZ_CHECK(ToLower(byte) == byte);
  }
  VARNOX_FUZZ_CHECK(entry.spamCount >= 1 && entry.spamCount == entry.cleanCount);
}

// The learned side: a few texts on each side, so that scoring has words to
// weigh. Built once; each input gets a copy of the saved file.
const std::string& LearnedDatabase() {
  static const std::string bytes = [] {
    testing::FakePlatform fakes;
    fakes.registry.CreateKey();
    fakes.registry.SetString(setting::kWordFilePath, "words.db");
    std::string saved;
    {
      BayesianFilter filter(fakes);
      filter.Initialize();
      for (int i = 0; i < 6; ++i) {
        filter.Learn("cheap pills viagra casino winner click here now free!!! $100 offer",
                     "You are a WINNER", 1);
        filter.Learn("meeting agenda for tuesday, the budget report 3.14 attached",
                     "Re: quarterly report", 0);
      }
      filter.Save();
    }
    return fakes.files.files["words.db"];
  }();
  return bytes;
}

}  // namespace
}  // namespace varnox

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace varnox;
  FuzzedDataProvider input(data, size);
  std::string subject = input.ConsumeRandomLengthString(256);
  std::string body = input.ConsumeRemainingBytesAsString();

  testing::FakePlatform fakes;
  fakes.registry.CreateKey();
  fakes.registry.SetString(setting::kWordFilePath, "words.db");
  fakes.files.files["words.db"] = LearnedDatabase();
  BayesianFilter filter(fakes);
  filter.Initialize();

  WordTable words;
  const std::uint32_t count = filter.core().Tokenize(body, words);
  VARNOX_FUZZ_CHECK(count == words.size());
  for (const auto& item : words)
    CheckWord(item.word, item.entry);

  MessageInfo info;
  info.subject = subject;
  const int verdict = filter.Classify(body, info);
  VARNOX_FUZZ_CHECK(verdict == 0 || verdict == 1);
  if (info.nonEnglish != 0) {
    VARNOX_FUZZ_CHECK(verdict == 1);
    VARNOX_FUZZ_CHECK(BayesianFilter::HasNonEnglishRun(subject) ||
                      BayesianFilter::HasNonEnglishRun(body));
    return 0;
  }
  VARNOX_FUZZ_CHECK(info.score >= 0 && info.score <= 100);
  VARNOX_FUZZ_CHECK(verdict == (info.score > static_cast<int>(BayesianCore::kSpamThreshold)));
  // The top words go into a header line: one line, ended by its CR LF.
  const std::string& top = info.topWords;
  if (!top.empty()) {
    VARNOX_FUZZ_CHECK(top.size() >= 2 && top.compare(top.size() - 2, 2, "\r\n") == 0);
    const std::string_view line(top.data(), top.size() - 2);
    VARNOX_FUZZ_CHECK(line.find_first_of("\r\n") == std::string_view::npos);
  }
  return 0;
}
