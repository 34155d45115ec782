#include "linux/cli/command.h"

#include <algorithm>
#include <cstdio>

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

CommandContext::CommandContext(XdgPaths paths, ConsoleOptions console, std::string command)
    : paths_(std::move(paths)),
      command_(std::move(command)),
      files_(RealFileSystem()),
      registry_(files_, paths_.SettingsFile()),
      ui_(std::move(console)),
      dialogs_(ui_),
      platform_{registry_, clock_, files_, ui_, faces_, dialogs_, SystemXmlParser()} {
  // Copies that settings writes killed in an earlier run left beside it.
  files_.RemoveAbandonedCopies(paths_.SettingsFile());
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

int CommandContext::RequireSettings() {
  SettingsFile file;
  switch (SettingsFileRegistry::Load(files_, paths_.SettingsFile(), &file)) {
    case kErrorSuccess:
      break;
    case kErrorFileNotFound:
      return UserError("there is no settings file (" + paths_.SettingsFile() +
                       "): run `varnox init` first");
    default:
      return UserError("the settings file " + paths_.SettingsFile() + " cannot be read");
  }
  return kExitOk;
}

int CommandContext::RequireWordDatabase() {
  if (int status = RequireSettings(); status != kExitOk)
    return status;
  std::string path;
  if (!SettingsStore(registry_).WordFilePath(&path) || path.empty()) {
    return UserError("the settings file " + paths_.SettingsFile() +
                     " names no word database (WordFilePath)");
  }
  return kExitOk;
}

int CommandContext::LockWordDatabase() {
  if (lock_ != nullptr)
    return kExitOk;  // a request served by `varnox watch`, which holds it
  if (int status = RequireWordDatabase(); status != kExitOk)
    return status;
  std::string path;
  SettingsStore(registry_).WordFilePath(&path);
  std::string refusal;
  lock_ = DatabaseLock::Take(path, command_, &refusal);
  return lock_ != nullptr ? kExitOk : UserError(refusal);
}

CVNXAddin& CommandContext::Addin() {
  if (addin_ == nullptr)
    addin_ = std::make_unique<CVNXAddin>(platform_);
  return *addin_;
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

}  // namespace varnox::cli
