#include "linux/maildir/message_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <charconv>

#include "linux/maildir/maildir_folder.h"
#include "linux/platform/copy_writer.h"
#include "mime/mime_reader.h"

namespace varnox::maildir {
namespace {

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0)
      close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }

 private:
  int fd_;
};

FileIdentity IdentityOf(const struct stat& st) {
  return {st.st_dev, st.st_ino, st.st_size,
          static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

// Opens a message for reading: no symbolic links, and no blocking on a
// FIFO someone left in the folder (it is then refused as not regular).
int OpenForReading(const std::string& path) {
  return open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
}

HResult CheckOpened(const Fd& fd, struct stat* st) {
  if (!fd.valid())
    return errno == ELOOP ? kEAccessDenied : StatusFromErrno(errno);
  if (fstat(fd.get(), st) != 0)
    return StatusFromErrno(errno);
  if (!S_ISREG(st->st_mode))
    return kEAccessDenied;
  return kSOk;
}

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      return false;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

bool CopyFrom(int from, std::uint64_t offset, int to) {
  std::array<char, 1 << 16> buffer;
  for (;;) {
    const ssize_t n = pread(from, buffer.data(), buffer.size(), static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR)
      continue;
    if (n < 0)
      return false;
    if (n == 0)
      return true;
    if (!WriteAll(to, std::string_view(buffer.data(), static_cast<std::size_t>(n))))
      return false;
    offset += static_cast<std::uint64_t>(n);
  }
}

void SyncDirectory(const std::string& dir) {
  Fd fd(open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (fd.valid())
    fsync(fd.get());
}

constexpr std::string_view kWriterMark = ".vnx";
constexpr std::string_view kRewriteSuffix = ".rewrite";

// A name in tmp/ that no other writer uses: our process id and a counter.
std::string TemporaryPath(const std::string& folder_dir) {
  static std::atomic<unsigned> counter{0};
  return folder_dir + "/tmp/" +
         RewriteCopyName(static_cast<unsigned long>(getpid()), counter.fetch_add(1));
}

bool AllDigits(std::string_view text) {
  return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

}  // namespace

std::string RewriteCopyName(unsigned long writer, unsigned counter) {
  return std::to_string(time(nullptr)) + std::string(kWriterMark) + std::to_string(writer) + "_" +
         std::to_string(counter) + std::string(kRewriteSuffix);
}

unsigned long RewriteCopyWriter(std::string_view name) {
  // TIME.vnxPID_COUNTER.rewrite, each number in decimal.
  if (!name.ends_with(kRewriteSuffix))
    return 0;
  name.remove_suffix(kRewriteSuffix.size());
  const std::size_t mark = name.find(kWriterMark);
  const std::size_t underscore = name.rfind('_');
  if (mark == std::string_view::npos || underscore == std::string_view::npos || underscore < mark ||
      !AllDigits(name.substr(0, mark)) || !AllDigits(name.substr(underscore + 1)))
    return 0;
  const std::string_view id =
      name.substr(mark + kWriterMark.size(), underscore - mark - kWriterMark.size());
  unsigned long writer = 0;
  if (!AllDigits(id) || id.size() > 9 ||
      std::from_chars(id.data(), id.data() + id.size(), writer).ec != std::errc())
    return 0;
  return writer;
}

int RemoveAbandonedRewrites(const std::string& folder_dir) {
  const std::string tmp = folder_dir + "/tmp";
  DIR* dir = opendir(tmp.c_str());
  if (dir == nullptr)
    return 0;
  int removed = 0;
  while (const dirent* entry = readdir(dir)) {
    const unsigned long writer = RewriteCopyWriter(entry->d_name);
    // Our own copies belong to a rewrite under way.
    if (writer == 0 || static_cast<pid_t>(writer) == getpid())
      continue;
    const std::string copy = tmp + "/" + entry->d_name;
    struct stat st;
    if (lstat(copy.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
        CopyWriterGone(static_cast<pid_t>(writer), st.st_mtim) && unlink(copy.c_str()) == 0)
      ++removed;
  }
  closedir(dir);
  return removed;
}

HResult ReadMessageFile(const std::string& path, std::size_t max_bytes, std::string* contents,
                        FileIdentity* identity) {
  const Fd fd(OpenForReading(path));
  struct stat st;
  if (const HResult hr = CheckOpened(fd, &st); Failed(hr))
    return hr;
  const std::size_t wanted =
      std::min(max_bytes, static_cast<std::size_t>(std::max<off_t>(st.st_size, 0)));
  std::string bytes(wanted, '\0');
  std::size_t done = 0;
  while (done < wanted) {
    const ssize_t n = read(fd.get(), bytes.data() + done, wanted - done);
    if (n < 0 && errno == EINTR)
      continue;
    if (n < 0)
      return StatusFromErrno(errno);
    if (n == 0)
      break;  // the file shrank while we read it
    done += static_cast<std::size_t>(n);
  }
  bytes.resize(done);
  *contents = std::move(bytes);
  if (identity != nullptr)
    *identity = IdentityOf(st);
  return kSOk;
}

HResult ReadHeaderBlock(const std::string& path, std::size_t max_bytes, std::string* headers) {
  const Fd fd(OpenForReading(path));
  struct stat st;
  if (const HResult hr = CheckOpened(fd, &st); Failed(hr))
    return hr;
  std::string bytes;
  std::array<char, 8192> chunk;
  while (bytes.size() < max_bytes) {
    const ssize_t n = read(fd.get(), chunk.data(), chunk.size());
    if (n < 0 && errno == EINTR)
      continue;
    if (n < 0)
      return StatusFromErrno(errno);
    if (n == 0)
      break;
    bytes.append(chunk.data(), static_cast<std::size_t>(n));
    if (mime::FindHeaderBlock(bytes).body_start < bytes.size())
      break;  // the empty line has been read
  }
  bytes.resize(std::min(mime::FindHeaderBlock(bytes).end, max_bytes));
  *headers = std::move(bytes);
  return kSOk;
}

HResult RewriteMessage(const std::string& folder_dir, const std::string& path,
                       std::string_view prefix, std::uint64_t keep_from,
                       const FileIdentity& expected) {
  const Fd original(OpenForReading(path));
  struct stat st;
  if (const HResult hr = CheckOpened(original, &st); Failed(hr))
    return hr;
  if (!(IdentityOf(st) == expected))
    return kEFail;
  const std::string temporary = TemporaryPath(folder_dir);
  Fd out(open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600));
  if (!out.valid())
    return StatusFromErrno(errno);
  const bool written = WriteAll(out.get(), prefix) &&
                       CopyFrom(original.get(), keep_from, out.get()) && fsync(out.get()) == 0;
  if (!written) {
    const HResult hr = StatusFromErrno(errno);
    unlink(temporary.c_str());
    return Failed(hr) ? hr : kEFail;
  }
  // The exchange fails when the name went away (a mail program renamed or
  // deleted the message since it was opened); the message is then left as
  // it is rather than brought back under its old name.
  if (renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, path.c_str(), RENAME_EXCHANGE) == 0) {
    unlink(temporary.c_str());  // now the old file
  } else if (errno == EINVAL || errno == ENOSYS) {
    // A file system without exchange: a plain rename over the same name.
    if (rename(temporary.c_str(), path.c_str()) != 0) {
      const HResult hr = StatusFromErrno(errno);
      unlink(temporary.c_str());
      return hr;
    }
  } else {
    const HResult hr = StatusFromErrno(errno);
    unlink(temporary.c_str());
    return hr;
  }
  SyncDirectory(ParentDirectory(path));
  return kSOk;
}

HResult RenameNoReplace(const std::string& from, const std::string& to) {
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
    return kSOk;
  if (errno != EINVAL && errno != ENOSYS)
    return StatusFromErrno(errno);
  // Without RENAME_NOREPLACE: link() refuses an existing name, then the old
  // name goes. The message is under both names only between the two calls.
  if (link(from.c_str(), to.c_str()) != 0)
    return StatusFromErrno(errno);
  unlink(from.c_str());
  return kSOk;
}

}  // namespace varnox::maildir
