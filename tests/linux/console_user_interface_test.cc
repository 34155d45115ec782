#include "linux/platform/console_user_interface.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/linux/console_test_support.h"

namespace varnox {
namespace {

using testing::Drain;
using testing::Pipe;
using testing::Terminal;

class ConsoleUserInterfaceTest : public ::testing::Test {
 protected:
  ConsoleUserInterface MakeConsole(bool yes = false, std::string opener = "xdg-open") {
    ConsoleOptions options;
    options.input_fd = input.fds[0];
    options.output_fd = output.fds[1];
    options.answer_yes = yes;
    options.web_opener = std::move(opener);
    return ConsoleUserInterface(options);
  }
  std::string Shown() { return Drain(output.fds[0]); }

  Pipe input;
  Pipe output;
};

TEST_F(ConsoleUserInterfaceTest, MessagesGoOutAsUtf8WithTheirCaption) {
  ConsoleUserInterface console = MakeConsole();
  EXPECT_EQ(console.ShowMessage("Cannot save database (/tmp/w\xE9.db)", "Bayesian Plugin Error",
                                kMbOk | kMbIconWarning),
            kIdOk);
  EXPECT_EQ(Shown(), "Bayesian Plugin Error: Cannot save database (/tmp/w\xC3\xA9.db)\n");
  EXPECT_EQ(console.ShowMessage("No caption\r\n", "", kMbOk), kIdOk);
  EXPECT_EQ(Shown(), "No caption\n");
}

TEST_F(ConsoleUserInterfaceTest, QuestionsAreNotAskedOfAnInputThatIsNoTerminal) {
  ConsoleUserInterface console = MakeConsole();
  ASSERT_EQ(::write(input.fds[1], "y\n", 2), 2);  // would say yes if it were read
  EXPECT_EQ(console.ShowMessage("Empty the database?", "Varnox", kMbYesNo), kIdNo);
  EXPECT_EQ(Shown(),
            "Varnox: Empty the database? [y/N] no (not asked: the input is not a terminal; "
            "--yes answers yes)\n");
  EXPECT_EQ(console.ShowMessage("Go on?", "", 0x3), kIdCancel) << "Yes/No/Cancel";
  EXPECT_EQ(console.ShowMessage("Go on?", "", 0x1), kIdCancel) << "OK/Cancel";
  EXPECT_EQ(Drain(input.fds[0]), "y\n") << "the input was left alone";
}

TEST_F(ConsoleUserInterfaceTest, YesAnswersEveryQuestionAndSaysSo) {
  ConsoleUserInterface console = MakeConsole(/*yes=*/true);
  EXPECT_EQ(console.ShowMessage("Empty the database?", "", kMbYesNo), kIdYes);
  EXPECT_EQ(Shown(), "Empty the database? [y/N] yes (--yes)\n");
  EXPECT_EQ(console.ShowMessage("Go on?", "", 0x1), kIdOk);
  EXPECT_EQ(console.ShowMessage("Saved.", "", kMbOk), kIdOk);
}

TEST_F(ConsoleUserInterfaceTest, AQuestionOnATerminalWaitsForYOrN) {
  Terminal terminal;
  ConsoleOptions options;
  options.input_fd = terminal.slave;
  options.output_fd = output.fds[1];
  ConsoleUserInterface console(options);

  terminal.Type("maybe\n  YES \nn\n\n");
  EXPECT_EQ(console.ShowMessage("Delete?", "", kMbYesNo), kIdYes);
  EXPECT_EQ(Shown(), "Delete? [y/N] Please answer y or n.\nDelete? [y/N] ");
  EXPECT_EQ(console.ShowMessage("Delete?", "", kMbYesNo), kIdNo);
  EXPECT_EQ(console.ShowMessage("Delete?", "", kMbYesNo), kIdNo) << "an empty answer is No";
}

TEST_F(ConsoleUserInterfaceTest, TheBellRingsOnlyOnATerminal) {
  ConsoleUserInterface console = MakeConsole();
  console.Beep(kBeepExclamation);
  EXPECT_EQ(Shown(), "");
}

// A folder of installed pages (help.html only) and an opener that writes the
// path it was handed beside them.
class ConsolePagesTest : public ConsoleUserInterfaceTest {
 protected:
  void SetUp() override {
    char folder[] = "/tmp/varnox-pages-XXXXXX";
    ASSERT_NE(::mkdtemp(folder), nullptr);
    folder_ = folder;
    WriteFile(folder_ + "/help.html", "<h1>Varnox help</h1>\n");
    opener_ = folder_ + "/opener.sh";
    WriteFile(opener_, "#!/bin/sh\nprintf %s \"$1\" > \"$(dirname \"$0\")/handed\"\n");
    ::chmod(opener_.c_str(), 0700);
  }
  void TearDown() override { std::system(("rm -rf '" + folder_ + "'").c_str()); }
  static void WriteFile(const std::string& path, const std::string& text) {
    FILE* file = std::fopen(path.c_str(), "w");
    ASSERT_NE(file, nullptr);
    std::fputs(text.c_str(), file);
    std::fclose(file);
  }
  ConsoleUserInterface Console(const std::string& opener, std::string folder) {
    ConsoleOptions options;
    options.output_fd = output.fds[1];
    options.web_opener = opener;
    options.pages_folder = std::move(folder);
    return ConsoleUserInterface(options);
  }
  std::string Handed() {
    FILE* file = std::fopen((folder_ + "/handed").c_str(), "r");
    if (file == nullptr)
      return "<nothing>";
    char buffer[4096];
    const std::size_t read = std::fread(buffer, 1, sizeof buffer, file);
    std::fclose(file);
    return std::string(buffer, read);
  }

  std::string folder_;
  std::string opener_;
};

TEST_F(ConsolePagesTest, TheOpenerIsHandedTheInstalledPage) {
  Console(opener_, folder_).OpenPage("help.html");
  EXPECT_EQ(Handed(), folder_ + "/help.html");
  EXPECT_EQ(Shown(), "");
}

// A page that is there but cannot be shown is printed for the user to open:
// that is no failure. One that is not there at all is a warning.
TEST_F(ConsolePagesTest, APageThatCannotBeOpenedIsPrintedAndAMissingOneNamed) {
  struct Case {
    const char* opener;
    const char* page;
    const char* shown_before_path;  // null: nothing shown
    const char* shown_after_path;
    int warnings;
  };
  const Case cases[] = {
      {"true", "help.html", nullptr, nullptr, 0},
      {"false", "help.html", "Open this page in your web browser: ", "\n", 0},
      {"/no/such/opener", "help.html", "Open this page in your web browser: ", "\n", 0},
      {"true", "support.html", "The page ",
       " is missing. Building varnox makes it beside the program (bash scripts/run.sh does); "
       "its text is in docs/ of Varnox's sources.\n",
       1},
  };
  for (const Case& c : cases) {
    ConsoleUserInterface console = Console(c.opener, folder_);
    console.OpenPage(c.page);
    const std::string path = folder_ + "/" + c.page;
    EXPECT_EQ(Shown(), c.shown_before_path ? c.shown_before_path + path + c.shown_after_path : "")
        << c.opener << " " << c.page;
    EXPECT_EQ(console.warnings(), c.warnings) << c.opener << " " << c.page;
  }
  EXPECT_EQ(Handed(), "<nothing>");
}

TEST_F(ConsolePagesTest, ARelativeFolderCannotPassForAnOption) {
  char* before = ::getcwd(nullptr, 0);
  ASSERT_NE(before, nullptr);
  ASSERT_EQ(::chdir(folder_.c_str()), 0);
  ASSERT_EQ(::mkdir("-x", 0700), 0);
  WriteFile("-x/help.html", "page\n");
  Console(opener_, "-x").OpenPage("help.html");
  EXPECT_EQ(Handed(), "./-x/help.html");
  EXPECT_EQ(::chdir(before), 0);
  std::free(before);
}

TEST(TerminalTextTest, ControlCharactersCannotReachTheTerminal) {
  struct Case {
    const char* what;
    std::string text;
    std::string shown;
  };
  const Case cases[] = {
      {"plain", "Spam 99", "Spam 99"},
      {"Windows line ends", " cash 99\r\n", " cash 99\n"},
      {"escape sequence", "\x1B[2Jhi", "?[2Jhi"},
      {"lone carriage return", "a\rb", "a?b"},
      {"tab and line feed kept", "a\tb\n", "a\tb\n"},
      {"1252 letters", "\x80 \xE9", "\xE2\x82\xAC \xC3\xA9"},
      {"unassigned byte (a C1 control)", "\x9D", "?"},
      {"delete", "\x7F", "?"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(TerminalText(c.text), c.shown) << c.what;

  EXPECT_EQ(TerminalTextFromUtf8("f\xC3\xA9\x1B\xC2\x9B"
                                 "x\xE2\x86\x92"),
            "f\xC3\xA9??x\xE2\x86\x92");
  EXPECT_EQ(TerminalTextFromUtf8("bad \xE9 \x1B"), "bad ? ?") << "not UTF-8";
}

}  // namespace
}  // namespace varnox
