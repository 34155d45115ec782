// The POSIX file seam: the contract every real file system keeps
// (file_system_contract_test.cc), and what is Linux's own: modes and folder
// permissions.
#include <gtest/gtest.h>
#include <signal.h>
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
#include <vector>

#include "platform/file_system.h"
#include "tests/platform/file_system_contract.h"

namespace varnox {
namespace {

namespace fs = std::filesystem;
using testing::FileSystemContract;

// A folder under the temporary folder; names are the bytes of the file
// names, so code page 1252 names are written as such.
class PosixFileSystemUnderTest final : public testing::FileSystemUnderTest {
 public:
  PosixFileSystemUnderTest() {
    std::string pattern = (fs::temp_directory_path() / "varnox-fs-XXXXXX").string();
    EXPECT_NE(::mkdtemp(pattern.data()), nullptr);
    folder_ = pattern;
  }
  ~PosixFileSystemUnderTest() override {
    for (const pid_t child : children_) {
      ::kill(child, SIGKILL);
      ::waitpid(child, nullptr, 0);
    }
    Allow();
    ::chmod(folder_.c_str(), 0700);
    fs::remove_all(folder_);
  }

  FileSystem& files() override { return RealFileSystem(); }
  std::string Folder() override { return folder_; }
  std::string Path(std::string_view name) override { return folder_ + "/" + std::string(name); }

  void MakeFolder(std::string_view name) override { ASSERT_TRUE(fs::create_directory(Path(name))); }
  void WriteRaw(std::string_view name, std::string_view contents, int age_seconds) override {
    const std::string path = Path(name);
    std::ofstream(path, std::ios::binary) << contents;
    const struct timeval written = {::time(nullptr) - age_seconds, 0};
    const struct timeval times[2] = {written, written};
    ASSERT_EQ(::utimes(path.c_str(), times), 0) << path;
  }
  std::set<std::string> Names() override {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder_))
      names.insert(entry.path().filename().string());
    return names;
  }
  // A file-size limit of nothing makes every write fail as a full disk
  // would, for root too.
  bool Refuse(std::string_view) override {
    if (refused_ || ::getrlimit(RLIMIT_FSIZE, &saved_limit_) != 0)
      return false;
    saved_signal_ = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit none = saved_limit_;
    none.rlim_cur = 0;
    refused_ = ::setrlimit(RLIMIT_FSIZE, &none) == 0;
    if (!refused_)
      std::signal(SIGXFSZ, saved_signal_);
    return refused_;
  }
  void Allow() override {
    if (!refused_)
      return;
    ::setrlimit(RLIMIT_FSIZE, &saved_limit_);
    std::signal(SIGXFSZ, saved_signal_);
    refused_ = false;
  }

  // Ended and reaped: its id names no process.
  unsigned long EndedProcess() override {
    const pid_t child = ::fork();
    if (child == 0)
      ::_exit(0);
    ::waitpid(child, nullptr, 0);
    return static_cast<unsigned long>(child);
  }
  unsigned long LiveProcess() override {
    const pid_t child = ::fork();
    if (child == 0) {
      ::pause();
      ::_exit(0);
    }
    children_.push_back(child);
    return static_cast<unsigned long>(child);
  }
  unsigned long OwnProcess() override { return static_cast<unsigned long>(::getpid()); }

 private:
  std::string folder_;
  std::vector<pid_t> children_;
  bool refused_ = false;
  struct rlimit saved_limit_ = {};
  void (*saved_signal_)(int) = SIG_DFL;
};

std::unique_ptr<testing::FileSystemUnderTest> MakePosixFileSystem() {
  return std::make_unique<PosixFileSystemUnderTest>();
}
INSTANTIATE_TEST_SUITE_P(Posix, FileSystemContract, ::testing::Values(&MakePosixFileSystem),
                         testing::FileSystemMakerName);

class PosixFileSystemTest : public ::testing::Test {
 protected:
  PosixFileSystemUnderTest scratch;
  FileSystem& files = RealFileSystem();
};

TEST_F(PosixFileSystemTest, NewFilesAreForTheUserOnly) {
  const std::string path = scratch.Path("list.xml");
  ASSERT_TRUE(files.ReplaceWholeFile(path, "<List/>"));
  struct stat st;
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(PosixFileSystemTest, AReplacedFileKeepsItsMode) {
  const std::string path = scratch.Path("list.xml");
  ASSERT_TRUE(files.ReplaceWholeFile(path, "<List/>"));
  ASSERT_EQ(::chmod(path.c_str(), 0640), 0);  // the user let the group read it
  ASSERT_TRUE(files.ReplaceWholeFile(path, "<List></List>"));
  struct stat st;
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
}

TEST_F(PosixFileSystemTest, ReadOnlyFolderKeepsTheOldFile) {
  const std::string path = scratch.Path("settings");
  ASSERT_TRUE(files.ReplaceWholeFile(path, "old"));
  if (::geteuid() == 0)
    GTEST_SKIP() << "root ignores folder permissions";
  ASSERT_EQ(::chmod(scratch.Folder().c_str(), 0500), 0);
  EXPECT_FALSE(files.ReplaceWholeFile(path, "new"));
  ::chmod(scratch.Folder().c_str(), 0700);
  std::string read;
  ASSERT_TRUE(files.ReadWholeFile(path, &read));
  EXPECT_EQ(read, "old");
}

}  // namespace
}  // namespace varnox
