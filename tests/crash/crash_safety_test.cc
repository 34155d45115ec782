// Crash safety: a child process rewrites one of the system's files in a loop
// and is killed (SIGKILL) at a random moment (every other kill aimed inside
// the write of the temporary copy), again and again; after every
// kill the file must be the old one or the new one and load cleanly, and no
// message file may be lost, doubled or torn. Then the same writes with the
// disk full and with the folder read-only: refused, the old data intact.
//
// VARNOX_CRASH_KILLS sets the kills per file (default 60, so 240 in all) and
// VARNOX_CRASH_SCALE multiplies the sizes (default 1) for the long runs.
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <thread>

#include "tests/crash/crash_writers.h"

namespace varnox::crash {
namespace {

int EnvInt(const char* name, int fallback) {
  const char* value = std::getenv(name);
  return value != nullptr && std::atoi(value) > 0 ? std::atoi(value) : fallback;
}

class TempDir {
 public:
  TempDir() {
    std::string made = (std::filesystem::temp_directory_path() / "varnox-crash-XXXXXX").string();
    if (::mkdtemp(made.data()) != nullptr)
      path_ = made;
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

enum class Kind { kDatabase, kList, kSettings, kMessages };

std::unique_ptr<Writer> MakeWriter(Kind kind, const std::string& dir) {
  const int scale = EnvInt("VARNOX_CRASH_SCALE", 1);
  switch (kind) {
    case Kind::kDatabase:
      return MakeDatabaseWriter(dir, 15000 * scale);
    case Kind::kList:
      return MakeListWriter(dir, 5000 * scale);
    case Kind::kSettings:
      return MakeSettingsWriter(dir, 4000 * scale);
    case Kind::kMessages:
      return MakeMessageWriter(dir, 8, 256 * 1024 * scale);
  }
  return nullptr;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Every regular file under `dir` with its bytes, to compare before and after.
std::map<std::string, std::string> Snapshot(const std::string& dir) {
  std::map<std::string, std::string> files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(dir))
    if (entry.is_regular_file())
      files[entry.path().string()] = ReadFile(entry.path().string());
  return files;
}

// How long one write takes here, so that the kills are spread over a few
// writes whatever the machine's speed.
std::chrono::microseconds TimeOneWrite(Writer& writer) {
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < 2; ++i)
    writer.WriteOnce();
  return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() -
                                                               start) /
         2;
}

class KillTest : public ::testing::TestWithParam<Kind> {};

TEST_P(KillTest, FileIsOldOrNewAfterEveryKill) {
  TempDir dir;
  ASSERT_FALSE(dir.path().empty());
  std::unique_ptr<Writer> writer = MakeWriter(GetParam(), dir.path());
  ASSERT_EQ(writer->Check(), "");
  const auto write_time = TimeOneWrite(*writer);
  ASSERT_EQ(writer->Check(), "");

  const int kills = EnvInt("VARNOX_CRASH_KILLS", 60);
  std::mt19937 random(12345u + static_cast<unsigned>(GetParam()));
  // From before the child's first write to three writes in.
  std::uniform_int_distribution<long> delay(0, 3 * write_time.count() + 2000);
  std::uniform_int_distribution<long> aimed(0, 5000);
  int inside_a_write = 0;
  for (int kill = 0; kill < kills; ++kill) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0)
      writer->WriteForever();
    if (kill % 2 == 0) {
      std::this_thread::sleep_for(std::chrono::microseconds(delay(random)));
    } else {
      // Aimed: once the child has begun writing its temporary copy, a random
      // moment of that write (most of a save is spent building the text).
      const auto give_up = std::chrono::steady_clock::now() + 3 * write_time;
      while (!writer->Writing() && std::chrono::steady_clock::now() < give_up)
        std::this_thread::yield();
      std::this_thread::sleep_for(std::chrono::microseconds(aimed(random)));
    }
    ASSERT_EQ(::kill(child, SIGKILL), 0);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
    const std::string wrong = writer->Check();
    ASSERT_EQ(wrong, "") << writer->name() << ", after kill " << kill + 1;
    // A temporary copy left over means the kill cut a write short.
    if (writer->RemoveLeftovers() > 0)
      ++inside_a_write;
  }
  std::cout << "[ kills    ] " << writer->name() << ": " << kills << " kills survived, "
            << inside_a_write << " inside a write (one write takes " << write_time.count() << " us)"
            << (writer->Summary().empty() ? "" : "; " + writer->Summary()) << "\n";
  RecordProperty("kills", kills);
  RecordProperty("inside_a_write", inside_a_write);
  EXPECT_GT(inside_a_write, 0) << "no kill landed inside a write: the test proved nothing";
}

// --- Refused writes: the disk full, the folder read-only ----------------------

// What a child that tried one write reports through its exit status.
enum ChildResult : int {
  kRefusedAndIntact = 0,
  kWriteClaimedSuccess = 1,
  kDataChanged = 2,
  kNoSuchSetting = 3,  // the file system could not be arranged (no mounts here)
  kMessageMissing = 4,
};

// Runs `arrange` then one write in a child process; the child checks that the
// write was refused and every file of the folder is as it was after `arrange`.
int TryWriteInChild(Writer& writer, const std::string& expected_message,
                    const std::function<bool()>& arrange) {
  const pid_t child = ::fork();
  if (child == 0) {
    if (!arrange())
      ::_exit(kNoSuchSetting);
    const auto before = Snapshot(writer.folder());
    if (writer.WriteOnce())
      ::_exit(kWriteClaimedSuccess);
    if (Snapshot(writer.folder()) != before)
      ::_exit(kDataChanged);
    if (writer.LastMessage() != expected_message)
      ::_exit(kMessageMissing);
    ::_exit(kRefusedAndIntact);
  }
  int status = 0;
  if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status))
    return -1;
  return WEXITSTATUS(status);
}

std::string ExpectedMessage(Kind kind, const std::string& dir) {
  // The database save is the one write that tells the user itself; the
  // others are told by their callers (list dialogs, settings dialog).
  return kind == Kind::kDatabase
             ? "Bayesian Plugin Error: Cannot save database (" + dir + "/words.db)"
             : "";
}

// A private mount namespace, so that nothing mounted here is seen outside
// the child.
bool PrivateMounts() {
  return ::unshare(CLONE_NEWNS) == 0 &&
         ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
}

class RefusedWriteTest : public ::testing::TestWithParam<Kind> {
 protected:
  void SetUp() override {
    ASSERT_FALSE(dir_.path().empty());
    writer_ = MakeWriter(GetParam(), dir_.path());
    ASSERT_EQ(writer_->Check(), "");
  }
  std::string Expected() const { return ExpectedMessage(GetParam(), dir_.path()); }
  TempDir dir_;
  std::unique_ptr<Writer> writer_;
};

TEST_P(RefusedWriteTest, FileSizeLimitRefusesTheWriteAndKeepsTheOldFile) {
  const int result = TryWriteInChild(*writer_, Expected(), [] {
    // ulimit -f: writing past 4 KiB fails with EFBIG instead of killing.
    ::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{4096, 4096};
    return ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
  });
  EXPECT_EQ(result, kRefusedAndIntact);
  EXPECT_EQ(writer_->Check(), "");
}

TEST_P(RefusedWriteTest, FullFileSystemRefusesTheWriteAndKeepsTheOldFile) {
  const std::string folder = writer_->folder();
  const int result = TryWriteInChild(*writer_, Expected(), [&] {
    // The folder's files moved onto a small tmpfs mounted over it, then the
    // rest of the tmpfs filled.
    const auto files = Snapshot(folder);
    std::uintmax_t total = 0;
    for (const auto& [path, bytes] : files)
      total += bytes.size();
    const std::string size = "size=" + std::to_string(total + 64 * 1024);
    if (!PrivateMounts() || ::mount("tmpfs", folder.c_str(), "tmpfs", 0, size.c_str()) != 0)
      return false;
    for (const auto& [path, bytes] : files) {
      std::filesystem::create_directories(std::filesystem::path(path).parent_path());
      std::ofstream(path, std::ios::binary) << bytes;
      ::chmod(path.c_str(), 0600);
    }
    std::ofstream filler(folder + "/filler", std::ios::binary);
    const std::string block(4096, 'f');
    while (filler.write(block.data(), block.size()))
      filler.flush();
    return true;
  });
  if (result == kNoSuchSetting)
    GTEST_SKIP() << "no tmpfs can be mounted here; the file size limit stands in for a full disk";
  EXPECT_EQ(result, kRefusedAndIntact);
  EXPECT_EQ(writer_->Check(), "");
}

TEST_P(RefusedWriteTest, ReadOnlyFolderRefusesTheWriteAndKeepsTheOldFile) {
  const std::string folder = writer_->folder();
  const int result = TryWriteInChild(*writer_, Expected(), [&] {
    if (::geteuid() != 0)
      return ::chmod(folder.c_str(), 0500) == 0;
    // As root, permissions stop nothing: a read-only bind mount of the folder.
    if (PrivateMounts() &&
        ::mount(folder.c_str(), folder.c_str(), nullptr, MS_BIND | MS_REC, nullptr) == 0 &&
        ::mount(nullptr, folder.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) == 0)
      return true;
    // No mounts: a user that is not root, on a folder it may only read.
    return ::chmod(folder.c_str(), 0755) == 0 && ::setgid(65534) == 0 && ::setuid(65534) == 0;
  });
  ::chmod(folder.c_str(), 0700);
  EXPECT_EQ(result, kRefusedAndIntact);
  EXPECT_EQ(writer_->Check(), "");
}

std::string KindName(const ::testing::TestParamInfo<Kind>& info) {
  static const char* const kNames[] = {"WordDatabase", "SenderList", "SettingsFile",
                                       "MessageHeaders"};
  return kNames[static_cast<int>(info.param)];
}

INSTANTIATE_TEST_SUITE_P(Files, KillTest,
                         ::testing::Values(Kind::kDatabase, Kind::kList, Kind::kSettings,
                                           Kind::kMessages),
                         KindName);
INSTANTIATE_TEST_SUITE_P(Files, RefusedWriteTest,
                         ::testing::Values(Kind::kDatabase, Kind::kList, Kind::kSettings,
                                           Kind::kMessages),
                         KindName);

}  // namespace
}  // namespace varnox::crash
