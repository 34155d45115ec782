#include "mail/message_learning.h"

#include <gtest/gtest.h>

#include "addin/vnx_addin.h"
#include "tests/fakes/fake_host.h"
#include "tests/fakes/fake_platform.h"

namespace varnox {
namespace {

using testing::FakeFolder;
using testing::FakeHost;
using testing::FakeItem;

constexpr char kHeaders[] = "From: <a@b.example>\r\n";

class MessageLearningTest : public ::testing::Test {
 protected:
  std::int32_t Spam() const { return addin.filter.core().spamMessages(); }
  std::int32_t Clean() const { return addin.filter.core().cleanMessages(); }
  std::unique_ptr<host::Message> Message(FakeItem& item) { return host.MessageRef(item); }

  testing::FakePlatform fakes;
  CVNXAddin addin{fakes.platform()};
  FakeHost host;
  FakeFolder& inbox = host.AddStore("Store").AddFolder("Inbox");
};

struct LearnCase {
  const char* name;
  std::optional<std::string> headers;  // nullopt: absent
  bool body_readable;
  int spam;
  int result;
  std::int32_t spam_learned, clean_learned;  // message counts gained
};

class LearnFromMessageTest : public MessageLearningTest,
                             public ::testing::WithParamInterface<LearnCase> {};

TEST_P(LearnFromMessageTest, TeachesOnlyWhatItMay) {
  const LearnCase& c = GetParam();
  FakeItem& mail = inbox.AddMail(c.headers.value_or(""), "offer offer offer", "subject");
  if (!c.headers)
    mail.RemoveProperty(host::kPrTransportMessageHeaders);
  if (!c.body_readable)
    mail.FailProperty(host::kPrBody, kEFail);
  EXPECT_EQ(LearnFromMessage(addin, *Message(mail), c.spam), c.result);
  EXPECT_EQ(Spam(), c.spam_learned);
  EXPECT_EQ(Clean(), c.clean_learned);
  EXPECT_EQ(mail.property_writes, 0) << "learning never writes into the message";
}

const std::string kH = kHeaders;

INSTANTIATE_TEST_SUITE_P(
    Table, LearnFromMessageTest,
    ::testing::Values(
        LearnCase{"Spam", kH, true, 1, 1, 1, 0}, LearnCase{"Clean", kH, true, 0, 1, 0, 1},
        LearnCase{"NoHeadersNeverTaught", std::nullopt, true, 1, 0, 0, 0},
        LearnCase{"SpamMarkRefusedAsSpam", kH + "X-VNX-LEARN:Spam\r\n", true, 1, 0, 0, 0},
        LearnCase{"SpamMarkRefusedAsClean", kH + "X-VNX-LEARN:Spam\r\n", true, 0, 0, 0, 0},
        LearnCase{"NotSpamMarkTaughtAsSpam", kH + "X-VNX-LEARN:NotSpam\r\n", true, 1, 1, 1, 0},
        LearnCase{"NotSpamMarkTaughtAsClean", kH + "X-VNX-LEARN:NotSpam\r\n", true, 0, 1, 0, 1},
        LearnCase{"BodyUnreadable", kH, false, 1, 0, 0, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(MessageLearningTest, LearnFromMessageCountsTheWordsOnTheChosenSide) {
  FakeItem& mail = inbox.AddMail(kHeaders, "offer offer offer", "");
  ASSERT_EQ(LearnFromMessage(addin, *Message(mail), 1), 1);
  const WordEntry* offer = addin.filter.core().words().Find("offer");
  ASSERT_NE(offer, nullptr);
  EXPECT_EQ(offer->spamCount, 3);
  EXPECT_EQ(offer->cleanCount, 0);
}

TEST_F(MessageLearningTest, RelearnNeedsNoHeaders) {
  FakeItem& mail = inbox.AddBareMail();
  mail.set_body("offer");
  mail.set_subject("cheap");
  EXPECT_EQ(RelearnFromMessage(addin, *Message(mail), 0), 1);
  EXPECT_GE(Clean(), 1);
  EXPECT_EQ(mail.property_reads, 2) << "body and subject only";
}

TEST_F(MessageLearningTest, RelearnRefusesWithoutSubject) {
  FakeItem& mail = inbox.AddMail(kHeaders, "offer", "cheap");
  mail.RemoveProperty(host::kPrNormalizedSubject);
  EXPECT_EQ(RelearnFromMessage(addin, *Message(mail), 1), 0);
  EXPECT_EQ(Spam(), 0);
  EXPECT_EQ(Clean(), 0);
}

// Learning counts a message once; correcting it retrains until the filter
// agrees, which for a fresh table takes several passes.
TEST_F(MessageLearningTest, LearnOrRelearnFollowsTheMark) {
  FakeItem& unmarked = inbox.AddMail(kHeaders, "cheap pills", "offer");
  EXPECT_EQ(LearnOrRelearn(addin, *Message(unmarked), 0), 1);
  EXPECT_EQ(Clean(), 1) << "learned once";

  FakeItem& marked = inbox.AddMail(kH + "X-VNX-LEARN:Spam\r\n", "great meeting", "notes");
  EXPECT_EQ(LearnOrRelearn(addin, *Message(marked), 0), 1);
  EXPECT_GT(Clean(), 2) << "relearned: moved, then retrained";
  EXPECT_EQ(Spam(), 0);
}

TEST_F(MessageLearningTest, LearnOrRelearnWithoutHeadersTeachesNothing) {
  FakeItem& sent = inbox.AddBareMail();
  sent.set_body("cheap pills");
  sent.set_subject("offer");
  EXPECT_EQ(LearnOrRelearn(addin, *Message(sent), 1), 0);
  EXPECT_EQ(Spam(), 0);
}

}  // namespace
}  // namespace varnox
