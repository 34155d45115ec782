// Runs the built `varnox` program with HOME and XDG_* pointed at a fresh
// folder, as a user would run it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "linux/settings_file_registry.h"
#include "settings/settings_store.h"

namespace varnox {
namespace {

namespace fs = std::filesystem;

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
};

std::string Slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

class VarnoxCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "varnox-cli-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    home = pattern;
    env = {"HOME=" + home.string(), "PATH=/usr/bin:/bin", "LC_ALL=C.UTF-8"};
  }
  void TearDown() override { fs::remove_all(home); }

  fs::path Data(const char* name) const { return home / ".local/share/varnox" / name; }
  fs::path Settings() const { return home / ".config/varnox/settings.ini"; }

  Outcome Varnox(std::vector<std::string> args) {
    args.insert(args.begin(), VARNOX_BINARY);
    std::vector<char*> argv;
    for (std::string& a : args)
      argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (std::string& e : env)
      envp.push_back(e.data());
    envp.push_back(nullptr);
    const std::string out = (home / "stdout").string(), err = (home / "stderr").string();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    Outcome run;
    pid_t pid;
    if (::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) == 0) {
      int status = 0;
      ::waitpid(pid, &status, 0);
      run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    posix_spawn_file_actions_destroy(&actions);
    run.out = Slurp(out);
    run.err = Slurp(err);
    fs::remove(out);
    fs::remove(err);
    return run;
  }

  fs::path home;
  std::vector<std::string> env;
};

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

TEST_F(VarnoxCommandTest, InitRefusesToReplaceWithoutForce) {
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

  run = Varnox({"init", "--force"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(Slurp(Data("blacklist.xml")), "<BlackList />\n");
  EXPECT_EQ(Slurp(Data("words.db")), "learned") << "the word database is kept";
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
  EXPECT_NE(run.out.find(meeting + ": Clean, score "), std::string::npos) << run.out;
  EXPECT_NE(run.out.find(foreign + ": Spam, non-English characters\n"), std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find(empty + ": Clean, score 0\n    (no words)\n"), std::string::npos)
      << run.out;
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
      {{"classify"}, "needs the files"},
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
  EXPECT_NE(run.out.find(message + ": Clean"), std::string::npos) << "the others are judged";
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
  const std::string nowhere = (home / "no/such/folder/words.db").string();
  std::ofstream(Settings(), std::ios::trunc)
      << "[Software\\Varnox MSOutlook]\n\"WordFilePath\"=\"" << nowhere << "\"\n";
  const Outcome run = Varnox({"learn", "--spam", message});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("Bayesian Plugin Error: Cannot save database (" + nowhere + ")"),
            std::string::npos)
      << run.err;
  EXPECT_NE(run.err.find("could not be saved"), std::string::npos) << run.err;
}

}  // namespace
}  // namespace varnox
