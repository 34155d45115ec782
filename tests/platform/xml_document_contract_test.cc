// What every host's XML library must do alike, run against each: TinyXML on
// Linux, MSXML under Wine. The same refusals of what is not a well-formed
// document (or is one built to exhaust the reader), the same nesting limit,
// values that survive a print and a parse, and a list change that rewrites
// the whole file yet changes only the entry edited, whatever characters the
// others hold. What only one library does is tested beside it.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/xml_document.h"
#include "tests/platform/xml_test_support.h"

namespace varnox {
namespace {

using testing::NameOfFirst;
using testing::NewDocument;
using testing::Utf16;

std::string Nested(int depth) {
  std::string text;
  for (int i = 0; i < depth; ++i)
    text += "<a>";
  for (int i = 0; i < depth; ++i)
    text += "</a>";
  return text;
}

TEST(XmlDocumentContract, RefusesWhatIsNotAWellFormedDocument) {
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
      {"entity that hides markup", "<!DOCTYPE r [<!ENTITY e \"<a><a><a>\">]><r/>"},
      {"document type after a declaration",
       "<?xml version=\"1.0\"?>\n<!DOCTYPE r [<!ENTITY e \"x\">]><r a=\"&e;\"/>"},
      {"document type in UTF-16", Utf16("<!DOCTYPE r><r/>")},
      {"declaration not first", "<r/><?xml version=\"1.0\"?>"},
      {"declared UTF-8, broken sequences",
       "<?xml version=\"1.0\" encoding=\"UTF-8\"?><r><a>\xF0</a><a>\xF0</a></r>"},
      {"declared UTF-8, overlong slash",
       "<?xml version=\"1.0\" encoding=\"UTF-8\"?><r a=\"\xC0\xAF\"/>"},
      {"declared UTF-8, surrogate",
       "<?xml version=\"1.0\" encoding=\"UTF-8\"?><r a=\"\xED\xA0\x80\"/>"},
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

TEST(XmlDocumentContract, AcceptsNestingUpToTheLimit) {
  auto document = NewDocument();
  EXPECT_TRUE(document->Parse(Nested(kMaxXmlDepth)));
  EXPECT_NE(document->Root(), nullptr);
}

TEST(XmlDocumentContract, DeepNestingIsRefusedWithoutRecursing) {
  // A million levels would overflow the stack of a recursive parser.
  std::string deep;
  for (int i = 0; i < 1000000; ++i)
    deep += "<a>";
  auto document = NewDocument();
  EXPECT_FALSE(document->Parse(deep));
  EXPECT_FALSE(document->Parse(Nested(200000)));
}

TEST(XmlDocumentContract, BrokenUtf8CannotTurnSiblingsIntoDeepNesting) {
  // A reader that took each lead byte with the "</a" after it as one
  // character would open every <a> inside the one before.
  std::string siblings = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><r>";
  for (int i = 0; i < 200000; ++i)
    siblings += "<a>\xF0</a>";
  siblings += "</r>";
  auto document = NewDocument();
  EXPECT_FALSE(document->Parse(siblings));
}

TEST(XmlDocumentContract, ValuesSurviveAPrintAndAParse) {
  const std::string values[] = {
      "a&b<c>\"d'e", "&#x41;",       "&amp;", "tab\tline\ncarriage\r",
      "  spaced  ",  "\xE9\x80\xFF", "",      "]]>",
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

TEST(XmlDocumentContract, PrintRefusesWhatXmlCannotCarry) {
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

TEST(XmlDocumentContract, RemovesOnlyItsOwnChildren) {
  auto document = NewDocument();
  ASSERT_TRUE(document->Parse("<r><MailID Name=\"a\"/><Other><MailID Name=\"b\"/></Other></r>"));
  XmlElement* root = document->Root();
  XmlElement* other = root->ChildElements("Other").front();
  XmlElement* nested = other->ChildElements("MailID").front();
  EXPECT_FALSE(root->RemoveChild(nested)) << "a grandchild is not a child";
  EXPECT_FALSE(root->RemoveChild(root));
  EXPECT_FALSE(root->RemoveChild(nullptr));
  EXPECT_TRUE(root->RemoveChild(root->ChildElements("MailID").front()));
  EXPECT_TRUE(root->RemoveChild(other));  // `other` and `nested` are invalid from here
  EXPECT_TRUE(root->ChildElements("Other").empty());
  std::string printed;
  ASSERT_TRUE(document->Print(&printed));
  auto again = NewDocument();
  ASSERT_TRUE(again->Parse(printed)) << printed;
  EXPECT_TRUE(again->Root()->ChildElements("MailID").empty()) << printed;
  EXPECT_TRUE(again->Root()->ChildElements("Other").empty()) << printed;
}

TEST(XmlDocumentContract, AFailedParseLeavesAnEmptyDocument) {
  auto document = NewDocument();
  ASSERT_TRUE(document->Parse("<r><MailID Name=\"a\"/></r>"));
  EXPECT_FALSE(document->Parse("<r>"));
  EXPECT_EQ(document->Root(), nullptr);
  std::string printed = "untouched";
  EXPECT_FALSE(document->Print(&printed)) << "nothing read, nothing to write";
  EXPECT_EQ(printed, "untouched");
  ASSERT_TRUE(document->Parse("<s/>"));
  ASSERT_TRUE(document->Print(&printed));
  auto again = NewDocument();
  ASSERT_TRUE(again->Parse(printed)) << printed;
}

TEST(XmlDocumentContract, ElementsStayValidWhileTheDocumentLives) {
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

// Characters that code page 1252 has no byte for, as UTF-8 and as the
// hexadecimal reference that names the same character.
struct Foreign {
  std::string_view utf8;
  std::string_view reference;
};
constexpr Foreign kL{"\xC5\x82", "&#x142;"};                // l with stroke
constexpr Foreign kZhe{"\xD0\x96", "&#x416;"};              // Cyrillic Zhe
constexpr Foreign kMiddle{"\xE4\xB8\xAD", "&#x4E2D;"};      // a CJK ideograph
constexpr Foreign kSmile{"\xF0\x9F\x98\x80", "&#x1F600;"};  // beyond 16 bits
const std::vector<Foreign> kForeign = {kL, kZhe, kMiddle, kSmile};

// Whether `printed` still holds the character: as its own UTF-8 bytes in a
// document that reads as UTF-8 (a byte order mark, or a declaration naming
// UTF-8), or as a reference.
bool Holds(std::string_view printed, const Foreign& c) {
  const bool reads_as_utf8 = printed.substr(0, 3) == "\xEF\xBB\xBF" ||
                             printed.find("encoding=\"UTF-8\"") != std::string_view::npos ||
                             printed.find("encoding='UTF-8'") != std::string_view::npos;
  return (reads_as_utf8 && printed.find(c.utf8) != std::string_view::npos) ||
         printed.find(c.reference) != std::string_view::npos;
}

std::string Join(std::string_view a, std::string_view b) {
  return std::string(a) + std::string(b);
}

constexpr Foreign kOmega{"\xCF\x89", "&#x3C9;"};  // in the comment

// A UTF-8 list file holding every foreign character in its entries, written
// as the characters themselves or as references, and omega in a comment.
std::string ListFile(bool references) {
  auto text = [&](const Foreign& c) { return std::string(references ? c.reference : c.utf8); };
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<List>\n  <!-- " + std::string(kOmega.utf8) +
         " office -->\n  <MailID Name=\"" + Join(text(kL), "ukasz@example.pl") +
         "\"/>\n  <MailID Name=\"edit@example.org\"/>\n  <Domain Name=\"" + Join("@", text(kZhe)) +
         ".example\"/>\n  <Domain Name=\"@" + Join(text(kMiddle), text(kSmile)) +
         ".example\"/>\n</List>\n";
}

struct Edit {
  const char* name;
  std::function<bool(XmlElement& root)> apply;
  std::size_t addresses;  // "MailID" entries after the change
  const char* last;       // the last one's value
};

const Edit kEdits[] = {
    {"Add",
     [](XmlElement& root) {
       XmlElement* added = root.AppendChild("MailID");
       return added != nullptr && added->SetAttribute("Name", "new@example.org");
     },
     3, "new@example.org"},
    {"Update",
     [](XmlElement& root) {
       return root.ChildElements("MailID")[1]->SetAttribute("Name", "changed@example.org");
     },
     2, "changed@example.org"},
    {"Remove", [](XmlElement& root) { return root.RemoveChild(root.ChildElements("MailID")[1]); },
     1, nullptr},
};

TEST(XmlDocumentContract, AChangeKeepsEveryOtherCharacter) {
  for (const bool references : {false, true}) {
    for (const Edit& edit : kEdits) {
      SCOPED_TRACE(std::string(edit.name) + (references ? " in a file of references" : ""));
      auto document = NewDocument();
      ASSERT_TRUE(document->Parse(ListFile(references)));
      ASSERT_TRUE(edit.apply(*document->Root()));
      std::string printed;
      ASSERT_TRUE(document->Print(&printed));

      for (const Foreign& c : kForeign)
        EXPECT_TRUE(Holds(printed, c)) << c.reference << " lost in:\n" << printed;
      EXPECT_NE(printed.find(Join(kOmega.utf8, " office")), std::string::npos) << printed;
      const std::size_t declaration_end = printed.find("?>");
      const std::size_t body = declaration_end == std::string::npos ? 0 : declaration_end + 2;
      EXPECT_EQ(printed.find('?', body), std::string::npos) << printed;

      // The printed file reads back with the change, and a second rewrite
      // gives the same bytes: nothing drifts from one change to the next.
      auto again = NewDocument();
      ASSERT_TRUE(again->Parse(printed)) << printed;
      std::vector<std::string> names;
      for (XmlElement* entry : again->Root()->ChildElements("MailID")) {
        std::string name;
        entry->GetAttribute("Name", &name);
        names.push_back(name);
      }
      ASSERT_EQ(names.size(), edit.addresses) << printed;
      if (edit.last != nullptr) {
        EXPECT_EQ(names.back(), edit.last);
      }
      std::string reprinted;
      ASSERT_TRUE(again->Print(&reprinted));
      EXPECT_EQ(reprinted, printed);
    }
  }
}

}  // namespace
}  // namespace varnox
