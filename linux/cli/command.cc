#include "linux/cli/command.h"

#include <algorithm>
#include <cstdio>

namespace varnox::cli {

CommandContext::CommandContext(XdgPaths paths, ConsoleOptions console)
    : paths_(std::move(paths)),
      files_(RealFileSystem()),
      registry_(files_, paths_.SettingsFile()),
      ui_(std::move(console)),
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

bool Arguments::Has(std::string_view option) const {
  return std::find(options.begin(), options.end(), option) != options.end();
}

}  // namespace varnox::cli
