// The BlackList and WhiteList dialogs under Wine, opened from the toolbar
// and driven by window messages; what they write is read back from the list
// file.
#include <windows.h>

#include <commctrl.h>

#include <gtest/gtest.h>

#include "lists/list_dialog.h"
#include "lists/sender_list.h"
#include "tests/win/dialog_driver.h"
#include "tests/win/dialog_world.h"

namespace varnox::win::testing {
namespace {

using Ids = std::vector<int>;
using Texts = std::vector<std::string>;

constexpr int kType = ListDialog::kIdTypeBox;
constexpr int kText = ListDialog::kIdItemText;
constexpr int kEntries = ListDialog::kIdEntries;
constexpr int kRemove = ListDialog::kIdRemove;

struct ListCase {
  const char* button;
  ListKind kind;
  const char* screenshot;
  const char* added;
  const char* updated;
  const char* address_exists;
  const char* removal_question;
  const char* removed;
};

void PrintTo(const ListCase& c, std::ostream* out) {
  *out << c.button;
}

class ListDialogWin : public ::testing::TestWithParam<ListCase> {
 protected:
  // The list's entries as its file holds them.
  Texts AddressesInFile() {
    SenderList reread(GetParam().kind, world.platform);
    EXPECT_TRUE(reread.Load());
    return reread.addresses();
  }
  SenderList& List() {
    return GetParam().kind == ListKind::Black ? world.addin->blackList : world.addin->whiteList;
  }

  // Every message shown over `dialog` by pressing `button`: its text, with
  // an empty caption and OK alone; answered.
  void ExpectSay(DialogDriver& d, HWND dialog, int button, const std::string& text) {
    d.ClickOpening(dialog, button);
    ShownMessage message = d.WaitForMessage(dialog);
    EXPECT_EQ(message.text, text);
    EXPECT_EQ(message.caption, "");
    EXPECT_EQ(message.buttons, Ids{IDOK});
    d.Answer(message, IDOK);
  }

  DialogWorld world{{"alice@example.org", "@spam.example"}, {"alice@example.org", "@spam.example"}};
};

TEST_P(ListDialogWin, AddsUpdatesAndRemovesEntriesAndWritesEachChange) {
  const ListCase& c = GetParam();
  world.Connect();
  DialogDriver driver([&](DialogDriver& d) {
    HWND dialog = d.WaitForDialog("Dialog", world.explorer.window());
    EXPECT_EQ(d.ComboEntries(dialog, kType), (Texts{"Domain Name", "EMail Address"}));
    EXPECT_EQ(d.ComboSelection(dialog, kType), CB_ERR);
    EXPECT_EQ(d.Text(dialog, IDOK), "Add To List");
    EXPECT_EQ(d.ColumnTitle(dialog, kEntries), "Item");
    EXPECT_EQ(d.ColumnWidth(dialog, kEntries), 200);
    const auto extended = SendDlgItemMessageW(dialog, kEntries, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0);
    EXPECT_EQ(extended & (LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT),
              LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT);
    EXPECT_TRUE(d.Rows(dialog, kEntries).empty());

    // A type first, even with a name typed.
    d.Type(dialog, kText, "bob@example.com");
    ExpectSay(d, dialog, IDOK, "Please Select an Item Type");
    EXPECT_EQ(d.Focus(), GetDlgItem(dialog, kType));

    d.Choose(dialog, kType, ListDialog::kTypeAddress);
    EXPECT_EQ(d.Rows(dialog, kEntries), Texts{"alice@example.org"});
    EXPECT_EQ(d.Text(dialog, kText), "") << "a type change empties the text field";
    ExpectSay(d, dialog, IDOK, "Please Enter an Item Name");
    EXPECT_EQ(d.Focus(), GetDlgItem(dialog, kText));

    d.Type(dialog, kText, "bob@example.com");
    ExpectSay(d, dialog, IDOK, c.added);
    EXPECT_EQ(d.Rows(dialog, kEntries), (Texts{"alice@example.org", "bob@example.com"}));
    EXPECT_EQ(d.Text(dialog, kText), "");
    EXPECT_EQ(AddressesInFile(), (Texts{"alice@example.org", "bob@example.com"}));

    d.Type(dialog, kText, "BOB@Example.COM");
    ExpectSay(d, dialog, IDOK, c.address_exists);
    EXPECT_EQ(d.Focus(), GetDlgItem(dialog, kText));

    // Editing: the unchanged text is refused and editing goes on.
    d.DoubleClickRow(dialog, kEntries, 1);
    EXPECT_EQ(d.Text(dialog, kText), "bob@example.com");
    EXPECT_EQ(d.Text(dialog, IDOK), "Update");
    ExpectSay(d, dialog, IDOK, c.address_exists);
    EXPECT_EQ(d.Text(dialog, IDOK), "Update");
    d.Type(dialog, kText, "robert@example.com");
    ExpectSay(d, dialog, IDOK, c.updated);
    EXPECT_EQ(d.Text(dialog, IDOK), "Add to List");
    EXPECT_EQ(d.Rows(dialog, kEntries), (Texts{"alice@example.org", "robert@example.com"}));
    EXPECT_EQ(AddressesInFile(), (Texts{"alice@example.org", "robert@example.com"}));

    d.Type(dialog, kText, "carol@example.net");
    ExpectSay(d, dialog, IDOK, c.added);
    d.TickRow(dialog, kEntries, 2, true);
    d.Screenshot(dialog, c.screenshot);

    // Removing the ticked row, after a question.
    d.TickRow(dialog, kEntries, 0, true);
    d.TickRow(dialog, kEntries, 2, false);
    d.ClickOpening(dialog, kRemove);
    ShownMessage question = d.WaitForMessage(dialog);
    EXPECT_EQ(question.text, c.removal_question);
    EXPECT_EQ(question.buttons, (Ids{IDYES, IDNO}));
    d.Answer(question, IDYES);
    ShownMessage removed = d.WaitForMessage(dialog);
    EXPECT_EQ(removed.text, c.removed);
    d.Answer(removed, IDOK);
    EXPECT_EQ(d.Rows(dialog, kEntries), (Texts{"robert@example.com", "carol@example.net"}));
    EXPECT_EQ(AddressesInFile(), (Texts{"robert@example.com", "carol@example.net"}));

    // Another type leaves editing and shows its own entries.
    d.DoubleClickRow(dialog, kEntries, 0);
    d.Choose(dialog, kType, ListDialog::kTypeDomain);
    EXPECT_EQ(d.Text(dialog, IDOK), "Add To List");
    EXPECT_EQ(d.Text(dialog, kText), "");
    EXPECT_EQ(d.Rows(dialog, kEntries), Texts{"@spam.example"});

    d.PressKey(VK_ESCAPE);
    d.WaitUntilClosed(dialog);
  });
  world.Click(c.button);
  EXPECT_EQ(List().addresses(), (Texts{"robert@example.com", "carol@example.net"}))
      << "the list in memory is the file's again";
}

INSTANTIATE_TEST_SUITE_P(
    BothLists, ListDialogWin,
    ::testing::Values(
        ListCase{"BlackList", ListKind::Black, "blacklist", "Item Added To Blacklist",
                 "Item Updated in Blacklist", "This MailId Already Exists in BlackList",
                 "Remove the selected item from the BlackList?", "Item Removed From BlackList"},
        ListCase{"WhiteList", ListKind::White, "whitelist", "Item Added To WhiteList",
                 "Item Updated in WhiteList", "This MailId Already Exists in WhiteList",
                 "Remove the selected item from the WhiteList?", "Item Removed From WhiteList"}),
    [](const ::testing::TestParamInfo<ListCase>& info) { return std::string(info.param.button); });

TEST(ListDialogWin, ADomainAlreadyThereIsRefused) {
  DialogWorld world({"@spam.example"});
  world.Connect();
  DialogDriver driver([&](DialogDriver& d) {
    HWND dialog = d.WaitForDialog("Dialog", world.explorer.window());
    d.Choose(dialog, kType, ListDialog::kTypeDomain);
    d.Type(dialog, kText, "@SPAM.example");
    d.ClickOpening(dialog, IDOK);
    ShownMessage message = d.WaitForMessage(dialog);
    EXPECT_EQ(message.text, "This Domain Already Exists in BlackList");
    d.Answer(message, IDOK);
    d.Click(dialog, IDCANCEL);
    d.WaitUntilClosed(dialog);
  });
  world.Click("BlackList");
  EXPECT_EQ(world.addin->blackList.domains(), Texts{"@spam.example"});
}

}  // namespace
}  // namespace varnox::win::testing
