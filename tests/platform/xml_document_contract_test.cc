// What every host's XML library must do alike, run against each: TinyXML on
// Linux, MSXML under Wine. A list change rewrites the whole file; it must
// change only the entry edited, whatever characters the others hold.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/xml_document.h"

namespace varnox {
namespace {

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
      auto document = SystemXmlParser().NewDocument();
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
      auto again = SystemXmlParser().NewDocument();
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
