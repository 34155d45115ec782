// The XML seam over TinyXML, what only it does: its print, reading bytes
// (code page 1252 or UTF-8, never UTF-16), and refusing rewrites it cannot
// make safely. What every XML library does alike is in
// tests/platform/xml_document_contract_test.cc.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <string_view>

#include "platform/xml_document.h"
#include "tests/platform/xml_test_support.h"

namespace varnox {
namespace {

using testing::NameOfFirst;
using testing::NewDocument;

TEST(TinyXmlParserTest, WalksChangesAndPrintsAsTheLibraryDoes) {
  auto document = NewDocument();
  ASSERT_TRUE(document->Parse(
      "<?xml version=\"1.0\" ?>\n<!-- kept -->\n<List Owner='me'>\n"
      "  <MailID Name=\"a@x.com\" Note=\"1\"/>\n  <Other><MailID Name=\"nested\"/></Other>\n"
      "  <MailID/>\n  <Domain Name=\"@x.com\"></Domain>\n</List>\n"));
  XmlElement* root = document->Root();
  ASSERT_NE(root, nullptr);
  auto addresses = root->ChildElements("MailID");
  ASSERT_EQ(addresses.size(), 2u) << "direct children only";
  std::string name;
  EXPECT_TRUE(addresses[0]->GetAttribute("Name", &name));
  EXPECT_EQ(name, "a@x.com");
  name = "unchanged";
  EXPECT_FALSE(addresses[1]->GetAttribute("Name", &name));
  EXPECT_EQ(name, "unchanged");
  EXPECT_EQ(root->ChildElements("mailid").size(), 0u) << "element names keep their case";

  EXPECT_TRUE(addresses[0]->SetAttribute("Name", "b@x.com"));
  XmlElement* added = root->AppendChild("Domain");
  ASSERT_NE(added, nullptr);
  EXPECT_TRUE(added->SetAttribute("Name", "@y.com"));
  EXPECT_EQ(root->ChildElements("Domain").back(), added);

  std::string printed;
  ASSERT_TRUE(document->Print(&printed));
  EXPECT_EQ(printed,
            "<?xml version=\"1.0\" ?>\n"
            "<!-- kept -->\n"
            "<List Owner=\"me\">\n"
            "    <MailID Name=\"b@x.com\" Note=\"1\" />\n"
            "    <Other>\n"
            "        <MailID Name=\"nested\" />\n"
            "    </Other>\n"
            "    <MailID />\n"
            "    <Domain Name=\"@x.com\" />\n"
            "    <Domain Name=\"@y.com\" />\n"
            "</List>\n");
}

// What TinyXML would misread is refused whole: UTF-16 (it reads bytes), and
// processing instructions (it would end one at its first '>', or take one
// named like the declaration for it). MSXML reads all three correctly.
TEST(TinyXmlParserTest, RefusesWhatItWouldMisread) {
  const std::string cases[] = {
      std::string("\xFF\xFE<\0r\0/\0>\0", 10),
      "<r><?p ><a><a><a>?></r>",
      "<?xml-stylesheet href=\"s.xsl\"?><r/>",
  };
  for (const std::string& bytes : cases) {
    auto document = NewDocument();
    EXPECT_FALSE(document->Parse(bytes)) << bytes;
    EXPECT_EQ(document->Root(), nullptr) << bytes;
  }
}

TEST(TinyXmlParserTest, ReadsCodePage1252AndUtf8AsTheLibraryDecodesThem) {
  struct Case {
    const char* what;
    std::string bytes;
    std::string name;
  };
  const Case cases[] = {
      {"no declaration: one byte, one character", "<r><MailID Name=\"jos\xE9@x.com\"/></r>",
       "jos\xE9@x.com"},
      {"declared windows-1252",
       "<?xml version=\"1.0\" encoding=\"windows-1252\"?><r><MailID Name=\"\xE9\x80\"/></r>",
       "\xE9\x80"},
      {"declared UTF-8",
       "<?xml version=\"1.0\" encoding=\"UTF-8\"?><r><MailID Name=\"\xC3\xA9\"/></r>", "\xC3\xA9"},
      {"byte order mark", "\xEF\xBB\xBF<r><MailID Name=\"\xC3\xA9\"/></r>", "\xC3\xA9"},
      {"entities", "<r><MailID Name=\"a&amp;b&lt;&gt;&quot;&apos;&#x41;&#66;\"/></r>",
       "a&b<>\"'AB"},
      {"line ends as in a loaded file", "<r>\r\n<MailID Name=\"a\r\nb\rc\"/>\r\n</r>", "a\nb\nc"},
      {"CDATA and comments do not hide entries",
       "<r><![CDATA[<MailID Name=\"no\"/>]]><!-- <MailID Name=\"no\"/> --><MailID "
       "Name=\"yes\"/></r>",
       "yes"},
  };
  for (const Case& c : cases) {
    auto document = NewDocument();
    ASSERT_TRUE(document->Parse(c.bytes)) << c.what;
    EXPECT_EQ(NameOfFirst(*document, "MailID"), c.name) << c.what;
  }
}

// An entry of code page 1252 text above 0x7F added to a document that reads
// as UTF-8 printed bytes no parse accepts: the whole list was lost at the next
// load. Such a print is refused now; where bytes are characters it goes on.
TEST(TinyXmlParserTest, Utf8DocumentIsNeverPrintedUnloadable) {
  struct Case {
    const char* document;
    bool printable;
  };
  const Case cases[] = {
      {"<?xml version=\"1.0\" ?><r/>", false},
      {"<?xml version=\"1.0\" encoding=\"UTF-8\" ?><r/>", false},
      {"\xEF\xBB\xBF<r/>", false},
      {"<?xml version=\"1.0\" encoding=\"windows-1252\" ?><r/>", true},
      {"<r/>", true},
  };
  for (const Case& c : cases) {
    auto document = NewDocument();
    ASSERT_TRUE(document->Parse(c.document)) << c.document;
    ASSERT_TRUE(document->Root()->AppendChild("MailID")->SetAttribute("Name", "jos\xE9@a.b"));
    std::string printed;
    EXPECT_EQ(document->Print(&printed), c.printable) << c.document;
    if (c.printable) {
      auto again = NewDocument();
      ASSERT_TRUE(again->Parse(printed)) << printed;
      EXPECT_EQ(NameOfFirst(*again, "MailID"), "jos\xE9@a.b");
    }
  }
}

// Reading one byte per character, TinyXML makes "&#x142;" the byte "B" and
// would write that byte back: in such a file every rewrite is refused, so
// the file keeps its characters. References up to U+00FF, references in
// comments, and files that read as UTF-8 are rewritten as before.
TEST(TinyXmlParserTest, WideReferenceInAFileReadByteWiseRefusesEveryRewrite) {
  struct Case {
    const char* document;
    bool printable;
  };
  const Case cases[] = {
      {"<r><MailID Name=\"&#x142;ukasz@a.pl\"/></r>", false},
      {"<?xml version=\"1.0\" encoding=\"windows-1252\"?><r><MailID>&#322;</MailID></r>", false},
      {"<r><MailID Name=\"&#xFF;&#256;\"/></r>", false},
      {"<r><!-- &#x142; --><MailID Name=\"&#xFF;&#xE9;\"/></r>", true},
      {"<?xml version=\"1.0\" encoding=\"UTF-8\"?><r><MailID Name=\"&#x142;\"/></r>", true},
  };
  for (const Case& c : cases) {
    auto document = NewDocument();
    ASSERT_TRUE(document->Parse(c.document)) << c.document;
    ASSERT_TRUE(document->Root()->AppendChild("MailID")->SetAttribute("Name", "b@c.d"));
    std::string printed = "untouched";
    EXPECT_EQ(document->Print(&printed), c.printable) << c.document;
    if (!c.printable) {
      EXPECT_EQ(printed, "untouched");
    }
  }
}

// A rewrite keeps the file's byte order mark, and with it the file's
// encoding: dropped, the UTF-8 entries already there would read back as other
// characters.
TEST(TinyXmlParserTest, ByteOrderMarkSurvivesARewrite) {
  auto document = NewDocument();
  ASSERT_TRUE(document->Parse("\xEF\xBB\xBF<r><MailID Name=\"jos\xC3\xA9@a.b\"/></r>"));
  ASSERT_TRUE(document->Root()->AppendChild("MailID")->SetAttribute("Name", "c@d.e"));
  std::string printed;
  ASSERT_TRUE(document->Print(&printed));
  EXPECT_EQ(printed.substr(0, 3), "\xEF\xBB\xBF");
  auto again = NewDocument();
  ASSERT_TRUE(again->Parse(printed)) << printed;
  EXPECT_EQ(NameOfFirst(*again, "MailID"), "jos\xC3\xA9@a.b");

  auto plain = NewDocument();
  ASSERT_TRUE(plain->Parse("<r/>"));
  ASSERT_TRUE(plain->Print(&printed));
  EXPECT_NE(printed.substr(0, 3), "\xEF\xBB\xBF");
}

}  // namespace
}  // namespace varnox
