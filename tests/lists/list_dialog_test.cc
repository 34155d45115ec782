// The list dialog driven through the scripted view, over the real sender
// list store on the fake file system.
#include "lists/list_dialog.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/user_interface.h"
#include "settings/settings_store.h"
#include "tests/fakes/fake_platform.h"

namespace varnox {
namespace {

using testing::FakePlatform;
using testing::ScriptedDialogView;
using Entries = std::vector<std::string>;
using D = ListDialog;

constexpr char kBlackPath[] = "black.xml";
constexpr char kWhitePath[] = "white.xml";
constexpr char kNotWritten[] =
    "The list file could not be written; this change will be lost when Varnox stops.";

class ListDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fake.registry.CreateKey();
    fake.registry.SetString(setting::kBlackListPath, kBlackPath);
    fake.registry.SetString(setting::kWhiteListPath, kWhitePath);
    fake.files.files[kBlackPath] =
        "<BlackList><MailID Name=\"spam@shop.example\"/><MailID Name=\"deals@shop.example\"/>"
        "<Domain Name=\"@junk.example\"/></BlackList>";
    fake.files.files[kWhitePath] = "<WhiteList><MailID Name=\"friend@home.example\"/></WhiteList>";
    ASSERT_TRUE(black.Load());
    ASSERT_TRUE(white.Load());
  }

  // Opens the dialog on `list` and hands the view to `script`, which acts
  // as the user and checks what it sees. Leaves the dialog open; `dialog`
  // holds its state afterwards.
  void Open(SenderList& list, const std::function<void(ScriptedDialogView&)>& script) {
    dialog = std::make_unique<ListDialog>(list);
    view = std::make_unique<ScriptedDialogView>(*dialog);
    dialog->OnInitDialog(*view);
    script(*view);
  }

  // The entries that a fresh list reads from `path`.
  Entries FileAddresses(ListKind kind) {
    SenderList fresh(kind, fake);
    EXPECT_TRUE(fresh.Load());
    return fresh.addresses();
  }
  Entries FileDomains(ListKind kind) {
    SenderList fresh(kind, fake);
    EXPECT_TRUE(fresh.Load());
    return fresh.domains();
  }
  static Entries Rows(ScriptedDialogView& v) {
    Entries rows;
    for (const auto& row : v.lists[D::kIdEntries].rows)
      rows.push_back(row.text);
    return rows;
  }
  static std::string LastMessage(ScriptedDialogView& v) {
    return v.messages.empty() ? std::string("(none)") : v.messages.back().text;
  }

  FakePlatform fake;
  SenderList black{ListKind::Black, fake};
  SenderList white{ListKind::White, fake};
  std::unique_ptr<ListDialog> dialog;
  std::unique_ptr<ScriptedDialogView> view;
};

TEST_F(ListDialogTest, OpensWithoutTypeAndWithAnEmptyList) {
  EXPECT_EQ(ListDialog(black).TemplateId(), dialog_id::kBlackList);
  EXPECT_EQ(ListDialog(white).TemplateId(), dialog_id::kWhiteList);
  Open(black, [](ScriptedDialogView&) {});
  const auto& list = view->lists[D::kIdEntries];
  EXPECT_EQ(list.column_title, "Item");
  EXPECT_EQ(list.column_width, 200);
  EXPECT_TRUE(list.check_boxes);
  EXPECT_TRUE(list.full_row_select);
  EXPECT_TRUE(list.rows.empty());
  EXPECT_EQ(view->combos[D::kIdTypeBox].entries, (Entries{"Domain Name", "EMail Address"}));
  EXPECT_EQ(view->combos[D::kIdTypeBox].selection, -1);
  EXPECT_EQ(view->texts[D::kIdItemText], "");
  EXPECT_EQ(view->texts[kIdOkButton], "Add To List");
  EXPECT_FALSE(dialog->changed());
  EXPECT_FALSE(dialog->updateMode());
  EXPECT_EQ(dialog->editIndex(), -1);
}

TEST_F(ListDialogTest, ChoosingATypeShowsItsEntriesInOrder) {
  Open(black, [](ScriptedDialogView&) {});
  view->SelectCombo(D::kIdTypeBox, D::kTypeAddress);
  EXPECT_EQ(Rows(*view), (Entries{"spam@shop.example", "deals@shop.example"}));
  view->SelectCombo(D::kIdTypeBox, D::kTypeDomain);
  EXPECT_EQ(Rows(*view), Entries{"@junk.example"});
  view->SelectCombo(D::kIdTypeBox, -1);
  EXPECT_EQ(Rows(*view), Entries{"@junk.example"}) << "no selection does nothing";
}

// Refusals before anything reaches the store: the message, where the focus
// goes, and that nothing changed.
TEST_F(ListDialogTest, RefusesMissingTypeEmptyTextAndDuplicates) {
  struct Case {
    const char* what;
    ListKind kind;
    int type;  // -1: none chosen
    std::string text;
    std::string message;
    int focus;
  };
  const Case cases[] = {
      {"no type, text filled", ListKind::Black, -1, "new@x.example", "Please Select an Item Type",
       D::kIdTypeBox},
      {"empty text", ListKind::White, D::kTypeAddress, "", "Please Enter an Item Name",
       D::kIdItemText},
      {"address in other case", ListKind::Black, D::kTypeAddress, "SPAM@Shop.Example",
       "This MailId Already Exists in BlackList", D::kIdItemText},
      {"address, white list", ListKind::White, D::kTypeAddress, "Friend@home.example",
       "This MailId Already Exists in WhiteList", D::kIdItemText},
      {"domain in other case", ListKind::Black, D::kTypeDomain, "@JUNK.example",
       "This Domain Already Exists in BlackList", D::kIdItemText},
  };
  for (const Case& c : cases) {
    SenderList& list = c.kind == ListKind::Black ? black : white;
    const Entries addresses = list.addresses(), domains = list.domains();
    const auto files = fake.files.files;
    Open(list, [&](ScriptedDialogView& v) {
      if (c.type >= 0)
        v.SelectCombo(D::kIdTypeBox, c.type);
      v.Type(D::kIdItemText, c.text);
      v.Click(kIdOkButton);
    });
    ASSERT_EQ(view->messages.size(), 1u) << c.what;
    EXPECT_EQ(view->messages[0].text, c.message) << c.what;
    EXPECT_EQ(view->messages[0].caption, "") << c.what;
    EXPECT_EQ(view->messages[0].flags, kMbOk) << c.what;
    EXPECT_EQ(view->focus, c.focus) << c.what;
    EXPECT_EQ(view->texts[D::kIdItemText], c.text) << c.what << ": text kept";
    EXPECT_FALSE(view->ended()) << c.what;
    EXPECT_FALSE(dialog->changed()) << c.what;
    EXPECT_EQ(list.addresses(), addresses) << c.what;
    EXPECT_EQ(list.domains(), domains) << c.what;
    EXPECT_EQ(fake.files.files, files) << c.what;
  }
}

TEST_F(ListDialogTest, AddsToMemoryFileAndRows) {
  struct Case {
    ListKind kind;
    int type;
    std::string text;
    std::string message;
  };
  const Case cases[] = {
      {ListKind::Black, D::kTypeAddress, " Odd Text ", "Item Added To Blacklist"},
      {ListKind::Black, D::kTypeDomain, "@new.example", "Item Added To Blacklist"},
      {ListKind::White, D::kTypeAddress, "mum@home.example", "Item Added To WhiteList"},
      {ListKind::White, D::kTypeDomain, "@home.example", "Item Added To WhiteList"},
  };
  for (const Case& c : cases) {
    SenderList& list = c.kind == ListKind::Black ? black : white;
    Open(list, [&](ScriptedDialogView& v) {
      v.SelectCombo(D::kIdTypeBox, c.type);
      v.Type(D::kIdItemText, c.text);
      v.Click(kIdOkButton);
    });
    bool address = c.type == D::kTypeAddress;
    EXPECT_EQ(LastMessage(*view), c.message) << c.text;
    EXPECT_EQ(view->messages.size(), 1u) << c.text;
    EXPECT_EQ(Rows(*view).back(), c.text);
    EXPECT_EQ(view->texts[D::kIdItemText], "");
    EXPECT_EQ((address ? list.addresses() : list.domains()).back(), c.text);
    Entries in_file = address ? FileAddresses(c.kind) : FileDomains(c.kind);
    EXPECT_EQ(in_file.back(), c.text);
    EXPECT_TRUE(dialog->changed()) << c.text;
  }
}

TEST_F(ListDialogTest, TextIsCutTo259Characters) {
  const std::string long_text(300, 'a');
  Open(black, [&](ScriptedDialogView& v) {
    v.SelectCombo(D::kIdTypeBox, D::kTypeAddress);
    v.Type(D::kIdItemText, long_text);
    v.Click(kIdOkButton);
  });
  EXPECT_EQ(black.addresses().back(), std::string(259, 'a'));
  EXPECT_EQ(FileAddresses(ListKind::Black).back(), std::string(259, 'a'));
}

TEST_F(ListDialogTest, UpdateReplacesTheRowInPlaceAndInTheFile) {
  Open(black, [](ScriptedDialogView& v) {
    v.SelectCombo(D::kIdTypeBox, D::kTypeAddress);
    v.DoubleClickRow(D::kIdEntries, 0);
  });
  EXPECT_TRUE(dialog->updateMode());
  EXPECT_EQ(dialog->editIndex(), 0);
  EXPECT_EQ(view->texts[D::kIdItemText], "spam@shop.example");
  EXPECT_EQ(view->texts[kIdOkButton], "Update");

  view->Type(D::kIdItemText, "promo@shop.example");
  view->Click(kIdOkButton);
  EXPECT_EQ(LastMessage(*view), "Item Updated in Blacklist");
  EXPECT_EQ(Rows(*view), (Entries{"promo@shop.example", "deals@shop.example"}));
  EXPECT_EQ(view->texts[kIdOkButton], "Add to List") << "lower-case 'to' after an update";
  EXPECT_EQ(view->texts[D::kIdItemText], "");
  EXPECT_FALSE(dialog->updateMode());
  EXPECT_EQ(dialog->editIndex(), -1);
  EXPECT_TRUE(dialog->changed());
  EXPECT_EQ(FileAddresses(ListKind::Black), (Entries{"promo@shop.example", "deals@shop.example"}));
  // Memory drops the old text and gains the new one at the end.
  EXPECT_EQ(black.addresses(), (Entries{"deals@shop.example", "promo@shop.example"}));

  // The next press adds again.
  view->Type(D::kIdItemText, "more@shop.example");
  view->Click(kIdOkButton);
  EXPECT_EQ(LastMessage(*view), "Item Added To Blacklist");
  EXPECT_EQ(Rows(*view).size(), 3u);
}

TEST_F(ListDialogTest, UnchangedUpdateIsRefusedAsDuplicateAndKeepsEditing) {
  Open(white, [](ScriptedDialogView& v) {
    v.SelectCombo(D::kIdTypeBox, D::kTypeAddress);
    v.DoubleClickRow(D::kIdEntries, 0);
    v.Click(kIdOkButton);
  });
  EXPECT_EQ(LastMessage(*view), "This MailId Already Exists in WhiteList");
  EXPECT_EQ(view->focus, D::kIdItemText);
  EXPECT_TRUE(dialog->updateMode());
  EXPECT_EQ(dialog->editIndex(), 0);
  EXPECT_EQ(view->texts[kIdOkButton], "Update");
  EXPECT_FALSE(dialog->changed());
}

TEST_F(ListDialogTest, DoubleClickBesideTheRowsDoesNothing) {
  Open(black, [](ScriptedDialogView& v) {
    v.SelectCombo(D::kIdTypeBox, D::kTypeAddress);
    v.DoubleClickRow(D::kIdEntries, -1);
  });
  EXPECT_FALSE(dialog->updateMode());
  EXPECT_EQ(view->texts[kIdOkButton], "Add To List");
}

TEST_F(ListDialogTest, ChangingTypeLeavesEditing) {
  Open(black, [](ScriptedDialogView& v) {
    v.SelectCombo(D::kIdTypeBox, D::kTypeAddress);
    v.DoubleClickRow(D::kIdEntries, 1);
    v.SelectCombo(D::kIdTypeBox, D::kTypeDomain);
  });
  EXPECT_FALSE(dialog->updateMode());
  EXPECT_EQ(dialog->editIndex(), -1);
  EXPECT_EQ(view->texts[kIdOkButton], "Add To List");
  EXPECT_EQ(view->texts[D::kIdItemText], "");
  EXPECT_EQ(Rows(*view), Entries{"@junk.example"});
  EXPECT_TRUE(view->messages.empty());
}

// A change the file could not take is said so, with no success message, and
// does not ask for the reload that would drop the entry from memory.
TEST_F(ListDialogTest, StoreFailureIsReportedAndKeepsTheEntryInMemory) {
  struct Case {
    const char* what;
    bool update;
  };
  for (const Case c : {Case{"add", false}, Case{"update", true}}) {
    FakePlatform other;
    other.registry.CreateKey();
    other.registry.SetString(setting::kBlackListPath, kBlackPath);
    other.files.files[kBlackPath] = "<BlackList><MailID Name=\"old@x\"/></BlackList>";
    SenderList list(ListKind::Black, other);
    ASSERT_TRUE(list.Load());
    other.files.unwritable.push_back(kBlackPath);
    Open(list, [&](ScriptedDialogView& v) {
      v.SelectCombo(D::kIdTypeBox, D::kTypeAddress);
      if (c.update)
        v.DoubleClickRow(D::kIdEntries, 0);
      v.Type(D::kIdItemText, "new@x");
      v.Click(kIdOkButton);
    });
    ASSERT_EQ(view->messages.size(), 1u) << c.what;
    EXPECT_EQ(view->messages[0].text, kNotWritten) << c.what;
    EXPECT_EQ(view->messages[0].caption, "") << c.what;
    EXPECT_EQ(view->messages[0].flags, kMbOk) << c.what;
    EXPECT_FALSE(dialog->changed()) << c.what;
    EXPECT_FALSE(dialog->updateMode()) << c.what;
    EXPECT_EQ(Rows(*view).back(), "new@x") << c.what << ": the row shows memory";
    EXPECT_TRUE(list.ContainsAddress("new@x")) << c.what;
    // What the opener does: reload only when changed. The entry stays.
    if (dialog->changed())
      list.Load();
    EXPECT_TRUE(list.ContainsAddress("new@x")) << c.what;
  }
}

TEST_F(ListDialogTest, AFailureEarlierOrLaterInTheRunPreventsTheReload) {
  Open(black, [](ScriptedDialogView& v) { v.SelectCombo(D::kIdTypeBox, D::kTypeAddress); });
  view->Type(D::kIdItemText, "first@x");
  view->Click(kIdOkButton);
  EXPECT_TRUE(dialog->changed());
  fake.files.unwritable.push_back(kBlackPath);
  view->Type(D::kIdItemText, "second@x");
  view->Click(kIdOkButton);
  EXPECT_EQ(LastMessage(*view), kNotWritten);
  fake.files.unwritable.clear();
  view->Type(D::kIdItemText, "third@x");
  view->Click(kIdOkButton);
  EXPECT_EQ(LastMessage(*view), "Item Added To Blacklist");
  EXPECT_FALSE(dialog->changed());
  for (const char* entry : {"first@x", "second@x", "third@x"})
    EXPECT_TRUE(black.ContainsAddress(entry)) << entry;
}

TEST_F(ListDialogTest, ListWithoutAFileSaysSoForEveryAddition) {
  fake.registry.SetString(setting::kWhiteListPath, "");
  Open(white, [](ScriptedDialogView& v) {
    v.SelectCombo(D::kIdTypeBox, D::kTypeDomain);
    v.Type(D::kIdItemText, "@home.example");
    v.Click(kIdOkButton);
  });
  EXPECT_EQ(LastMessage(*view), kNotWritten);
  EXPECT_TRUE(white.ContainsDomain("@home.example"));
  EXPECT_FALSE(dialog->changed());
}

TEST_F(ListDialogTest, ReopeningAfterAnAdditionShowsTheEntryOnce) {
  Open(black, [](ScriptedDialogView& v) {
    v.SelectCombo(D::kIdTypeBox, D::kTypeDomain);
    v.Type(D::kIdItemText, "@new.example");
    v.Click(kIdOkButton);
    v.Close();
  });
  ASSERT_TRUE(dialog->changed());
  ASSERT_TRUE(black.Load());
  Open(black, [](ScriptedDialogView& v) { v.SelectCombo(D::kIdTypeBox, D::kTypeDomain); });
  EXPECT_EQ(Rows(*view), (Entries{"@junk.example", "@new.example"}));
}

TEST_F(ListDialogTest, CloseEndsWithoutChange) {
  Open(black, [](ScriptedDialogView& v) {
    v.SelectCombo(D::kIdTypeBox, D::kTypeAddress);
    v.Close();
  });
  EXPECT_TRUE(view->ended());
  EXPECT_EQ(view->result(), kIdCancelButton);
  EXPECT_FALSE(dialog->changed());
}

TEST_F(ListDialogTest, RemovesTickedRowsAfterConfirmation) {
  fake.files.files[kBlackPath] =
      "<BlackList><MailID Name=\"a@x\"/><MailID Name=\"b@x\"/><MailID Name=\"c@x\"/>"
      "<MailID Name=\"B@X\"/></BlackList>";
  ASSERT_TRUE(black.Load());
  Open(black, [](ScriptedDialogView& v) {
    v.SelectCombo(D::kIdTypeBox, D::kTypeAddress);
    v.TickRow(D::kIdEntries, 0);
    v.TickRow(D::kIdEntries, 1);
    v.DoubleClickRow(D::kIdEntries, 2);  // ticked rows win over the selection
    v.answers.push_back(kIdYes);
    v.Click(D::kIdRemove);
  });
  ASSERT_EQ(view->messages.size(), 2u);
  EXPECT_EQ(view->messages[0].text, "Remove the 2 selected items from the BlackList?");
  EXPECT_EQ(view->messages[0].flags, kMbYesNo);
  EXPECT_EQ(view->messages[1].text, "Items Removed From BlackList");
  // Every entry equal in any letter case goes.
  EXPECT_EQ(Rows(*view), Entries{"c@x"});
  EXPECT_EQ(black.addresses(), Entries{"c@x"});
  EXPECT_EQ(FileAddresses(ListKind::Black), Entries{"c@x"});
  EXPECT_TRUE(dialog->changed());
  EXPECT_FALSE(dialog->updateMode()) << "editing ends with a removal";
  EXPECT_EQ(view->texts[kIdOkButton], "Add To List");
}

TEST_F(ListDialogTest, RemovesTheSelectedRowWhenNoneIsTicked) {
  Open(white, [](ScriptedDialogView& v) {
    v.SelectCombo(D::kIdTypeBox, D::kTypeAddress);
    v.lists[D::kIdEntries].selection_mark = 0;
    v.answers.push_back(kIdYes);
    v.Click(D::kIdRemove);
  });
  EXPECT_EQ(view->messages[0].text, "Remove the selected item from the WhiteList?");
  EXPECT_EQ(LastMessage(*view), "Item Removed From WhiteList");
  EXPECT_TRUE(Rows(*view).empty());
  EXPECT_TRUE(FileAddresses(ListKind::White).empty());
}

TEST_F(ListDialogTest, RemoveRefusalsAndNo) {
  struct Case {
    const char* what;
    int type;
    bool tick;
    int answer;
    std::vector<std::string> messages;
  };
  const Case cases[] = {
      {"no type", -1, false, kIdYes, {"Please Select an Item Type"}},
      {"nothing chosen", D::kTypeAddress, false, kIdYes, {"Please Select an Item to Remove"}},
      {"answered No",
       D::kTypeAddress,
       true,
       kIdNo,
       {"Remove the selected item from the BlackList?"}},
  };
  for (const Case& c : cases) {
    const auto files = fake.files.files;
    Open(black, [&](ScriptedDialogView& v) {
      if (c.type >= 0)
        v.SelectCombo(D::kIdTypeBox, c.type);
      if (c.tick)
        v.TickRow(D::kIdEntries, 0);
      v.answers.push_back(c.answer);
      v.Click(D::kIdRemove);
    });
    std::vector<std::string> shown;
    for (const auto& m : view->messages)
      shown.push_back(m.text);
    EXPECT_EQ(shown, c.messages) << c.what;
    EXPECT_EQ(fake.files.files, files) << c.what;
    EXPECT_EQ(black.addresses().size(), 2u) << c.what;
    EXPECT_FALSE(dialog->changed()) << c.what;
  }
}

TEST_F(ListDialogTest, FailedRemovalIsReported) {
  fake.files.unwritable.push_back(kBlackPath);
  Open(black, [](ScriptedDialogView& v) {
    v.SelectCombo(D::kIdTypeBox, D::kTypeDomain);
    v.TickRow(D::kIdEntries, 0);
    v.answers.push_back(kIdYes);
    v.Click(D::kIdRemove);
  });
  EXPECT_EQ(LastMessage(*view), kNotWritten);
  EXPECT_FALSE(dialog->changed());
  EXPECT_TRUE(Rows(*view).empty()) << "gone from memory until the next start";
  EXPECT_EQ(FileDomains(ListKind::Black), Entries{"@junk.example"});
}

}  // namespace
}  // namespace varnox
