// `varnox eval` end to end: the built program run on data/eval/, as a user
// would run it, with HOME pointed at an empty folder (eval needs no
// settings and writes nothing there).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace varnox::eval {
namespace {

namespace fs = std::filesystem;

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
};

std::string Slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

class EvalCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "varnox-evalcmd-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    home = pattern;
    fs::create_directories(home / "bin");
    path = (home / "bin").string() + ":/usr/bin:/bin";
  }
  void TearDown() override { fs::remove_all(home); }

  // A gnuplot of our own, first on PATH: it records its working directory
  // and arguments, then exits with `status`.
  void FakeGnuplot(int status) {
    const fs::path fake = home / "bin/gnuplot";
    std::ofstream(fake) << "#!/bin/sh\npwd > \"" << (home / "gnuplot-ran").string()
                        << "\"\necho \"$@\" >> \"" << (home / "gnuplot-ran").string() << "\"\nexit "
                        << status << "\n";
    fs::permissions(fake, fs::perms::owner_all);
  }

  Outcome Varnox(std::vector<std::string> args) {
    args.insert(args.begin(), {VARNOX_BINARY, "eval"});
    std::vector<char*> argv;
    for (std::string& arg : args)
      argv.push_back(arg.data());
    argv.push_back(nullptr);
    std::vector<std::string> env = {"HOME=" + home.string(), "PATH=" + path, "LC_ALL=C.UTF-8"};
    std::vector<char*> envp;
    for (std::string& e : env)
      envp.push_back(e.data());
    envp.push_back(nullptr);
    const std::string out = (home / "out").string(), err = (home / "err").string();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    Outcome run;
    pid_t pid = 0;
    if (::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) == 0) {
      int status = 0;
      ::waitpid(pid, &status, 0);
      run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    posix_spawn_file_actions_destroy(&actions);
    run.out = Slurp(out);
    run.err = Slurp(err);
    return run;
  }

  static std::string Data(const char* name) {
    return std::string(std::getenv("VARNOX_TEST_DATA")) + "/eval/" + name;
  }

  fs::path home;
  std::string path;
};

TEST_F(EvalCommandTest, BadArgumentsExitOne) {
  const std::string good = Data("good"), spam = Data("spam");
  const struct {
    std::vector<std::string> args;
    std::string says;
  } cases[] = {
      {{}, "eval needs folders of spam"},
      {{"--spam", spam}, "eval needs folders of spam"},
      {{good, "--spam", spam}, "'" + good + "' follows no option that names folders"},
      {{"--spam", spam, "--good", good, "--folds"}, "--folds needs a value"},
      {{"--spam", spam, "--good", good, "--folds", "1"}, "from 2 to 1000, not '1'"},
      {{"--spam", spam, "--good", good, "--folds", "1001"}, "not '1001'"},
      {{"--spam", spam, "--good", good, "--folds", "3x"}, "not '3x'"},
      {{"--spam", spam, "--good", good, "--split", "halves"}, "only even-odd, not 'halves'"},
      {{"--spam", spam, "--good", good, "--folds", "3", "--split", "even-odd"}, "give one of"},
      {{"--spam", spam, "--good", good, "--report", "a", "--report", "b"},
       "--report is given twice"},
      {{"--spam", spam, "--good", good, "--frob"}, "unknown option '--frob'"},
      // After a value, the group ends: a folder must be named again.
      {{"--spam", spam, "--folds", "3", good}, "follows no option that names folders"},
      // Given halves.
      {{"--train-good", good, "--train-spam", spam, "--test-good", good, "--spam", spam},
       "give either --spam and --good, or the halves"},
      {{"--train-good", good, "--train-spam", spam, "--test-spam", spam, "--folds", "2"},
       "--folds and --split do not go with them"},
      {{"--train-good", good, "--test-good", good, "--test-spam", spam},
       "the training half is empty"},
      {{"--train-good", good, "--train-spam", spam}, "the test half is empty"},
      {{"--train-good", good, "--train-spam", spam, "--test-good", good}, good + " is given twice"},
      {{"--spam", spam, "--good", (home / "none").string()}, "none: no such directory"},
  };
  for (const auto& c : cases) {
    const Outcome run = Varnox(c.args);
    EXPECT_EQ(run.status, 1) << c.says;
    EXPECT_NE(run.err.find(c.says), std::string::npos) << c.says << "\n" << run.err;
    EXPECT_TRUE(run.out.empty()) << run.out;
  }
  EXPECT_FALSE(fs::exists(home / ".config")) << "eval never makes settings";
  EXPECT_FALSE(fs::exists(home / ".local")) << "eval never makes a word database";
}

TEST_F(EvalCommandTest, PrintsTheSummary) {
  const Outcome run = Varnox({"--good", Data("good"), "--spam", Data("spam"), "--folds", "2"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("Split: 2 folds"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("false positives"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("g7.eml (score "), std::string::npos) << run.out;
  EXPECT_EQ(run.err, "") << "no progress when standard error is not a terminal";
  EXPECT_FALSE(fs::exists(home / ".local"));
}

TEST_F(EvalCommandTest, GivenHalvesAreOneRoundOfTheirOwn) {
  FakeGnuplot(0);
  const fs::path later = home / "spam-later";
  fs::create_directories(later);
  fs::copy_file(Data("spam") + "/s1.eml", later / "s1.eml");
  const fs::path report = home / "report";
  const Outcome run = Varnox({"--train-good", Data("good"), "--train-spam", Data("spam"),
                              "--test-spam", later.string(), "--report", report.string()});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("Split: given halves"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("spam-later, test half\n"), std::string::npos) << run.out;
  const std::string json = Slurp(report / "summary.json");
  EXPECT_NE(json.find("\"split\": \"halves\""), std::string::npos) << json;
  EXPECT_NE(json.find("\"half\": \"training\""), std::string::npos) << json;
  EXPECT_NE(json.find("\"judge_false_positives\": 0"), std::string::npos) << json;
}

TEST_F(EvalCommandTest, ReportNeedsGnuplot) {
  path = (home / "bin").string();  // nothing else on PATH
  const fs::path report = home / "report";
  const Outcome run =
      Varnox({"--good", Data("good"), "--spam", Data("spam"), "--report", report.string()});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("gnuplot-nox"), std::string::npos) << run.err;
  EXPECT_TRUE(run.out.empty()) << "refused before any work";
  EXPECT_FALSE(fs::exists(report));
}

TEST_F(EvalCommandTest, ReportWritesJsonAndRunsGnuplotInItsFolder) {
  FakeGnuplot(0);
  const fs::path report = home / "new/report";
  const Outcome run =
      Varnox({"--good", Data("good"), "--spam", Data("spam"), "--report", report.string()});
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string json = Slurp(report / "summary.json");
  EXPECT_NE(json.find("\"split\": \"even-odd\""), std::string::npos) << json;
  EXPECT_NE(json.find("\"false_negatives\": 1"), std::string::npos) << json;
  EXPECT_NE(json.find("s5.eml"), std::string::npos) << json;
  EXPECT_NE(json.find("\"learning mark\": 1"), std::string::npos) << json;
  EXPECT_TRUE(fs::exists(report / "scores.dat"));
  EXPECT_EQ(Slurp(home / "gnuplot-ran"), fs::canonical(report).string() + "\nscores.gp\n");
  EXPECT_NE(run.out.find("Report: "), std::string::npos) << run.out;
}

TEST_F(EvalCommandTest, FailingGnuplotFailsTheReport) {
  FakeGnuplot(3);
  const Outcome run = Varnox(
      {"--good", Data("good"), "--spam", Data("spam"), "--report", (home / "report").string()});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("gnuplot failed (exit status 3)"), std::string::npos) << run.err;
  EXPECT_NE(run.out.find("false negatives"), std::string::npos) << "the results are still shown";
}

TEST_F(EvalCommandTest, RealGnuplotDrawsAPicture) {
  if (!fs::exists("/usr/bin/gnuplot"))
    GTEST_SKIP() << "gnuplot is not installed (scripts/install-deps.sh tools)";
  const fs::path report = home / "report";
  const Outcome run =
      Varnox({"--good", Data("good"), "--spam", Data("spam"), "--report", report.string()});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(Slurp(report / "scores.png").substr(0, 8), "\x89PNG\r\n\x1a\n");
}

}  // namespace
}  // namespace varnox::eval
