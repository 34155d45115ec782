// What the toolbar's commands rely on from every application with windows:
// the explorer's selection is the mail the user chose, in order, and the
// folder it shows is theirs.
#include "tests/addin/explorer_contract.h"

#include "host/folder.h"
#include "host/item.h"
#include "host/message.h"

namespace varnox::testing {
namespace {

TEST_P(ExplorerContract, SelectionIsTheChosenMailAndTheCurrentFolderTheirs) {
  under_test->AddFolder("Archive");
  under_test->Deliver("Archive", Arriving(8));
  under_test->Deliver("Archive", Arriving(9));
  under_test->SelectAll("Archive");

  std::unique_ptr<outlook::Explorer> explorer;
  ASSERT_EQ(WindowSide(*application).ActiveExplorer(&explorer), kSOk);
  ASSERT_NE(explorer, nullptr);
  std::unique_ptr<outlook::Selection> selection;
  ASSERT_EQ(explorer->GetSelection(&selection), kSOk);
  ASSERT_NE(selection, nullptr);
  std::int32_t object_class = 0, count = 0;
  ASSERT_EQ(selection->Class(&object_class), kSOk);
  ASSERT_EQ(selection->Count(&count), kSOk);
  EXPECT_EQ(object_class, outlook::kOlSelection);
  ASSERT_EQ(count, 2);
  std::vector<std::string> selected;
  for (std::int32_t index = 1; index <= count; ++index) {
    std::unique_ptr<host::Item> item;
    ASSERT_EQ(selection->GetItem(index, &item), kSOk);
    ASSERT_NE(item, nullptr);
    selected.push_back(Property(*AsMail(*item), host::kPrTransportMessageHeaders));
  }
  EXPECT_EQ(selected, HeadersThroughTheSeam(*application, "Archive")) << "in the folder's order";
  EXPECT_EQ(IdsIn(selected), (std::vector<int>{8, 9}));
  for (std::int32_t outside : {0, count + 1}) {
    std::unique_ptr<host::Item> item;
    EXPECT_TRUE(Failed(selection->GetItem(outside, &item))) << outside;
    EXPECT_EQ(item, nullptr) << outside;
  }

  std::unique_ptr<host::Folder> current;
  ASSERT_EQ(explorer->CurrentFolder(&current), kSOk);
  ASSERT_NE(current, nullptr);
  EXPECT_TRUE(current->IsSameFolder(*TopFolder(*application, "Archive")));
}

}  // namespace
}  // namespace varnox::testing
