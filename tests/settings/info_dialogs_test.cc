#include "settings/info_dialogs.h"

#include <gtest/gtest.h>

#include "tests/fakes/scripted_dialog.h"

namespace varnox {
namespace {

using testing::ScriptedDialogRunner;
using testing::ScriptedDialogView;

TEST(MailHeaderDialogTest, ShowsTheHeadersAsStored) {
  const std::string headers =
      "Received: from mx.example.org\r\n\tby mail.example.net\r\nFrom: A <a@example.org>\r\n";
  ScriptedDialogRunner dialogs;
  dialogs.Expect(dialog_id::kMailHeaders, [](ScriptedDialogView& v) { v.Close(); });
  MailHeaderDialog dialog(headers);
  EXPECT_EQ(dialogs.RunModal(dialog), kIdCancelButton);
  ASSERT_EQ(dialogs.runs.size(), 1u);
  EXPECT_EQ(dialogs.runs[0].texts.at(MailHeaderDialog::kIdHeaderText), headers);
  EXPECT_TRUE(dialogs.runs[0].messages.empty());
}

TEST(MailHeaderDialogTest, OpensWithAnEmptyBoxWhenThereAreNoHeaders) {
  ScriptedDialogRunner dialogs;
  dialogs.Expect(dialog_id::kMailHeaders, [](ScriptedDialogView& v) { v.Close(); });
  MailHeaderDialog dialog("");
  dialogs.RunModal(dialog);
  ASSERT_EQ(dialogs.runs.size(), 1u);
  EXPECT_EQ(dialogs.runs[0].texts.at(MailHeaderDialog::kIdHeaderText), "");
}

// Close, Enter and Esc end both dialogs; other commands leave them open.
TEST(InfoDialogsTest, CloseAndEnterEndTheDialog) {
  struct Case {
    const char* what;
    int button;
    int expected;
  };
  const Case cases[] = {
      {"Close or Esc", kIdCancelButton, kIdCancelButton},
      {"Enter", kIdOkButton, kIdOkButton},
  };
  for (const Case& c : cases) {
    MailHeaderDialog header("x");
    AboutDialog about;
    for (DialogController* dialog :
         {static_cast<DialogController*>(&header), static_cast<DialogController*>(&about)}) {
      ScriptedDialogView view(*dialog);
      dialog->OnInitDialog(view);
      view.Click(MailHeaderDialog::kIdHeaderText);
      view.SelectCombo(AboutDialog::kIdTitle, 0);
      EXPECT_FALSE(view.ended()) << c.what << ": ended by another control";
      view.Click(c.button);
      EXPECT_TRUE(view.ended()) << c.what;
      EXPECT_EQ(view.result(), c.expected) << c.what;
    }
  }
}

TEST(AboutDialogTest, ShowsNameAndVersion) {
  ScriptedDialogRunner dialogs;
  dialogs.Expect(dialog_id::kAbout, [](ScriptedDialogView& v) { v.Close(); });
  AboutDialog dialog;
  dialogs.RunModal(dialog);
  ASSERT_EQ(dialogs.runs.size(), 1u);
  EXPECT_EQ(dialogs.runs[0].texts.at(AboutDialog::kIdTitle), "Varnox v1.2");
  const std::string& notice = dialogs.runs[0].texts.at(AboutDialog::kIdNotice);
  // First line the name and version, then an empty line, then two lines.
  EXPECT_EQ(notice.rfind("Varnox v1.2\n\n", 0), 0u) << notice;
  std::size_t lines = 1;
  for (char c : notice)
    lines += c == '\n';
  EXPECT_EQ(lines, 4u) << notice;
}

}  // namespace
}  // namespace varnox
