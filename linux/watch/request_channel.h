// The request channel into a running `varnox watch`. The watch holds the
// word database while it runs; mark-spam, not-spam, learn, train and
// `settings empty` started meanwhile hand their request to it instead of
// being refused, and the watch performs it between messages, on its own
// connected add-in (request_server.h).
//
// The channel is a Unix socket of type SOCK_SEQPACKET, one per word
// database: $XDG_RUNTIME_DIR/varnox/words-HASH.sock, where HASH is taken
// from the database's absolute path, so that two watches over two databases
// never meet. Without XDG_RUNTIME_DIR the folder is /tmp/varnox-UID. The
// folder is 0700 and must belong to the user; the socket is 0600.
//
// One request is one packet of at most kMaxRequestBytes: the fields below,
// each ended by a NUL byte, with four descriptors attached (SCM_RIGHTS): the
// client's standard input, output and error and its working folder. The
// watch runs the command with those as its own, so its output reaches the
// client's terminal, its questions are asked there and relative paths mean
// what they mean to the client. The answer is one packet: the exit status,
// and what the watch itself has to say when it could not run the command.
// Both ends check that the other runs as the same user (SO_PEERCRED).
#ifndef VARNOX_LINUX_WATCH_REQUEST_CHANNEL_H_
#define VARNOX_LINUX_WATCH_REQUEST_CHANNEL_H_

#include <sys/types.h>

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace varnox::watch {

inline constexpr std::size_t kMaxRequestBytes = 64 * 1024;
// The status a refused request is answered with (the program's exit status
// for a refusal).
inline constexpr int kRequestRefused = 1;
// The descriptors a request carries, in this order.
inline constexpr int kRequestDescriptors = 4;  // input, output, error, working folder

struct Request {
  bool yes = false;                // `varnox --yes` before the command
  std::string maildir;             // $MAILDIR as the client has it; empty when unset
  std::vector<std::string> words;  // the command's name, then its arguments
};

// The request's bytes; empty when they would exceed kMaxRequestBytes.
std::string EncodeRequest(const Request& request);
// False when `bytes` is not a request (wrong opening, a field not ended, no
// command).
bool DecodeRequest(std::string_view bytes, Request* request);
std::string EncodeReply(int status, std::string_view message = {});
// False when `bytes` is not a reply; *status is 0 to 255.
bool DecodeReply(std::string_view bytes, int* status, std::string* message);

// The folder of the sockets, and the socket of the word database at
// `word_file`.
std::string ChannelFolder();
std::string ChannelPath(const std::string& word_file);
// Makes the folder (0700) when missing; false, with *error, when it is not a
// folder of this user that only this user may enter (it is made so when it
// belongs to the user).
bool PrepareChannelFolder(const std::string& folder, std::string* error);

// Whether the process at the other end of the connected socket `fd` runs
// as the user `uid`.
bool PeerIsUser(int fd, uid_t uid);

// What became of a request handed to a watch.
enum class Handover {
  kNoWatch,   // none listens for that word database: run the command here
  kTooLarge,  // the request is larger than kMaxRequestBytes
  kNotSent,   // it could not be sent (errno says why)
  kNoAnswer,  // the watch stopped before it answered
  kAnswered,  // performed: *status and *message hold its answer
};

// When a watch listens for the word database at `word_file` (in a channel
// folder that only this user may enter), hands it `request` and waits until
// it has been performed.
Handover HandToWatch(const std::string& word_file, const Request& request, int* status,
                     std::string* message);

}  // namespace varnox::watch

#endif  // VARNOX_LINUX_WATCH_REQUEST_CHANNEL_H_
