#include "mail/sender_address.h"

#include <gtest/gtest.h>

#include <string>

namespace varnox {
namespace {

struct SenderCase {
  const char* name;
  std::string headers;
  int result;
  std::string address;  // expected when result is 1
};

class ExtractSenderAddressTest : public ::testing::TestWithParam<SenderCase> {};

TEST_P(ExtractSenderAddressTest, FollowsTheFromLineRules) {
  const SenderCase& c = GetParam();
  std::string address = "";
  EXPECT_EQ(ExtractSenderAddress(c.headers, &address), c.result);
  EXPECT_EQ(address, c.result == 1 ? c.address : "") << "a miss leaves the caller's empty text";
}

const std::string kLong260(260, 'a');
const std::string kLong259(259, 'a');

INSTANTIATE_TEST_SUITE_P(
    Table, ExtractSenderAddressTest,
    ::testing::Values(
        SenderCase{"DisplayName", "To: x\r\nFrom: Ann Lee <ann@lee.org>\r\n", 1, "ann@lee.org"},
        SenderCase{"BracketsOnly", "From: <ann@lee.org>\r\n", 1, "ann@lee.org"},
        SenderCase{"NoBrackets", "From: ann@lee.org\r\n", 0, ""},
        SenderCase{"LowerCaseTagIsNotTheSender", "from: <ann@lee.org>\r\n", 0, ""},
        SenderCase{"InsideLongerHeaderName", "X-Original-From: <orig@a.b>\r\nFrom: <ann@c.d>\r\n",
                   1, "orig@a.b"},
        SenderCase{"FirstFromWins", "From: <one@a.b>\r\nFrom: <two@a.b>\r\n", 1, "one@a.b"},
        SenderCase{"NoLineEnd", "Subject: s\r\nFrom: <ann@lee.org>", 0, ""},
        SenderCase{"LineFeedOnly", "From: <ann@lee.org>\nTo: b\n", 0, ""},
        SenderCase{"OpenWithoutClose", "From: Ann <ann@lee.org\r\n", 0, ""},
        SenderCase{"CloseBeforeOpenTakesTheRest", "From: a>b <ann@lee.org\r\n", 1, "ann@lee.org"},
        SenderCase{"CloseBeforeOpenKeepsLaterClose", "From: a>b <ann@lee.org>\r\n", 1,
                   "ann@lee.org>"},
        SenderCase{"EmptyBrackets", "From: <>\r\n", 1, ""},
        SenderCase{"SixthCharacterIsSkipped", "From:<ann@lee.org>\r\n", 0, ""},
        SenderCase{"FolderContinuationIsNotRead", "From: Ann Lee\r\n <ann@lee.org>\r\n", 0, ""},
        // A bare "From:" has nothing after it to skip: no address, no read past the line.
        SenderCase{"BareFrom", "From:\r\n<x@y.z>\r\n", 0, ""},
        SenderCase{"FromAndOneCharacter", "From:x\r\n<x@y.z>\r\n", 0, ""},
        SenderCase{"BareFromAtEnd", std::string("From:\r\n"), 0, ""},
        SenderCase{"Longest", "From: <" + kLong259 + ">\r\n", 1, kLong259},
        SenderCase{"TooLongIsNoAddress", "From: <" + kLong260 + ">\r\n", 0, ""},
        SenderCase{"NulBytesAreText", std::string("From: <a\0b@c.d>\r\n", 17), 1,
                   std::string("a\0b@c.d", 7)},
        SenderCase{"Empty", "", 0, ""},
        // A lone line break inside the From line would reach the black-list
        // note as a header line of the sender's making.
        SenderCase{"LoneLineFeedInAddress", "From: <a\nX-Injected: 1@b.c>\r\n", 0, ""},
        SenderCase{"LoneCarriageReturnInAddress", "From: <a\rX-Injected: 1@b.c>\r\n", 0, ""},
        SenderCase{"LoneLineFeedInRestOfLine", "From: x> <a@b.c\nX-Injected: 1\r\n", 0, ""},
        SenderCase{"LineFeedAfterTheAddressIsHarmless", "From: <a@b.c> x\ny\r\n", 1, "a@b.c"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ExtractSenderAddress, ThousandsOfFromLinesTakeTheFirst) {
  std::string headers;
  for (int i = 0; i < 5000; ++i)
    headers += "From: <sender" + std::to_string(i) + "@spam.example>\r\n";
  std::string address;
  EXPECT_EQ(ExtractSenderAddress(headers, &address), 1);
  EXPECT_EQ(address, "sender0@spam.example");
}

TEST(ExtractSenderAddress, HugeLineWithoutCloseGivesNothing) {
  std::string headers = "From: <" + std::string(20 * 1024 * 1024, 'x') + "\r\n";
  std::string address;
  EXPECT_EQ(ExtractSenderAddress(headers, &address), 0);
  EXPECT_TRUE(address.empty());
}

TEST(DomainKey, KeepsTheAtSignAndStartsAtTheFirstOne) {
  EXPECT_EQ(DomainKey("ann@lee.org"), "@lee.org");
  EXPECT_EQ(DomainKey("a@b@c"), "@b@c");
  EXPECT_EQ(DomainKey("@lee.org"), "@lee.org");
  EXPECT_EQ(DomainKey("no-at-sign"), "");
  EXPECT_EQ(DomainKey(""), "");
}

}  // namespace
}  // namespace varnox
