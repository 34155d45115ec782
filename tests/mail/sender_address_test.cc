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
        SenderCase{"NoBrackets", "From: ann@lee.org\r\n", 1, "ann@lee.org"},
        SenderCase{"AnyLetterCaseOfTheTag", "from: <ann@lee.org>\r\n", 1, "ann@lee.org"},
        SenderCase{"LongerHeaderNameIsNotTheSender",
                   "X-Original-From: <orig@a.b>\r\nFrom: <ann@c.d>\r\n", 1, "ann@c.d"},
        SenderCase{"ResentFromIsNotTheSender", "Resent-From: <r@a.b>\r\nFROM: c@d.e\r\n", 1,
                   "c@d.e"},
        SenderCase{"FromInsideAnotherFieldIsNotTheSender",
                   "Subject: re: From: <evil@a.b>\r\nFrom: <ann@c.d>\r\n", 1, "ann@c.d"},
        SenderCase{"OnlyALongerHeaderName", "X-Original-From: <orig@a.b>\r\n", 0, ""},
        SenderCase{"FirstFromWins", "From: <one@a.b>\r\nFrom: <two@a.b>\r\n", 1, "one@a.b"},
        SenderCase{"NoLineEnd", "Subject: s\r\nFrom: <ann@lee.org>", 0, ""},
        SenderCase{"LineFeedOnly", "From: <ann@lee.org>\nTo: b\n", 0, ""},
        SenderCase{"OpenWithoutClose", "From: Ann <ann@lee.org\r\n", 0, ""},
        SenderCase{"CloseBeforeOpenTakesTheRest", "From: a>b <ann@lee.org\r\n", 1, "ann@lee.org"},
        SenderCase{"CloseBeforeOpenKeepsLaterClose", "From: a>b <ann@lee.org>\r\n", 1,
                   "ann@lee.org>"},
        SenderCase{"EmptyBrackets", "From: <>\r\n", 1, ""},
        SenderCase{"NoSpaceAfterTheTag", "From:<ann@lee.org>\r\n", 1, "ann@lee.org"},
        SenderCase{"FoldedField", "From: Ann Lee\r\n <ann@lee.org>\r\n", 1, "ann@lee.org"},
        SenderCase{"FoldedWithTab", "From:\r\n\t<ann@lee.org>\r\nTo: b\r\n", 1, "ann@lee.org"},
        SenderCase{"FoldedFieldWithoutEnd", "From: Ann Lee\r\n <ann@lee.org>", 0, ""},
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

// From lines as mail programs and lists write them.
INSTANTIATE_TEST_SUITE_P(
    RealWorld, ExtractSenderAddressTest,
    ::testing::Values(
        SenderCase{"QuotedName", "From: \"Lee, Ann\" <ann@lee.org>\r\n", 1, "ann@lee.org"},
        SenderCase{"BareWithComment", "From: ann@lee.org (Ann Lee)\r\n", 1, "ann@lee.org"},
        SenderCase{"CommentFirst", "From: (Ann Lee) ann@lee.org\r\n", 1, "ann@lee.org"},
        // The first line's bracket rule comes first, as it always has.
        SenderCase{"CommentHoldingBrackets", "From: ann@lee.org (Ann <x>)\r\n", 1, "x"},
        SenderCase{"QuotedNameHoldingBrackets",
                   "From: \"Ann <boss@evil.example>\" <ann@lee.org>\r\n", 1, "ann@lee.org"},
        SenderCase{"QuotedNameHoldingClose", "From: \"a>b\" <ann@lee.org>\r\n", 1, "ann@lee.org"},
        SenderCase{"QuotedNameWithEscapedQuote",
                   "From: \"Ann \\\"<x@y.z>\\\" Lee\" <ann@lee.org>\r\n", 1, "ann@lee.org"},
        SenderCase{"UnclosedQuoteIsText", "From: \"Ann <ann@lee.org>\r\n", 1, "ann@lee.org"},
        SenderCase{"EncodedWordName", "From: =?UTF-8?Q?Ann_L=C3=A9e?= <ann@lee.org>\r\n", 1,
                   "ann@lee.org"},
        SenderCase{"BareWithSpaces", "From:   ann@lee.org  \r\n", 1, "ann@lee.org"},
        SenderCase{"BareBetweenOtherFields", "Received: x\r\nFrom: joe@spam.example\r\nTo: y\r\n",
                   1, "joe@spam.example"},
        SenderCase{"SpacesInsideFoldedBrackets", "From: Ann\r\n < ann@lee.org >\r\n", 1,
                   "ann@lee.org"},
        SenderCase{"BareWithoutAtSign", "From: postmaster\r\n", 0, ""},
        SenderCase{"CommentInsideBareAddress", "From: ann(x)@lee.org\r\n", 0, ""},
        SenderCase{"AddressAcrossAFold", "From: Ann <ann@\r\n lee.org>\r\n", 0, ""},
        SenderCase{"BareAcrossAFold", "From: ann@\r\n lee.org\r\n", 0, ""},
        SenderCase{"DisplayNameWithoutAddress", "From: Ann Lee\r\n", 0, ""},
        SenderCase{"TwoMailboxes", "From: ann@lee.org, bob@lee.org\r\n", 0, ""},
        SenderCase{"Group", "From: Team: ann@lee.org;\r\n", 0, ""},
        SenderCase{"UnclosedCommentRunsToTheEnd", "From: ann@lee.org (Ann\r\n", 1, "ann@lee.org"},
        SenderCase{"BareTooLong", "From: " + kLong259 + "@a\r\n", 0, ""},
        SenderCase{"BareLongest", "From: " + std::string(257, 'a') + "@a\r\n", 1,
                   std::string(257, 'a') + "@a"},
        SenderCase{"BareLoneLineFeed", "From: a@b.c\nX\r\n", 0, ""},
        SenderCase{"QuotedNameBeforeBareAddress", "From: \"Ann\" ann@lee.org\r\n", 0, ""},
        SenderCase{"FoldedLoneCarriageReturn", "From: A\r\n <a\rX: 1@b.c>\r\n", 0, ""}),
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

TEST(ExtractSenderAddress, HostileQuotingStaysLinear) {
  // Quotes and parentheses that never close, a megabyte each: every byte is
  // looked at a bounded number of times, or this would not end.
  for (const std::size_t count : {std::size_t{1 << 20} + 1, std::size_t{1 << 20}}) {
    const char open = count % 2 == 1 ? '"' : '(';
    std::string headers = "From: " + std::string(count, open) + " a@b.c\r\n";
    std::string address;
    EXPECT_EQ(ExtractSenderAddress(headers, &address), 0) << open;
  }
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
