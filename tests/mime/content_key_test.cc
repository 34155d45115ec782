// The content key: what Varnox's own changes and a mail client's keep, and
// what they do not.
#include "mime/content_key.h"

#include <gtest/gtest.h>

#include <string>

namespace varnox::mime {
namespace {

TEST(ContentKeyTest, IgnoresOtherHeadersButNotTheMessageIdOrBody) {
  const std::string body = "\nHello Ann,\nsee you at noon.\n";
  const std::uint64_t original =
      ContentKey("Received: by mx\nMessage-ID: <1@x>\nSubject: Lunch\n" + body);
  struct Case {
    std::string raw;
    bool same;
  };
  const Case cases[] = {
      // stamped by the pipeline
      {"Received: by mx\nMessage-ID: <1@x>\nSubject: Lunch\nX-VNX-RESULT:NotSpam\nX-VNX-SCORE:3\n" +
           body,
       true},
      {"Received: by mx\nmessage-id:   <1@x>  \nSubject: Lunch\nStatus: RO\n" + body, true},
      // an IMAP server's copy has CR LF in its header block; the body is its own
      {"Received: by mx\r\nMessage-ID: <1@x>\r\nSubject: Lunch\r\n" + body, true},
      {"Received: by mx\nMessage-ID: <2@x>\nSubject: Lunch\n" + body, false},
      {"Received: by mx\nMessage-ID: <1@x>\nSubject: Lunch\n" + body + "!", false},
      {"Received: by mx\nSubject: Lunch\n" + body, false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ContentKey(c.raw) == original, c.same) << c.raw;
}

TEST(ContentKeyTest, TheFirstMessageIdCounts) {
  EXPECT_EQ(MessageIdOf("Subject: x\r\nMessage-Id: <a@b> \r\nMessage-ID: <c@d>\r\n"), "<a@b>");
  EXPECT_EQ(MessageIdOf("Subject: x\nX-Message-ID: <a@b>\n"), "");
  EXPECT_EQ(MessageIdOf(""), "");
  EXPECT_EQ(MessageIdOf("Message-ID:"), "");
}

}  // namespace
}  // namespace varnox::mime
