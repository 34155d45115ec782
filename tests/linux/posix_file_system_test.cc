#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "platform/file_system.h"

namespace varnox {
namespace {

namespace fs = std::filesystem;

class PosixFileSystemTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "varnox-fs-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir = pattern;
  }
  void TearDown() override {
    ::chmod(dir.c_str(), 0700);
    fs::remove_all(dir);
  }
  std::string Path(const char* name) const { return (dir / name).string(); }

  fs::path dir;
  FileSystem& files = RealFileSystem();
};

TEST_F(PosixFileSystemTest, ReplacesAndReadsBack) {
  const std::string path = Path("words.db");
  std::string binary("a\0b\xA5\n", 5);
  ASSERT_TRUE(files.ReplaceWholeFile(path, binary));
  std::string read;
  ASSERT_TRUE(files.ReadWholeFile(path, &read));
  EXPECT_EQ(read, binary);
  ASSERT_TRUE(files.ReplaceWholeFile(path, "new"));
  ASSERT_TRUE(files.ReadWholeFile(path, &read));
  EXPECT_EQ(read, "new");
  // Nothing is left beside the file.
  int entries = 0;
  for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir))
    ++entries;
  EXPECT_EQ(entries, 1);
}

TEST_F(PosixFileSystemTest, NewFilesAreForTheUserOnly) {
  const std::string path = Path("list.xml");
  ASSERT_TRUE(files.ReplaceWholeFile(path, "<List/>"));
  struct stat st;
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(PosixFileSystemTest, DiskFullKeepsTheOldFile) {
  const std::string path = Path("settings");
  ASSERT_TRUE(files.ReplaceWholeFile(path, "old"));
  // A file-size limit makes the write fail as a full disk would.
  struct rlimit saved;
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  auto previous = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = saved;
  small.rlim_cur = 1024;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const bool replaced = files.ReplaceWholeFile(path, std::string(4096, 'n'));
  ::setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previous);
  EXPECT_FALSE(replaced);
  std::string read;
  ASSERT_TRUE(files.ReadWholeFile(path, &read));
  EXPECT_EQ(read, "old");
  int entries = 0;
  for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir))
    ++entries;
  EXPECT_EQ(entries, 1) << "the file written beside is removed";
}

TEST_F(PosixFileSystemTest, ReadOnlyFolderKeepsTheOldFile) {
  const std::string path = Path("settings");
  ASSERT_TRUE(files.ReplaceWholeFile(path, "old"));
  if (::geteuid() == 0)
    GTEST_SKIP() << "root ignores folder permissions";
  ASSERT_EQ(::chmod(dir.c_str(), 0500), 0);
  EXPECT_FALSE(files.ReplaceWholeFile(path, "new"));
  ::chmod(dir.c_str(), 0700);
  std::string read;
  ASSERT_TRUE(files.ReadWholeFile(path, &read));
  EXPECT_EQ(read, "old");
}

TEST_F(PosixFileSystemTest, MissingFolderFails) {
  EXPECT_FALSE(files.ReplaceWholeFile(Path("no/such/file"), "x"));
  EXPECT_FALSE(files.ReplaceWholeFile("", "x"));
}

TEST_F(PosixFileSystemTest, UnreadableThingsReadAsMissing) {
  std::string read = "stale";
  EXPECT_FALSE(files.ReadWholeFile(Path("absent"), &read));
  EXPECT_TRUE(read.empty());
  EXPECT_FALSE(files.ReadWholeFile(dir.string(), &read)) << "a folder is not a file";
  EXPECT_FALSE(files.Exists(Path("absent")));
}

// A process that has ended and been reaped: its id names no process.
pid_t EndedProcess() {
  const pid_t child = ::fork();
  if (child == 0)
    ::_exit(0);
  int status = 0;
  ::waitpid(child, &status, 0);
  return child;
}

TEST_F(PosixFileSystemTest, RemovesOnlyTheCopiesWhoseWriterIsGone) {
  const std::string path = Path("words.db");
  ASSERT_TRUE(files.ReplaceWholeFile(path, "data"));
  const pid_t ended = EndedProcess();
  const pid_t later = ::fork();  // alive, but started after its copy was written
  if (later == 0) {
    ::pause();
    ::_exit(0);
  }
  const auto copy = [&](const std::string& name, int age_seconds) {
    std::ofstream(Path(name.c_str())) << "part of a save";
    const struct timeval written = {::time(nullptr) - age_seconds, 0};
    const struct timeval times[2] = {written, written};
    ::utimes(Path(name.c_str()).c_str(), times);
  };
  const std::string prefix = "words.db.tmp.";
  const std::string parent = std::to_string(::getppid());
  copy(prefix + std::to_string(ended), 3600);
  copy(prefix + std::to_string(later), 3600);
  const std::set<std::string> kept = {
      "words.db",
      prefix + parent,                          // its writer may be at work
      prefix + std::to_string(::getpid()),      // ours: our next save rewrites it
      prefix + "0" + std::to_string(ended),     // not a name a writer gives
      prefix + std::to_string(ended) + "x",     //
      prefix,                                   //
      "other.db.tmp." + std::to_string(ended),  // another file's copy
  };
  for (const std::string& name : kept) {
    if (name != "words.db")
      copy(name, name == prefix + parent ? 0 : 3600);
  }

  EXPECT_EQ(files.RemoveAbandonedCopies(path), 2);
  ::kill(later, SIGKILL);
  ::waitpid(later, nullptr, 0);
  std::set<std::string> left;
  for (const auto& entry : fs::directory_iterator(dir))
    left.insert(entry.path().filename().string());
  EXPECT_EQ(left, kept);
  EXPECT_EQ(files.RemoveAbandonedCopies(Path("absent/words.db")), 0);
}

}  // namespace
}  // namespace varnox
