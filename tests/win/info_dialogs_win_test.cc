// About, Mail Headers and Settings as the user sees them under Wine, opened
// from the toolbar and driven by window messages.
#include <windows.h>

#include <gtest/gtest.h>

#include "engine/bayesian_filter.h"
#include "settings/info_dialogs.h"
#include "settings/settings_dialog.h"
#include "settings/settings_store.h"
#include "tests/win/dialog_driver.h"
#include "tests/win/dialog_world.h"

namespace varnox::win::testing {
namespace {

using Ids = std::vector<int>;

// --- About and Mail Headers: shown, and ended every way a user ends them.

enum class Ending { kCloseButton, kEnter, kEscape, kCloseBox };

void PrintTo(Ending how, std::ostream* out) {
  constexpr const char* kNames[] = {"Close button", "Enter", "Esc", "close box"};
  *out << kNames[static_cast<int>(how)];
}

void End(DialogDriver& driver, HWND dialog, Ending how) {
  switch (how) {
    case Ending::kCloseButton:
      driver.Click(dialog, IDCANCEL);
      break;
    case Ending::kEnter:
      driver.PressKey(VK_RETURN);
      break;
    case Ending::kEscape:
      driver.PressKey(VK_ESCAPE);
      break;
    case Ending::kCloseBox:
      driver.CloseBox(dialog);
      break;
  }
  driver.WaitUntilClosed(dialog);
}

class InfoDialogEnding : public ::testing::TestWithParam<Ending> {};

TEST_P(InfoDialogEnding, AboutShowsTheProductOverTheExplorer) {
  DialogWorld world;
  world.Connect();
  DialogDriver driver([&](DialogDriver& d) {
    HWND about = d.WaitForDialog("About", world.explorer.window());
    EXPECT_EQ(d.Text(about, AboutDialog::kIdTitle), AboutDialog::kTitle);
    EXPECT_EQ(d.Text(about, AboutDialog::kIdNotice), AboutDialog::kNotice);
    if (GetParam() == Ending::kCloseButton)
      d.Screenshot(about, "about");
    End(d, about, GetParam());
  });
  world.Click("About");
}

TEST_P(InfoDialogEnding, MailHeadersShowTheSelectedMessagesHeadersWhole) {
  DialogWorld world;
  std::string headers =
      "Received: from mx.example.org (mx.example.org [192.0.2.7])\r\n"
      "\tby mail.example.com with ESMTP id 4F2A1; Mon, 7 Dec 2026 09:12:44 +0000\r\n"
      "From: Alice Example <alice@example.org>\r\n"
      "To: bob@example.com\r\n"
      "Subject: Minutes of the Tuesday meeting\r\n"
      "Date: Mon, 7 Dec 2026 09:12:40 +0000\r\n"
      "Message-ID: <20261207091240.4F2A1@mx.example.org>\r\n"
      "MIME-Version: 1.0\r\n"
      "Content-Type: text/plain; charset=windows-1252\r\n"
      "X-VNX-RESULT: Clean\r\n"
      "X-VNX-SCORE: 12\r\n"
      "X-VNX-TOP-WORDS: meeting(0.01) minutes(0.02) tuesday(0.05) agenda(0.07)\r\n";
  for (int hop = 1; hop <= 12; ++hop) {
    headers += "Received: from relay" + std::to_string(hop) + ".example.net by relay" +
               std::to_string(hop + 1) +
               ".example.net with SMTP; a long line that the box wraps at its edge\r\n";
  }
  world.host.selection = {&world.inbox.AddMail(headers, "body", "Minutes")};
  world.Connect();
  DialogDriver driver([&](DialogDriver& d) {
    HWND dialog = d.WaitForDialog("Mail Headers", world.explorer.window());
    EXPECT_EQ(d.Text(dialog, MailHeaderDialog::kIdHeaderText), headers);
    SCROLLINFO scroll{};
    scroll.cbSize = sizeof(scroll);
    scroll.fMask = SIF_ALL;
    HWND text = GetDlgItem(dialog, MailHeaderDialog::kIdHeaderText);
    ASSERT_TRUE(GetScrollInfo(text, SB_VERT, &scroll));
    EXPECT_GT(scroll.nMax - scroll.nMin + 1, static_cast<int>(scroll.nPage))
        << "long headers scroll";
    EXPECT_FALSE(GetWindowLongW(text, GWL_STYLE) & WS_HSCROLL) << "long lines wrap";
    if (GetParam() == Ending::kCloseButton)
      d.Screenshot(dialog, "mail-headers");
    End(d, dialog, GetParam());
  });
  world.Click("Mail Header");
}

INSTANTIATE_TEST_SUITE_P(EveryWay, InfoDialogEnding,
                         ::testing::Values(Ending::kCloseButton, Ending::kEnter, Ending::kEscape,
                                           Ending::kCloseBox));

TEST(MailHeaderWin, SeveralSelectedMailsAreRefusedWithoutADialog) {
  DialogWorld world;
  world.host.selection = {&world.inbox.AddMail("From: a@example.org\r\n", "b", "s"),
                          &world.inbox.AddMail("From: c@example.org\r\n", "d", "t"),
                          &world.inbox.AddMail("From: e@example.org\r\n", "f", "u")};
  world.Connect();
  DialogDriver driver([&](DialogDriver& d) {
    ShownMessage message = d.WaitForMessage(nullptr);
    EXPECT_EQ(message.text, "Please Select a single mail");
    EXPECT_EQ(message.caption, "Varnox");
    EXPECT_EQ(message.buttons, Ids{IDOK});
    d.Answer(message, IDOK);
  });
  world.Click("Mail Header");
}

// --- Settings.

std::string WordCountLine(std::size_t words) {
  return std::string(SettingsDialog::kWordCountLabel) + std::to_string(words);
}

class SettingsWin : public ::testing::Test {
 protected:
  void SetUp() override {
    DialogWorld::SetDwordSetting(setting::kBeepAtSpam, 1);
    DialogWorld::SetDwordSetting(setting::kLearnFromWhiteListed, 7);  // any non-zero ticks
    DialogWorld::SetDwordSetting(setting::kMarkReadBeforeMoving, 0);
    DialogWorld::SetStringSetting(setting::kNotSpamFolderName, "Archive");
    world.Connect();
    world.addin->filter.Learn("cheap pills cheap pills offer offer", "cheap offer", 1);
    world.addin->filter.Learn("meeting agenda minutes agenda", "meeting", 0);
    words = world.addin->filter.WordCount();
    ASSERT_GT(words, 0u);
  }

  DialogWorld world;
  std::size_t words = 0;
};

TEST_F(SettingsWin, ShowsTheSettingsAndWordCountAndSavesEveryBoxOnOk) {
  DialogDriver driver([&](DialogDriver& d) {
    HWND dialog = d.WaitForDialog("Settings", world.explorer.window());
    EXPECT_TRUE(d.Checked(dialog, SettingsDialog::kIdBeep));
    EXPECT_TRUE(d.Checked(dialog, SettingsDialog::kIdLearnWhite));
    EXPECT_FALSE(d.Checked(dialog, SettingsDialog::kIdAskFolder)) << "a folder name is set";
    for (int id : {SettingsDialog::kIdMarkRead, SettingsDialog::kIdNonEnglish,
                   SettingsDialog::kIdLearnSpam, SettingsDialog::kIdLearnNotSpam,
                   SettingsDialog::kIdLearnBlack, SettingsDialog::kIdSecondJudge}) {
      EXPECT_FALSE(d.Checked(dialog, id)) << id;
    }
    EXPECT_EQ(d.Text(dialog, SettingsDialog::kIdWordCount), WordCountLine(words));
    d.Screenshot(dialog, "settings");
    d.Click(dialog, SettingsDialog::kIdMarkRead);
    d.Click(dialog, SettingsDialog::kIdBeep);
    d.Click(dialog, SettingsDialog::kIdAskFolder);
    d.Click(dialog, SettingsDialog::kIdLearnBlack);
    d.Click(dialog, IDOK);
    d.WaitUntilClosed(dialog);
  });
  world.Click("Settings");
  EXPECT_EQ(DialogWorld::DwordSetting(setting::kMarkReadBeforeMoving), "1");
  EXPECT_EQ(DialogWorld::DwordSetting(setting::kBeepAtSpam), "0");
  EXPECT_EQ(DialogWorld::DwordSetting(setting::kLearnFromBlackListed), "1");
  EXPECT_EQ(DialogWorld::DwordSetting(setting::kLearnFromWhiteListed), "1");
  EXPECT_EQ(DialogWorld::DwordSetting(setting::kConsiderNonEnglishSpam), "0");
  EXPECT_EQ(DialogWorld::DwordSetting(setting::kLearnFromMarkSpam), "0");
  EXPECT_EQ(DialogWorld::DwordSetting(setting::kLearnFromNotSpam), "0");
  EXPECT_EQ(DialogWorld::StringSetting(setting::kNotSpamFolderName), "")
      << "ticked: ask for the folder";
  EXPECT_EQ(DialogWorld::DwordSetting(setting::kSecondJudge), "<absent>")
      << "an untouched box writes nothing";
  EXPECT_EQ(world.addin->filter.WordCount(), words) << "OK does not empty";
}

TEST_F(SettingsWin, TheLastBoxSwitchesTheSecondJudgeOn) {
  DialogDriver driver([&](DialogDriver& d) {
    HWND dialog = d.WaitForDialog("Settings", world.explorer.window());
    d.Click(dialog, SettingsDialog::kIdSecondJudge);
    d.Click(dialog, IDOK);
    d.WaitUntilClosed(dialog);
  });
  world.Click("Settings");
  EXPECT_EQ(DialogWorld::DwordSetting(setting::kSecondJudge), "1");
}

TEST_F(SettingsWin, EmptyAsksFirstEmptiesOnYesAndCancelKeepsTheSettings) {
  DialogDriver driver([&](DialogDriver& d) {
    HWND dialog = d.WaitForDialog("Settings", world.explorer.window());
    d.ClickOpening(dialog, SettingsDialog::kIdEmpty);
    ShownMessage question = d.WaitForMessage(dialog);
    EXPECT_EQ(question.text, "Are you sure you want to empty the Database?");
    EXPECT_EQ(question.caption, "Varnox");
    EXPECT_EQ(question.buttons, (Ids{IDYES, IDNO}));
    d.Answer(question, IDNO);
    EXPECT_TRUE(d.NoMessageFor(dialog)) << "No asks nothing more";
    EXPECT_EQ(d.Text(dialog, SettingsDialog::kIdWordCount), WordCountLine(words));

    d.ClickOpening(dialog, SettingsDialog::kIdEmpty);
    d.Answer(d.WaitForMessage(dialog), IDYES);
    ShownMessage done = d.WaitForMessage(dialog);
    EXPECT_EQ(done.text, "Database Empty");
    EXPECT_EQ(done.caption, "");
    EXPECT_EQ(done.buttons, Ids{IDOK});
    d.Answer(done, IDOK);
    EXPECT_EQ(d.Text(dialog, SettingsDialog::kIdWordCount), WordCountLine(0));

    d.Click(dialog, SettingsDialog::kIdBeep);
    d.Click(dialog, IDCANCEL);
    d.WaitUntilClosed(dialog);
  });
  world.Click("Settings");
  EXPECT_EQ(world.addin->filter.WordCount(), 0u) << "Cancel does not undo emptying";
  EXPECT_EQ(DialogWorld::DwordSetting(setting::kBeepAtSpam), "1") << "Cancel writes nothing";
  EXPECT_EQ(DialogWorld::StringSetting(setting::kNotSpamFolderName), "Archive");
  EXPECT_EQ(DialogWorld::DwordSetting(setting::kLearnFromMarkSpam), "<absent>");
  BayesianFilter reloaded(world.platform);
  reloaded.Initialize();
  EXPECT_EQ(reloaded.WordCount(), 0u) << "the emptied table was saved at once";
}

}  // namespace
}  // namespace varnox::win::testing
