#include "linux/maildir/mail_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace varnox::maildir {
namespace {

// Reads `fd` to its end, at most `limit` + 1 bytes (so that a longer input
// is seen to be too long).
bool ReadAll(int fd, std::size_t limit, std::string* bytes) {
  bytes->clear();
  char buffer[65536];
  while (bytes->size() <= limit) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR)
      continue;
    if (n < 0)
      return false;
    if (n == 0)
      break;
    bytes->append(buffer, static_cast<std::size_t>(n));
  }
  return true;
}

}  // namespace

bool ReadMailFile(const std::string& path, MailFile* file, std::string* error) {
  const bool standard_input = path == "-";
  const std::string name = standard_input ? "the standard input" : path;
  const std::string too_large = name + " is larger than " +
                                std::to_string(kMaxMailFileBytes >> 20) +
                                " MiB, too large to be a message";
  const int fd = standard_input ? 0 : ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) {
    *error = "cannot read " + name + ": " + std::strerror(errno);
    return false;
  }
  // Look first, so that a huge file, a folder or a device is never read.
  struct stat st;
  if (::fstat(fd, &st) != 0 || (!standard_input && !S_ISREG(st.st_mode))) {
    *error = name + " is not a file";
  } else if (S_ISREG(st.st_mode) && static_cast<std::uint64_t>(st.st_size) > kMaxMailFileBytes) {
    *error = too_large;
  } else if (!ReadAll(fd, kMaxMailFileBytes, &file->raw)) {
    *error = "cannot read " + name + ": " + std::strerror(errno);
  } else if (file->raw.size() > kMaxMailFileBytes) {
    *error = too_large;
  } else {
    error->clear();
  }
  if (!standard_input)
    ::close(fd);
  if (!error->empty())
    return false;
  file->texts = mime::ReadMimeTexts(file->raw);
  return true;
}

}  // namespace varnox::maildir
