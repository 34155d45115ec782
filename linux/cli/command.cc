#include "linux/cli/command.h"

#include <algorithm>
#include <cstdio>

#include "settings/settings_store.h"

namespace varnox::cli {

CommandContext::CommandContext(XdgPaths paths, ConsoleOptions console)
    : paths_(std::move(paths)),
      files_(RealFileSystem()),
      registry_(files_, paths_.SettingsFile()),
      ui_(std::move(console)),
      dialogs_(ui_),
      platform_{registry_, clock_, files_, ui_, faces_, dialogs_, SystemXmlParser()} {}

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

int CommandContext::RequireWordDatabase() {
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
  std::string path;
  if (!SettingsStore(registry_).WordFilePath(&path) || path.empty()) {
    return UserError("the settings file " + paths_.SettingsFile() +
                     " names no word database (WordFilePath)");
  }
  return kExitOk;
}

bool Arguments::Has(std::string_view option) const {
  return std::find(options.begin(), options.end(), option) != options.end();
}

}  // namespace varnox::cli
