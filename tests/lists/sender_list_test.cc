// The sender lists over the fake file system and registry, with the shell's
// real XML parser. Nothing here depends on how a particular XML library lays
// out what it prints: written files are judged by reading them back.
#include "lists/sender_list.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "settings/settings_store.h"
#include "tests/fakes/fake_platform.h"

namespace varnox {
namespace {

using testing::FakePlatform;
using Entries = std::vector<std::string>;

constexpr char kBlackPath[] = "lists/black.xml";
constexpr char kWhitePath[] = "lists/white.xml";

std::string TestData(const std::string& name) {
  const char* root = std::getenv("VARNOX_TEST_DATA");
  std::ifstream in(std::string(root != nullptr ? root : "tests/data") + "/lists/" + name,
                   std::ios::binary);
  EXPECT_TRUE(in.good()) << name;
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string ListFile(const std::string& children) {
  return "<BlackList>" + children + "</BlackList>";
}

class SenderListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fake.registry.CreateKey();
    fake.registry.SetString(setting::kBlackListPath, kBlackPath);
    fake.registry.SetString(setting::kWhiteListPath, kWhitePath);
  }

  std::string& BlackFile() { return fake.files.files[kBlackPath]; }

  // What a fresh list reads from the black list's file now.
  SenderList Reloaded() {
    SenderList list(ListKind::Black, fake);
    EXPECT_TRUE(list.Load());
    return list;
  }

  FakePlatform fake;
  SenderList black{ListKind::Black, fake};
};

TEST_F(SenderListTest, FilePathComesFromTheSettingOfItsKind) {
  SenderList white(ListKind::White, fake);
  EXPECT_EQ(black.FilePath(), kBlackPath);
  EXPECT_EQ(white.FilePath(), kWhitePath);
  EXPECT_EQ(white.kind(), ListKind::White);

  fake.registry.SetString(setting::kBlackListPath, std::string(259, 'p'));
  EXPECT_EQ(black.FilePath(), std::string(259, 'p'));
  fake.registry.SetString(setting::kBlackListPath, std::string(260, 'p'));
  EXPECT_EQ(black.FilePath(), "") << "too long reads as absent";
  fake.registry.DeleteKey();
  EXPECT_EQ(white.FilePath(), "");
}

TEST_F(SenderListTest, PathIsReadAnewForEveryFileOperation) {
  BlackFile() = ListFile("<MailID Name=\"one@x\"/>");
  fake.files.files["other.xml"] = ListFile("<MailID Name=\"two@x\"/>");
  ASSERT_TRUE(black.Load());
  fake.registry.SetString(setting::kBlackListPath, "other.xml");
  EXPECT_TRUE(black.FileHasAddress("two@x"));
  EXPECT_FALSE(black.FileHasAddress("one@x"));
  ASSERT_TRUE(black.Load());
  EXPECT_EQ(black.addresses(), Entries{"two@x"});
}

TEST_F(SenderListTest, LoadsEachTypeInDocumentOrder) {
  BlackFile() = TestData("sample.xml");
  ASSERT_TRUE(black.Load());
  EXPECT_EQ(black.addresses(),
            (Entries{"offers@shop.example", "Offers@Shop.Example", "jos\xE9@caf\xE9.example"}))
      << "nested MailID and the one without Name are no entries";
  EXPECT_EQ(black.domains(), (Entries{"@spam.example", "@Bulk.Example", "@caf\xE9.example"}));
}

TEST_F(SenderListTest, RootNameAndOtherContentAreIgnored) {
  BlackFile() =
      "<?xml version=\"1.0\"?><!-- note --><AnyName Version=\"2\">text"
      "<Domain Name=\"@d\"/><Domain Name=\"\"/><MailID Name=\"a@d\" Name2=\"x\"/>"
      "<mailid Name=\"wrong case\"/><Other Name=\"no\"><Domain Name=\"@nested\"/></Other>"
      "</AnyName>";
  ASSERT_TRUE(black.Load());
  EXPECT_EQ(black.addresses(), Entries{"a@d"});
  EXPECT_EQ(black.domains(), (Entries{"@d", ""}));
}

TEST_F(SenderListTest, ElementsWithoutNameAreNoEntries) {
  BlackFile() = ListFile("<MailID/><MailID Other=\"x\"/><MailID Name=\"a@x\"/>");
  ASSERT_TRUE(black.Load());
  EXPECT_EQ(black.addresses(), Entries{"a@x"});
  EXPECT_FALSE(black.FileHasAddress(""));
  EXPECT_TRUE(black.UpdateAddress("", "named@x")) << "nothing matched: written back";
  EXPECT_TRUE(black.RemoveAddress(""));
  auto document = fake.xml.NewDocument();
  ASSERT_TRUE(document->Parse(BlackFile()));
  std::vector<XmlElement*> elements = document->Root()->ChildElements("MailID");
  ASSERT_EQ(elements.size(), 3u);
  std::string name;
  EXPECT_FALSE(elements[0]->GetAttribute("Name", &name));
  EXPECT_FALSE(elements[1]->GetAttribute("Name", &name));
}

TEST_F(SenderListTest, LoadingAgainNeverDoublesEntries) {
  BlackFile() = ListFile("<MailID Name=\"a@x\"/><MailID Name=\"a@x\"/><Domain Name=\"@x\"/>");
  ASSERT_TRUE(black.Load());
  ASSERT_TRUE(black.Load());
  EXPECT_EQ(black.addresses(), (Entries{"a@x", "a@x"}));
  EXPECT_EQ(black.domains(), Entries{"@x"});
}

TEST_F(SenderListTest, AFileThatCannotBeLoadedLeavesMemoryAsItWas) {
  const std::string good = ListFile("<MailID Name=\"kept@x\"/><Domain Name=\"@kept\"/>");
  struct Case {
    const char* what;
    std::string contents;  // of the black list's file; "(missing)" removes it
  };
  const Case cases[] = {
      {"missing file", "(missing)"},
      {"empty file", TestData("empty.xml")},
      {"no root element", "<?xml version=\"1.0\"?><!-- nothing -->"},
      {"truncated", TestData("truncated.xml")},
      {"plain text", TestData("not_xml.xml")},
      {"binary", TestData("binary.xml")},
      {"NUL bytes", TestData("nul_bytes.xml")},
      {"two roots", TestData("two_roots.xml")},
      {"entity bomb", TestData("billion_laughs.xml")},
      {"unquoted attribute", ListFile("<MailID Name=a@x/>")},
      {"larger than the limit",
       ListFile(std::string(SenderList::kMaxFileBytes, ' ') + "<MailID Name=\"a@x\"/>")},
  };
  for (const Case& c : cases) {
    BlackFile() = good;
    ASSERT_TRUE(black.Load());
    if (std::string(c.contents) == "(missing)")
      fake.files.files.erase(kBlackPath);
    else
      BlackFile() = c.contents;
    EXPECT_FALSE(black.Load()) << c.what;
    EXPECT_EQ(black.addresses(), Entries{"kept@x"}) << c.what;
    EXPECT_EQ(black.domains(), Entries{"@kept"}) << c.what;
    EXPECT_FALSE(black.FileHasAddress("a@x")) << c.what;
    EXPECT_FALSE(black.FileHasAddress("kept@example.com")) << c.what;
  }
}

TEST_F(SenderListTest, UnreadableFileAndEmptyPathCannotBeLoaded) {
  BlackFile() = ListFile("<MailID Name=\"a@x\"/>");
  fake.files.unreadable.push_back(kBlackPath);
  EXPECT_FALSE(black.Load());
  EXPECT_FALSE(black.FileHasAddress("a@x"));
  fake.files.unreadable.clear();
  fake.registry.SetString(setting::kBlackListPath, "");
  EXPECT_FALSE(black.Load());
  EXPECT_FALSE(black.FileHasAddress("a@x"));
}

TEST_F(SenderListTest, LargeListWithinTheLimitLoads) {
  std::string children;
  for (int i = 0; i < 20000; ++i)
    children += "<MailID Name=\"sender" + std::to_string(i) + "@example.com\"/>\n";
  BlackFile() = ListFile(children);
  ASSERT_LT(BlackFile().size(), SenderList::kMaxFileBytes);
  ASSERT_TRUE(black.Load());
  ASSERT_EQ(black.addresses().size(), 20000u);
  EXPECT_EQ(black.addresses().back(), "sender19999@example.com");
}

TEST_F(SenderListTest, LookupsCompareWholeTextsIgnoringCase) {
  BlackFile() = ListFile(
      "<MailID Name=\"Bob@Example.COM\"/><MailID Name=\"caf\xC9@x.example\"/>"
      "<Domain Name=\"@example.com\"/><Domain Name=\"spam.example\"/>");
  ASSERT_TRUE(black.Load());
  struct Case {
    const char* text;
    bool address;
    bool domain;
  };
  const Case cases[] = {
      {"bob@example.com", true, false},
      {"BOB@EXAMPLE.COM", true, false},
      {"caf\xE9@X.EXAMPLE", true, false},  // code page 1252 letters fold too
      {"bob@example.co", false, false},
      {"xbob@example.com", false, false},
      {"@example.com", false, true},
      {"@EXAMPLE.Com", false, true},
      {"example.com", false, false},  // a domain key always starts with "@"
      {"@spam.example", false, false},
      {"spam.example", false, true},
      {"", false, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(black.ContainsAddress(c.text), c.address) << c.text;
    EXPECT_EQ(black.ContainsDomain(c.text), c.domain) << c.text;
  }
}

TEST_F(SenderListTest, EmptyKeyMatchesOnlyAnEmptyEntry) {
  BlackFile() = ListFile("<Domain Name=\"@x\"/>");
  ASSERT_TRUE(black.Load());
  EXPECT_FALSE(black.ContainsDomain(""));
  EXPECT_FALSE(black.FileHasDomain(""));
  BlackFile() = ListFile("<Domain Name=\"@x\"/><Domain Name=\"\"/>");
  ASSERT_TRUE(black.Load());
  EXPECT_TRUE(black.ContainsDomain(""));
  EXPECT_TRUE(black.FileHasDomain(""));
}

TEST_F(SenderListTest, FileLookupsAskTheFileNotMemory) {
  BlackFile() = ListFile(
      "<MailID/><MailID Name=\"In@File\"/><Other><MailID Name=\"nested@x\"/></Other>"
      "<Domain Name=\"@d\"/>");
  const std::string before = BlackFile();
  EXPECT_TRUE(black.FileHasAddress("in@file"));
  EXPECT_FALSE(black.FileHasAddress("nested@x"));
  EXPECT_FALSE(black.FileHasAddress("@d")) << "types are separate";
  EXPECT_TRUE(black.FileHasDomain("@D"));
  EXPECT_TRUE(black.addresses().empty()) << "memory untouched";
  EXPECT_EQ(BlackFile(), before);
  EXPECT_EQ(fake.files.replace_calls, 0);

  // An entry held in memory only is no duplicate.
  fake.files.unwritable.push_back(kBlackPath);
  black.AddAddress("memory@only");
  EXPECT_TRUE(black.ContainsAddress("memory@only"));
  EXPECT_FALSE(black.FileHasAddress("memory@only"));
}

TEST_F(SenderListTest, AddAppendsToMemoryAndAsTheRootsLastChild) {
  BlackFile() = TestData("sample.xml");
  ASSERT_TRUE(black.Load());
  EXPECT_TRUE(black.AddAddress("new@x.example"));
  EXPECT_TRUE(black.AddDomain("@new.example"));
  EXPECT_TRUE(black.AddAddress("offers@shop.example")) << "no duplicate check";
  EXPECT_EQ(black.addresses().back(), "offers@shop.example");
  EXPECT_EQ(black.domains().back(), "@new.example");

  SenderList again = Reloaded();
  EXPECT_EQ(again.addresses(), black.addresses());
  EXPECT_EQ(again.domains(), black.domains());

  // Everything else in the document is written back as it was read.
  auto document = fake.xml.NewDocument();
  ASSERT_TRUE(document->Parse(BlackFile()));
  XmlElement* root = document->Root();
  ASSERT_EQ(root->ChildElements("Group").size(), 1u);
  EXPECT_EQ(root->ChildElements("Group")[0]->ChildElements("MailID").size(), 1u);
  std::string added;
  EXPECT_TRUE(root->ChildElements("MailID")[0]->GetAttribute("Added", &added));
  EXPECT_EQ(added, "2025-01-02");
  EXPECT_EQ(root->ChildElements("MailID").size(), 6u) << "the nameless element stays";
}

TEST_F(SenderListTest, TextIsStoredExactlyAsGiven) {
  BlackFile() = ListFile("");
  const std::string texts[] = {
      " spaced@x ",      "a&b<c>\"d'@x", "&#x41;@x",   "&amp;",
      "caf\xE9\x80\xFF", "tab\there",    "no-at-sign",
  };
  for (const std::string& text : texts)
    ASSERT_TRUE(black.AddAddress(text)) << text;
  EXPECT_EQ(Reloaded().addresses(), Entries(std::begin(texts), std::end(texts)));
}

TEST_F(SenderListTest, AddWithoutAUsableFileChangesMemoryOnly) {
  struct Case {
    const char* what;
    const char* path;  // the setting
    const char* file;  // contents at that path, or null for none
  };
  const Case cases[] = {
      {"empty path", "", nullptr},
      {"missing file", kBlackPath, nullptr},
      {"malformed file", kBlackPath, "<BlackList><MailID Name=\"a\"/>"},
  };
  for (const Case& c : cases) {
    FakePlatform other;
    other.registry.CreateKey();
    other.registry.SetString(setting::kBlackListPath, c.path);
    if (c.file != nullptr)
      other.files.files[c.path] = c.file;
    SenderList list(ListKind::Black, other);
    EXPECT_FALSE(list.AddAddress("a@x")) << c.what;
    EXPECT_FALSE(list.AddDomain("@x")) << c.what;
    EXPECT_EQ(list.addresses(), Entries{"a@x"}) << c.what;
    EXPECT_EQ(list.domains(), Entries{"@x"}) << c.what;
    EXPECT_EQ(other.files.replace_calls, 0) << c.what << ": nothing written";
    EXPECT_EQ(other.files.files.size(), c.file != nullptr ? 1u : 0u) << c.what;
  }
}

TEST_F(SenderListTest, FailedWritesAreReportedAndKeepTheOldFile) {
  BlackFile() = ListFile("<MailID Name=\"a@x\"/><Domain Name=\"@x\"/>");
  const std::string before = BlackFile();
  fake.files.unwritable.push_back(kBlackPath);
  EXPECT_FALSE(black.AddAddress("b@x"));
  EXPECT_FALSE(black.AddDomain("@y"));
  EXPECT_FALSE(black.UpdateAddress("a@x", "c@x"));
  EXPECT_FALSE(black.UpdateDomain("@x", "@z"));
  EXPECT_FALSE(black.RemoveAddress("a@x"));
  EXPECT_FALSE(black.RemoveDomain("@x"));
  EXPECT_EQ(fake.files.replace_calls, 6) << "each one tried";
  EXPECT_EQ(BlackFile(), before);
  // Memory changed all the same.
  EXPECT_EQ(black.addresses(), (Entries{"b@x", "c@x"}));
  EXPECT_EQ(black.domains(), (Entries{"@y", "@z"}));
}

TEST_F(SenderListTest, TextThatXmlCannotCarryIsNotWritten) {
  BlackFile() = ListFile("<MailID Name=\"a@x\"/>");
  const std::string before = BlackFile();
  EXPECT_FALSE(black.AddAddress("bell\x07@x"));
  EXPECT_FALSE(black.UpdateAddress("a@x", std::string("nul\0@x", 6)));
  EXPECT_EQ(BlackFile(), before) << "the file stays loadable";
  EXPECT_EQ(Reloaded().addresses(), Entries{"a@x"});
}

TEST_F(SenderListTest, UpdateChangesTheFirstMatchInTheFileAndEveryExactCopyInMemory) {
  BlackFile() = ListFile(
      "<MailID Name=\"dup@x\"/><MailID Name=\"other@x\"/><MailID Name=\"dup@x\"/>"
      "<MailID Name=\"DUP@X\"/>");
  ASSERT_TRUE(black.Load());
  EXPECT_TRUE(black.UpdateAddress("dup@x", "new@x"));
  EXPECT_EQ(black.addresses(), (Entries{"other@x", "DUP@X", "new@x"}));
  EXPECT_EQ(Reloaded().addresses(), (Entries{"new@x", "other@x", "dup@x", "DUP@X"}));
}

TEST_F(SenderListTest, UpdateMatchesTheFileIgnoringCaseButMemoryExactly) {
  BlackFile() = ListFile("<MailID/><Domain Name=\"@Old.Example\"/><Domain Name=\"@b\"/>");
  ASSERT_TRUE(black.Load());
  EXPECT_TRUE(black.UpdateDomain("@old.example", "@new.example"));
  EXPECT_EQ(black.domains(), (Entries{"@Old.Example", "@b", "@new.example"}));
  SenderList again = Reloaded();
  EXPECT_EQ(again.domains(), (Entries{"@new.example", "@b"})) << "renamed in place";
  EXPECT_TRUE(again.addresses().empty());
}

TEST_F(SenderListTest, UnmatchedUpdateWritesTheSameEntriesBack) {
  BlackFile() = ListFile("<Domain Name=\"@a\"/><MailID Name=\"@a\"/>");
  EXPECT_TRUE(black.UpdateDomain("@none", "@new"));
  EXPECT_EQ(fake.files.replace_calls, 1);
  EXPECT_EQ(black.domains(), Entries{"@new"});
  SenderList again = Reloaded();
  EXPECT_EQ(again.domains(), Entries{"@a"});
  EXPECT_EQ(again.addresses(), Entries{"@a"});
}

TEST_F(SenderListTest, UpdateWithoutAUsableFileChangesMemoryOnly) {
  fake.registry.SetString(setting::kBlackListPath, "");
  EXPECT_FALSE(black.UpdateAddress("old@x", "new@x"));
  EXPECT_EQ(black.addresses(), Entries{"new@x"});
  EXPECT_EQ(fake.files.replace_calls, 0);
}

TEST_F(SenderListTest, RemoveDropsEveryMatchIgnoringCase) {
  BlackFile() = ListFile(
      "<MailID Name=\"a@x\"/><MailID/><MailID Name=\"b@x\"/><MailID Name=\"A@X\"/>"
      "<Domain Name=\"a@x\"/><Other><MailID Name=\"a@x\"/></Other>");
  ASSERT_TRUE(black.Load());
  EXPECT_TRUE(black.RemoveAddress("a@X"));
  EXPECT_EQ(black.addresses(), Entries{"b@x"});
  SenderList again = Reloaded();
  EXPECT_EQ(again.addresses(), Entries{"b@x"});
  EXPECT_EQ(again.domains(), Entries{"a@x"}) << "the other type is untouched";
  EXPECT_TRUE(again.FileHasAddress("b@x"));

  auto document = fake.xml.NewDocument();
  ASSERT_TRUE(document->Parse(BlackFile()));
  EXPECT_EQ(document->Root()->ChildElements("MailID").size(), 2u) << "b@x and the nameless one";
  EXPECT_EQ(document->Root()->ChildElements("Other")[0]->ChildElements("MailID").size(), 1u);
}

TEST_F(SenderListTest, RemovingWhatTheFileDoesNotHoldWritesNothing) {
  BlackFile() = ListFile("<Domain Name=\"@a\"/>");
  ASSERT_TRUE(black.Load());
  black.AddDomain("@memory");
  const int writes = fake.files.replace_calls;
  EXPECT_TRUE(black.RemoveDomain("@none"));
  fake.files.files.erase(kBlackPath);
  EXPECT_FALSE(black.RemoveDomain("@MEMORY"));
  EXPECT_EQ(fake.files.replace_calls, writes);
  EXPECT_EQ(black.domains(), Entries{"@a"});
}

TEST_F(SenderListTest, ListsKeepTheirOwnFiles) {
  fake.files.files[kWhitePath] = "<WhiteList/>";
  BlackFile() = "<BlackList/>";
  SenderList white(ListKind::White, fake);
  ASSERT_TRUE(white.AddAddress("friend@x"));
  ASSERT_TRUE(black.AddAddress("foe@x"));
  EXPECT_TRUE(white.FileHasAddress("friend@x"));
  EXPECT_FALSE(white.FileHasAddress("foe@x"));
  EXPECT_FALSE(black.FileHasAddress("friend@x"));
}

TEST(SenderListOnDiskTest, ChangesReachTheRealFileWholeAndAlone) {
  namespace fs = std::filesystem;
  const fs::path dir =
      fs::temp_directory_path() / ("varnox-lists-" + std::to_string(std::random_device()()));
  fs::remove_all(dir);
  ASSERT_TRUE(fs::create_directories(dir));
  const std::string path = (dir / "white.xml").string();
  {
    std::ofstream(path, std::ios::binary) << "<?xml version=\"1.0\"?>\r\n<WhiteList>\r\n"
                                             "  <MailID Name=\"first@x\"/>\r\n</WhiteList>\r\n";
  }
  FakePlatform fake;
  fake.registry.CreateKey();
  fake.registry.SetString(setting::kWhiteListPath, path);
  const Platform on_disk{fake.registry, fake.clock,   RealFileSystem(), fake.ui,
                         fake.faces,    fake.dialogs, fake.xml};
  SenderList white(ListKind::White, on_disk);
  ASSERT_TRUE(white.Load());
  EXPECT_TRUE(white.AddAddress("second@x"));
  EXPECT_TRUE(white.UpdateAddress("FIRST@X", "renamed@x"));
  EXPECT_TRUE(white.RemoveAddress("second@x"));
  EXPECT_TRUE(white.AddDomain("@friends.example"));

  SenderList again(ListKind::White, on_disk);
  ASSERT_TRUE(again.Load());
  EXPECT_EQ(again.addresses(), Entries{"renamed@x"});
  EXPECT_EQ(again.domains(), Entries{"@friends.example"});
  std::vector<std::string> left;
  for (const auto& entry : fs::directory_iterator(dir))
    left.push_back(entry.path().filename().string());
  EXPECT_EQ(left, std::vector<std::string>{"white.xml"}) << "nothing left beside the file";
  fs::remove_all(dir);
}

}  // namespace
}  // namespace varnox
