#include "linux/dialogs/console_dialog_runner.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "engine/bayesian_filter.h"
#include "linux/platform/console_texts.h"
#include "lists/list_dialog.h"
#include "lists/sender_list.h"
#include "mail/folder_pickers.h"
#include "mail/train_dialog.h"
#include "settings/info_dialogs.h"
#include "settings/settings_dialog.h"
#include "tests/fakes/fake_platform.h"
#include "tests/linux/console_test_support.h"

namespace varnox {
namespace {

using testing::Drain;
using testing::FakePlatform;
using testing::Pipe;
using testing::Terminal;

class ConsoleDialogRunnerTest : public ::testing::Test {
 protected:
  ConsoleUserInterface Console(int input_fd) {
    ConsoleOptions options;
    options.input_fd = input_fd;
    options.output_fd = messages.fds[1];
    return ConsoleUserInterface(options);
  }
  std::string Printed() { return Drain(printed.fds[0]); }
  std::string Said() { return Drain(messages.fds[0]); }

  FakePlatform fake;
  Pipe printed;   // what dialogs show (standard output)
  Pipe messages;  // prompts and message boxes (standard error)
  Pipe no_terminal;
};

TEST_F(ConsoleDialogRunnerTest, WithNobodyToAskADialogIsClosedUnansweredAndSaysSo) {
  fake.registry.CreateKey();
  BayesianFilter filter(fake);
  SettingsStore settings(fake.registry);
  ConsoleUserInterface console = Console(no_terminal.fds[0]);
  ConsoleDialogRunner runner(console, printed.fds[1]);
  SettingsDialog dialog(filter, settings);
  EXPECT_EQ(runner.RunModal(dialog), kIdCancelButton);
  EXPECT_EQ(fake.registry.writes(), 0) << "Cancel writes nothing";

  EXPECT_NE(Said().find("Settings: not shown"), std::string::npos);

  SelectFolderDialog picker(settings);
  EXPECT_EQ(runner.RunModal(picker), kIdCancelButton);
  EXPECT_NE(Said().find("Select Maildir Folder: not shown"), std::string::npos);
}

TEST_F(ConsoleDialogRunnerTest, InformationDialogsPrintWhatTheyShow) {
  ConsoleUserInterface console = Console(no_terminal.fds[0]);
  ConsoleDialogRunner runner(console, printed.fds[1]);
  AboutDialog about;
  EXPECT_EQ(runner.RunModal(about), kIdCancelButton);
  EXPECT_EQ(Printed(), std::string(ConsoleText(AboutDialog::kNotice)) + "\n");

  // Headers as stored (1252, CR LF) come out as UTF-8 lines, with control
  // characters made harmless.
  MailHeaderDialog headers("Received: by mx\r\nSubject: caf\xE9\x1B[2J\r\n");
  EXPECT_EQ(runner.RunModal(headers), kIdCancelButton);
  EXPECT_EQ(Printed(), "Received: by mx\nSubject: caf\xC3\xA9?[2J\n");
  EXPECT_EQ(Said(), "");
}

TEST_F(ConsoleDialogRunnerTest, TheFolderPickerAsksByNumberOnATerminal) {
  Terminal terminal;
  ConsoleUserInterface console = Console(terminal.slave);
  ConsoleDialogRunner runner(console, printed.fds[1]);

  fake.registry.CreateKey();
  SettingsStore settings(fake.registry);
  terminal.Type("7\nArchive\n3\ny\n");  // two wrong answers, then the third folder
  SelectFolderDialog picker(settings);
  picker.folderNames = {"Inbox", "Sent Items", "Archive"};
  EXPECT_EQ(runner.RunModal(picker), kIdOkButton);
  EXPECT_EQ(picker.chosenName, "Archive");
  std::string remembered;
  ASSERT_TRUE(settings.NotSpamFolderName(&remembered));
  EXPECT_EQ(remembered, "Archive") << "Don't Display this again: yes";
  const std::string said = Said();
  EXPECT_NE(said.find("  1  Inbox\n  2  Sent Items\n  3  Archive\n"), std::string::npos) << said;
  EXPECT_NE(said.find("Please answer with a number from 1 to 3."), std::string::npos) << said;
  EXPECT_NE(said.find("Don't Display this again [y/N]"), std::string::npos) << said;

  terminal.Type("\n");  // Enter cancels
  SelectFolderDialog cancelled(settings);
  cancelled.folderNames = picker.folderNames;
  EXPECT_EQ(runner.RunModal(cancelled), kIdCancelButton);
  EXPECT_EQ(cancelled.chosenName, "");
}

TEST_F(ConsoleDialogRunnerTest, TheFoldersPickerTicksTheNumbersGiven) {
  Terminal terminal;
  ConsoleUserInterface console = Console(terminal.slave);
  ConsoleDialogRunner runner(console, printed.fds[1]);
  struct Case {
    const char* typed;
    int result;
    std::vector<std::string> selected;
  };
  const Case cases[] = {
      {"3, 1\n", kIdOkButton, {"Inbox", "Archive"}},
      {"\n", kIdOkButton, {}},
      {"0\n4\nx\n", kIdCancelButton, {}},  // three wrong answers
  };
  for (const Case& c : cases) {
    terminal.Type(c.typed);
    SelectFoldersDialog picker;
    picker.allFolders = {"Inbox", "Junk", "Archive"};
    EXPECT_EQ(runner.RunModal(picker), c.result) << c.typed;
    EXPECT_EQ(picker.selected, c.selected) << c.typed;
  }
}

TEST_F(ConsoleDialogRunnerTest, TheSettingsPromptChangesBoxesAndSavesOnEnter) {
  fake.registry.CreateKey();
  fake.registry.SetString(setting::kWordFilePath, "words.db");
  BayesianFilter filter(fake);
  filter.Initialize();
  filter.Learn("cheap pills online", "offer", 1);
  SettingsStore settings(fake.registry);
  Terminal terminal;
  ConsoleUserInterface console = Console(terminal.slave);
  ConsoleDialogRunner runner(console, printed.fds[1]);

  // Beep on, the folder question off, then empty the database (asked and
  // answered yes), then save.
  terminal.Type("3\n4\ne\ny\n\n");
  SettingsDialog dialog(filter, settings);
  EXPECT_EQ(runner.RunModal(dialog), kIdOkButton);
  EXPECT_EQ(settings.BeepAtSpam(), 1u);
  std::string folder;
  ASSERT_TRUE(settings.NotSpamFolderName(&folder));
  EXPECT_EQ(folder, "Inbox");
  EXPECT_EQ(filter.WordCount(), 0u);
  const std::string said = Said();
  EXPECT_NE(said.find("  3 [ ] Beep When a Mail is Marked Spam"), std::string::npos) << said;
  EXPECT_NE(said.find("  3 [x] Beep When a Mail is Marked Spam"), std::string::npos) << said;
  EXPECT_NE(said.find("Total Words in Bayesian Database : 0"), std::string::npos) << said;
  EXPECT_NE(said.find("Database Empty"), std::string::npos) << said;

  terminal.Type("1\nq\n");  // a change, then cancel: nothing written
  const int writes = fake.registry.writes();
  SettingsDialog again(filter, settings);
  EXPECT_EQ(runner.RunModal(again), kIdCancelButton);
  EXPECT_EQ(fake.registry.writes(), writes);

  terminal.Type("9\n\n");  // the last box, the second judge, on
  SettingsDialog judge(filter, settings);
  EXPECT_EQ(runner.RunModal(judge), kIdOkButton);
  EXPECT_EQ(settings.SecondJudge(), 1u);
  EXPECT_NE(Said().find("  9 [x] Let the second judge decide which mails are Spam."),
            std::string::npos);
}

TEST_F(ConsoleDialogRunnerTest, TheTrainingPromptAsksForBothListsThenStarts) {
  fake.registry.CreateKey();
  fake.registry.SetString(setting::kWordFilePath, "words.db");
  BayesianFilter filter(fake);
  filter.Initialize();
  filter.Learn("cheap pills online", "offer", 1);
  Terminal terminal;
  ConsoleUserInterface console = Console(terminal.slave);
  ConsoleDialogRunner runner(console, printed.fds[1]);
  // Spam: Junk; good: Inbox and Archive; empty first: yes; start: Enter.
  terminal.Type("2\n1 3\ny\n\n");
  TrainDialog train(filter, runner);
  train.allFolders = {"Inbox", "Junk", "Archive"};
  EXPECT_EQ(runner.RunModal(train), kIdOkButton);
  EXPECT_EQ(train.spamFolders, std::vector<std::string>{"Junk"});
  EXPECT_EQ(train.goodFolders, (std::vector<std::string>{"Inbox", "Archive"}));
  EXPECT_EQ(filter.WordCount(), 0u) << "emptied on Start Training";
  EXPECT_NE(Said().find("Spam: Junk;\nGood: Inbox;Archive;\n"), std::string::npos);

  terminal.Type("\n\n\nn\n");  // nothing chosen, and not started
  TrainDialog declined(filter, runner);
  declined.allFolders = train.allFolders;
  EXPECT_EQ(runner.RunModal(declined), kIdCancelButton);
}

TEST(ConsoleDialogViewTest, AChoiceOutsideTheEntriesDoesNothing) {
  AboutDialog unused;
  ConsoleUserInterface console;
  ConsoleDialogView view(unused, console);
  view.AddComboEntry(1016, "Domain Name");
  for (int outside : {-1, 1}) {
    view.SelectCombo(1016, outside);
    EXPECT_EQ(view.ComboSelection(1016), -1) << outside;
  }
  view.SelectCombo(1016, 0);
  EXPECT_EQ(view.ComboSelection(1016), 0);
}

}  // namespace
}  // namespace varnox
