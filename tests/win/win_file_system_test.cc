// The Win32 file seam: reads, atomic replacement, and what a failed
// replacement leaves behind.

#include <windows.h>

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "platform/file_system.h"

namespace varnox {
namespace {

class WinFileSystemTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char temp[MAX_PATH];
    ASSERT_GT(GetTempPathA(MAX_PATH, temp), 0u);
    dir = std::string(temp) + "varnox-fs-" + std::to_string(GetCurrentProcessId()) + "-" +
          ::testing::UnitTest::GetInstance()->current_test_info()->name();
    ASSERT_TRUE(CreateDirectoryA(dir.c_str(), nullptr));
  }
  void TearDown() override {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((dir + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
      do {
        const std::string name = found.cFileName;
        if (name == "." || name == "..")
          continue;
        const std::string path = dir + "\\" + name;
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
          RemoveDirectoryA(path.c_str());
        else
          DeleteFileA(path.c_str());
      } while (FindNextFileA(search, &found));
      FindClose(search);
    }
    RemoveDirectoryA(dir.c_str());
  }
  std::string Path(const char* name) const { return dir + "\\" + name; }
  int Entries() const {
    int count = 0;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((dir + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
      return 0;
    do {
      const std::string name = found.cFileName;
      count += name != "." && name != "..";
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return count;
  }

  std::string dir;
  FileSystem& files = RealFileSystem();
};

TEST_F(WinFileSystemTest, ReplacesAndReadsBackEveryByte) {
  const std::string path = Path("words.db");
  // No text-mode translation: CR LF, NUL and bytes above 0x7F stay as they are.
  const std::string binary("a\0b\xA5\r\n\n\x1A z", 10);
  ASSERT_TRUE(files.ReplaceWholeFile(path, binary));
  std::string read;
  ASSERT_TRUE(files.ReadWholeFile(path, &read));
  EXPECT_EQ(read, binary);
  ASSERT_TRUE(files.ReplaceWholeFile(path, "new"));
  ASSERT_TRUE(files.ReadWholeFile(path, &read));
  EXPECT_EQ(read, "new");
  EXPECT_EQ(Entries(), 1) << "nothing is left beside the file";
  EXPECT_TRUE(files.Exists(path));
}

TEST_F(WinFileSystemTest, LargeAndEmptyFiles) {
  const std::string path = Path("big");
  std::string big(3 * 65536 + 17, '\0');
  for (std::size_t i = 0; i < big.size(); ++i)
    big[i] = static_cast<char>(i * 7);
  ASSERT_TRUE(files.ReplaceWholeFile(path, big));
  std::string read;
  ASSERT_TRUE(files.ReadWholeFile(path, &read));
  EXPECT_EQ(read, big);
  ASSERT_TRUE(files.ReplaceWholeFile(path, ""));
  read = "stale";
  ASSERT_TRUE(files.ReadWholeFile(path, &read));
  EXPECT_TRUE(read.empty());
}

TEST_F(WinFileSystemTest, FolderInTheWayFailsAndLeavesNothingBeside) {
  const std::string path = Path("words.db");
  ASSERT_TRUE(CreateDirectoryA(path.c_str(), nullptr));
  EXPECT_FALSE(files.ReplaceWholeFile(path, "new"));
  EXPECT_EQ(GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_DIRECTORY,
            static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
  EXPECT_EQ(Entries(), 1) << "the file written beside is removed";
}

TEST_F(WinFileSystemTest, TargetHeldOpenByAnotherKeepsTheOldFile) {
  const std::string path = Path("list.xml");
  ASSERT_TRUE(files.ReplaceWholeFile(path, "old"));
  // Another program holding the file without delete sharing blocks the rename.
  HANDLE held = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(files.ReplaceWholeFile(path, "new"));
  CloseHandle(held);
  std::string read;
  ASSERT_TRUE(files.ReadWholeFile(path, &read));
  EXPECT_EQ(read, "old");
  EXPECT_EQ(Entries(), 1);
}

TEST_F(WinFileSystemTest, MissingFolderFails) {
  EXPECT_FALSE(files.ReplaceWholeFile(Path("no\\such\\file"), "x"));
  EXPECT_FALSE(files.ReplaceWholeFile("", "x"));
  EXPECT_EQ(Entries(), 0);
}

TEST_F(WinFileSystemTest, UnreadableThingsReadAsMissing) {
  std::string read = "stale";
  EXPECT_FALSE(files.ReadWholeFile(Path("absent"), &read));
  EXPECT_TRUE(read.empty());
  read = "stale";
  EXPECT_FALSE(files.ReadWholeFile(dir, &read)) << "a folder is not a file";
  EXPECT_TRUE(read.empty());
  EXPECT_FALSE(files.Exists(Path("absent")));
}

// A process of cmd.exe: ended (and its handles closed) or held suspended.
DWORD EndedProcess() {
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info = {};
  char command[] = "cmd.exe /c exit 0";
  if (!CreateProcessA(nullptr, command, nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                      &startup, &info))
    return 0;
  WaitForSingleObject(info.hProcess, INFINITE);
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
  return info.dwProcessId;
}

PROCESS_INFORMATION SuspendedProcess() {
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info = {};
  char command[] = "cmd.exe /c exit 0";
  CreateProcessA(nullptr, command, nullptr, nullptr, FALSE, CREATE_SUSPENDED | CREATE_NO_WINDOW,
                 nullptr, nullptr, &startup, &info);
  return info;
}

TEST_F(WinFileSystemTest, RemovesOnlyTheCopiesWhoseWriterIsGoneAndNobodyHolds) {
  const std::string path = Path("words.db");
  ASSERT_TRUE(files.ReplaceWholeFile(path, "data"));
  const DWORD ended = EndedProcess();
  const DWORD ended_too = EndedProcess();
  const PROCESS_INFORMATION alive = SuspendedProcess();
  const PROCESS_INFORMATION later = SuspendedProcess();
  ASSERT_NE(ended, 0u);
  ASSERT_NE(ended_too, 0u);
  ASSERT_NE(alive.dwProcessId, 0u);
  ASSERT_NE(later.dwProcessId, 0u);
  const auto copy = [&](const std::string& name, bool old) {
    const HANDLE file = CreateFileA(Path(name.c_str()).c_str(), GENERIC_WRITE, 0, nullptr,
                                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    WriteFile(file, "part", 4, &written, nullptr);
    FILETIME time;
    GetSystemTimeAsFileTime(&time);
    if (old) {  // an hour ago
      ULARGE_INTEGER ticks{{time.dwLowDateTime, time.dwHighDateTime}};
      ticks.QuadPart -= 3600ull * 10'000'000ull;
      time = {ticks.LowPart, ticks.HighPart};
    }
    SetFileTime(file, nullptr, nullptr, &time);
    CloseHandle(file);
  };
  const std::string prefix = "words.db.tmp.";
  copy(prefix + std::to_string(ended), true);
  copy(prefix + std::to_string(later.dwProcessId), true);  // the id's process came later
  const std::string held = prefix + std::to_string(ended_too);
  const std::set<std::string> kept = {
      "words.db",
      held,                                        // its writer is gone, but it is open
      prefix + std::to_string(alive.dwProcessId),  // its writer may be at work
      prefix + std::to_string(GetCurrentProcessId()),
      prefix + "0" + std::to_string(ended),
      "other.db.tmp." + std::to_string(ended),
  };
  for (const std::string& name : kept) {
    if (name != "words.db")
      copy(name, name != prefix + std::to_string(alive.dwProcessId));
  }
  const HANDLE holder = CreateFileA(Path(held.c_str()).c_str(), GENERIC_READ, FILE_SHARE_READ,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);

  EXPECT_EQ(files.RemoveAbandonedCopies(path), 2);
  std::set<std::string> left;
  WIN32_FIND_DATAA found;
  const HANDLE search = FindFirstFileA((dir + "\\*").c_str(), &found);
  ASSERT_NE(search, INVALID_HANDLE_VALUE);
  do {
    if (std::string(found.cFileName) != "." && std::string(found.cFileName) != "..")
      left.insert(found.cFileName);
  } while (FindNextFileA(search, &found));
  FindClose(search);
  EXPECT_EQ(left, kept);

  CloseHandle(holder);
  EXPECT_EQ(files.RemoveAbandonedCopies(path), 1) << "no longer held";
  for (const PROCESS_INFORMATION& process : {alive, later}) {
    TerminateProcess(process.hProcess, 0);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
}

}  // namespace
}  // namespace varnox
