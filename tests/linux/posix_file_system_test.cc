#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
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

}  // namespace
}  // namespace varnox
