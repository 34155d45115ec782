// The POSIX file seam: whole-file reads, and replacement by write beside,
// fsync, rename, fsync of the folder.
#include <dirent.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "linux/platform/copy_writer.h"
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

FileStamp StampOf(const struct stat& st) {
  constexpr std::int64_t kBillion = 1'000'000'000;
  FileStamp stamp;
  stamp.size = static_cast<std::uint64_t>(st.st_size);
  stamp.modified = static_cast<std::int64_t>(st.st_mtim.tv_sec) * kBillion + st.st_mtim.tv_nsec;
  stamp.changed = static_cast<std::int64_t>(st.st_ctim.tv_sec) * kBillion + st.st_ctim.tv_nsec;
  stamp.volume = static_cast<std::uint64_t>(st.st_dev);
  stamp.file = static_cast<std::uint64_t>(st.st_ino);
  return stamp;
}

class PosixReadOnlyFile final : public ReadOnlyFile {
 public:
  PosixReadOnlyFile(int fd, std::uint64_t size) : fd_(fd), size_(size) {}
  ~PosixReadOnlyFile() override {
    if (map_ != nullptr)
      ::munmap(map_, static_cast<std::size_t>(size_));
    ::close(fd_);
  }
  PosixReadOnlyFile(const PosixReadOnlyFile&) = delete;
  PosixReadOnlyFile& operator=(const PosixReadOnlyFile&) = delete;

  std::uint64_t size() const override { return size_; }

  bool ReadAt(std::uint64_t offset, void* out, std::size_t size) override {
    auto* to = static_cast<char*>(out);
    while (size > 0) {
      const ssize_t n = ::pread(fd_, to, size, static_cast<off_t>(offset));
      if (n < 0 && errno == EINTR)
        continue;
      if (n <= 0)
        return false;
      to += n;
      offset += static_cast<std::uint64_t>(n);
      size -= static_cast<std::size_t>(n);
    }
    return true;
  }

  std::span<const unsigned char> Map() override {
    if (map_ == nullptr && size_ > 0 && size_ <= SIZE_MAX) {
      void* map = ::mmap(nullptr, static_cast<std::size_t>(size_), PROT_READ, MAP_SHARED, fd_, 0);
      if (map != MAP_FAILED)
        map_ = map;
    }
    if (map_ == nullptr)
      return {};
    return {static_cast<const unsigned char*>(map_), static_cast<std::size_t>(size_)};
  }

 private:
  int fd_;
  std::uint64_t size_;
  void* map_ = nullptr;
};

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
    return Replace(path, contents, nullptr);
  }

  bool ReplaceWholeFileStamped(const std::string& path, std::string_view contents,
                               FileStamp* written) override {
    return Replace(path, contents, written);
  }

  bool Stamp(const std::string& path, FileStamp* stamp) override {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
      return false;
    *stamp = StampOf(st);
    return true;
  }

  std::unique_ptr<ReadOnlyFile> OpenReadOnly(const std::string& path) override {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
      return nullptr;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
      ::close(fd);
      return nullptr;
    }
    try {
      return std::make_unique<PosixReadOnlyFile>(fd, static_cast<std::uint64_t>(st.st_size));
    } catch (const std::bad_alloc&) {
      ::close(fd);
      return nullptr;
    }
  }

  bool Exists(const std::string& path) override {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
  }

  int RemoveAbandonedCopies(const std::string& path) override {
    try {
      const std::string folder = FolderOf(path);
      const std::string base = path.substr(path.rfind('/') + 1);
      const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), ::closedir);
      if (dir == nullptr)
        return 0;
      int removed = 0;
      while (const dirent* entry = ::readdir(dir.get())) {
        const unsigned long writer = TemporaryCopyWriter(entry->d_name, base);
        // Our own id: any copy of ours is rewritten by our next save.
        if (writer == 0 || writer > 0x7FFFFFFF || static_cast<pid_t>(writer) == ::getpid())
          continue;
        const std::string copy = folder + "/" + entry->d_name;
        struct stat st;
        if (::lstat(copy.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
            CopyWriterGone(static_cast<pid_t>(writer), st.st_mtim) && ::unlink(copy.c_str()) == 0) {
          ++removed;
        }
      }
      return removed;
    } catch (const std::exception&) {
      return 0;  // out of memory: the copies wait for another start
    }
  }

 private:
  bool Replace(const std::string& path, std::string_view contents, FileStamp* written) {
    if (path.empty())
      return false;
    // The temporary name is unique per process, so two processes never
    // write the same file beside the target.
    const std::string temp = TemporaryCopyPath(path, static_cast<unsigned long>(::getpid()));
    mode_t mode = 0600;
    struct stat st;
    if (::stat(path.c_str(), &st) == 0)
      mode = st.st_mode & 07777;  // keep the old file's mode
    int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
    if (fd < 0)
      return false;
    if (!WriteAll(fd, contents) || ::fsync(fd) != 0 || ::rename(temp.c_str(), path.c_str()) != 0) {
      ::close(fd);
      ::unlink(temp.c_str());
      return false;
    }
    // The stamp after the rename (which changes the change time), from the
    // file itself: whatever is at `path` by now may be another's.
    struct stat now;
    if (written != nullptr)
      *written = ::fstat(fd, &now) == 0 ? StampOf(now) : FileStamp{};
    ::close(fd);  // the bytes reached the disk with fsync
    SyncFolder(FolderOf(path));
    return true;
  }
};

}  // namespace

FileSystem& RealFileSystem() {
  static PosixFileSystem file_system;
  return file_system;
}

}  // namespace varnox
