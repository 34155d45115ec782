// The connected session a command on mail works in (mark-spam, not-spam,
// train): the stores it names connected, so that its operation finds the
// spam folder and the top-level folders, and the events its own moves cause
// are handled as in the mail client. Run by hand, the command connects a session of its own to the
// stores it needs and disconnects it at the end, the word database saved.
// Performed by a running `varnox watch` for a client (request_server.h),
// it works in the watch's session instead: one add-in, one table of words
// and one memory of Not Spam's moves; at the end the word database is saved
// and the watch goes on.
#ifndef VARNOX_LINUX_CLI_COMMAND_SESSION_H_
#define VARNOX_LINUX_CLI_COMMAND_SESSION_H_

#include <memory>
#include <string>
#include <vector>

#include "linux/cli/command.h"
#include "linux/watch/mail_session.h"

namespace varnox::cli {

class CommandSession {
 public:
  CommandSession(CommandContext& context, bool quiet);
  ~CommandSession();
  CommandSession(const CommandSession&) = delete;
  CommandSession& operator=(const CommandSession&) = delete;

  // The stores of `message_files` connected, and the files as the items an
  // operation takes. In the watch's session the stores must be among those
  // it watches (said when not).
  int ConnectFiles(const std::vector<std::string>& message_files,
                   std::unique_ptr<host::ItemList>* items);
  // The store named (none: watch::DefaultStore()) connected, for train.
  int ConnectStore(const std::vector<std::string>& named);
  // The store ConnectStore connected.
  const std::string& store() const { return store_; }

  watch::MailSession* operator->() { return &session_; }

  // The end of the command: its own session disconnected, or the watch's
  // word database saved. kExitOk, or a user error said when the save failed.
  int Finish();

 private:
  // kExitOk when the watch watches `store` (canonical); else said.
  int CheckWatched(const std::string& store, const std::string& named);

  CommandContext& context_;
  std::unique_ptr<watch::MailSession> own_;
  watch::MailSession& session_;
  std::string store_;
};

// For the commands on message files: kExitOk when each file is a
// message in the new/ or cur/ of a Maildir folder; otherwise says which is
// not, and that `learn_instead` (for example "varnox learn --spam FILE")
// teaches a message kept anywhere else.
int CheckMaildirMessages(CommandContext& context, const std::vector<std::string>& files,
                         std::string_view learn_instead);

}  // namespace varnox::cli

#endif  // VARNOX_LINUX_CLI_COMMAND_SESSION_H_
