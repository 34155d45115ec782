// The POSIX file seam: whole-file reads, and replacement by write beside,
// fsync, rename, fsync of the folder.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "platform/file_system.h"

namespace varnox {
namespace {

bool WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0) {
      if (errno == EINTR)
        continue;
      return false;
    }
    data.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

std::string FolderOf(const std::string& path) {
  std::string::size_type slash = path.rfind('/');
  if (slash == std::string::npos)
    return ".";
  if (slash == 0)
    return "/";
  return path.substr(0, slash);
}

// Makes the rename itself durable. Failure here does not undo the rename, so
// it is not reported: the new file is in place either way.
void SyncFolder(const std::string& folder) {
  int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0)
    return;
  ::fsync(fd);
  ::close(fd);
}

class PosixFileSystem final : public FileSystem {
 public:
  bool ReadWholeFile(const std::string& path, std::string* contents) override {
    contents->clear();
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
      return false;
    struct stat st;
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
      ::close(fd);
      return false;
    }
    std::string data;
    if (st.st_size > 0)
      data.reserve(static_cast<std::size_t>(st.st_size));
    char buffer[1 << 16];
    for (;;) {
      ssize_t n = ::read(fd, buffer, sizeof buffer);
      if (n < 0) {
        if (errno == EINTR)
          continue;
        ::close(fd);
        return false;
      }
      if (n == 0)
        break;
      data.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    *contents = std::move(data);
    return true;
  }

  bool ReplaceWholeFile(const std::string& path, std::string_view contents) override {
    if (path.empty())
      return false;
    // The temporary name is unique per process, so two processes never
    // write the same file beside the target.
    std::string temp = path + ".tmp." + std::to_string(::getpid());
    mode_t mode = 0600;
    struct stat st;
    if (::stat(path.c_str(), &st) == 0)
      mode = st.st_mode & 07777;  // keep the old file's mode
    int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
    if (fd < 0)
      return false;
    bool ok = WriteAll(fd, contents) && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (ok)
      ok = ::rename(temp.c_str(), path.c_str()) == 0;
    if (!ok) {
      ::unlink(temp.c_str());
      return false;
    }
    SyncFolder(FolderOf(path));
    return true;
  }

  bool Exists(const std::string& path) override {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
  }
};

}  // namespace

FileSystem& RealFileSystem() {
  static PosixFileSystem file_system;
  return file_system;
}

}  // namespace varnox
