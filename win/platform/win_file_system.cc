// The Win32 file seam: whole-file reads, and replacement by write beside,
// FlushFileBuffers, MoveFileExA(REPLACE_EXISTING | WRITE_THROUGH).

#include <windows.h>

#include <cstdint>
#include <memory>
#include <new>
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

std::uint64_t Join(DWORD high, DWORD low) {
  return (static_cast<std::uint64_t>(high) << 32) | low;
}

// The stamp of an open file; false when it is a folder or cannot be told.
// The change time comes from FileBasicInfo (0 where the file system keeps
// none). The volume is left out: a file's path names its volume, and Wine
// tells another serial number for a handle opened before its file was
// renamed into place than for one opened after.
bool StampOfHandle(HANDLE file, FileStamp* stamp) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(file, &info) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
    return false;
  FILE_BASIC_INFO basic = {};
  const bool have_basic = GetFileInformationByHandleEx(file, FileBasicInfo, &basic, sizeof basic);
  *stamp = FileStamp{};
  stamp->size = Join(info.nFileSizeHigh, info.nFileSizeLow);
  stamp->modified = static_cast<std::int64_t>(Ticks(info.ftLastWriteTime));
  stamp->changed = have_basic ? basic.ChangeTime.QuadPart : 0;
  stamp->file = Join(info.nFileIndexHigh, info.nFileIndexLow);
  return true;
}

class Win32ReadOnlyFile final : public ReadOnlyFile {
 public:
  Win32ReadOnlyFile(HANDLE file, std::uint64_t size) : file_(file), size_(size) {}
  ~Win32ReadOnlyFile() override {
    if (view_ != nullptr)
      UnmapViewOfFile(view_);
    if (mapping_ != nullptr)
      CloseHandle(mapping_);
  }
  Win32ReadOnlyFile(const Win32ReadOnlyFile&) = delete;
  Win32ReadOnlyFile& operator=(const Win32ReadOnlyFile&) = delete;

  std::uint64_t size() const override { return size_; }

  bool ReadAt(std::uint64_t offset, void* out, std::size_t size) override {
    auto* to = static_cast<char*>(out);
    while (size > 0) {
      OVERLAPPED at = {};
      at.Offset = static_cast<DWORD>(offset);
      at.OffsetHigh = static_cast<DWORD>(offset >> 32);
      const DWORD chunk = size > kMaxChunk ? kMaxChunk : static_cast<DWORD>(size);
      DWORD got = 0;
      if (!ReadFile(file_.get(), to, chunk, &got, &at) || got == 0)
        return false;
      to += got;
      offset += got;
      size -= got;
    }
    return true;
  }

  std::span<const unsigned char> Map() override {
    if (view_ == nullptr && size_ > 0 && size_ <= SIZE_MAX) {
      mapping_ = CreateFileMappingA(file_.get(), nullptr, PAGE_READONLY, 0, 0, nullptr);
      if (mapping_ != nullptr)
        view_ = MapViewOfFile(mapping_, FILE_MAP_READ, 0, 0, static_cast<SIZE_T>(size_));
    }
    if (view_ == nullptr)
      return {};
    return {static_cast<const unsigned char*>(view_), static_cast<std::size_t>(size_)};
  }

 private:
  FileHandle file_;
  std::uint64_t size_;
  HANDLE mapping_ = nullptr;
  void* view_ = nullptr;
};

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
    return Replace(path, contents, nullptr);
  }

  bool ReplaceWholeFileStamped(const std::string& path, std::string_view contents,
                               FileStamp* written) override {
    return Replace(path, contents, written);
  }

  bool Stamp(const std::string& path, FileStamp* stamp) override {
    const FileHandle file(CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return file.valid() && StampOfHandle(file.get(), stamp);
  }

  std::unique_ptr<ReadOnlyFile> OpenReadOnly(const std::string& path) override {
    // Others may still replace the file by rename while it is open here.
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
      return nullptr;
    LARGE_INTEGER size;
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileSizeEx(file, &size) || !GetFileInformationByHandle(file, &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      CloseHandle(file);
      return nullptr;
    }
    try {
      return std::make_unique<Win32ReadOnlyFile>(file, static_cast<std::uint64_t>(size.QuadPart));
    } catch (const std::bad_alloc&) {
      CloseHandle(file);
      return nullptr;
    }
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

 private:
  bool Replace(const std::string& path, std::string_view contents, FileStamp* written) {
    if (path.empty())
      return false;
    // Unique per process, so two processes never write the same file beside.
    // Shared for deleting only, so that it can be renamed while still open
    // here, for its stamp.
    const std::string temp = TemporaryCopyPath(path, GetCurrentProcessId());
    FileHandle file(CreateFileA(temp.c_str(), GENERIC_WRITE | FILE_READ_ATTRIBUTES,
                                FILE_SHARE_DELETE, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                nullptr));
    if (!file.valid())
      return false;
    bool ok = WriteAll(file.get(), contents) && FlushFileBuffers(file.get());
    // Kept open across the rename only when its stamp is wanted.
    if (written == nullptr)
      ok = file.Close() && ok;
    if (ok) {
      ok = MoveFileExA(temp.c_str(), path.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
    }
    if (!ok) {
      file.Close();
      DeleteFileA(temp.c_str());
      return false;
    }
    // From the file itself: whatever is at `path` by now may be another's.
    if (written != nullptr && !StampOfHandle(file.get(), written))
      *written = FileStamp{};
    file.Close();  // the bytes reached the disk with FlushFileBuffers
    return true;
  }
};

}  // namespace

FileSystem& RealFileSystem() {
  static Win32FileSystem file_system;
  return file_system;
}

}  // namespace varnox
