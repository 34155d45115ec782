#include "engine/mail_tokens.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/token_set.h"
#include "tests/engine/engine_test_support.h"

namespace varnox {
namespace {

using testing::kSpamHeaders;

// In byte-wise order, as a table's.
std::vector<std::string> TokensOf(const TokenSet& set) {
  std::vector<std::string> tokens;
  for (const WordKey& key : set.keys())
    tokens.emplace_back(key.word());
  std::sort(tokens.begin(), tokens.end());
  return tokens;
}

bool Has(const TokenSet& set, const std::string& token) {
  return set.Contains(token);
}

TEST(MailTokensTest, HeaderFieldsGiveTheirOwnTokens) {
  TokenSet tokens;
  mail_tokens::AddHeaderTokens(kSpamHeaders, "Cheap PILLS", &tokens);
  for (const char* expected :
       {"from:offers@cheap-pills.example", "from:@cheap-pills.example", "from:name:best",
        "rcvd:cheap-pills.example", "rcvd:203.0",
        "rcvd:home.example",  // the folded line belongs to Received
        "ct:text/html", "ct:charset=windows-1252", "xm:bulkblaster", "subj:cheap", "subj:pills"}) {
    EXPECT_TRUE(Has(tokens, expected)) << expected;
  }
}

TEST(MailTokensTest, SenderWithoutAddressAndBoundaryAreHandled) {
  TokenSet tokens;
  mail_tokens::AddHeaderTokens("From: nobody\nContent-Type: multipart/mixed; boundary=\"xyz123\"\n",
                               "", &tokens);
  EXPECT_TRUE(Has(tokens, "from:(none)"));
  EXPECT_TRUE(Has(tokens, "ct:multipart/mixed"));
  EXPECT_EQ(tokens.size(), 2u) << "a boundary differs in every message";
}

TEST(MailTokensTest, OnlyTheNamedFieldsGiveTokensWhateverTheirCase) {
  struct Case {
    const char* headers;
    std::vector<std::string> tokens;
  };
  const Case cases[] = {
      {"FROM: <a@b.example>\n", {"from:@b.example", "from:a@b.example"}},
      {"User-Agent: Mutt/1.5\n", {"xm:mutt"}},
      {"x-MAILER:Outbox\n", {"xm:outbox"}},
      {"received: from a.b.example\n", {"rcvd:b.example"}},
      {"From : <a@b.example>\n", {}},  // the name is "From "
      {"X-Mailer-Version: Outbox\n", {}},
      {"Subject: from: <a@b.example>\n", {}},
      {"Received:\nFrom", {}},
      {"Received: by host. or .lead.example and a.bc\n", {"rcvd:a.bc"}},
      {"To: Ann <ann@mail.b.example>,\n\tbob@c.example\n",  // folded
       {"to:b.example", "to:c.example"}},
      {"Message-ID: <1234.abc@mx.d.example >\n", {"mid:@mx.d.example"}},
      {"Message-Id: <no-at-sign>\n", {}},
      {"Return-Path: <>\n", {"rp:(none)"}},
      {"return-path: <bounce-7@lists.e.example>\n", {"rp:@lists.e.example"}},
      {"Date: Mon, 1 Jul 2002 10:00:00 +0100\n", {"date:(weekday)", "date:0100"}},
      {"Date: 1 Jul 2002 10:00:00 -0700 (PDT) \n", {"date:(no-weekday)", "date:pdt"}},
      {"Date:\n", {"date:(no-weekday)"}},
      {"Content-Transfer-Encoding: Base64\n", {"cte:base64"}},
      // Hosts are runs with a dot inside, wherever they stand in the value;
      // each gives its registered domain, an address its network (/16).
      // Version numbers and names under no letters are no hosts.
      {"Received: from [192.0.2.1] by MX.Example.CO.UK with sendmail 8.11.6 (fetchmail-5.9.0)",
       {"rcvd:192.0", "rcvd:example.co.uk"}},
      {"Received: .a.example v1.2- x. a..b 1.2.3.4.5 1.2.3.4444 co.uk\n", {}},
      {"Received:mx.a.example", {"rcvd:a.example"}},  // at the value's start
      // ASCII letters are lower-cased; other bytes are kept as they are.
      {"Content-Type: TEXT/Plain; charset=K\xC9\n", {"ct:charset=k\xc9", "ct:text/plain"}},
  };
  for (const Case& c : cases) {
    TokenSet tokens;
    mail_tokens::AddHeaderTokens(c.headers, "", &tokens);
    EXPECT_EQ(TokensOf(tokens), c.tokens) << c.headers;
  }
}

TEST(MailTokensTest, EncodedWordsOfTheSenderNameGiveTheirCharsetOnly) {
  struct Case {
    const char* from;
    std::vector<std::string> name_tokens;  // from:name: and from:charset: tokens
  };
  const Case cases[] = {
      {"From: \"=?iso-2022-jp?B?GyRCMEtFbCEhP04bKEI=?=\" <a@x.example>\n",
       {"from:charset:iso-2022-jp"}},
      {"From: Dr =?UTF-8?Q?J=C3=BCrgen?= Smith <a@x.example>\n",
       {"from:charset:utf-8", "from:name:dr", "from:name:smith"}},
      // Not closed: the rest is read as words, nothing is lost or overrun.
      {"From: =?utf-8?B?abc Anna <a@x.example>\n",
       {"from:name:anna", "from:name:utf", "from:name:abc"}},
      {"From: =?\n", {}},
  };
  for (const Case& c : cases) {
    TokenSet tokens;
    mail_tokens::AddHeaderTokens(c.from, "", &tokens);
    std::vector<std::string> name_tokens;
    for (const std::string& token : TokensOf(tokens)) {
      if (token.rfind("from:name:", 0) == 0 || token.rfind("from:charset:", 0) == 0)
        name_tokens.push_back(token);
    }
    std::vector<std::string> expected = c.name_tokens;
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(name_tokens, expected) << c.from;
  }
}

TEST(MailTokensTest, LinkHostsOfHttpAndHttpsOnly) {
  TokenSet tokens;
  mail_tokens::AddLinkTokens(
      "see HTTP://Shop.Pills.Example/buy and https://b.c.example. or ftp://files.example/x "
      "and ://nohost and http://co.uk/",
      &tokens);
  EXPECT_EQ(TokensOf(tokens), (std::vector<std::string>{"url:c.example", "url:pills.example"}));
}

TEST(MailTokensTest, HostileBytesNeverReachAToken) {
  std::string headers =
      "From: <a\x01"
      "b@x\x7F.example>\r\nReceived: from ";
  headers += std::string(100, 'h') + ".example\r\nX-Mailer: ";
  for (int i = 0; i < 5000; ++i)
    headers += "w" + std::to_string(i) + " ";
  headers += "\r\nFrom: <bare\rcr@x.example>\r\n";
  TokenSet tokens;
  mail_tokens::AddHeaderTokens(headers, "", &tokens);
  EXPECT_LE(tokens.size(), mail_tokens::kMaxTokens);
  for (const std::string& token : TokensOf(tokens)) {
    EXPECT_LE(token.size(), mail_tokens::kMaxTokenLength);
    for (unsigned char byte : token)
      EXPECT_TRUE(byte > 0x20 && byte != 0x7F) << token;
  }
}

}  // namespace
}  // namespace varnox
