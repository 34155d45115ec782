#include "linux/watch/request_server.h"

#include <fcntl.h>
#include <poll.h>
#include <stdio_ext.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <optional>
#include <vector>

#include "linux/platform/console_user_interface.h"

namespace varnox::watch {
namespace {

// Clients beyond this many waiting at once wait in connect() until the
// ones before them have been taken.
constexpr int kBacklog = 16;

// Descriptors received with a request, closed when the request is done.
class ReceivedFds {
 public:
  ~ReceivedFds() {
    for (const int fd : fds_)
      ::close(fd);
  }
  void Take(msghdr& message) {
    for (cmsghdr* header = CMSG_FIRSTHDR(&message); header != nullptr;
         header = CMSG_NXTHDR(&message, header)) {
      if (header->cmsg_level != SOL_SOCKET || header->cmsg_type != SCM_RIGHTS)
        continue;
      const std::size_t count = (header->cmsg_len - CMSG_LEN(0)) / sizeof(int);
      for (std::size_t i = 0; i < count; ++i) {
        int fd;
        std::memcpy(&fd, CMSG_DATA(header) + i * sizeof(int), sizeof fd);
        fds_.push_back(fd);
      }
    }
  }
  const std::vector<int>& fds() const { return fds_; }

 private:
  std::vector<int> fds_;
};

void Reply(int fd, int status, std::string_view message = {}) {
  const std::string bytes = EncodeReply(status, message);
  // A client that went away misses its answer; nothing else depends on it.
  [[maybe_unused]] const ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
}

// The watch's own log line about a request it would not take.
void Log(std::string_view text) {
  std::fflush(stdout);
  std::fprintf(stderr, "varnox: %.*s\n", static_cast<int>(text.size()), text.data());
}

}  // namespace

std::unique_ptr<RequestServer> RequestServer::Listen(const std::string& path, uid_t user,
                                                     std::string* error, int request_wait_ms) {
  sockaddr_un address = {};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) {
    *error = "the socket path " + path + " is too long";
    return nullptr;
  }
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  struct stat st;
  if (::lstat(path.c_str(), &st) == 0) {
    if (!S_ISSOCK(st.st_mode)) {
      *error = path + " is in the way of the socket";
      return nullptr;
    }
    ::unlink(path.c_str());  // left by a watch that was killed
  }
  const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0 || ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      ::chmod(path.c_str(), 0600) != 0 || ::listen(fd, kBacklog) != 0) {
    *error = "cannot listen at " + path + ": " + std::strerror(errno);
    if (fd >= 0)
      ::close(fd);
    return nullptr;
  }
  return std::unique_ptr<RequestServer>(new RequestServer(fd, path, user, request_wait_ms));
}

RequestServer::~RequestServer() {
  ::unlink(path_.c_str());
  ::close(fd_);
}

bool RequestServer::Wait(int other_fd, int timeout_ms) const {
  pollfd fds[2] = {{fd_, POLLIN, 0}, {other_fd, POLLIN, 0}};
  return ::poll(fds, other_fd >= 0 ? 2 : 1, timeout_ms) > 0 && (fds[0].revents & POLLIN) != 0;
}

int RequestServer::ServeWaiting(const Performer& perform) {
  int performed = 0;
  for (;;) {
    const int client = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) {
      if (errno == EINTR || errno == ECONNABORTED)
        continue;
      return performed;  // none waits
    }
    performed += Serve(client, perform) ? 1 : 0;
    ::close(client);
  }
}

bool RequestServer::Serve(int fd, const Performer& perform) {
  pollfd ready = {fd, POLLIN, 0};
  if (::poll(&ready, 1, request_wait_ms_) <= 0)
    return false;  // a client that says nothing is not waited for
  std::vector<char> buffer(kMaxRequestBytes);
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int) * kRequestDescriptors)];
  iovec data = {buffer.data(), buffer.size()};
  msghdr message = {};
  message.msg_iov = &data;
  message.msg_iovlen = 1;
  message.msg_control = control;
  message.msg_controllen = sizeof control;
  const ssize_t n = ::recvmsg(fd, &message, MSG_DONTWAIT | MSG_CMSG_CLOEXEC);
  if (n <= 0)
    return false;  // the client went away before asking
  // Received whole before anything is decided, so that a refusal reaches
  // the client; what another user sent is never used.
  ReceivedFds fds;
  fds.Take(message);
  Request request;
  const char* problem = nullptr;
  if (!PeerIsUser(fd, user_))
    problem = "varnox watch takes requests from its own user only";
  else if ((message.msg_flags & MSG_TRUNC) != 0)
    problem = "the request is larger than 64 KiB";
  else if ((message.msg_flags & MSG_CTRUNC) != 0 || fds.fds().size() != kRequestDescriptors ||
           !DecodeRequest(std::string_view(buffer.data(), static_cast<std::size_t>(n)), &request))
    problem = "the request is not in the form varnox watch takes";
  if (problem != nullptr) {
    Log(std::string("refused a request: ") + problem);
    Reply(fd, kRequestRefused, std::string("varnox watch refused it: ") + problem);
    return false;
  }
  Reply(fd, perform(request, fds.fds()));
  return true;
}

LentClient::LentClient(const Request& request, std::span<const int> fds) {
  std::fflush(stdout);
  std::fflush(stderr);
  for (int i = 0; i < 3; ++i) {
    saved_[i] = ::fcntl(i, F_DUPFD_CLOEXEC, 3);
    ::dup2(fds[i], i);
  }
  saved_folder_ = ::open(".", O_PATH | O_DIRECTORY | O_CLOEXEC);
  in_folder_ = ::fchdir(fds[3]) == 0;
  if (const char* now = std::getenv("MAILDIR"))
    saved_maildir_ = now;
  SetMaildir(request.maildir);
}

LentClient::~LentClient() {
  SetMaildir(saved_maildir_.value_or(""));
  for (FILE* stream : {stdout, stderr}) {
    std::fflush(stream);
    __fpurge(stream);  // what could not be written to the client
    std::clearerr(stream);
  }
  for (int i = 0; i < 3; ++i) {
    if (saved_[i] >= 0) {
      ::dup2(saved_[i], i);
      ::close(saved_[i]);
    } else {
      ::close(i);
    }
  }
  if (saved_folder_ >= 0) {
    [[maybe_unused]] const int changed = ::fchdir(saved_folder_);
    ::close(saved_folder_);
  }
}

void LentClient::SetMaildir(const std::string& value) {
  if (value.empty())
    ::unsetenv("MAILDIR");
  else
    ::setenv("MAILDIR", value.c_str(), 1);
}

void OpenMissingStandardStreams() {
  for (int fd = 0; fd < 3; ++fd) {
    // open() takes the lowest free number: this one.
    if (::fcntl(fd, F_GETFD) == -1 && ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY) != fd)
      return;
  }
}

}  // namespace varnox::watch
