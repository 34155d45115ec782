// What a subcommand works with: the real platform services (settings file,
// console, dialogs, files, clock), the add-in over them, and the needs its
// table row declares (command.h), provided before it runs. The services
// live behind the context, so that a command sees only the headers of what
// it uses.
#ifndef VARNOX_LINUX_CLI_COMMAND_CONTEXT_H_
#define VARNOX_LINUX_CLI_COMMAND_CONTEXT_H_

#include <memory>
#include <string>
#include <string_view>

#include "linux/cli/command.h"
#include "linux/watch/session_context.h"

namespace varnox {
struct XdgPaths;
struct ConsoleOptions;
class FileSystem;
class ConsoleUserInterface;
class ConsoleDialogRunner;
class CVNXAddin;
}  // namespace varnox

namespace varnox::cli {

// Also what the watch service's sessions need of the program
// (watch::SessionContext): a command on mail runs one.
class CommandContext final : public watch::SessionContext {
 public:
  // `command` names the command line's command ("varnox watch") where a
  // lock holder is named.
  CommandContext(XdgPaths paths, ConsoleOptions console, std::string command = "varnox");
  ~CommandContext() override;  // the add-in first, then the lock, then the services
  CommandContext(const CommandContext&) = delete;
  CommandContext& operator=(const CommandContext&) = delete;

  const XdgPaths& paths() const;
  const Platform& platform() const override;
  FileSystem& files() override;
  ConsoleUserInterface& console() override;
  // Dialogs the core opens where a person is asked something.
  ConsoleDialogRunner& dialogs();
  // The data folder's journal/.
  std::string JournalFolder() const override;

  // UTF-8 text to standard output, as it is.
  void Print(std::string_view utf8) override;
  // "varnox: <message>" on standard error; returns kExitUserError.
  int UserError(std::string_view utf8_message) override;
  // The same for what should never happen; returns kExitInternalError.
  int InternalError(std::string_view utf8_message);

  // kExitOk when `needs` are met; otherwise says what is missing (no
  // settings file, no word database named, the lock held by another
  // process) and returns kExitUserError. The lock, once taken, is kept; a
  // context that holds it (a request served by `varnox watch`) is not asked
  // for the word database again.
  int Provide(Needs needs);

  // While `varnox watch` performs a request (request_server.h), the
  // watch's connected session, which the command works in; else null.
  watch::MailSession* serving_session() const { return serving_session_; }
  void ServeIn(watch::MailSession* session) { serving_session_ = session; }

  // The add-in object over this context's platform, made at the first call:
  // lists loaded, filter constructed (Initialize is the caller's). It is
  // destroyed before the platform services and the lock.
  CVNXAddin& Addin() override;

 private:
  int RequireSettings();
  int RequireWordDatabase();
  int LockWordDatabase();

  struct Services;
  std::unique_ptr<Services> services_;
  watch::MailSession* serving_session_ = nullptr;
};

}  // namespace varnox::cli

#endif  // VARNOX_LINUX_CLI_COMMAND_CONTEXT_H_
