// The folder look-ups over the add-in's top-level folders and the two
// picker dialogs, driven by scripts.
#include "mail/folder_pickers.h"

#include <gtest/gtest.h>

#include "mail/top_folders.h"
#include "tests/addin/addin_world.h"

namespace varnox {
namespace {

using testing::AddinWorld;
using testing::FakeFolder;
using testing::ScriptedDialogView;

std::string StoredNotSpamFolderName(AddinWorld& world) {
  std::string name = "(absent)";
  SettingsStore(world.fakes.registry).NotSpamFolderName(&name);
  return name;
}

TEST(ListMailFolderNames, OffersTheMailFoldersOfTheLastStoreInHostOrder) {
  AddinWorld world;
  world.host.AddStore("Archive").AddFolder("Old Mail");  // the store scanned last
  CVNXAddin& addin = world.Connected();
  std::vector<std::string> names = {"kept"};
  ListMailFolderNames(addin, names);
  EXPECT_EQ(names, (std::vector<std::string>{"kept", "Old Mail"}));
}

TEST(ListMailFolderNames, LeavesOutOtherTypesAndOffersTheSpamFolder) {
  AddinWorld world;
  CVNXAddin& addin = world.Connected();
  const int references = world.host.LiveReferences();
  std::vector<std::string> names;
  ListMailFolderNames(addin, names);
  EXPECT_EQ(names, (std::vector<std::string>{"Deleted Items", "Inbox", "Outbox", "Sent Items",
                                             "Drafts", "SpamFilter"}));
  EXPECT_EQ(world.host.LiveReferences(), references);
}

TEST(ListMailFolderNames, FolderWhoseTypeOrNameCannotBeReadIsLeftOut) {
  AddinWorld world;
  CVNXAddin& addin = world.Connected();
  world.host.Fail("Folder.DefaultItemType", kEFail, world.store.Find("Inbox"));
  world.host.Fail("Folder.Name", kEFail, world.store.Find("Outbox"));
  std::vector<std::string> names;
  ListMailFolderNames(addin, names);
  EXPECT_EQ(names,
            (std::vector<std::string>{"Deleted Items", "Sent Items", "Drafts", "SpamFilter"}));
}

TEST(ListMailFolderNames, NothingBeforeStartUp) {
  AddinWorld world;
  std::vector<std::string> names;
  ListMailFolderNames(world.Addin(), names);
  EXPECT_TRUE(names.empty());
  EXPECT_EQ(FindTopFolder(world.Addin(), "Inbox"), nullptr);
}

TEST(FindTopFolder, FindsByNameIgnoringCaseFirstInHostOrderWhateverItsType) {
  AddinWorld world;
  FakeFolder& first = world.store.AddFolder("Projects");
  world.store.AddFolder("PROJECTS");
  CVNXAddin& addin = world.Connected();
  const int references = world.host.LiveReferences();

  std::unique_ptr<host::Folder> found = FindTopFolder(addin, "projects");
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(world.host.FolderOf(*found), &first);
  EXPECT_EQ(world.host.LiveReferences(), references + 1) << "only the folder found is kept";
  found.reset();

  found = FindTopFolder(addin, "cALENDAR");
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(world.host.FolderOf(*found), world.store.Find("Calendar"));
  found.reset();
  EXPECT_EQ(FindTopFolder(addin, "Below"), nullptr);
  EXPECT_EQ(FindTopFolder(addin, ""), nullptr);
  EXPECT_EQ(world.host.LiveReferences(), references);
}

// --- Select Outlook Folder.

class SelectFolderDialogTest : public ::testing::Test {
 protected:
  int Run(testing::ScriptedDialogRunner::Script script) {
    world.fakes.dialogs.Expect(dialog_id::kSelectFolder, std::move(script));
    return world.fakes.dialogs.RunModal(dialog);
  }

  AddinWorld world;
  SettingsStore settings{world.fakes.registry};
  SelectFolderDialog dialog{settings};
};

TEST_F(SelectFolderDialogTest, OffersTheNamesInOrderWithNothingSelected) {
  dialog.folderNames = {"Inbox", "Sent Items", "SpamFilter"};
  EXPECT_EQ(Run([](ScriptedDialogView& view) {
              EXPECT_EQ(view.combos[201].entries,
                        (std::vector<std::string>{"Inbox", "Sent Items", "SpamFilter"}));
              EXPECT_EQ(view.combos[201].selection, -1);
              EXPECT_FALSE(view.checks[202]);
              view.Close();
            }),
            kIdCancelButton);
  EXPECT_EQ(world.fakes.registry.writes(), 0) << "Cancel stores nothing";
  EXPECT_EQ(StoredNotSpamFolderName(world), "(absent)");
}

TEST_F(SelectFolderDialogTest, OkWithoutSelectionAsksAndStaysOpen) {
  dialog.folderNames = {"Inbox", "Sent Items"};
  EXPECT_EQ(Run([](ScriptedDialogView& view) {
              view.Click(kIdOkButton);
              ASSERT_FALSE(view.ended());
              ASSERT_EQ(view.messages.size(), 1u);
              EXPECT_EQ(view.messages[0].text, "Please Select a folder");
              EXPECT_EQ(view.messages[0].caption, "");
              EXPECT_EQ(view.messages[0].flags, kMbOk);
              EXPECT_EQ(view.focus, 201);
              view.SelectCombo(201, 1);
              view.Click(kIdOkButton);
            }),
            kIdOkButton);
  EXPECT_EQ(dialog.chosenName, "Sent Items");
}

TEST_F(SelectFolderDialogTest, OkStoresTheChoiceOnlyWhenNotToBeAskedAgain) {
  for (bool ticked : {true, false}) {
    SCOPED_TRACE(ticked);
    dialog.folderNames = {"Inbox", "Sent Items"};
    world.fakes.registry.SetString(setting::kNotSpamFolderName, "before");
    EXPECT_EQ(Run([ticked](ScriptedDialogView& view) {
                view.SelectCombo(201, 0);
                view.Tick(202, ticked);
                view.Click(kIdOkButton);
              }),
              kIdOkButton);
    EXPECT_EQ(dialog.chosenName, "Inbox");
    EXPECT_EQ(StoredNotSpamFolderName(world), ticked ? "Inbox" : "");
  }
}

// --- Select Folders.

class SelectFoldersDialogTest : public ::testing::Test {
 protected:
  int Run(testing::ScriptedDialogRunner::Script script) {
    world.fakes.dialogs.Expect(dialog_id::kSelectFolders, std::move(script));
    return world.fakes.dialogs.RunModal(dialog);
  }

  AddinWorld world;
  SelectFoldersDialog dialog;
};

TEST_F(SelectFoldersDialogTest, ListsEveryNameUntickedInOneColumn) {
  dialog.allFolders = {"Inbox", "Sent Items", "SpamFilter"};
  EXPECT_EQ(Run([](ScriptedDialogView& view) {
              const ScriptedDialogView::ListView& list = view.lists[1007];
              EXPECT_EQ(list.column_title, "Folder Name");
              EXPECT_EQ(list.column_width, 200);
              EXPECT_TRUE(list.check_boxes);
              EXPECT_TRUE(list.full_row_select);
              ASSERT_EQ(list.rows.size(), 3u);
              for (const auto& row : list.rows)
                EXPECT_FALSE(row.checked);
              EXPECT_EQ(list.rows[2].text, "SpamFilter");
              view.Close();
            }),
            kIdCancelButton);
  EXPECT_TRUE(dialog.selected.empty());
}

TEST_F(SelectFoldersDialogTest, OkGivesTheTickedNamesInListOrder) {
  const std::string long_name(400, 'x');  // longer than any buffer of the host's
  dialog.allFolders = {"Inbox", long_name, "Sent Items", "SpamFilter"};
  EXPECT_EQ(Run([](ScriptedDialogView& view) {
              view.TickRow(1007, 3);
              view.TickRow(1007, 1);
              view.TickRow(1007, 0);
              view.TickRow(1007, 0, false);
              view.Click(kIdOkButton);
            }),
            kIdOkButton);
  EXPECT_EQ(dialog.selected, (std::vector<std::string>{long_name, "SpamFilter"}));
}

TEST_F(SelectFoldersDialogTest, OkWithNothingTickedGivesAnEmptyChoice) {
  dialog.allFolders = {"Inbox"};
  EXPECT_EQ(Run([](ScriptedDialogView& view) { view.Click(kIdOkButton); }), kIdOkButton);
  EXPECT_TRUE(dialog.selected.empty());
}

}  // namespace
}  // namespace varnox
