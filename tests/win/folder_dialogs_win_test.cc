// Not Spam's "Select Outlook Folder" and Train Filter's "Train Bayesian
// Filter" with its "Select Folders", under Wine, opened from the toolbar and
// driven by window messages: the folders chosen, the setting written, the
// mail moved and the words learned.
#include <windows.h>

#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>

#include "engine/bayesian_filter.h"
#include "mail/folder_pickers.h"
#include "mail/top_folders.h"
#include "mail/train_dialog.h"
#include "settings/settings_store.h"
#include "tests/win/dialog_driver.h"
#include "tests/win/dialog_world.h"

namespace varnox::win::testing {
namespace {

using Ids = std::vector<int>;
using Texts = std::vector<std::string>;

std::string Headers(const std::string& from) {
  return "From: " + from + "\r\nTo: me@example.com\r\nSubject: hello\r\n";
}

int IndexOf(const Texts& names, const std::string& name) {
  auto found = std::find(names.begin(), names.end(), name);
  EXPECT_NE(found, names.end()) << name;
  return static_cast<int>(found - names.begin());
}

void ExpectLearningComplete(DialogDriver& d, const std::string& caption) {
  ShownMessage done = d.WaitForMessage(nullptr);
  EXPECT_EQ(done.text, "Learning Complete");
  EXPECT_EQ(done.caption, caption);
  EXPECT_EQ(done.buttons, Ids{IDOK});
  d.Answer(done, IDOK);
}

// --- Not Spam in SpamFilter: where the mail goes.

class NotSpamWin : public ::testing::Test {
 protected:
  void SetUp() override {
    world.Connect();
    spam = world.store.Find("SpamFilter");
    ASSERT_NE(spam, nullptr);
    first =
        &spam->AddMail(Headers("ann@example.org"), "the quarterly report is attached", "report");
    second = &spam->AddMail(Headers("ben@example.org"), "lunch on friday at noon", "lunch");
    world.host.current_folder = spam;
    world.host.selection = {first, second};
    DialogWorld::SetStringSetting(setting::kNotSpamFolderName, "");
    ListMailFolderNames(*world.addin, offered);
  }

  DialogWorld world;
  FakeFolder* spam = nullptr;
  FakeItem* first = nullptr;
  FakeItem* second = nullptr;
  Texts offered;
};

constexpr int kFolderList = SelectFolderDialog::kIdFolderList;
constexpr int kDontAsk = SelectFolderDialog::kIdDontDisplayAgain;

TEST_F(NotSpamWin, AsksOnceWhenToldNotToAskAgainAndMovesBothToTheFolderChosen) {
  DialogDriver driver([&](DialogDriver& d) {
    HWND dialog = d.WaitForDialog("Select Outlook Folder", world.explorer.window());
    EXPECT_EQ(d.ComboEntries(dialog, kFolderList), offered);
    EXPECT_EQ(d.ComboSelection(dialog, kFolderList), CB_ERR) << "nothing preselected";
    EXPECT_FALSE(d.Checked(dialog, kDontAsk));

    d.ClickOpening(dialog, IDOK);
    ShownMessage message = d.WaitForMessage(dialog);
    EXPECT_EQ(message.text, "Please Select a folder");
    EXPECT_EQ(message.caption, "");
    EXPECT_EQ(message.buttons, Ids{IDOK});
    d.Answer(message, IDOK);
    EXPECT_EQ(d.Focus(), GetDlgItem(dialog, kFolderList));

    d.Choose(dialog, kFolderList, IndexOf(offered, "Inbox"));
    d.Screenshot(dialog, "select-folder");
    d.Click(dialog, kDontAsk);
    d.Click(dialog, IDOK);
    d.WaitUntilClosed(dialog);
    // The second mail goes where the first went, without asking.
    ExpectLearningComplete(d, "Varnox");
  });
  world.Click("Not Spam");
  EXPECT_EQ(DialogWorld::StringSetting(setting::kNotSpamFolderName), "Inbox");
  EXPECT_EQ(first->folder(), &world.inbox);
  EXPECT_EQ(second->folder(), &world.inbox);
}

TEST_F(NotSpamWin, CancelOrEscapeLeavesEachMailInSpamFilterAndStoresNothing) {
  DialogDriver driver([&](DialogDriver& d) {
    HWND dialog = d.WaitForDialog("Select Outlook Folder", world.explorer.window());
    d.Choose(dialog, kFolderList, IndexOf(offered, "Inbox"));
    d.Click(dialog, kDontAsk);
    d.Click(dialog, IDCANCEL);
    d.WaitUntilClosed(dialog);
    dialog = d.WaitForDialog("Select Outlook Folder", world.explorer.window());
    d.PressKey(VK_ESCAPE);
    d.WaitUntilClosed(dialog);
    ExpectLearningComplete(d, "Varnox");
  });
  world.Click("Not Spam");
  EXPECT_EQ(DialogWorld::StringSetting(setting::kNotSpamFolderName), "");
  EXPECT_EQ(first->folder(), spam);
  EXPECT_EQ(second->folder(), spam);
  EXPECT_EQ(world.addin->filter.CleanMessages(), 2) << "both were taught all the same";
}

// --- Moves that fail are said in a message box without owner.

TEST(MarkSpamWin, AFailedMoveIsReportedWithItsStatus) {
  DialogWorld world;
  world.Connect();
  FakeItem& mail = world.inbox.AddMail(Headers("offers@spam.example"), "cheap pills", "offer");
  world.host.selection = {&mail};
  world.host.Fail("MailItem.Move", kEAccessDenied);
  DialogDriver driver([&](DialogDriver& d) {
    ShownMessage message = d.WaitForMessage(nullptr);
    EXPECT_EQ(message.text, "Failed to move message to Spam Filter Folder HRESULT = -2147024891");
    EXPECT_EQ(message.caption, "Varnox");
    EXPECT_EQ(message.buttons, Ids{IDOK});
    d.Answer(message, IDOK);
  });
  world.Click("Mark Spam");
  EXPECT_EQ(mail.folder(), &world.inbox);
}

TEST_F(NotSpamWin, AFailedMoveIsReportedForEachMailAndTheRunGoesOn) {
  DialogWorld::SetStringSetting(setting::kNotSpamFolderName, "Inbox");
  world.host.Fail("MailItem.Move", kEAccessDenied);
  DialogDriver driver([&](DialogDriver& d) {
    for (int mail = 0; mail < 2; ++mail) {
      ShownMessage message = d.WaitForMessage(nullptr);
      EXPECT_EQ(message.text, "Failed to move message HRESULT = -2147024891");
      EXPECT_EQ(message.caption, "Spam Filter");
      EXPECT_EQ(message.buttons, Ids{IDOK});
      d.Answer(message, IDOK);
    }
    ExpectLearningComplete(d, "Varnox");
  });
  world.Click("Not Spam");
  EXPECT_EQ(first->folder(), spam);
  EXPECT_EQ(second->folder(), spam);
}

// --- Train Filter.

constexpr int kSpamFolders = TrainDialog::kIdSpamFolders;
constexpr int kGoodFolders = TrainDialog::kIdGoodFolders;
constexpr int kFolders = SelectFoldersDialog::kIdFolderList;

TEST(TrainWin, ChoosesFoldersEmptiesTheFilterFirstAndTeachesTheChosenFolders) {
  DialogWorld world;
  FakeFolder& junk = world.store.AddFolder("Junk");
  FakeFolder& old_spam = world.store.AddFolder("Old Spam");
  for (const char* body : {"cheap pills online", "win a cheap prize now", "cheap loans today"})
    junk.AddMail(Headers("offers@spam.example"), body, "offer");
  old_spam.AddMail(Headers("deals@spam.example"), "cheap watches", "deal");
  for (const char* body : {"meeting notes attached", "see you at the meeting", "agenda for monday"})
    world.inbox.AddMail(Headers("colleague@example.org"), body, "meeting");
  world.Connect();
  BayesianFilter& filter = world.addin->filter;
  filter.Learn("zebra quagga zebra", "zebra", 1);
  ASSERT_EQ(filter.core().LookupWord("zebra").found, 1);
  const int spam_before = filter.SpamMessages();
  const int clean_before = filter.CleanMessages();
  Texts offered;
  ListMailFolderNames(*world.addin, offered);

  DialogDriver driver([&](DialogDriver& d) {
    HWND train = d.WaitForDialog("Train Bayesian Filter", world.explorer.window());
    EXPECT_EQ(d.Text(train, kSpamFolders), "");
    EXPECT_EQ(d.Text(train, kGoodFolders), "");
    EXPECT_FALSE(d.Checked(train, TrainDialog::kIdEmptyFirst));

    d.ClickOpening(train, TrainDialog::kIdChooseSpamFolders);
    HWND pick = d.WaitForDialog("Select Folders", train);
    EXPECT_EQ(d.Rows(pick, kFolders), offered);
    EXPECT_EQ(d.RowTicks(pick, kFolders), std::vector<bool>(offered.size(), false));
    EXPECT_EQ(d.ColumnTitle(pick, kFolders), "Folder Name");
    EXPECT_EQ(d.ColumnWidth(pick, kFolders), 200);
    EXPECT_EQ(SendDlgItemMessageW(pick, kFolders, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0) &
                  (LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT),
              LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT);
    d.TickRow(pick, kFolders, IndexOf(offered, "Old Spam"), true);
    d.TickRow(pick, kFolders, IndexOf(offered, "Junk"), true);
    d.Screenshot(pick, "select-folders");
    d.Click(pick, IDOK);
    d.WaitUntilClosed(pick);
    EXPECT_TRUE(d.WaitForText(train, kSpamFolders, "Junk;Old Spam;")) << "in list order";

    // A cancelled choice keeps the earlier one; a new one replaces it.
    d.ClickOpening(train, TrainDialog::kIdChooseGoodFolders);
    pick = d.WaitForDialog("Select Folders", train);
    d.TickRow(pick, kFolders, IndexOf(offered, "Junk"), true);
    d.Click(pick, IDCANCEL);
    d.WaitUntilClosed(pick);
    d.Settle(train);
    EXPECT_EQ(d.Text(train, kGoodFolders), "");
    d.ClickOpening(train, TrainDialog::kIdChooseGoodFolders);
    pick = d.WaitForDialog("Select Folders", train);
    EXPECT_EQ(d.RowTicks(pick, kFolders), std::vector<bool>(offered.size(), false))
        << "each choice starts afresh";
    d.TickRow(pick, kFolders, IndexOf(offered, "Inbox"), true);
    d.Click(pick, IDOK);
    d.WaitUntilClosed(pick);
    EXPECT_TRUE(d.WaitForText(train, kGoodFolders, "Inbox;"));

    d.Click(train, TrainDialog::kIdEmptyFirst);
    d.Screenshot(train, "train");
    // What is typed into the boxes is never read.
    d.Type(train, kSpamFolders, "Sent Items;");
    d.Click(train, IDOK);
    d.WaitUntilClosed(train);
    ExpectLearningComplete(d, "");
  });
  world.Click("Train Filter");
  EXPECT_EQ(filter.core().LookupWord("zebra").found, 0) << "emptied before learning";
  EXPECT_EQ(filter.SpamMessages(), spam_before + 4);
  EXPECT_EQ(filter.CleanMessages(), clean_before + 3);
  EXPECT_GT(filter.core().LookupWord("cheap").spamCount, 0);
  EXPECT_GT(filter.core().LookupWord("meeting").cleanCount, 0);
  BayesianFilter reloaded(world.platform);
  reloaded.Initialize();
  EXPECT_EQ(reloaded.SpamMessages(), filter.SpamMessages()) << "the word database was saved";
}

TEST(TrainWin, ClosingTheWindowTrainsNothing) {
  DialogWorld world;
  world.inbox.AddMail(Headers("colleague@example.org"), "meeting notes", "meeting");
  world.Connect();
  const int clean_before = world.addin->filter.CleanMessages();
  DialogDriver driver([&](DialogDriver& d) {
    HWND train = d.WaitForDialog("Train Bayesian Filter", world.explorer.window());
    d.ClickOpening(train, TrainDialog::kIdChooseGoodFolders);
    HWND pick = d.WaitForDialog("Select Folders", train);
    d.TickRow(pick, kFolders, 0, true);
    d.Click(pick, IDOK);
    d.WaitUntilClosed(pick);
    d.Settle(train);
    d.CloseBox(train);
    d.WaitUntilClosed(train);
    EXPECT_TRUE(d.NoMessageFor(nullptr)) << "no Learning Complete";
  });
  world.Click("Train Filter");
  EXPECT_EQ(world.addin->filter.CleanMessages(), clean_before);
}

}  // namespace
}  // namespace varnox::win::testing
