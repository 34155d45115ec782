// The XML seam over MSXML 6: parse, walk, change and print documents, with
// code page 1252 names and values.
#include <gtest/gtest.h>

#include <string>

#include "platform/xml_document.h"

namespace varnox {
namespace {

std::unique_ptr<XmlDocument> Parsed(std::string_view bytes) {
  auto document = SystemXmlParser().NewDocument();
  EXPECT_TRUE(document->Parse(bytes)) << bytes;
  return document;
}

TEST(MsxmlParserTest, WalksChildElementsByName) {
  auto document = Parsed(
      "<?xml version=\"1.0\"?>\n<BlackList>\n  <Email Id=\"a@x.com\"/>\n  <!-- note -->\n"
      "  <Domain Id=\"@y.com\"/>\n  <Email Id=\"b@x.com\">text</Email>\n</BlackList>\n");
  XmlElement* root = document->Root();
  ASSERT_NE(root, nullptr);
  auto emails = root->ChildElements("Email");
  ASSERT_EQ(emails.size(), 2u);
  std::string id;
  EXPECT_TRUE(emails[0]->GetAttribute("Id", &id));
  EXPECT_EQ(id, "a@x.com");
  EXPECT_TRUE(emails[1]->GetAttribute("Id", &id));
  EXPECT_EQ(id, "b@x.com");
  EXPECT_EQ(root->ChildElements("Domain").size(), 1u);
  EXPECT_TRUE(root->ChildElements("email").empty()) << "names are case-sensitive";
  id = "unchanged";
  EXPECT_FALSE(emails[0]->GetAttribute("Name", &id));
  EXPECT_EQ(id, "unchanged");
}

TEST(MsxmlParserTest, RejectsWhatIsNotADocument) {
  const char* const cases[] = {
      "", "not xml at all", "<List><Email></List>", "<List/><Second/>", "\x89PNG\r\n\x1A\n\0\0",
  };
  for (const char* bytes : cases) {
    auto document = SystemXmlParser().NewDocument();
    EXPECT_FALSE(document->Parse(bytes)) << bytes;
    EXPECT_EQ(document->Root(), nullptr) << bytes;
  }
  // A document that failed to parse is empty, even after a good one.
  auto document = Parsed("<List/>");
  EXPECT_FALSE(document->Parse("<List>"));
  EXPECT_EQ(document->Root(), nullptr);
}

TEST(MsxmlParserTest, RefusesDocumentTypeDefinitions) {
  // Entity expansion from a DTD would let a small file grow without bound.
  auto document = SystemXmlParser().NewDocument();
  EXPECT_FALSE(
      document->Parse("<?xml version=\"1.0\"?><!DOCTYPE l [<!ENTITY a \"aaaaaaaaaa\">"
                      "<!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\">]><List x=\"&b;\"/>"));
  EXPECT_EQ(document->Root(), nullptr);
  const char utf16[] = "\xFF\xFE<\0!\0D\0O\0C\0T\0Y\0P\0E\0 \0l\0>\0<\0L\0/\0>\0";
  EXPECT_FALSE(document->Parse(std::string_view(utf16, sizeof utf16 - 1))) << "UTF-16";
  // The word itself in an attribute value is harmless.
  EXPECT_TRUE(document->Parse("<L note=\"DOCTYPE\"/>"));
}

TEST(MsxmlParserTest, ChangesSurviveAPrintAndAParse) {
  auto document = Parsed("<WhiteList><Email Id=\"a@x.com\"/></WhiteList>");
  XmlElement* root = document->Root();
  ASSERT_NE(root, nullptr);
  XmlElement* added = root->AppendChild("Domain");
  ASSERT_NE(added, nullptr);
  added->SetAttribute("Id", "@caf\xE9.fr");  // e acute in code page 1252
  root->ChildElements("Email")[0]->SetAttribute("Id", "quote\"&<amp>");

  std::string printed;
  ASSERT_TRUE(document->Print(&printed));
  auto again = Parsed(printed);
  XmlElement* root2 = again->Root();
  ASSERT_NE(root2, nullptr);
  auto domains = root2->ChildElements("Domain");
  ASSERT_EQ(domains.size(), 1u);
  std::string id;
  ASSERT_TRUE(domains[0]->GetAttribute("Id", &id));
  EXPECT_EQ(id, "@caf\xE9.fr");
  ASSERT_TRUE(root2->ChildElements("Email")[0]->GetAttribute("Id", &id));
  EXPECT_EQ(id, "quote\"&<amp>");
  // The new element comes last.
  EXPECT_NE(printed.find("Domain"), std::string::npos);
  EXPECT_LT(printed.find("Email"), printed.find("Domain"));
}

TEST(MsxmlParserTest, ReadsTheEncodingsListFilesComeIn) {
  struct Case {
    const char* what;
    std::string bytes;
  };
  const Case cases[] = {
      {"declared windows-1252",
       "<?xml version=\"1.0\" encoding=\"windows-1252\"?><L><E Id=\"r\xE9sum\xE9\"/></L>"},
      {"declared UTF-8",
       "<?xml version=\"1.0\" encoding=\"UTF-8\"?><L><E Id=\"r\xC3\xA9sum\xC3\xA9\"/></L>"},
      {"UTF-8 with a byte order mark", "\xEF\xBB\xBF<L><E Id=\"r\xC3\xA9sum\xC3\xA9\"/></L>"},
      {"undeclared bytes of code page 1252",
       "<?xml version=\"1.0\"?><L><E Id=\"r\xE9sum\xE9\"/></L>"},
  };
  for (const Case& c : cases) {
    auto document = SystemXmlParser().NewDocument();
    ASSERT_TRUE(document->Parse(c.bytes)) << c.what;
    ASSERT_NE(document->Root(), nullptr) << c.what;
    auto entries = document->Root()->ChildElements("E");
    ASSERT_EQ(entries.size(), 1u) << c.what;
    std::string id;
    ASSERT_TRUE(entries[0]->GetAttribute("Id", &id)) << c.what;
    EXPECT_EQ(id, "r\xE9sum\xE9") << c.what;
  }
}

TEST(MsxmlParserTest, ElementsStayValidWhileTheDocumentLives) {
  auto document = Parsed("<L><E Id=\"1\"/></L>");
  XmlElement* root = document->Root();
  ASSERT_NE(root, nullptr);
  std::vector<XmlElement*> first = root->ChildElements("E");
  for (int i = 2; i <= 50; ++i)
    root->AppendChild("E")->SetAttribute("Id", std::to_string(i));
  EXPECT_EQ(root->ChildElements("E").size(), 50u);
  std::string id;
  ASSERT_TRUE(first[0]->GetAttribute("Id", &id));
  EXPECT_EQ(id, "1");
  EXPECT_EQ(document->Root(), root);
}

}  // namespace
}  // namespace varnox
