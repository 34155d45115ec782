// Plain messages are read without GMime; what they give must be what GMime
// gives, on every message of our corpora and of the public corpus (when
// bench/corpus.sh has fetched it), and on made-up messages that vary the
// fields the quick way reads.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "mime/mime_reader.h"

namespace varnox::mime {
namespace {

namespace fs = std::filesystem;

fs::path TestData() {
  const char* data = std::getenv("VARNOX_TEST_DATA");
  return data != nullptr ? fs::path(data) : fs::path("tests/data");
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

// The number of messages that read differently, with the first few named.
int Differences(const std::vector<std::pair<std::string, std::string>>& messages,
                std::string* report) {
  int different = 0;
  for (const auto& [name, raw] : messages) {
    const MimeTexts quick = ReadMimeTexts(raw);
    const MimeTexts parsed = ReadMimeTextsThroughParser(raw);
    if (quick.headers == parsed.headers && quick.subject == parsed.subject &&
        quick.body == parsed.body)
      continue;
    if (++different <= 3) {
      *report += "\n" + name + ":\n  subject " + quick.subject + " | " + parsed.subject +
                 "\n  body " + quick.body.substr(0, 200) + " | " + parsed.body.substr(0, 200);
    }
  }
  return different;
}

std::vector<std::pair<std::string, std::string>> MessagesIn(const fs::path& dir) {
  std::vector<std::pair<std::string, std::string>> messages;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(dir, error)) {
    if (entry.is_regular_file() && entry.path().extension() != ".json")
      messages.emplace_back(entry.path().string(), ReadFile(entry.path()));
  }
  return messages;
}

TEST(PlainMessageTest, OurCorporaReadAsThroughTheParser) {
  std::vector<std::pair<std::string, std::string>> messages;
  for (const char* dir : {"maildir", "eval/good", "eval/spam", "engine"}) {
    for (auto& message : MessagesIn(TestData() / dir))
      messages.push_back(std::move(message));
  }
  ASSERT_GT(messages.size(), 20u);
  std::string report;
  EXPECT_EQ(Differences(messages, &report), 0) << report;
}

TEST(PlainMessageTest, PublicCorpusReadsAsThroughTheParser) {
  const char* configured = std::getenv("VARNOX_CORPUS");
  const fs::path corpus =
      configured != nullptr ? fs::path(configured) : TestData() / "../../build/corpus/package/data";
  if (!fs::is_directory(corpus / "spam-2"))
    GTEST_SKIP() << "no public corpus at " << corpus << " (bash bench/corpus.sh --fetch-only)";
  std::vector<std::pair<std::string, std::string>> messages;
  for (const char* dir : {"easy-ham-1", "easy-ham-2", "hard-ham-1", "spam-1", "spam-2"}) {
    for (auto& message : MessagesIn(corpus / dir))
      messages.push_back(std::move(message));
  }
  ASSERT_GT(messages.size(), 6000u);
  std::string report;
  EXPECT_EQ(Differences(messages, &report), 0) << report;
}

TEST(PlainMessageTest, MadeUpMessagesReadAsThroughTheParser) {
  static const char* const kSubjects[] = {"Hello",
                                          "  spaced  out  ",
                                          "Re: tab\there",
                                          "Fwd: folded\n  line",
                                          "folded\r\n\tby tab",
                                          "=?utf-8?Q?caf=C3=A9?=",
                                          "caf\xC3\xA9",
                                          "",
                                          "a=?b",
                                          "Re:x",
                                          "trailing \t",
                                          "RE: RE: two"};
  static const char* const kTypes[] = {
      "",
      "Content-Type: text/plain\n",
      "Content-Type: text/plain; charset=iso-8859-1\n",
      "Content-Type: TEXT/Plain; Charset=\"UTF-8\"; format=flowed\n",
      "Content-Type: text/plain;\n\tcharset=windows-1252\n",
      "Content-Type: text/plain; charset=koi8-r\n",
      "Content-Type: text/plain; charset=\"x-unknown\";\n",
      "Content-Type: text/plain (comment); charset=utf-8\n",
      "Content-Type: text/plain; charset*=utf-8''x\n",
      "Content-Type: text/html\n",
      "Content-Type: text/plain\nContent-Type: text/html\n",
      "Content-Type: text / plain ; charset = us-ascii\n"};
  static const char* const kEncodings[] = {"",
                                           "Content-Transfer-Encoding: 7bit\n",
                                           "Content-Transfer-Encoding: 8BIT\n",
                                           "Content-Transfer-Encoding: quoted-printable\n",
                                           "Content-Transfer-Encoding: base64\n",
                                           "Content-Disposition: attachment\n"};
  static const char* const kBodies[] = {"plain words\n",
                                        "caf\xE9 cr\xC3\xA8me =41\n",
                                        "Y2Fm6Q==\n",
                                        "\xD0\xD2\xC9 \xE2\x82\xAC\n",
                                        "",
                                        "line\r\nends\rmixed\n"};
  std::mt19937 random(11);
  std::vector<std::pair<std::string, std::string>> messages;
  for (int i = 0; i < 4000; ++i) {
    std::string raw = "Received: from mx by mail\n";
    if (random() % 8 != 0) {
      raw += "Subject: ";
      raw += kSubjects[random() % std::size(kSubjects)];
      raw += "\n";
    }
    raw += kTypes[random() % std::size(kTypes)];
    raw += kEncodings[random() % std::size(kEncodings)];
    raw += "To: a@b\n\n";
    raw += kBodies[random() % std::size(kBodies)];
    if (random() % 4 == 0) {
      std::string crlf;
      for (char c : raw) {
        if (c == '\n' && (crlf.empty() || crlf.back() != '\r'))
          crlf += '\r';
        crlf += c;
      }
      raw = crlf;
    }
    messages.emplace_back("made-up " + std::to_string(i), raw);
  }
  std::string report;
  EXPECT_EQ(Differences(messages, &report), 0) << report;
}

}  // namespace
}  // namespace varnox::mime
