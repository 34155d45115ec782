// The Win32 file seam: whole-file reads, and replacement by write beside,
// FlushFileBuffers, MoveFileExA(REPLACE_EXISTING | WRITE_THROUGH).

#include <windows.h>

#include <cstdint>
#include <string>

#include "platform/file_system.h"

namespace varnox {
namespace {

// Owns a file handle.
class FileHandle {
 public:
  explicit FileHandle(HANDLE handle) : handle_(handle) {}
  ~FileHandle() { Close(); }
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;

  bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
  HANDLE get() const { return handle_; }
  // False when the close itself failed (data may not have reached the disk).
  bool Close() {
    if (!valid())
      return true;
    BOOL closed = CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
    return closed != FALSE;
  }

 private:
  HANDLE handle_;
};

// Written in pieces that a DWORD can count.
constexpr DWORD kMaxChunk = 1u << 30;

bool WriteAll(HANDLE file, std::string_view data) {
  while (!data.empty()) {
    DWORD chunk = data.size() > kMaxChunk ? kMaxChunk : static_cast<DWORD>(data.size());
    DWORD written = 0;
    if (!WriteFile(file, data.data(), chunk, &written, nullptr) || written == 0)
      return false;
    data.remove_prefix(written);
  }
  return true;
}

// Owns a FindFirstFileA search.
struct FindHandle {
  HANDLE handle;
  ~FindHandle() {
    if (handle != INVALID_HANDLE_VALUE)
      FindClose(handle);
  }
};

std::uint64_t Ticks(const FILETIME& time) {
  return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

// Whether the process that wrote a temporary copy last written at `written`
// is gone for sure: no process has its id, it has ended, or the process now
// holding the id was created after the copy was written (ids are reused).
// A process we may not look at is taken to be the writer.
bool WriterGone(DWORD id, const FILETIME& written) {
  const HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id);
  if (process == nullptr)
    return GetLastError() == ERROR_INVALID_PARAMETER;
  DWORD code = 0;
  bool gone = GetExitCodeProcess(process, &code) && code != STILL_ACTIVE;
  FILETIME created, exited, kernel, user;
  if (!gone && GetProcessTimes(process, &created, &exited, &kernel, &user)) {
    constexpr std::uint64_t kMargin = 2 * 10'000'000ull;  // 2 s in 100 ns units
    gone = Ticks(created) > Ticks(written) + kMargin;
  }
  CloseHandle(process);
  return gone;
}

// Deletes the file if nobody has it open: an open that shares nothing fails
// while any other handle on it exists.
bool DeleteIfUnopened(const std::string& file) {
  const HANDLE handle = CreateFileA(file.c_str(), DELETE, 0, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  return handle != INVALID_HANDLE_VALUE && CloseHandle(handle) != FALSE;
}

class Win32FileSystem final : public FileSystem {
 public:
  bool ReadWholeFile(const std::string& path, std::string* contents) override {
    contents->clear();
    FileHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid())
      return false;
    std::string data;
    LARGE_INTEGER size;
    if (GetFileSizeEx(file.get(), &size) && size.QuadPart > 0 &&
        static_cast<unsigned long long>(size.QuadPart) < data.max_size()) {
      data.reserve(static_cast<std::size_t>(size.QuadPart));
    }
    char buffer[1 << 16];
    for (;;) {
      DWORD got = 0;
      if (!ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr))
        return false;
      if (got == 0)
        break;
      data.append(buffer, got);
    }
    *contents = std::move(data);
    return true;
  }

  bool ReplaceWholeFile(const std::string& path, std::string_view contents) override {
    if (path.empty())
      return false;
    // Unique per process, so two processes never write the same file beside.
    const std::string temp = TemporaryCopyPath(path, GetCurrentProcessId());
    FileHandle file(CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid())
      return false;
    bool ok = WriteAll(file.get(), contents) && FlushFileBuffers(file.get());
    ok = file.Close() && ok;
    if (ok) {
      ok = MoveFileExA(temp.c_str(), path.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
    }
    if (!ok)
      DeleteFileA(temp.c_str());
    return ok;
  }

  bool Exists(const std::string& path) override {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
  }

  int RemoveAbandonedCopies(const std::string& path) override {
    try {
      const std::string::size_type slash = path.find_last_of("\\/");
      const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
      const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
      WIN32_FIND_DATAA found;
      const FindHandle search{FindFirstFileA((path + ".tmp.*").c_str(), &found)};
      if (search.handle == INVALID_HANDLE_VALUE)
        return 0;
      int removed = 0;
      do {
        const unsigned long writer = TemporaryCopyWriter(found.cFileName, base);
        // Our own id: any copy of ours is rewritten by our next save.
        if (writer == 0 || writer == GetCurrentProcessId() ||
            (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
          continue;
        }
        if (WriterGone(writer, found.ftLastWriteTime) && DeleteIfUnopened(folder + found.cFileName))
          ++removed;
      } while (FindNextFileA(search.handle, &found));
      return removed;
    } catch (const std::exception&) {
      return 0;  // out of memory: the copies wait for another start
    }
  }
};

}  // namespace

FileSystem& RealFileSystem() {
  static Win32FileSystem file_system;
  return file_system;
}

}  // namespace varnox
