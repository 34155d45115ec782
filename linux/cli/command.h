// The `varnox` command: one file per subcommand, all listed in one table
// (command_table.cc). Adding a subcommand is one file and one row there.
//
// A subcommand is a thin shell over the core: it reads its arguments, builds
// what it needs from the platform (settings file, console, files, clock), and
// turns the core's results into lines on the terminal and an exit status.
#ifndef VARNOX_LINUX_CLI_COMMAND_H_
#define VARNOX_LINUX_CLI_COMMAND_H_

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace varnox {
struct Platform;
class BayesianFilter;
class SenderList;
}  // namespace varnox

namespace varnox::watch {
class MailSession;
struct Request;
}  // namespace varnox::watch

namespace varnox::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitUserError = 1;      // bad arguments, missing files, refused
inline constexpr int kExitInternalError = 2;  // something that should not happen

class CommandContext;  // command_context.h

// What a command needs before it runs; each includes the ones before it.
enum class Needs {
  kNothing,
  // A settings file that can be read. Without it every setting reads as off
  // and nothing can be saved, which would look like success.
  kSettings,
  // Settings that name a word database. Without it the engine would work on
  // an empty table and save nowhere, which looks like success.
  kWordDatabase,
  // The word database's lock (database_lock.h), for a command that writes
  // the database: held until the context is destroyed.
  kWordDatabaseLock,
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

// The index of `name` in `names`: the first equal one, else the first equal
// ignoring letter case (code page 1252); -1 when none is. How a folder or an
// entry typed on the command line is found among those offered.
int FindName(const std::vector<std::string>& names, std::string_view name);

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
  // What every use of the command needs, provided before `run`. A command
  // that needs more for some of its actions asks CommandContext::Provide
  // where it knows.
  Needs needs = Needs::kNothing;
  // What comes before the needs are provided, null for nothing: the checks
  // of the arguments, so that a mistyped command is told so before a
  // missing settings file (or, for watch, the standard streams made safe
  // before the lock's descriptor is opened).
  int (*first)(CommandContext& context, const Arguments& arguments) = nullptr;
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
// The command's `first`, its needs provided, then `run`: how main() runs a
// command and how `varnox watch` runs one for another command.
int RunWithNeeds(const Command& command, CommandContext& context, const Arguments& arguments);

// --- A running `varnox watch` holds the word database; it performs the
// commands that change it for the client (linux/watch/request_channel.h).

// Whether a running watch performs this command for the client:
// mark-spam, not-spam, learn, train and `settings empty`.
bool WatchServes(const Command& command, const Arguments& arguments);

// For a command that WatchServes: when a watch listens for the word
// database in the settings, hands it the request (`words`: the command's
// name and arguments as typed) and gives its exit status once it has been
// performed. Nullopt when no watch listens: the command runs here.
std::optional<int> ForwardToWatch(CommandContext& context, std::span<const std::string> words,
                                  bool yes);

// The watch's performer of a request: runs its command as `varnox` would,
// with the client's streams, folder and $MAILDIR lent, in `session` (the
// watch's, connected), through CommandContext::ServeIn.
int PerformRequest(CommandContext& context, watch::MailSession& session,
                   const watch::Request& request, std::span<const int> fds);

}  // namespace varnox::cli

#endif  // VARNOX_LINUX_CLI_COMMAND_H_
