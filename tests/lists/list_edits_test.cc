// Changes to a sender list with their results, over the real store on the
// fake file system. (Their texts are the list dialog's, tested there.)
#include "lists/list_edits.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "settings/settings_store.h"
#include "tests/fakes/fake_platform.h"

namespace varnox {
namespace {

using testing::FakePlatform;

constexpr char kPath[] = "black.xml";

class ListEditsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fake.registry.CreateKey();
    fake.registry.SetString(setting::kBlackListPath, kPath);
    fake.files.files[kPath] =
        "<BlackList><MailID Name=\"spam@shop.example\"/><Domain Name=\"@junk.example\"/>"
        "</BlackList>";
    ASSERT_TRUE(list.Load());
  }
  // What a fresh list reads from the file.
  SenderList FromFile() {
    SenderList fresh(ListKind::Black, fake);
    EXPECT_TRUE(fresh.Load());
    return fresh;
  }

  FakePlatform fake;
  SenderList list{ListKind::Black, fake};
};

TEST_F(ListEditsTest, AnEntryInTheFileInAnyCaseIsRefusedAndChangesNothing) {
  const std::string before = fake.files.files[kPath];
  EXPECT_EQ(AddEntry(list, EntryKind::kAddress, "SPAM@Shop.Example"), ListEdit::kExists);
  EXPECT_EQ(AddEntry(list, EntryKind::kDomain, "@JUNK.example"), ListEdit::kExists);
  EXPECT_EQ(UpdateEntry(list, EntryKind::kAddress, "spam@shop.example", "spam@shop.example"),
            ListEdit::kExists)
      << "the unchanged text is in the file already";
  EXPECT_EQ(fake.files.files[kPath], before);
  EXPECT_EQ(list.addresses(), std::vector<std::string>{"spam@shop.example"});
  // An address entry is no domain entry, and the other way round.
  EXPECT_EQ(AddEntry(list, EntryKind::kDomain, "spam@shop.example"), ListEdit::kDone);
  EXPECT_EQ(FromFile().domains(), (std::vector<std::string>{"@junk.example", "spam@shop.example"}));
}

TEST_F(ListEditsTest, ChangesReachMemoryAndTheFile) {
  EXPECT_EQ(AddEntry(list, EntryKind::kAddress, "new@shop.example"), ListEdit::kDone);
  EXPECT_EQ(UpdateEntry(list, EntryKind::kDomain, "@junk.example", "@spam.example"),
            ListEdit::kDone);
  EXPECT_EQ(RemoveEntries(list, EntryKind::kAddress, {"SPAM@SHOP.EXAMPLE"}), ListEdit::kDone);
  for (const SenderList& seen : {list, FromFile()}) {
    EXPECT_EQ(seen.addresses(), std::vector<std::string>{"new@shop.example"});
    EXPECT_EQ(seen.domains(), std::vector<std::string>{"@spam.example"});
  }
}

TEST_F(ListEditsTest, AFileThatCannotBeWrittenLeavesTheChangeInMemoryOnly) {
  fake.files.fail_all_writes = true;
  const std::string before = fake.files.files[kPath];
  EXPECT_EQ(AddEntry(list, EntryKind::kAddress, "new@shop.example"), ListEdit::kNotWritten);
  EXPECT_EQ(UpdateEntry(list, EntryKind::kDomain, "@junk.example", "@spam.example"),
            ListEdit::kNotWritten);
  EXPECT_EQ(RemoveEntries(list, EntryKind::kAddress, {"spam@shop.example"}), ListEdit::kNotWritten);
  EXPECT_EQ(fake.files.files[kPath], before);
  EXPECT_EQ(list.addresses(), std::vector<std::string>{"new@shop.example"});
  EXPECT_EQ(list.domains(), std::vector<std::string>{"@spam.example"});
}

}  // namespace
}  // namespace varnox
