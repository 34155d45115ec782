// The `varnox` command: one file per subcommand, all listed in one table
// (command_table.cc). Adding a subcommand is one file and one row there.
//
// A subcommand is a thin shell over the core: it reads its arguments, builds
// what it needs from the platform (settings file, console, files, clock), and
// turns the core's results into lines on the terminal and an exit status.
#ifndef VARNOX_LINUX_CLI_COMMAND_H_
#define VARNOX_LINUX_CLI_COMMAND_H_

#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "host/vnx_addin.h"
#include "linux/cli/database_lock.h"
#include "linux/console_dialog_runner.h"
#include "linux/console_user_interface.h"
#include "linux/settings_file_registry.h"
#include "linux/xdg_paths.h"
#include "platform/platform.h"

namespace varnox::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitUserError = 1;      // bad arguments, missing files, refused
inline constexpr int kExitInternalError = 2;  // something that should not happen

class MailSession;

// Everything a subcommand may use. Owns the real platform services.
class CommandContext {
 public:
  // `command` names the command line's command ("varnox watch") where a
  // lock holder is named.
  CommandContext(XdgPaths paths, ConsoleOptions console, std::string command = "varnox");
  CommandContext(const CommandContext&) = delete;
  CommandContext& operator=(const CommandContext&) = delete;

  const XdgPaths& paths() const { return paths_; }
  const Platform& platform() const { return platform_; }
  FileSystem& files() { return files_; }
  ConsoleUserInterface& console() { return ui_; }
  // Dialogs the core opens; a command queues its answers here.
  ConsoleDialogRunner& dialogs() { return dialogs_; }

  // UTF-8 text to standard output, as it is.
  void Print(std::string_view utf8);
  // "varnox: <message>" on standard error; returns kExitUserError.
  int UserError(std::string_view utf8_message);
  // The same for what should never happen; returns kExitInternalError.
  int InternalError(std::string_view utf8_message);

  // kExitOk when the settings file can be read; otherwise says what is
  // missing and returns kExitUserError. Without it every setting reads as
  // off and nothing can be saved, which would look like success.
  int RequireSettings();
  // For commands that use the word database: kExitOk when the settings file
  // can be read and names a word database; otherwise says what is missing
  // and returns kExitUserError. Without this check the engine would work on
  // an empty table and save nowhere, which looks like success.
  int RequireWordDatabase();
  // RequireWordDatabase, then the word database's lock (database_lock.h),
  // held until the context is destroyed, after the add-in. kExitUserError,
  // said, when it is held by another process; kExitOk when this context
  // holds it already.
  int LockWordDatabase();

  // While `varnox watch` performs a request (request_server.h), the
  // watch's connected session, which the command works in; else null.
  MailSession* serving_session() const { return serving_session_; }
  void ServeIn(MailSession* session) { serving_session_ = session; }

  // The add-in object over this context's platform, made at the first call:
  // lists loaded, filter constructed (Initialize is the caller's). It is
  // destroyed before the platform services and the lock.
  CVNXAddin& Addin();

 private:
  XdgPaths paths_;
  std::string command_;
  FileSystem& files_;
  SettingsFileRegistry registry_;
  SystemClock clock_;
  ConsoleUserInterface ui_;
  NoButtonFaces faces_;
  ConsoleDialogRunner dialogs_;
  Platform platform_;
  std::unique_ptr<DatabaseLock> lock_;
  std::unique_ptr<CVNXAddin> addin_;
  MailSession* serving_session_ = nullptr;
};

// "1 message", "2 messages".
inline std::string Messages(long count) {
  return std::to_string(count) + (count == 1 ? " message" : " messages");
}

// Loads the word database and ignore file named in the settings into
// `filter` and detaches it from them, so that it never writes either:
// neither at teardown nor when told to save, nor an empty word database
// where there is none. For commands that only judge or count, which must
// leave the files of a running `varnox watch` alone.
void LoadWithoutSaving(const Platform& platform, BayesianFilter& filter);

// Why `list` cannot be read from its file (missing, unreadable, not a list),
// in UTF-8; empty when it was read (and memory holds the file again).
std::string ListFileProblem(SenderList& list);

// A subcommand's arguments split into options ("-x", "--name", before any
// "--"), options with their values ("--name VALUE"), and operands
// (everything else, in order).
struct Arguments {
  std::vector<std::string> options;
  std::vector<std::pair<std::string, std::string>> values;
  std::vector<std::string> operands;
  // Both together in the order given, for commands whose options take a
  // value or apply to the operands that follow them.
  struct Given {
    std::string text;
    bool option = false;
  };
  std::vector<Given> in_order;

  bool Has(std::string_view option) const;
  // The values given for `option`, in order.
  std::vector<std::string> Values(std::string_view option) const;
};

struct Command {
  std::string_view name;
  std::string_view summary;  // one line for `varnox --help`
  std::string_view help;     // the whole text of `varnox NAME --help`
  // Options the command takes ("--name=" for one that takes a value); any
  // other option is a user error.
  std::span<const std::string_view> options;
  int (*run)(CommandContext& context, const Arguments& arguments);
};

// The table, in the order `varnox --help` lists it. Each subcommand's file
// defines its Command (for example kInitCommand in init_command.cc).
std::span<const Command* const> Commands();
// The command named `name`; null when there is none.
const Command* FindCommand(std::string_view name);
// Splits a command's arguments; --yes and --help are taken wherever they
// stand before "--". An option that takes a value is written "--name VALUE"
// or "--name=VALUE". kExitUserError, said, for an option the command does
// not take.
int SplitArguments(const Command& command, std::span<const std::string> args, Arguments* arguments,
                   bool* yes, bool* help);

}  // namespace varnox::cli

#endif  // VARNOX_LINUX_CLI_COMMAND_H_
