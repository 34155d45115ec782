// The Win32 file seam: whole-file reads, and replacement by write beside,
// FlushFileBuffers, MoveFileExA(REPLACE_EXISTING | WRITE_THROUGH).

#include <windows.h>

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
    const std::string temp = path + ".tmp." + std::to_string(GetCurrentProcessId());
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
};

}  // namespace

FileSystem& RealFileSystem() {
  static Win32FileSystem file_system;
  return file_system;
}

}  // namespace varnox
