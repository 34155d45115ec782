// The XML seam over MSXML 6: the same refusals as on every host, MSXML's
// decoding, code page 1252 values, and a print that reads back the same.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <string_view>

#include "platform/xml_document.h"

namespace varnox {
namespace {

std::unique_ptr<XmlDocument> NewDocument() {
  return SystemXmlParser().NewDocument();
}

std::string Nested(int depth) {
  std::string text;
  for (int i = 0; i < depth; ++i)
    text += "<a>";
  for (int i = 0; i < depth; ++i)
    text += "</a>";
  return text;
}

// Latin-1 text as UTF-16 little-endian bytes with a byte order mark.
std::string Utf16(std::string_view latin1) {
  std::string bytes = "\xFF\xFE";
  for (char c : latin1) {
    bytes += c;
    bytes += '\0';
  }
  return bytes;
}

std::string NameOfFirst(XmlDocument& document, std::string_view element) {
  std::string name = "(none)";
  auto children = document.Root()->ChildElements(element);
  if (!children.empty())
    children.front()->GetAttribute("Name", &name);
  return name;
}

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

TEST(MsxmlParserTest, RefusesWhatIsNotAWellFormedDocument) {
  struct Case {
    const char* what;
    std::string bytes;
  };
  const Case cases[] = {
      {"empty", ""},
      {"white space only", " \n\t"},
      {"no root", "<?xml version=\"1.0\"?><!-- c -->"},
      {"NUL after the root", std::string("<r/>\0", 5)},
      {"NUL in a value", std::string("<r a=\"x\0y\"/>", 12)},
      {"NUL in a declared document", std::string("<?xml version=\"1.0\"?><r a=\"x\0y\"/>", 33)},
      {"text after the root", "<r/>junk"},
      {"two roots", "<r/><s/>"},
      {"unclosed root", "<r><MailID Name=\"a\"/>"},
      {"mismatched end tag", "<r><a></b></r>"},
      {"unquoted value", "<r a=b/>"},
      {"undefined entity", "<r a=\"&nbsp;\"/>"},
      {"control character", "<r a=\"\x01\"/>"},
      {"reference to a control character", "<r a=\"&#x1;\"/>"},
      {"'<' in a value", "<r a=\"<\"/>"},
      {"document type", "<!DOCTYPE r><r/>"},
      {"entity bomb",
       "<!DOCTYPE r [<!ENTITY a \"aaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;\">"
       "<!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;\">]><r a=\"&c;\"/>"},
      {"document type after a declaration",
       "<?xml version=\"1.0\"?>\n<!DOCTYPE r [<!ENTITY e \"x\">]><r a=\"&e;\"/>"},
      {"document type in UTF-16", Utf16("<!DOCTYPE r><r/>")},
      {"declaration not first", "<r/><?xml version=\"1.0\"?>"},
      {"declared UTF-8, broken sequences",
       "<?xml version=\"1.0\" encoding=\"UTF-8\"?><r><a>\xF0</a><a>\xF0</a></r>"},
      {"declaration without encoding, stray byte", "<?xml version=\"1.0\"?><r a=\"\xE9\"/>"},
      {"byte order mark, stray byte", "\xEF\xBB\xBF<r a=\"\xE9\"/>"},
      {"binary", std::string("\x89PNG\r\n\x1A\n\0\0\0\rIHDR", 16)},
      {"one deeper than the limit", Nested(kMaxXmlDepth + 1)},
  };
  for (const Case& c : cases) {
    auto document = NewDocument();
    EXPECT_FALSE(document->Parse(c.bytes)) << c.what;
    EXPECT_EQ(document->Root(), nullptr) << c.what;
  }
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

TEST(MsxmlParserTest, AcceptsNestingUpToTheLimit) {
  auto document = NewDocument();
  EXPECT_TRUE(document->Parse(Nested(kMaxXmlDepth)));
  EXPECT_NE(document->Root(), nullptr);
}

TEST(MsxmlParserTest, DeepNestingIsRefusedWithoutCrashing) {
  std::string deep;
  for (int i = 0; i < 1000000; ++i)
    deep += "<a>";
  auto document = NewDocument();
  EXPECT_FALSE(document->Parse(deep));
  EXPECT_FALSE(document->Parse(Nested(200000)));
}

TEST(MsxmlParserTest, ValuesSurviveAPrintAndAParse) {
  const std::string values[] = {
      "a&b<c>\"d'e", "&#x41;", "&amp;", "  spaced  ", "\xE9\x80\xFF", "", "]]>",
  };
  for (const std::string& value : values) {
    auto document = NewDocument();
    ASSERT_TRUE(document->Parse("<r/>"));
    ASSERT_TRUE(document->Root()->AppendChild("MailID")->SetAttribute("Name", value));
    std::string printed;
    ASSERT_TRUE(document->Print(&printed)) << value;
    auto again = NewDocument();
    ASSERT_TRUE(again->Parse(printed)) << printed;
    EXPECT_EQ(NameOfFirst(*again, "MailID"), value) << printed;
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

TEST(MsxmlParserTest, PrintRefusesWhatXmlCannotCarry) {
  const std::string values[] = {std::string("a\x01"), std::string("a\0b", 3), "\x1F"};
  for (const std::string& value : values) {
    auto document = NewDocument();
    ASSERT_TRUE(document->Parse("<r/>"));
    document->Root()->AppendChild("MailID")->SetAttribute("Name", value);
    std::string printed = "untouched";
    EXPECT_FALSE(document->Print(&printed)) << value.size();
    EXPECT_EQ(printed, "untouched");
  }
}

TEST(MsxmlParserTest, RemovesOnlyItsOwnChildren) {
  auto document = NewDocument();
  ASSERT_TRUE(document->Parse("<r><MailID Name=\"a\"/><Other><MailID Name=\"b\"/></Other></r>"));
  XmlElement* root = document->Root();
  XmlElement* other = root->ChildElements("Other").front();
  XmlElement* nested = other->ChildElements("MailID").front();
  EXPECT_FALSE(root->RemoveChild(nested)) << "a grandchild is not a child";
  EXPECT_FALSE(root->RemoveChild(root));
  EXPECT_FALSE(root->RemoveChild(nullptr));
  EXPECT_TRUE(root->RemoveChild(root->ChildElements("MailID").front()));
  EXPECT_TRUE(root->RemoveChild(other));
  EXPECT_FALSE(root->RemoveChild(other)) << "already removed";
  EXPECT_TRUE(root->ChildElements("Other").empty());
  std::string printed;
  ASSERT_TRUE(document->Print(&printed));
  auto again = NewDocument();
  ASSERT_TRUE(again->Parse(printed)) << printed;
  EXPECT_TRUE(again->Root()->ChildElements("MailID").empty()) << printed;
  EXPECT_TRUE(again->Root()->ChildElements("Other").empty()) << printed;
}

TEST(MsxmlParserTest, AFailedParseLeavesAnEmptyDocument) {
  auto document = NewDocument();
  ASSERT_TRUE(document->Parse("<r><MailID Name=\"a\"/></r>"));
  EXPECT_FALSE(document->Parse("<r>"));
  EXPECT_EQ(document->Root(), nullptr);
  std::string printed = "untouched";
  EXPECT_FALSE(document->Print(&printed)) << "nothing read, nothing to write";
  ASSERT_TRUE(document->Parse("<s/>"));
  ASSERT_TRUE(document->Print(&printed));
  EXPECT_NE(printed.find("<s/>"), std::string::npos) << printed;
}

TEST(MsxmlParserTest, ElementsStayValidWhileTheDocumentLives) {
  auto document = NewDocument();
  ASSERT_TRUE(document->Parse("<L><E Id=\"1\"/></L>"));
  XmlElement* root = document->Root();
  ASSERT_NE(root, nullptr);
  std::vector<XmlElement*> first = root->ChildElements("E");
  for (int i = 2; i <= 50; ++i)
    root->AppendChild("E")->SetAttribute("Id", std::to_string(i));
  EXPECT_EQ(root->ChildElements("E").size(), 50u);
  std::string id;
  ASSERT_TRUE(first[0]->GetAttribute("Id", &id));
  EXPECT_EQ(id, "1");
}

}  // namespace
}  // namespace varnox
