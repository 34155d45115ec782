// The watch's end of the request channel (request_channel.h): it listens
// on the socket of its word database, takes one request at a time, and has
// each performed on its own connected session, with the client's standard
// streams and working folder lent for the while.
//
// Nothing a client sends can stop the watch: a peer of another user is
// refused, a request larger than kMaxRequestBytes or not in the request's
// form gets an error status, a client that sends nothing is dropped after
// a short wait, and a client that goes away after sending finds its request
// performed whole (the word database saved) all the same: a request arrives
// as one packet or not at all. Clients waiting meanwhile are served in turn.
#ifndef VARNOX_LINUX_WATCH_REQUEST_SERVER_H_
#define VARNOX_LINUX_WATCH_REQUEST_SERVER_H_

#include <sys/types.h>

#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "linux/watch/request_channel.h"

namespace varnox::watch {

class RequestServer {
 public:
  // Performs a well-formed request; `fds` are the client's input, output,
  // error and working folder, open until it returns. Gives the exit status.
  using Performer = std::function<int(const Request& request, std::span<const int> fds)>;

  // Listens at `path` for clients that run as `user`. The caller holds the
  // word database's lock, so whatever lies at `path` was left by a watch
  // that is gone and is replaced. Null, with *error, when it cannot listen.
  static std::unique_ptr<RequestServer> Listen(const std::string& path, uid_t user,
                                               std::string* error, int request_wait_ms = 2000);
  ~RequestServer();  // stops listening; the socket file is removed
  RequestServer(const RequestServer&) = delete;
  RequestServer& operator=(const RequestServer&) = delete;

  // Waits up to `timeout_ms` for a client, or for `other_fd` (-1: none) to
  // become readable; true when a client waits. A signal ends the wait.
  bool Wait(int other_fd, int timeout_ms) const;
  // Serves every client waiting now, one after the other. Gives how many
  // requests were performed.
  int ServeWaiting(const Performer& perform);

 private:
  RequestServer(int fd, std::string path, uid_t user, int request_wait_ms)
      : fd_(fd), path_(std::move(path)), user_(user), request_wait_ms_(request_wait_ms) {}
  // One client on the connected socket `fd`; true when its request was performed.
  bool Serve(int fd, const Performer& perform);

  int fd_;
  std::string path_;
  uid_t user_;
  int request_wait_ms_;
};

// Opens /dev/null on any of descriptors 0, 1 and 2 that is closed. Run
// before anything else is opened: a descriptor the watch keeps (the
// folder watch, the lock) must never be one that a request lends.
void OpenMissingStandardStreams();

// While it lives, the client of a request lends the process its standard
// streams and working folder (`fds`, as the request brought them) and its
// $MAILDIR: a command performed meanwhile prints on the client's terminal,
// asks there, and reads paths as the client means them. Output buffered for
// the client is never left for the watch's own streams.
class LentClient {
 public:
  LentClient(const Request& request, std::span<const int> fds);
  ~LentClient();
  LentClient(const LentClient&) = delete;
  LentClient& operator=(const LentClient&) = delete;

  // Whether the process works in the client's folder now.
  bool in_folder() const { return in_folder_; }

 private:
  static void SetMaildir(const std::string& value);

  int saved_[3] = {-1, -1, -1};
  int saved_folder_ = -1;
  bool in_folder_ = false;
  std::optional<std::string> saved_maildir_;
};

}  // namespace varnox::watch

#endif  // VARNOX_LINUX_WATCH_REQUEST_SERVER_H_
