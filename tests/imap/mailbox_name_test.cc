#include "linux/imap/mailbox_name.h"

#include <gtest/gtest.h>

namespace varnox {
namespace {

TEST(MailboxNameTest, EncodesAndDecodesBothWays) {
  struct Case {
    const char* utf8;
    const char* wire;
  };
  // The examples of RFC 3501 and the corners of the encoding.
  const Case cases[] = {
      {"INBOX", "INBOX"},
      {"", ""},
      {"Tom & Jerry", "Tom &- Jerry"},
      {"&", "&-"},
      {"~peter/mail/台北/日本語", "~peter/mail/&U,BTFw-/&ZeVnLIqe-"},
      {"Été", "&AMk-t&AOk-"},
      {"Entwürfe", "Entw&APw-rfe"},
      {"é&", "&AOk-&-"},
      {"\xF0\x9F\x93\xA7 mail", "&2D3c5w- mail"},  // a character past U+FFFF: a surrogate pair
      {"a\xC2\xA0z", "a&AKA-z"},
  };
  for (const Case& c : cases) {
    std::string wire, utf8;
    ASSERT_TRUE(EncodeMailboxName(c.utf8, &wire)) << c.utf8;
    EXPECT_EQ(wire, c.wire) << c.utf8;
    ASSERT_TRUE(DecodeMailboxName(c.wire, &utf8)) << c.wire;
    EXPECT_EQ(utf8, c.utf8) << c.wire;
  }
}

TEST(MailboxNameTest, RefusesWhatIsNotTheOneWayOfWritingAName) {
  const char* wires[] = {
      "&",            // unfinished
      "&U,BTFw",      // no closing '-'
      "&U,BTF-",      // bits left over that are not padding
      "&AMk",         // unfinished run
      "&2D0-",        // a lone high surrogate
      "&3,c-",        // a lone low surrogate
      "&AEE-",        // "A" written in base64
      "&AMk-&AOk-",   // two runs in a row
      "&AM!-",        // not base64
      "caf\xC3\xA9",  // raw 8-bit
      "tab\there",    // control character
      "&AA0-",        // a control character in base64
      "&AMkA-",       // a half unit of padding too many
  };
  for (const char* wire : wires) {
    std::string utf8 = "unchanged";
    EXPECT_FALSE(DecodeMailboxName(wire, &utf8)) << wire;
    EXPECT_EQ(utf8, "unchanged");
  }
  for (const char* utf8 : {"bad \xC3", "line\nbreak", "\x7F", "c1 \xC2\x85"}) {
    std::string wire;
    EXPECT_FALSE(EncodeMailboxName(utf8, &wire)) << utf8;
  }
}

}  // namespace
}  // namespace varnox
