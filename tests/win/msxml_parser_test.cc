// The XML seam over MSXML 6, what only it does: decoding as declared (UTF-16
// included), handing out code page 1252, and keeping characters beyond 1252
// in a rewrite. What every XML library does alike is in
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
using testing::Utf16;

TEST(MsxmlParserTest, WalksAndChangesDirectChildren) {
  auto document = NewDocument();
  ASSERT_TRUE(document->Parse(
      "<?xml version=\"1.0\" ?>\n<!-- kept -->\n<List Owner='me'>\n"
      "  <MailID Name=\"a@x.com\" Note=\"1\"/>\n  <Other><MailID Name=\"nested\"/></Other>\n"
      "  <MailID/>\n  <Domain Name=\"@x.com\"></Domain>\n</List>\n"));
  XmlElement* root = document->Root();
  ASSERT_NE(root, nullptr);
  EXPECT_EQ(document->Root(), root);
  auto addresses = root->ChildElements("MailID");
  ASSERT_EQ(addresses.size(), 2u) << "direct children only";
  EXPECT_EQ(root->ChildElements("MailID"), addresses) << "one wrapper per element";
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
  EXPECT_EQ(printed.rfind("<?xml version=\"1.0\" encoding=\"windows-1252\"?>\n", 0), 0u) << printed;
  auto again = NewDocument();
  ASSERT_TRUE(again->Parse(printed)) << printed;
  auto domains = again->Root()->ChildElements("Domain");
  ASSERT_EQ(domains.size(), 2u) << printed;
  ASSERT_TRUE(domains[1]->GetAttribute("Name", &name));
  EXPECT_EQ(name, "@y.com");
  EXPECT_EQ(NameOfFirst(*again, "MailID"), "b@x.com");
  EXPECT_NE(printed.find("<!-- kept -->"), std::string::npos) << printed;
  EXPECT_EQ(again->Root()->ChildElements("Other")[0]->ChildElements("MailID").size(), 1u);
}

TEST(MsxmlParserTest, DecodesAsDeclaredAndHandsOutCodePage1252) {
  struct Case {
    const char* what;
    std::string bytes;
    std::string name;
  };
  const Case cases[] = {
      {"no declaration: one byte, one character", "<r><MailID Name=\"jos\xE9@x.com\"/></r>",
       "jos\xE9@x.com"},
      {"no declaration, bytes that would also be UTF-8", "<r><MailID Name=\"\xC3\xA9\"/></r>",
       "\xC3\xA9"},
      {"declared windows-1252",
       "<?xml version=\"1.0\" encoding=\"windows-1252\"?><r><MailID Name=\"\xE9\x80\"/></r>",
       "\xE9\x80"},
      {"declared UTF-8",
       "<?xml version=\"1.0\" encoding=\"UTF-8\"?><r><MailID Name=\"\xC3\xA9\"/></r>", "\xE9"},
      {"byte order mark", "\xEF\xBB\xBF<r><MailID Name=\"\xC3\xA9\xE2\x82\xAC\"/></r>", "\xE9\x80"},
      {"UTF-16", Utf16("<r><MailID Name='\xE9'/></r>"), "\xE9"},
      {"not in code page 1252",
       "<?xml version=\"1.0\" encoding=\"UTF-8\"?><r><MailID Name=\"\xE2\x98\xBA\"/></r>", "?"},
      {"entities", "<r><MailID Name=\"a&amp;b&lt;&gt;&quot;&apos;&#x41;&#66;\"/></r>",
       "a&b<>\"'AB"},
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

// A code page 1252 file may name any character by reference; a rewrite
// keeps it (in UTF-8, since 1252 has no byte for it).
TEST(MsxmlParserTest, ReferenceBeyond1252SurvivesARewriteOfAFileWithoutDeclaration) {
  auto document = NewDocument();
  ASSERT_TRUE(document->Parse("<r><MailID Name=\"&#x142;ukasz@\xE9.pl\"/></r>"));
  ASSERT_TRUE(document->Root()->AppendChild("MailID")->SetAttribute("Name", "b@x.com"));
  std::string printed;
  ASSERT_TRUE(document->Print(&printed));
  EXPECT_EQ(printed.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n", 0), 0u) << printed;
  EXPECT_NE(printed.find("\"\xC5\x82ukasz@\xC3\xA9.pl\""), std::string::npos) << printed;
  auto again = NewDocument();
  ASSERT_TRUE(again->Parse(printed)) << printed;
  const auto addresses = again->Root()->ChildElements("MailID");
  ASSERT_EQ(addresses.size(), 2u) << printed;
  std::string added;
  EXPECT_TRUE(addresses[1]->GetAttribute("Name", &added));
  EXPECT_EQ(added, "b@x.com");
}

// MSXML's elements outlive their removal (the seam promises less), so a
// second removal is answered, not a crash.
TEST(MsxmlParserTest, ASecondRemovalIsRefused) {
  auto document = NewDocument();
  ASSERT_TRUE(document->Parse("<r><Other/></r>"));
  XmlElement* other = document->Root()->ChildElements("Other").front();
  EXPECT_TRUE(document->Root()->RemoveChild(other));
  EXPECT_FALSE(document->Root()->RemoveChild(other));
}

}  // namespace
}  // namespace varnox
