#include "linux/cli/text_message.h"

#include <gtest/gtest.h>

#include <string>

namespace varnox::cli {
namespace {

TEST(TextMessageTest, FirstLineIsTheSubjectTheRestTheBody) {
  struct Case {
    const char* what;
    std::string file;
    std::string subject;
    std::string body;
  };
  const Case cases[] = {
      {"plain", "Hello\nBody line\nmore\n", "Hello", "Body line\nmore\n"},
      {"Windows line ends", "Hello\r\nBody\r\n", "Hello", "Body\r\n"},
      {"subject only, no line feed", "Only subject", "Only subject", ""},
      {"empty file", "", "", ""},
      {"empty subject", "\nBody", "", "Body"},
      {"byte order mark dropped", "\xEF\xBB\xBFSubj\nB", "Subj", "B"},
      {"UTF-8 converted", "Caf\xC3\xA9\n\xE2\x82\xAC 5", "Caf\xE9", "\x80 5"},
      {"UTF-8 that 1252 lacks", "\xE6\x97\xA5\xE6\x9C\xAC\n", "??", ""},
      {"not UTF-8: taken as 1252", "Caf\xE9\n\x80 5", "Caf\xE9", "\x80 5"},
  };
  for (const Case& c : cases) {
    const TextMessage message = ParseTextMessage(c.file);
    EXPECT_EQ(message.subject, c.subject) << c.what;
    EXPECT_EQ(message.body, c.body) << c.what;
  }
}

}  // namespace
}  // namespace varnox::cli
