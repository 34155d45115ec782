// The Win32 file seam: the contract every real file system keeps
// (file_system_contract_test.cc), and what is Windows' own: a copy left
// beside is kept while any program has it open.

#include <windows.h>

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "platform/file_system.h"
#include "tests/platform/file_system_contract.h"

namespace varnox {
namespace {

using testing::FileSystemContract;

// Names past the seam go through the wide functions, converted from code
// page 1252 whatever the process's own code page, so that the seam's narrow
// names are checked against what other programs see.
std::wstring Wide(const std::string& text) {
  std::wstring wide(text.size(), L'\0');
  const int length = MultiByteToWideChar(1252, 0, text.data(), static_cast<int>(text.size()),
                                         wide.data(), static_cast<int>(wide.size()));
  wide.resize(length > 0 ? static_cast<std::size_t>(length) : 0);
  return wide;
}

std::string Narrow(const std::wstring& wide) {
  std::string text(wide.size(), '\0');
  const int length =
      WideCharToMultiByte(1252, 0, wide.data(), static_cast<int>(wide.size()), text.data(),
                          static_cast<int>(text.size()), nullptr, nullptr);
  text.resize(length > 0 ? static_cast<std::size_t>(length) : 0);
  return text;
}

// The entries of `folder` other than "." and "..".
std::vector<WIN32_FIND_DATAW> Entries(const std::wstring& folder) {
  std::vector<WIN32_FIND_DATAW> entries;
  WIN32_FIND_DATAW found;
  const HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE)
    return entries;
  do {
    const std::wstring name = found.cFileName;
    if (name != L"." && name != L"..")
      entries.push_back(found);
  } while (FindNextFileW(search, &found));
  FindClose(search);
  return entries;
}

void RemoveTree(const std::wstring& folder) {
  for (const WIN32_FIND_DATAW& entry : Entries(folder)) {
    const std::wstring path = folder + L"\\" + entry.cFileName;
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
      RemoveTree(path);
    else
      DeleteFileW(path.c_str());
  }
  RemoveDirectoryW(folder.c_str());
}

// A process of cmd.exe that exits at once unless `flags` hold it suspended;
// all zeros when it cannot be started.
PROCESS_INFORMATION StartProcess(DWORD flags) {
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info = {};
  char command[] = "cmd.exe /c exit 0";
  if (!CreateProcessA(nullptr, command, nullptr, nullptr, FALSE, flags | CREATE_NO_WINDOW, nullptr,
                      nullptr, &startup, &info)) {
    return {};
  }
  return info;
}

// A folder under the temporary folder, its own for each instance.
class WinFileSystemUnderTest final : public testing::FileSystemUnderTest {
 public:
  WinFileSystemUnderTest() {
    static int made = 0;
    char temp[MAX_PATH];
    EXPECT_GT(GetTempPathA(MAX_PATH, temp), 0u);
    folder_ = std::string(temp) + "varnox-fs-" + std::to_string(GetCurrentProcessId()) + "-" +
              std::to_string(++made);
    EXPECT_TRUE(CreateDirectoryW(Wide(folder_).c_str(), nullptr));
  }
  ~WinFileSystemUnderTest() override {
    for (const PROCESS_INFORMATION& process : processes_) {
      TerminateProcess(process.hProcess, 0);
      CloseHandle(process.hThread);
      CloseHandle(process.hProcess);
    }
    Allow();
    RemoveTree(Wide(folder_));
  }

  FileSystem& files() override { return RealFileSystem(); }
  std::string Folder() override { return folder_; }
  std::string Path(std::string_view name) override {
    std::string path = folder_ + "\\" + std::string(name);
    for (char& c : path) {
      if (c == '/')
        c = '\\';
    }
    return path;
  }

  void MakeFolder(std::string_view name) override {
    ASSERT_TRUE(CreateDirectoryW(Wide(Path(name)).c_str(), nullptr));
  }
  void WriteRaw(std::string_view name, std::string_view contents, int age_seconds) override {
    const HANDLE file = CreateFileW(Wide(Path(name)).c_str(), GENERIC_WRITE, 0, nullptr,
                                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << Path(name);
    DWORD written = 0;
    WriteFile(file, contents.data(), static_cast<DWORD>(contents.size()), &written, nullptr);
    FILETIME time;
    GetSystemTimeAsFileTime(&time);
    ULARGE_INTEGER ticks{{time.dwLowDateTime, time.dwHighDateTime}};
    ticks.QuadPart -= static_cast<ULONGLONG>(age_seconds) * 10'000'000ull;
    time = {ticks.LowPart, ticks.HighPart};
    SetFileTime(file, nullptr, nullptr, &time);
    CloseHandle(file);
    EXPECT_EQ(written, contents.size());
  }
  std::set<std::string> Names() override {
    std::set<std::string> names;
    for (const WIN32_FIND_DATAW& entry : Entries(Wide(folder_)))
      names.insert(Narrow(entry.cFileName));
    return names;
  }
  // Another program holding the file without delete sharing blocks the
  // rename over it.
  bool Refuse(std::string_view name) override {
    Allow();
    held_ = CreateFileW(Wide(Path(name)).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    return held_ != INVALID_HANDLE_VALUE;
  }
  void Allow() override {
    if (held_ != INVALID_HANDLE_VALUE)
      CloseHandle(held_);
    held_ = INVALID_HANDLE_VALUE;
  }

  // Ended, and its handles closed.
  unsigned long EndedProcess() override {
    const PROCESS_INFORMATION info = StartProcess(0);
    if (info.hProcess == nullptr)
      return 0;
    WaitForSingleObject(info.hProcess, INFINITE);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    return info.dwProcessId;
  }
  unsigned long LiveProcess() override {
    const PROCESS_INFORMATION info = StartProcess(CREATE_SUSPENDED);
    if (info.hProcess != nullptr)
      processes_.push_back(info);
    return info.dwProcessId;
  }
  unsigned long OwnProcess() override { return GetCurrentProcessId(); }

 private:
  std::string folder_;
  std::vector<PROCESS_INFORMATION> processes_;
  HANDLE held_ = INVALID_HANDLE_VALUE;
};

std::unique_ptr<testing::FileSystemUnderTest> MakeWinFileSystem() {
  return std::make_unique<WinFileSystemUnderTest>();
}
INSTANTIATE_TEST_SUITE_P(Win32, FileSystemContract, ::testing::Values(&MakeWinFileSystem),
                         testing::FileSystemMakerName);

TEST(WinFileSystemTest, ACopyIsKeptWhileAnyProgramHasItOpen) {
  WinFileSystemUnderTest scratch;
  FileSystem& files = RealFileSystem();
  const std::string path = scratch.Path("words.db");
  ASSERT_TRUE(files.ReplaceWholeFile(path, "data"));
  const unsigned long ended = scratch.EndedProcess();
  ASSERT_NE(ended, 0u);
  const std::string copy = "words.db.tmp." + std::to_string(ended);
  scratch.WriteRaw(copy, "part of a save", 3600);
  const HANDLE holder = CreateFileW(Wide(scratch.Path(copy)).c_str(), GENERIC_READ, FILE_SHARE_READ,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);
  EXPECT_EQ(files.RemoveAbandonedCopies(path), 0) << "its writer is gone, but it is open";
  EXPECT_EQ(scratch.Names(), (std::set<std::string>{"words.db", copy}));
  CloseHandle(holder);
  EXPECT_EQ(files.RemoveAbandonedCopies(path), 1) << "no longer held";
  EXPECT_EQ(scratch.Names(), std::set<std::string>{"words.db"});
}

}  // namespace
}  // namespace varnox
