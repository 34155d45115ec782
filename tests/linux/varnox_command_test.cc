// The `varnox` command run as a user runs it (varnox_command_fixture.h).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "linux/platform/settings_file_registry.h"
#include "linux/watch/database_lock.h"
#include "settings/settings_store.h"
#include "tests/linux/varnox_command_fixture.h"

namespace varnox {
namespace {

using testing::Outcome;
using testing::Slurp;
using testing::VarnoxCommandTest;
namespace fs = std::filesystem;

mode_t ModeOf(const fs::path& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 0777 : 0;
}

TEST_F(VarnoxCommandTest, HelpAndUsageErrors) {
  struct Case {
    std::vector<std::string> args;
    int status;
    const char* says;  // on stdout for 0, on stderr otherwise
  };
  const Case cases[] = {
      {{"--help"}, 0, "Usage: varnox"},
      {{"init", "--help"}, 0, "Usage: varnox init [--force]"},
      {{"--version"}, 0, "varnox "},
      {{}, 1, "varnox: no command given"},
      {{"frobnicate"}, 1, "unknown command 'frobnicate'"},
      {{"--frob"}, 1, "unknown option '--frob'"},
      {{"init", "--frob"}, 1, "init: unknown option '--frob'"},
      {{"init", "file"}, 1, "init takes no file names"},
  };
  for (const Case& c : cases) {
    const Outcome run = Varnox(c.args);
    EXPECT_EQ(run.status, c.status) << c.says;
    EXPECT_NE((c.status == 0 ? run.out : run.err).find(c.says), std::string::npos)
        << c.says << "\nstdout: " << run.out << "\nstderr: " << run.err;
  }
  EXPECT_FALSE(fs::exists(home / ".config")) << "nothing but init writes";
}

TEST_F(VarnoxCommandTest, InitLaysDownSettingsAndEmptyFiles) {
  const Outcome run = Varnox({"init"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(ModeOf(home / ".local/share/varnox"), 0700u);
  EXPECT_EQ(ModeOf(home / ".config/varnox"), 0700u);
  EXPECT_EQ(Slurp(Data("blacklist.xml")), "<BlackList />\n");
  EXPECT_EQ(Slurp(Data("whitelist.xml")), "<WhiteList />\n");
  EXPECT_EQ(Slurp(Data("ignore.txt")), "");
  EXPECT_FALSE(fs::exists(Data("words.db"))) << "made by the engine on first use";
  for (const char* name : {"blacklist.xml", "whitelist.xml", "ignore.txt"})
    EXPECT_EQ(ModeOf(Data(name)), 0600u) << name;
  EXPECT_EQ(ModeOf(Settings()), 0600u);

  // The settings read back through the same registry the system uses.
  SettingsFileRegistry registry(RealFileSystem(), Settings().string());
  SettingsStore store(registry);
  std::string path;
  ASSERT_TRUE(store.WordFilePath(&path));
  EXPECT_EQ(path, Data("words.db").string());
  ASSERT_TRUE(store.IgnoreFilePath(&path));
  EXPECT_EQ(path, Data("ignore.txt").string());
  ASSERT_TRUE(store.BlackListPath(&path));
  EXPECT_EQ(path, Data("blacklist.xml").string());
  ASSERT_TRUE(store.WhiteListPath(&path));
  EXPECT_EQ(path, Data("whitelist.xml").string());
}

TEST_F(VarnoxCommandTest, InitReplacesNothingWithoutForceAndNoDataWithIt) {
  ASSERT_EQ(Varnox({"init"}).status, 0);
  std::ofstream(Data("blacklist.xml")) << "<BlackList><Entry/></BlackList>";
  std::ofstream(Data("words.db")) << "learned";
  const std::string settings = Slurp(Settings());

  Outcome run = Varnox({"init"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find(Data("blacklist.xml").string()), std::string::npos) << run.err;
  EXPECT_NE(run.err.find(Settings().string()), std::string::npos) << run.err;
  EXPECT_EQ(Slurp(Data("blacklist.xml")), "<BlackList><Entry/></BlackList>");
  EXPECT_EQ(Slurp(Settings()), settings);

  // --force repairs the settings and keeps the user's data.
  std::ofstream(Settings(), std::ios::trunc) << "damaged \x01\x02";
  fs::remove(Data("whitelist.xml"));
  run = Varnox({"init", "--force"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(Slurp(Settings()), settings) << "written anew";
  EXPECT_EQ(Slurp(Data("blacklist.xml")), "<BlackList><Entry/></BlackList>");
  EXPECT_EQ(Slurp(Data("whitelist.xml")), "<WhiteList />\n") << "the missing one laid down";
  EXPECT_EQ(Slurp(Data("words.db")), "learned") << "the word database is kept";
  EXPECT_NE(run.out.find("Kept " + Data("blacklist.xml").string() + " (black list)"),
            std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("Kept the word database"), std::string::npos) << run.out;
}

TEST_F(VarnoxCommandTest, InitFollowsXdgAndRefusesPathsTheSettingsCannotHold) {
  env.push_back("XDG_CONFIG_HOME=" + (home / "cfg").string());
  env.push_back("XDG_DATA_HOME=" + (home / "dat").string());
  ASSERT_EQ(Varnox({"init"}).status, 0);
  EXPECT_TRUE(fs::exists(home / "cfg/varnox/settings.ini"));
  EXPECT_TRUE(fs::exists(home / "dat/varnox/whitelist.xml"));

  env.back() = "XDG_DATA_HOME=" + (home / "d\xC3\xA9j\xC3\xA0").string();
  Outcome run = Varnox({"init", "--force"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("plain ASCII"), std::string::npos) << run.err;

  fs::path deep = home / "deep";
  while (deep.string().size() < 260)
    deep /= "abcdefghij";
  env.back() = "XDG_DATA_HOME=" + deep.string();
  run = Varnox({"init", "--force"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("too long"), std::string::npos) << run.err;
  EXPECT_FALSE(fs::exists(home / "deep")) << "nothing was made";
}

TEST_F(VarnoxCommandTest, StatusShowsTheSettings) {
  Outcome run = Varnox({"status"});
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.out.find("missing: `varnox init`"), std::string::npos) << run.out;
  ASSERT_EQ(Varnox({"init"}).status, 0);
  std::ofstream(Settings(), std::ios::app) << "\"BeepAtSpam\"=dword:00000005\n";
  run = Varnox({"status"});
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.out.find(Data("whitelist.xml").string() + " (14 bytes)"), std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("BeepAtSpam              on"), std::string::npos) << run.out;
  // Every setting, those without a stored value of their own too.
  for (const char* line : {"AskNotSpamFolder        on\n", "SecondJudge             off\n",
                           "LearnFromMoves          off\n", "LearnFromNotSpam        "})
    EXPECT_NE(run.out.find(line), std::string::npos) << line << run.out;
}

class VarnoxLearningTest : public VarnoxCommandTest {
 protected:
  void SetUp() override {
    VarnoxCommandTest::SetUp();
    ASSERT_EQ(Varnox({"init"}).status, 0);
    fs::create_directory(home / "mail");
  }
  std::string Message(const std::string& name, const std::string& text) {
    const fs::path path = home / "mail" / name;
    std::ofstream(path, std::ios::binary) << text;
    return path.string();
  }
};

TEST_F(VarnoxLearningTest, LearnsAndThenJudges) {
  std::vector<std::string> spam = {"learn", "--spam"}, good = {"learn", "--good"};
  for (int i = 0; i < 6; ++i) {
    spam.push_back(Message("spam" + std::to_string(i),
                           "Cheap pills offer\nBuy cheap viagra pills, best offer, click now\n"));
    good.push_back(Message("good" + std::to_string(i),
                           "Project meeting\nThe project meeting moves to Friday, agenda below\n"));
  }
  Outcome run = Varnox(spam);
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("Learned 6 messages as spam"), std::string::npos) << run.out;
  run = Varnox(good);
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("from 6 spam and 6 good messages"), std::string::npos) << run.out;
  EXPECT_TRUE(fs::exists(Data("words.db")));

  const std::string pills = Message("t1", "Cheap offer\ncheap viagra pills, click\n");
  const std::string meeting = Message("t2", "Meeting\nproject meeting on Friday, agenda\n");
  // UTF-8 "é" three times: three bytes above 0x7F once converted to 1252.
  const std::string foreign = Message("t3", "Caf\xC3\xA9\xC3\xA9\xC3\xA9\nhello\n");
  const std::string empty = Message("t4", "");
  run = Varnox({"classify", pills, meeting, foreign, empty});
  ASSERT_EQ(run.status, 0) << run.err;
  // The scores are the engine's business; the verdicts and the layout are ours.
  EXPECT_NE(run.out.find(pills + ": Spam, score "), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("\n    cheap 99 click 99 "), std::string::npos) << run.out;
  EXPECT_NE(run.out.find(meeting + ": NotSpam, score "), std::string::npos) << run.out;
  EXPECT_NE(run.out.find(foreign + ": Non English Spam\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find(empty + ": NotSpam, score 0\n    (no words)\n"), std::string::npos)
      << run.out;
}

TEST_F(VarnoxLearningTest, TheSecondJudgeIsSwitchedOnAndOffBySettingsSet) {
  Outcome run = Varnox({"settings", "set", "secondjudge", "on"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("SecondJudge             on "), std::string::npos) << run.out;
  EXPECT_NE(Varnox({"settings", "set", "SecondJudge", "1"}).err.find("say on or off"),
            std::string::npos);

  std::vector<std::string> spam = {"learn", "--spam"}, good = {"learn", "--good"};
  for (int i = 0; i < 4; ++i) {
    spam.push_back(Message("spam" + std::to_string(i),
                           "From: Offers <deals@pills.example>\nSubject: Cheap pills\n\n"
                           "Buy cheap pills at http://shop.pills.example now\n"));
    good.push_back(Message("good" + std::to_string(i),
                           "From: Anna <anna@work.example>\nSubject: Project\n\n"
                           "The project meeting moves to Friday\n"));
  }
  ASSERT_EQ(Varnox(spam).status, 0);
  ASSERT_EQ(Varnox(good).status, 0);
  EXPECT_TRUE(fs::exists(Data("words.db.second")));

  const std::string test = Message("t1",
                                   "From: Offers <deals@pills.example>\nSubject: Hello\n\n"
                                   "see http://shop.pills.example\n");
  run = Varnox({"classify", test});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find(test + ": Spam, score "), std::string::npos) << run.out;
  EXPECT_NE(run.out.find(" (second judge)\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find(" url:pills.example 83"), std::string::npos) << run.out;
  const std::string file = Data("words.db.second").string();
  const std::string size = std::to_string(fs::file_size(file)) + " bytes";
  run = Varnox({"stats"});
  EXPECT_NE(
      run.out.find("Second judge    on\n  file          " + file + " (" + size + ")\n  tokens "),
      std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("  spam messages 4\n  good messages 4\n"), std::string::npos) << run.out;
  EXPECT_NE(Varnox({"status"})
                .out.find("SecondJudge             on (its file " + file + ": " + size + ")\n"),
            std::string::npos);

  run = Varnox({"settings", "set", "SecondJudge", "off", "BeepAtSpam", "on"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("SecondJudge             off "), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("BeepAtSpam              on "), std::string::npos) << run.out;
  run = Varnox({"classify", test});
  EXPECT_EQ(run.out.find("url:"), std::string::npos) << "the classic judge: " << run.out;
  EXPECT_EQ(run.out.find(" judge)"), std::string::npos) << "said only when switched on";
  EXPECT_NE(Varnox({"stats"}).out.find("Second judge    off (its file is kept up to date)\n"),
            std::string::npos)
      << "the file is still there and learned";
}

TEST_F(VarnoxLearningTest, RefusesWhatItCannotDo) {
  const std::string message = Message("m", "Subject\nBody words here\n");
  struct Case {
    std::vector<std::string> args;
    const char* says;
  };
  const Case cases[] = {
      {{"learn", message}, "one of --spam and --good"},
      {{"learn", "--spam", "--good", message}, "one of --spam and --good"},
      {{"learn", "--spam"}, "needs the files"},
      {{"learn", "--good", message, (home / "absent").string()}, "nothing was learned"},
      {{"learn", "--good", (home / "mail").string()}, "is not a file"},
      {{"learn", "--spam", message, Message("empty", "")}, "empty is empty; nothing was learned"},
      {{"learn", "--good", Message("blank", " \r\n\n")}, "is empty; nothing was learned"},
  };
  for (const Case& c : cases) {
    const Outcome run = Varnox(c.args);
    EXPECT_EQ(run.status, 1) << c.says;
    EXPECT_NE(run.err.find(c.says), std::string::npos) << c.says << ": " << run.err;
  }
  EXPECT_FALSE(fs::exists(Data("words.db"))) << "nothing was learned, nothing saved";

  Outcome run = Varnox({"classify", (home / "absent").string(), message});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("cannot read"), std::string::npos) << run.err;
  EXPECT_NE(run.out.find(message + ": NotSpam"), std::string::npos) << "the others are judged";
}

TEST_F(VarnoxLearningTest, ClassifyServesADeliveryAgent) {
  std::vector<std::string> spam = {"learn", "--spam"};
  for (int i = 0; i < 6; ++i)
    spam.push_back(Message("spam" + std::to_string(i), "Pills\nBuy cheap viagra pills now\n"));
  ASSERT_EQ(Varnox(spam).status, 0);
  const std::string pills = "Received: by mx\nSubject: Pills\n\ncheap viagra pills\n";
  const std::string lunch = "Received: by mx\nSubject: Lunch\n\nnoon at the usual place\n";
  const struct {
    std::string input;
    std::vector<std::string> args;
    int status;
    const char* prints;
  } kCases[] = {
      {pills, {"classify"}, 0, "-: Spam, score "},
      {pills, {"classify", "--spam-status"}, 3, "-: Spam, score "},
      {lunch, {"classify", "--spam-status"}, 0, "-: NotSpam, score "},
      {pills, {"classify", "--stamp", "--spam-status"}, 3, "X-VNX-RESULT:Spam\n"},
      {lunch, {"classify", "--stamp", "--spam-status"}, 0, "X-VNX-RESULT:NotSpam\n"},
  };
  for (const auto& c : kCases) {
    input = c.input;
    const Outcome run = Varnox(c.args);
    EXPECT_EQ(run.status, c.status) << c.prints << run.err;
    EXPECT_NE(run.out.find(c.prints), std::string::npos) << c.prints << ": " << run.out;
  }
  EXPECT_EQ(Varnox({"classify", "--spam-status", Message("l", lunch), Message("p", pills)}).status,
            3)
      << "one spam among them";

  // A message that cannot be judged goes on as it came.
  fs::remove(Settings());
  input = pills;
  Outcome run = Varnox({"classify", "--stamp"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, pills);
  EXPECT_NE(run.err.find("passed on unchanged"), std::string::npos) << run.err;
  const std::string large = "Subject: big\n\n" + std::string((64u << 20) + 10, 'x');
  input = large;
  run = Varnox({"classify", "--stamp"});
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(run.out == large) << run.out.size() << " bytes of " << large.size();
}

TEST_F(VarnoxLearningTest, SettingsWithoutAWordDatabaseAreAnError) {
  const std::string message = Message("m", "Subject\nBody\n");
  std::ofstream(Settings(), std::ios::trunc) << "[Software\\Varnox MSOutlook]\n";
  Outcome run = Varnox({"learn", "--spam", message});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("names no word database"), std::string::npos) << run.err;

  fs::remove(Settings());
  run = Varnox({"classify", message});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("run `varnox init` first"), std::string::npos) << run.err;
}

TEST_F(VarnoxLearningTest, AFailedSaveIsShownAndIsNotSuccess) {
  const std::string message = Message("m", "Subject\nBody words here\n");
  // A folder where the database should be: it can be neither read nor
  // replaced.
  const std::string folder = (home / "words-folder").string();
  fs::create_directory(folder);
  std::ofstream(Settings(), std::ios::trunc)
      << "[Software\\Varnox MSOutlook]\n\"WordFilePath\"=\"" << folder << "\"\n";
  Outcome run = Varnox({"learn", "--spam", message});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("Bayesian Plugin Error: Cannot save database (" + folder + ")"),
            std::string::npos)
      << run.err;
  EXPECT_NE(run.err.find("could not be saved"), std::string::npos) << run.err;

  // In a folder that does not exist, not even the lock can be had.
  const std::string nowhere = (home / "no/such/folder/words.db").string();
  std::ofstream(Settings(), std::ios::trunc)
      << "[Software\\Varnox MSOutlook]\n\"WordFilePath\"=\"" << nowhere << "\"\n";
  run = Varnox({"learn", "--spam", message});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("cannot use the lock file " + nowhere + ".lock"), std::string::npos)
      << run.err;
}

TEST_F(VarnoxLearningTest, ADatabaseCutShortIsToldAndFailsTheCommand) {
  const std::string message = Message("m", "Subject\nBody words here\n");
  ASSERT_EQ(Varnox({"learn", "--spam", message}).status, 0);
  const fs::path words = Data("words.db");
  fs::resize_file(words, fs::file_size(words) - 1);  // the last line feed

  const Outcome run = Varnox({"stats"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("Bayesian Plugin Error: Database cut short (" + words.string() + ")"),
            std::string::npos)
      << run.err;
  EXPECT_NE(run.out.find("Spam messages"), std::string::npos) << "loaded as far as it goes";
}

class VarnoxListsAndSettingsTest : public VarnoxCommandTest {
 protected:
  void SetUp() override {
    VarnoxCommandTest::SetUp();
    ASSERT_EQ(Varnox({"init"}).status, 0);
  }
};

TEST_F(VarnoxListsAndSettingsTest, ListEntriesGoThroughTheListDialogsRules) {
  struct Step {
    std::vector<std::string> args;
    int status;
    const char* says;  // on stderr
  };
  const Step steps[] = {
      {{"blacklist", "add", "joe@spam.example", "@spam.example"}, 0, "Item Added To Blacklist"},
      {{"blacklist", "add", "JOE@Spam.Example"}, 1, "This MailId Already Exists in BlackList"},
      {{"blacklist", "add", "spam.example"}, 1, "an address or a domain?"},
      {{"blacklist", "add", "--domain", "@SPAM.example"}, 1, "This Domain Already Exists"},
      {{"blacklist", "add", "--address", "--domain", "x@y"}, 1, "not both"},
      {{"blacklist", "add", "caf\xC3\xA9@x.example"}, 0, "Item Added To Blacklist"},
      {{"blacklist", "add", "\xD0\xB6@x.example"}, 1, "cannot hold"},
      {{"blacklist", "add", std::string(260, 'a') + "@x"}, 1, "longer than 259"},
      {{"blacklist", "update", "joe@spam.example", "ann@spam.example"}, 0, "Item Updated"},
      {{"blacklist", "update", "nobody@x", "b@x"}, 1, "is not in the black list"},
      {{"blacklist", "remove", "@spam.example"}, 1, "not asked"},
      {{"--yes", "blacklist", "remove", "@spam.example"}, 0, "Item Removed From BlackList"},
      {{"whitelist", "add", "friend@home.example"}, 0, "Item Added To WhiteList"},
      {{"whitelist", "frobnicate"}, 1, "unknown action"},
  };
  for (const Step& step : steps) {
    const Outcome run = Varnox(step.args);
    EXPECT_EQ(run.status, step.status) << step.says << "\n" << run.err;
    EXPECT_NE(run.err.find(step.says), std::string::npos) << step.says << ": " << run.err;
  }
  Outcome run = Varnox({"blacklist"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "Addresses:\n  ann@spam.example\n  caf\xC3\xA9@x.example\nDomains: none\n");
  run = Varnox({"whitelist", "list", "--address"});
  EXPECT_EQ(run.out, "friend@home.example\n");
  // The file holds the entry in code page 1252, as the Windows add-in keeps it.
  EXPECT_NE(Slurp(Data("blacklist.xml")).find("caf\xE9@x.example"), std::string::npos);
}

TEST_F(VarnoxListsAndSettingsTest, AListFileThatCannotBeReadIsSaidAndLeftAlone) {
  const struct {
    const char* name;
    const char* contents;  // null: no file
    const char* says;
  } kFiles[] = {
      {"missing", nullptr, "there is no black list file"},
      {"not XML", "this is not a list", "cannot be read or is not a list file"},
      {"cut short", "<BlackList><Address>a@b</Addr", "cannot be read or is not a list file"},
  };
  for (const auto& file : kFiles) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"blacklist"},
          {"blacklist", "add", "joe@spam.example"},
          {"--yes", "blacklist", "remove", "joe@spam.example"}}) {
      fs::remove(Data("blacklist.xml"));
      if (file.contents != nullptr)
        std::ofstream(Data("blacklist.xml"), std::ios::binary) << file.contents;
      const Outcome run = Varnox(args);
      EXPECT_EQ(run.status, 1) << file.name << " " << args.back();
      EXPECT_NE(run.err.find(file.says), std::string::npos) << file.name << ": " << run.err;
      EXPECT_EQ(run.err.find("could not be written"), std::string::npos) << run.err;
      EXPECT_EQ(run.out, "") << file.name;
      EXPECT_EQ(fs::exists(Data("blacklist.xml")), file.contents != nullptr);
      if (file.contents != nullptr) {
        EXPECT_EQ(Slurp(Data("blacklist.xml")), file.contents) << file.name;
      }
    }
  }
}

TEST_F(VarnoxListsAndSettingsTest, ADomainGivenWithoutItsSignIsStoredWithIt) {
  Outcome run = Varnox({"blacklist", "add", "--domain", "cheapmeds.example"});
  ASSERT_EQ(run.status, 0) << run.err;
  run = Varnox({"blacklist", "add", "--domain", "@CheapMeds.example"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("This Domain Already Exists"), std::string::npos) << run.err;
  run = Varnox({"blacklist", "update", "--domain", "@cheapmeds.example", "pills.example"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(Varnox({"blacklist", "list", "--domain"}).out, "@pills.example\n");
}

TEST_F(VarnoxListsAndSettingsTest, ChangesMadeAtOnceAreAllKept) {
  std::vector<std::vector<std::string>> runs;
  for (int i = 0; i < 10; ++i)
    runs.push_back({"blacklist", "add", "sender" + std::to_string(i) + "@spam.example"});
  for (const Outcome& run : VarnoxTogether(runs))
    EXPECT_EQ(run.status, 0) << run.err;
  const std::string listed = Varnox({"blacklist", "list", "--address"}).out;
  for (int i = 0; i < 10; ++i)
    EXPECT_NE(listed.find("sender" + std::to_string(i) + "@spam.example\n"), std::string::npos)
        << listed;
  EXPECT_EQ(std::count(listed.begin(), listed.end(), '\n'), 10) << listed;
}

TEST_F(VarnoxListsAndSettingsTest, SettingsAreShownAndSetThroughTheSettingsDialog) {
  Outcome run = Varnox({"settings", "set", "beepatspam", "on", "AskNotSpamFolder", "off"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("BeepAtSpam              on "), std::string::npos) << run.out;
  run = Varnox({"status"});
  EXPECT_NE(run.out.find("BeepAtSpam              on"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("NotSpamFolderName       Inbox"), std::string::npos) << run.out;

  struct Step {
    std::vector<std::string> args;
    const char* says;
  };
  const Step bad[] = {
      {{"settings", "set", "Loudness", "on"}, "there is no setting 'Loudness'"},
      {{"settings", "set", "BeepAtSpam", "yes"}, "say on or off"},
      {{"settings", "set", "BeepAtSpam"}, "NAME on|off pairs"},
      {{"settings", "reset"}, "unknown settings action"},
  };
  for (const Step& step : bad) {
    run = Varnox(step.args);
    EXPECT_EQ(run.status, 1) << step.says;
    EXPECT_NE(run.err.find(step.says), std::string::npos) << step.says << ": " << run.err;
  }

  // Without a terminal, settings alone shows.
  run = Varnox({"settings"});
  EXPECT_EQ(run.status, 0);
  // The settings, then the word count last.
  EXPECT_NE(run.out.find("LearnFromMoves          off  watch learns"), std::string::npos)
      << run.out;
  EXPECT_TRUE(run.out.ends_with("\nTotal Words in Bayesian Database : 0\n")) << run.out;

  fs::permissions(home / ".config/varnox", fs::perms::owner_read | fs::perms::owner_exec);
  run = Varnox({"settings", "set", "BeepAtSpam", "off"});
  fs::permissions(home / ".config/varnox", fs::perms::owner_all);
  if (::geteuid() != 0) {  // root writes anyway
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("could not be written"), std::string::npos) << run.err;
  }
}

TEST_F(VarnoxListsAndSettingsTest, EmptyingAsksAndStatsCount) {
  fs::create_directory(home / "mail");
  std::vector<std::string> learn = {"learn", "--spam"};
  for (int i = 0; i < 3; ++i) {
    learn.push_back((home / "mail" / std::to_string(i)).string());
    std::ofstream(learn.back()) << "Cheap pills\nbuy cheap pills now\n";
  }
  ASSERT_EQ(Varnox(learn).status, 0);
  Outcome run = Varnox({"stats"});
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.out.find("Words           4\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("Spam messages   3\nGood messages   0\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find(Data("words.db").string() + " ("), std::string::npos) << run.out;
  EXPECT_EQ(run.out.find("Second judge"), std::string::npos) << "never switched on: " << run.out;

  run = Varnox({"settings", "empty"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("was not emptied"), std::string::npos) << run.err;
  EXPECT_NE(Varnox({"stats"}).out.find("Words           4\n"), std::string::npos);
  run = Varnox({"--yes", "settings", "empty"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.err.find("Database Empty"), std::string::npos) << run.err;
  EXPECT_NE(Varnox({"stats"}).out.find("Words           0\n"), std::string::npos);
}

TEST_F(VarnoxListsAndSettingsTest, JudgingAndCountingWriteNothing) {
  fs::create_directory(home / "mail");
  const std::string message = (home / "mail/m").string();
  std::ofstream(message) << "Subject\nsome words to learn\n";
  ASSERT_EQ(Varnox({"learn", "--good", message}).status, 0);
  std::ofstream(Data("ignore.txt")) << "zeta\nalpha\n";  // unsorted: a save would sort it
  const auto stamp = fs::last_write_time(Data("words.db"));
  const std::string words = Slurp(Data("words.db"));
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"classify", message}, {"stats"}, {"settings"}}) {
    EXPECT_EQ(Varnox(args).status, 0) << args[0];
  }
  EXPECT_EQ(Slurp(Data("words.db")), words);
  EXPECT_EQ(fs::last_write_time(Data("words.db")), stamp);
  EXPECT_EQ(Slurp(Data("ignore.txt")), "zeta\nalpha\n");
}

TEST_F(VarnoxListsAndSettingsTest, BeforeAnythingIsLearnedReadingMakesNoWordDatabase) {
  fs::create_directory(home / "mail");
  const std::string message = (home / "mail/m").string();
  std::ofstream(message) << "Subject\nsome words\n";
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"classify", message}, {"stats"}, {"settings"}}) {
    EXPECT_EQ(Varnox(args).status, 0) << args[0];
    EXPECT_FALSE(fs::exists(Data("words.db"))) << args[0];
  }
  EXPECT_NE(Varnox({"stats"}).out.find("(missing)\nWords           0\n"), std::string::npos);
}

TEST_F(VarnoxListsAndSettingsTest, ASecondOwnerOfTheDatabaseIsToldWhoHoldsIt) {
  fs::create_directory(home / "mail");
  const std::string message = (home / "mail/m").string();
  std::ofstream(message) << "Subject\nsome words\n";
  std::string refusal;
  auto lock = watch::DatabaseLock::Take(Data("words.db").string(), "varnox watch", &refusal);
  ASSERT_NE(lock, nullptr) << refusal;
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"learn", "--spam", message}, {"--yes", "settings", "empty"}}) {
    const Outcome run = Varnox(args);
    EXPECT_EQ(run.status, 1) << args[0];
    EXPECT_NE(
        run.err.find("is in use by `varnox watch` (process " + std::to_string(::getpid()) + ")"),
        std::string::npos)
        << run.err;
  }
  EXPECT_FALSE(fs::exists(Data("words.db"))) << "nothing was learned";
  EXPECT_EQ(Varnox({"classify", message}).status, 0) << "judging needs no lock";
  lock.reset();
  EXPECT_EQ(Varnox({"learn", "--spam", message}).status, 0);
}

TEST(DatabaseLockTest, OneHolderAtATimeAndHolderLinesAreReadSafely) {
  const fs::path dir = fs::temp_directory_path() / ("varnox-lock-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const std::string words = (dir / "words.db").string();
  std::string refusal;
  auto first = watch::DatabaseLock::Take(words, "varnox learn", &refusal);
  ASSERT_NE(first, nullptr) << refusal;
  EXPECT_EQ(Slurp(words + ".lock"), std::to_string(::getpid()) + " varnox learn\n");
  EXPECT_EQ(watch::DatabaseLock::Take(words, "varnox train", &refusal), nullptr);
  EXPECT_NE(refusal.find("`varnox learn` (process "), std::string::npos) << refusal;
  first.reset();

  // Whatever a damaged lock file holds is shown harmlessly.
  const struct {
    std::string contents;
    const char* says;
  } cases[] = {{"", "in use by another process"},
               {"12x varnox\n", "in use by another process"},
               {"42\n", "in use by process 42;"},
               {"42 varnox \x1B[2J watch", "`varnox ?[2J watch` (process 42)"}};
  for (const auto& c : cases) {
    auto holder = watch::DatabaseLock::Take(words, "x", &refusal);
    ASSERT_NE(holder, nullptr);
    std::ofstream(words + ".lock", std::ios::trunc) << c.contents;
    EXPECT_EQ(watch::DatabaseLock::Take(words, "y", &refusal), nullptr);
    EXPECT_NE(refusal.find(c.says), std::string::npos) << refusal;
  }
  EXPECT_EQ(watch::DatabaseLock::Take((dir / "no/such/words.db").string(), "x", &refusal), nullptr);
  EXPECT_NE(refusal.find("cannot use the lock file"), std::string::npos) << refusal;
  fs::remove_all(dir);
}

TEST_F(VarnoxListsAndSettingsTest, InformationCommands) {
  Outcome run = Varnox({"about"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out.rfind("Varnox v1.2\n\n", 0), 0u) << run.out;
  EXPECT_NE(run.out.find("Help: varnox --help and varnox help; support: varnox support."),
            std::string::npos)
      << run.out;
  EXPECT_EQ(run.out.find("Settings menu"), std::string::npos) << run.out;
  run = Varnox({"help", "stats"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out.rfind("Usage: varnox stats", 0), 0u) << run.out;
  // No xdg-open on this PATH: the installed page's path is printed instead,
  // and the page is there, made from docs/.
  env[1] = "PATH=" + (home / "empty").string();
  for (const char* page : {"help", "support"}) {
    run = Varnox({page});
    EXPECT_EQ(run.status, 0);
    const std::string path =
        (fs::path(VARNOX_BINARY).parent_path() / (std::string(page) + ".html")).string();
    EXPECT_EQ(run.err, "Open this page in your web browser: " + path + "\n");
    EXPECT_TRUE(fs::is_regular_file(path)) << path;
  }
  // A copy of the program without its pages has nothing to open: it says
  // so and fails.
  fs::create_directory(home / "bin");
  program = home / "bin/varnox";
  fs::copy_file(VARNOX_BINARY, program);
  for (const char* page : {"help", "support"}) {
    run = Varnox({page});
    EXPECT_EQ(run.status, 1) << page;
    const std::string path = (home / "bin" / page).string() + ".html";
    EXPECT_EQ(run.err.rfind("The page " + path + " is missing.", 0), 0u) << run.err;
  }
}

}  // namespace
}  // namespace varnox
