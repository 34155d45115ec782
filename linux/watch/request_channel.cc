#include "linux/watch/request_channel.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "platform/fingerprint.h"

namespace varnox::watch {
namespace {

constexpr std::string_view kRequestOpening = "varnox-request-1";
constexpr std::string_view kReplyOpening = "varnox-reply-1";
constexpr std::size_t kMaxReplyMessageBytes = 512;

// The NUL-ended fields of `bytes`; false when the last one is not ended.
bool SplitFields(std::string_view bytes, std::vector<std::string_view>* fields) {
  while (!bytes.empty()) {
    const std::size_t end = bytes.find('\0');
    if (end == std::string_view::npos)
      return false;
    fields->push_back(bytes.substr(0, end));
    bytes.remove_prefix(end + 1);
  }
  return true;
}

bool FillAddress(const std::string& path, sockaddr_un* address) {
  *address = {};
  address->sun_family = AF_UNIX;
  if (path.size() >= sizeof address->sun_path)
    return false;
  std::memcpy(address->sun_path, path.c_str(), path.size() + 1);
  return true;
}

// A connection to the watch listening at `path`, checked to run as this
// user; -1 when none listens there.
int ConnectTo(const std::string& path) {
  sockaddr_un address;
  if (!FillAddress(path, &address))
    return -1;
  const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
  if (fd < 0)
    return -1;
  int result;
  do {
    result = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
  } while (result != 0 && errno == EINTR);
  if (result != 0 || !PeerIsUser(fd, ::geteuid())) {
    ::close(fd);
    return -1;
  }
  return fd;
}

// This process's descriptor `fd` as it may be handed on: one that is
// closed is replaced by /dev/null (in *opened, closed by the caller).
int Passable(int fd, int flags, int* opened) {
  if (::fcntl(fd, F_GETFD) != -1)
    return fd;
  *opened = ::open("/dev/null", flags | O_CLOEXEC);
  return *opened;
}

bool SendRequest(int fd, const std::string& bytes) {
  int opened[3] = {-1, -1, -1};
  const int cwd = ::open(".", O_PATH | O_DIRECTORY | O_CLOEXEC);
  const int fds[kRequestDescriptors] = {Passable(0, O_RDONLY, &opened[0]),
                                        Passable(1, O_WRONLY, &opened[1]),
                                        Passable(2, O_WRONLY, &opened[2]), cwd};
  bool sent = false;
  if (std::find(std::begin(fds), std::end(fds), -1) == std::end(fds)) {
    iovec data = {const_cast<char*>(bytes.data()), bytes.size()};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof fds)] = {};
    msghdr message = {};
    message.msg_iov = &data;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    cmsghdr* header = CMSG_FIRSTHDR(&message);
    header->cmsg_level = SOL_SOCKET;
    header->cmsg_type = SCM_RIGHTS;
    header->cmsg_len = CMSG_LEN(sizeof fds);
    std::memcpy(CMSG_DATA(header), fds, sizeof fds);
    ssize_t n;
    do {
      n = ::sendmsg(fd, &message, MSG_NOSIGNAL);
    } while (n < 0 && errno == EINTR);
    sent = n == static_cast<ssize_t>(bytes.size());
  }
  for (const int extra : {opened[0], opened[1], opened[2], cwd}) {
    if (extra >= 0)
      ::close(extra);
  }
  return sent;
}

// Waits for the watch's answer, as long as the command takes.
bool ReceiveReply(int fd, int* status, std::string* message) {
  char buffer[kMaxReplyMessageBytes + 64];
  ssize_t n;
  do {
    n = ::recv(fd, buffer, sizeof buffer, 0);
  } while (n < 0 && errno == EINTR);
  return n > 0 &&
         DecodeReply(std::string_view(buffer, static_cast<std::size_t>(n)), status, message);
}

}  // namespace

std::string EncodeRequest(const Request& request) {
  std::string bytes(kRequestOpening);
  bytes += '\0';
  bytes += request.yes ? "yes" : "";
  bytes += '\0';
  bytes += request.maildir;
  bytes += '\0';
  for (const std::string& word : request.words) {
    if (bytes.size() + word.size() + 1 > kMaxRequestBytes)
      return {};
    bytes += word;
    bytes += '\0';
  }
  return bytes.size() <= kMaxRequestBytes ? bytes : std::string();
}

bool DecodeRequest(std::string_view bytes, Request* request) {
  std::vector<std::string_view> fields;
  if (bytes.size() > kMaxRequestBytes || !SplitFields(bytes, &fields) || fields.size() < 4 ||
      fields[0] != kRequestOpening || (fields[1] != "" && fields[1] != "yes") || fields[3].empty())
    return false;
  request->yes = fields[1] == "yes";
  request->maildir = fields[2];
  request->words.assign(fields.begin() + 3, fields.end());
  return true;
}

std::string EncodeReply(int status, std::string_view message) {
  std::string bytes(kReplyOpening);
  bytes += '\0';
  bytes += std::to_string(status & 0xFF);
  bytes += '\0';
  bytes += message.substr(0, kMaxReplyMessageBytes);
  bytes += '\0';
  return bytes;
}

bool DecodeReply(std::string_view bytes, int* status, std::string* message) {
  std::vector<std::string_view> fields;
  if (!SplitFields(bytes, &fields) || fields.size() != 3 || fields[0] != kReplyOpening)
    return false;
  const std::string_view text = fields[1];
  int value = -1;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || text.empty() || value < 0 ||
      value > 255)
    return false;
  *status = value;
  *message = fields[2];
  return true;
}

std::string ChannelFolder() {
  if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime != nullptr && runtime[0] == '/')
    return std::string(runtime) + "/varnox";
  return "/tmp/varnox-" + std::to_string(::geteuid());
}

std::string ChannelPath(const std::string& word_file) {
  std::error_code error;
  std::string absolute = std::filesystem::weakly_canonical(word_file, error).string();
  if (error)
    absolute = word_file;
  char name[32];
  std::snprintf(name, sizeof name, "/words-%016llx.sock",
                static_cast<unsigned long long>(Fingerprint(absolute)));
  return ChannelFolder() + name;
}

bool PrepareChannelFolder(const std::string& folder, std::string* error) {
  if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
    *error = "cannot make the folder " + folder + ": " + std::strerror(errno);
    return false;
  }
  struct stat st;
  if (::lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid()) {
    *error = folder + " is not a folder of this user";
    return false;
  }
  if ((st.st_mode & 0077) != 0 && ::chmod(folder.c_str(), 0700) != 0) {
    *error = "others may enter " + folder + " and it cannot be closed to them";
    return false;
  }
  return true;
}

bool PeerIsUser(int fd, uid_t uid) {
  ucred credentials = {};
  socklen_t size = sizeof credentials;
  return ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &size) == 0 &&
         size == sizeof credentials && credentials.uid == uid;
}

Handover HandToWatch(const std::string& word_file, const Request& request, int* status,
                     std::string* message) {
  // A folder that anyone else could have made is not trusted.
  struct stat st;
  const std::string folder = ChannelFolder();
  if (::lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid() ||
      (st.st_mode & 0077) != 0)
    return Handover::kNoWatch;
  const int fd = ConnectTo(ChannelPath(word_file));
  if (fd < 0)
    return Handover::kNoWatch;
  const std::string bytes = EncodeRequest(request);
  Handover handover = Handover::kAnswered;
  if (bytes.empty())
    handover = Handover::kTooLarge;
  else if (!SendRequest(fd, bytes))
    handover = Handover::kNotSent;
  else if (!ReceiveReply(fd, status, message))
    handover = Handover::kNoAnswer;
  const int error = errno;
  ::close(fd);
  errno = error;
  return handover;
}

}  // namespace varnox::watch
