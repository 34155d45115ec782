// The Win32 view and runner on their own: what a controller reads and
// writes through a real dialog (limits, code page 1252, controls the
// template lacks), and what the runner does when a dialog cannot open or a
// controller throws.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>

#include "platform/dialog.h"
#include "tests/win/dialog_driver.h"
#include "tests/win/dialog_world.h"
#include "win/dialogs/win_dialog_runner.h"
#include "win/dialogs/win_dialog_view.h"

namespace varnox::win::testing {
namespace {

constexpr int kHeaderText = 1017;  // the multi-line edit of "Mail Headers" (112)
constexpr int kFolderList = 1007;  // the list view of "Select Folders" (108)
constexpr int kFolderCombo = 201;  // the drop-down list of "Select Outlook Folder" (106)
constexpr int kMissing = 4242;     // in no template

// A controller whose opening runs the test's checks on the real view.
class Probe final : public DialogController {
 public:
  Probe(int template_id, std::function<void(DialogView&)> on_open)
      : template_id_(template_id), on_open_(std::move(on_open)) {}
  int TemplateId() const override { return template_id_; }
  void OnInitDialog(DialogView& view) override { on_open_(view); }
  void OnCommand(DialogView&, int, ControlEvent) override {}

 private:
  int template_id_;
  std::function<void(DialogView&)> on_open_;
};

int RunProbe(int template_id, std::function<void(DialogView&)> on_open) {
  WinDialogRunner runner(AddinModule());
  Probe probe(template_id, std::move(on_open));
  return runner.RunModal(probe);
}

TEST(WinDialogView, TextsAreReadNoLongerThanAskedAndKeepCodePage1252) {
  const std::string long_text(300, 'x');
  const std::string accented = "\x80 5 caf\xE9 na\xEFve \x93quoted\x94";
  EXPECT_EQ(RunProbe(dialog_id::kMailHeaders,
                     [&](DialogView& view) {
                       view.SetControlText(kHeaderText, long_text);
                       EXPECT_EQ(view.ControlText(kHeaderText, 259), std::string(259, 'x'));
                       EXPECT_EQ(view.ControlText(kHeaderText, 1000), long_text);
                       EXPECT_EQ(view.ControlText(kHeaderText, 0), "");
                       view.SetControlText(kHeaderText, accented);
                       EXPECT_EQ(view.ControlText(kHeaderText, 259), accented);
                       HWND dialog = dynamic_cast<WinDialogView&>(view).dialog();
                       EXPECT_EQ(WindowText(GetDlgItem(dialog, kHeaderText)), accented)
                           << "shown as the same characters";
                       view.EndDialog(7);
                     }),
            7);
}

TEST(WinDialogView, RowsLongerThanTheFirstBufferAreReadWholeUpToTheLimit) {
  const std::string long_row(1000, 'r');
  RunProbe(dialog_id::kSelectFolders, [&](DialogView& view) {
    view.SetUpListView(kFolderList, "Folder Name", 200, true, true);
    EXPECT_EQ(view.AppendRow(kFolderList, "Inbox"), 0);
    EXPECT_EQ(view.AppendRow(kFolderList, long_row), 1);
    EXPECT_EQ(view.RowCount(kFolderList), 2);
    EXPECT_EQ(view.RowText(kFolderList, 1, 5000), long_row);
    EXPECT_EQ(view.RowText(kFolderList, 1, 600), std::string(600, 'r'));
    EXPECT_EQ(view.RowText(kFolderList, 0, 3), "Inb");
    EXPECT_EQ(view.RowText(kFolderList, 2, 259), "") << "no such row";
    EXPECT_FALSE(view.IsRowChecked(kFolderList, 0));
    view.SetRowText(kFolderList, 0, "Archive");
    EXPECT_EQ(view.RowText(kFolderList, 0, 259), "Archive");
    view.DeleteRow(kFolderList, 0);
    EXPECT_EQ(view.RowText(kFolderList, 0, 2000), long_row);
    EXPECT_EQ(view.SelectionMark(kFolderList), -1);
    view.DeleteAllRows(kFolderList);
    EXPECT_EQ(view.RowCount(kFolderList), 0);
    view.EndDialog(1);
  });
}

TEST(WinDialogView, DropDownEntriesKeepTheirOrderAndNoneIsChosenAtFirst) {
  RunProbe(dialog_id::kSelectFolder, [&](DialogView& view) {
    for (const char* name : {"Sent Items", "Inbox", "Archive"})
      view.AddComboEntry(kFolderCombo, name);
    EXPECT_EQ(view.ComboSelection(kFolderCombo), -1);
    EXPECT_EQ(view.ComboEntryText(kFolderCombo, 0), "Sent Items") << "not sorted";
    EXPECT_EQ(view.ComboEntryText(kFolderCombo, 2), "Archive");
    EXPECT_EQ(view.ComboEntryText(kFolderCombo, 3), "") << "no such entry";
    view.EndDialog(1);
  });
}

TEST(WinDialogView, ControlsTheTemplateLacksReadEmptyAndTakeNothing) {
  RunProbe(dialog_id::kAbout, [&](DialogView& view) {
    view.SetControlText(kMissing, "text");
    EXPECT_EQ(view.ControlText(kMissing, 259), "");
    view.SetChecked(kMissing, true);
    EXPECT_FALSE(view.IsChecked(kMissing));
    view.AddComboEntry(kMissing, "entry");
    EXPECT_EQ(view.ComboSelection(kMissing), -1);
    EXPECT_EQ(view.ComboEntryText(kMissing, 0), "");
    EXPECT_EQ(view.AppendRow(kMissing, "row"), -1);
    EXPECT_EQ(view.RowCount(kMissing), 0);
    EXPECT_EQ(view.RowText(kMissing, 0, 259), "");
    EXPECT_EQ(view.SelectionMark(kMissing), -1);
    view.SetFocus(kMissing);
    view.EndDialog(1);
  });
}

TEST(WinDialogRunner, ATemplateThatDoesNotExistIsReportedAsNotShown) {
  EXPECT_EQ(RunProbe(999, [](DialogView&) { ADD_FAILURE() << "opened"; }), -1);
}

TEST(WinDialogRunner, AControllerThatThrowsWhileOpeningEndsTheDialogAsNotShown) {
  EXPECT_EQ(RunProbe(dialog_id::kAbout, [](DialogView&) { throw std::runtime_error("broken"); }),
            -1);
}

// A controller whose commands throw: the dialog stays usable and closes.
class Throwing final : public DialogController {
 public:
  int TemplateId() const override { return dialog_id::kSettings; }
  void OnInitDialog(DialogView&) override {}
  void OnCommand(DialogView&, int, ControlEvent) override { throw std::bad_alloc(); }
};

TEST(WinDialogRunner, ACommandThatThrowsIsDroppedAndEscapeStillCloses) {
  WinDialogRunner runner(AddinModule());
  Throwing throwing;
  DialogDriver driver([](DialogDriver& d) {
    HWND dialog = d.WaitForDialog("Settings");
    d.Click(dialog, 1011);
    EXPECT_TRUE(d.Checked(dialog, 1011)) << "the box ticked all the same";
    d.PressKey(VK_ESCAPE);
    d.WaitUntilClosed(dialog);
  });
  EXPECT_EQ(runner.RunModal(throwing), IDCANCEL);
}

}  // namespace
}  // namespace varnox::win::testing
