#include "mail/message_texts.h"

#include <gtest/gtest.h>

#include "tests/fakes/fake_host.h"

namespace varnox {
namespace {

using testing::FakeFolder;
using testing::FakeHost;
using testing::FakeItem;

class MessageTextsTest : public ::testing::Test {
 protected:
  FakeHost host;
  FakeFolder& inbox = host.AddStore("Store").AddFolder("Inbox");
};

TEST_F(MessageTextsTest, ReadsInTheOrderAskedAndStopsAtTheFirstUnreadable) {
  FakeItem& mail = inbox.AddMail("H", "B", "S");
  mail.FailProperty(host::kPrBody, kEAccessDenied);
  auto message = host.MessageRef(mail);
  MessageTexts texts;
  EXPECT_FALSE(ReadMessageTexts(
      *message, {MessageText::kSubject, MessageText::kBody, MessageText::kHeaders}, &texts));
  EXPECT_EQ(texts.subject, "S");
  EXPECT_FALSE(texts.body.has_value()) << "unreadable is absent, not empty";
  EXPECT_FALSE(texts.headers.has_value()) << "not read after the failure";
  EXPECT_EQ(mail.property_reads, 2);
}

TEST_F(MessageTextsTest, EmptyTextIsPresentNotAbsent) {
  FakeItem& mail = inbox.AddMail("", "", "");
  MessageTexts texts;
  EXPECT_TRUE(ReadMessageTexts(*host.MessageRef(mail),
                               {MessageText::kHeaders, MessageText::kBody, MessageText::kSubject},
                               &texts));
  EXPECT_EQ(texts.headers, "");
  EXPECT_EQ(texts.body, "");
  EXPECT_EQ(texts.subject, "");
}

struct MarkCase {
  const char* name;
  std::optional<std::string> headers;  // nullopt: the property is absent
  bool headers_only;
  int result;
  std::string text;
};

class FindLearnMarkTest : public MessageTextsTest,
                          public ::testing::WithParamInterface<MarkCase> {};

TEST_P(FindLearnMarkTest, ReportsTheMarkOrTheHeaders) {
  const MarkCase& c = GetParam();
  FakeItem& mail = inbox.AddMail("", "B", "S");
  if (c.headers)
    mail.set_headers(*c.headers);
  else
    mail.RemoveProperty(host::kPrTransportMessageHeaders);
  std::string text = "before";
  EXPECT_EQ(FindLearnMark(*host.MessageRef(mail), &text, c.headers_only), c.result);
  EXPECT_EQ(text, c.text);
}

INSTANTIATE_TEST_SUITE_P(
    Table, FindLearnMarkTest,
    ::testing::Values(
        MarkCase{"Unreadable", std::nullopt, false, 0, "before"},
        MarkCase{"UnreadableHeadersOnly", std::nullopt, true, 0, "before"},
        MarkCase{"HeadersOnlyGivesHeaders", "A: 1\r\nX-VNX-LEARN:Spam\r\n", true, 1,
                 "A: 1\r\nX-VNX-LEARN:Spam\r\n"},
        MarkCase{"Spam", "A: 1\r\nX-VNX-LEARN:Spam\r\n", false, 1, "X-VNX-LEARN:Spam"},
        MarkCase{"NotSpam", "X-VNX-LEARN:NotSpam\r\n", false, 1, "X-VNX-LEARN:NotSpam"},
        MarkCase{"BothGivesSpam", "X-VNX-LEARN:NotSpam\r\nX-VNX-LEARN:Spam\r\n", false, 1,
                 "X-VNX-LEARN:Spam"},
        MarkCase{"LowerCaseIsNoMark", "x-vnx-learn:spam\r\n", false, 0, "x-vnx-learn:spam\r\n"},
        MarkCase{"OtherLearnTextIsNoMark", "X-VNX-LEARN:Maybe\r\n", false, 0,
                 "X-VNX-LEARN:Maybe\r\n"},
        MarkCase{"MarkAfterNul", std::string("A\0X-VNX-LEARN:Spam", 18), false, 1,
                 "X-VNX-LEARN:Spam"},
        MarkCase{"None", "A: 1\r\n", false, 0, "A: 1\r\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(MessageTextsTest, AppendWritesHeadersAndTextAndSavesWithForceSave) {
  FakeItem& mail = inbox.AddMail("A: 1\r\n", "B", "S");
  AppendToTransportHeaders(*host.MessageRef(mail), "A: 1\r\n", "X-VNX-RESULT:NotSpam");
  EXPECT_EQ(mail.headers(), "A: 1\r\nX-VNX-RESULT:NotSpam");
  EXPECT_EQ(mail.save_flags, std::vector<std::uint32_t>{host::kForceSave});
  EXPECT_EQ(host.CallsTo("Message.SetProp").at(0).detail, "0x007D001E (26 bytes)");
}

TEST_F(MessageTextsTest, AppendGoesOnWhenTheWriteOrSaveFails) {
  FakeItem& mail = inbox.AddMail("A", "B", "S");
  host.Fail("Message.SetProp", kEAccessDenied);
  host.Fail("Message.SaveChanges", kEFail);
  AppendToTransportHeaders(*host.MessageRef(mail), "A", "note");
  EXPECT_EQ(mail.headers(), "A");
  EXPECT_EQ(host.CountCalls("Message.SaveChanges"), 1) << "the save is tried all the same";
}

}  // namespace
}  // namespace varnox
