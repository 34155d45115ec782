#include "linux/cli/command.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>

#include "addin/vnx_addin.h"
#include "engine/bayesian_filter.h"
#include "linux/cli/command_context.h"
#include "linux/dialogs/console_dialog_runner.h"
#include "linux/platform/console_user_interface.h"
#include "linux/platform/settings_file_registry.h"
#include "linux/platform/xdg_paths.h"
#include "linux/watch/database_lock.h"
#include "linux/watch/request_channel.h"
#include "linux/watch/request_server.h"
#include "platform/code_page.h"
#include "platform/platform.h"
#include "settings/settings_store.h"

namespace varnox::cli {
namespace {

int Fail(std::string_view message) {
  std::fprintf(stderr, "varnox: %.*s\n", static_cast<int>(message.size()), message.data());
  return kExitUserError;
}

// Whether `option` is one of the command's, and whether it takes a value
// (listed as "--name=").
bool KnownOption(const Command& command, std::string_view option, bool* takes_value) {
  for (std::string_view known : command.options) {
    const bool valued = known.ends_with('=');
    if (valued)
      known.remove_suffix(1);
    if (known == option) {
      *takes_value = valued;
      return true;
    }
  }
  return false;
}

}  // namespace

struct CommandContext::Services {
  Services(XdgPaths given_paths, ConsoleOptions console, std::string given_command)
      : paths(std::move(given_paths)),
        command(std::move(given_command)),
        files(RealFileSystem()),
        registry(files, paths.SettingsFile()),
        ui(std::move(console)),
        dialogs(ui),
        platform{registry, clock, files, ui, faces, dialogs, SystemXmlParser()} {}

  XdgPaths paths;
  std::string command;
  FileSystem& files;
  SettingsFileRegistry registry;
  SystemClock clock;
  ConsoleUserInterface ui;
  NoButtonFaces faces;
  ConsoleDialogRunner dialogs;
  Platform platform;
  // Destroyed in reverse: the add-in, then the lock, then the services.
  std::unique_ptr<watch::DatabaseLock> lock;
  std::unique_ptr<CVNXAddin> addin;
};

CommandContext::CommandContext(XdgPaths paths, ConsoleOptions console, std::string command)
    : services_(
          std::make_unique<Services>(std::move(paths), std::move(console), std::move(command))) {
  // Copies that settings writes killed in an earlier run left beside it.
  services_->files.RemoveAbandonedCopies(services_->paths.SettingsFile());
}

CommandContext::~CommandContext() = default;

std::string CommandContext::JournalFolder() const {
  return services_->paths.data_folder + "/journal";
}

const XdgPaths& CommandContext::paths() const {
  return services_->paths;
}
const Platform& CommandContext::platform() const {
  return services_->platform;
}
FileSystem& CommandContext::files() {
  return services_->files;
}
ConsoleUserInterface& CommandContext::console() {
  return services_->ui;
}
ConsoleDialogRunner& CommandContext::dialogs() {
  return services_->dialogs;
}

void CommandContext::Print(std::string_view utf8) {
  std::fwrite(utf8.data(), 1, utf8.size(), stdout);
}

int CommandContext::UserError(std::string_view utf8_message) {
  std::fflush(stdout);  // keep the order of lines when both go to one place
  std::fprintf(stderr, "varnox: %.*s\n", static_cast<int>(utf8_message.size()),
               utf8_message.data());
  return kExitUserError;
}

int CommandContext::InternalError(std::string_view utf8_message) {
  UserError(utf8_message);
  return kExitInternalError;
}

int CommandContext::Provide(Needs needs) {
  switch (needs) {
    case Needs::kNothing:
      return kExitOk;
    case Needs::kSettings:
      return RequireSettings();
    case Needs::kWordDatabase:
      return RequireWordDatabase();
    case Needs::kWordDatabaseLock:
      return LockWordDatabase();
  }
  return InternalError("a command declares needs this program does not know");
}

int CommandContext::RequireSettings() {
  const std::string& path = services_->paths.SettingsFile();
  SettingsFile file;
  switch (SettingsFileRegistry::Load(services_->files, path, &file)) {
    case kErrorSuccess:
      break;
    case kErrorFileNotFound:
      return UserError("there is no settings file (" + path + "): run `varnox init` first");
    default:
      return UserError("the settings file " + path + " cannot be read");
  }
  return kExitOk;
}

int CommandContext::RequireWordDatabase() {
  if (int status = RequireSettings(); status != kExitOk)
    return status;
  std::string path;
  if (!SettingsStore(services_->registry).WordFilePath(&path) || path.empty()) {
    return UserError("the settings file " + services_->paths.SettingsFile() +
                     " names no word database (WordFilePath)");
  }
  return kExitOk;
}

int CommandContext::LockWordDatabase() {
  if (services_->lock != nullptr)
    return kExitOk;  // a request served by `varnox watch`, which holds it
  if (int status = RequireWordDatabase(); status != kExitOk)
    return status;
  std::string path;
  SettingsStore(services_->registry).WordFilePath(&path);
  std::string refusal;
  services_->lock = watch::DatabaseLock::Take(path, services_->command, &refusal);
  return services_->lock != nullptr ? kExitOk : UserError(refusal);
}

CVNXAddin& CommandContext::Addin() {
  if (services_->addin == nullptr)
    services_->addin = std::make_unique<CVNXAddin>(services_->platform);
  return *services_->addin;
}

void LoadWithoutSaving(const Platform& platform, BayesianFilter& filter) {
  const SettingsStore settings(platform.registry);
  std::string word_file, ignore_file;
  if (settings.WordFilePath(&word_file) && !platform.files.Exists(word_file)) {
    // Nothing learned yet: Initialize would lay down an empty database.
    if (settings.IgnoreFilePath(&ignore_file))
      filter.core().LoadIgnoreList(ignore_file);
  } else {
    filter.Initialize();
  }
  filter.core().set_databasePath("");
  filter.core().set_ignorePath("");
}

int FindName(const std::vector<std::string>& names, std::string_view name) {
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (names[i] == name)
      return static_cast<int>(i);
  }
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (code_page::EqualsIgnoreCase(names[i], name))
      return static_cast<int>(i);
  }
  return -1;
}

std::string ListFileProblem(SenderList& list) {
  const std::string path = list.FilePath();
  const std::string what = list.kind() == ListKind::Black ? "black list" : "white list";
  if (path.empty())
    return "the settings name no " + what + " file";
  if (list.Load())
    return {};
  if (!RealFileSystem().Exists(path))
    return "there is no " + what + " file " + path + " (`varnox init` lays down missing files)";
  return "the " + what + " file " + path +
         " cannot be read or is not a list file (see docs/list-files.md)";
}

bool Arguments::Has(std::string_view option) const {
  return std::find(options.begin(), options.end(), option) != options.end();
}

}  // namespace varnox::cli

namespace varnox::cli {

std::vector<std::string> Arguments::Values(std::string_view option) const {
  std::vector<std::string> found;
  for (const auto& [name, value] : values) {
    if (name == option)
      found.push_back(value);
  }
  return found;
}

}  // namespace varnox::cli

namespace varnox::cli {

const Command* FindCommand(std::string_view name) {
  for (const Command* command : Commands()) {
    if (command->name == name)
      return command;
  }
  return nullptr;
}

int SplitArguments(const Command& command, std::span<const std::string> args, Arguments* arguments,
                   bool* yes, bool* help) {
  bool options_end = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const std::string name = arg.substr(0, arg.find('='));
    bool takes_value = false;
    if (!options_end && arg == "--") {
      options_end = true;
    } else if (options_end || arg.size() < 2 || arg[0] != '-') {
      arguments->operands.push_back(arg);
      arguments->in_order.push_back({arg, false});
    } else if (arg == "--help" || arg == "-h") {
      *help = true;
    } else if (arg == "--yes" || arg == "-y") {
      *yes = true;
    } else if (!KnownOption(command, name, &takes_value) || (!takes_value && name != arg)) {
      return Fail(std::string(command.name) + ": unknown option '" + arg + "' (see varnox " +
                  std::string(command.name) + " --help)");
    } else if (!takes_value) {
      arguments->options.push_back(arg);
      arguments->in_order.push_back({arg, true});
    } else if (name != arg) {
      arguments->values.emplace_back(name, arg.substr(name.size() + 1));
    } else if (i + 1 < args.size()) {
      arguments->values.emplace_back(name, args[++i]);
    } else {
      return Fail(std::string(command.name) + ": " + name + " needs a value");
    }
  }
  return kExitOk;
}

int RunWithNeeds(const Command& command, CommandContext& context, const Arguments& arguments) {
  if (command.first != nullptr) {
    if (int status = command.first(context, arguments); status != kExitOk)
      return status;
  }
  if (int status = context.Provide(command.needs); status != kExitOk)
    return status;
  return command.run(context, arguments);
}

}  // namespace varnox::cli

namespace varnox::cli {
namespace {

// The request's command with its arguments, as main() runs it.
int RunCommand(CommandContext& context, watch::MailSession& session,
               const watch::Request& request) {
  const Command* command = FindCommand(request.words[0]);
  if (command == nullptr)
    return context.UserError("unknown command '" + TerminalTextFromUtf8(request.words[0]) + "'");
  Arguments arguments;
  bool yes = request.yes;
  bool help = false;
  if (int status =
          SplitArguments(*command, std::span(request.words).subspan(1), &arguments, &yes, &help);
      status != kExitOk)
    return status;
  if (!WatchServes(*command, arguments))
    return context.UserError("varnox watch does not run `varnox " + std::string(command->name) +
                             "` for others");
  if (help) {
    context.Print(command->help);
    return kExitOk;
  }
  ConsoleUserInterface& console = context.console();
  const bool watch_yes = console.answer_yes();
  const int warnings = console.warnings();
  console.set_answer_yes(yes);
  context.ServeIn(&session);
  int status = kExitInternalError;
  try {
    status = RunWithNeeds(*command, context, arguments);
  } catch (const std::exception& e) {
    status = context.InternalError(std::string("internal error: ") + e.what());
  }
  context.ServeIn(nullptr);
  console.set_answer_yes(watch_yes);
  return status == kExitOk && console.warnings() > warnings ? kExitUserError : status;
}

}  // namespace

bool WatchServes(const Command& command, const Arguments& arguments) {
  for (const std::string_view name : {"mark-spam", "not-spam", "learn", "train"}) {
    if (command.name == name)
      return true;
  }
  return command.name == "settings" && arguments.operands.size() == 1 &&
         arguments.operands[0] == "empty";
}

std::optional<int> ForwardToWatch(CommandContext& context, std::span<const std::string> words,
                                  bool yes) {
  std::string word_file;
  if (!SettingsStore(context.platform().registry).WordFilePath(&word_file) || word_file.empty())
    return std::nullopt;  // the command says what is missing
  watch::Request request;
  request.yes = yes;
  if (const char* maildir = std::getenv("MAILDIR"); maildir != nullptr)
    request.maildir = maildir;
  request.words.assign(words.begin(), words.end());
  int status = kExitInternalError;
  std::string message;
  std::fflush(stdout);
  switch (watch::HandToWatch(word_file, request, &status, &message)) {
    case watch::Handover::kNoWatch:
      return std::nullopt;
    case watch::Handover::kTooLarge:
      return context.UserError(
          "the arguments are too long to hand to the running varnox watch (at most " +
          std::to_string(watch::kMaxRequestBytes / 1024) + " KiB): give fewer at a time");
    case watch::Handover::kNotSent:
      return context.InternalError(
          std::string("cannot hand the request to the running varnox watch: ") +
          std::strerror(errno));
    case watch::Handover::kNoAnswer:
      return context.InternalError(
          "varnox watch stopped before it answered; see `varnox stats` for what was learned");
    case watch::Handover::kAnswered:
      break;
  }
  if (!message.empty())
    context.UserError(TerminalTextFromUtf8(message));
  return status;
}

int PerformRequest(CommandContext& context, watch::MailSession& session,
                   const watch::Request& request, std::span<const int> fds) {
  watch::LentClient lent(request, fds);
  if (!lent.in_folder())
    return context.UserError("varnox watch cannot work in the folder the command was given in");
  return RunCommand(context, session, request);
}

}  // namespace varnox::cli
