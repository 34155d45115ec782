// varnox: the Varnox spam filter on a Linux console. See `varnox --help`.
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "linux/cli/command_context.h"
#include "linux/platform/console_user_interface.h"
#include "linux/platform/xdg_paths.h"
#include "linux/watch/request_channel.h"

#ifndef VARNOX_VERSION
#define VARNOX_VERSION "unknown"
#endif

namespace varnox::cli {
namespace {

constexpr std::string_view kUsage =
    "Usage: varnox [--yes] COMMAND [ARGUMENTS...]\n"
    "\n"
    "Varnox is a Bayesian spam filter for mail: it learns from mail you mark as\n"
    "spam or good, and judges new mail by the words it has seen.\n"
    "\n"
    "Commands:\n";

constexpr std::string_view kOptions =
    "\n"
    "Options:\n"
    "  -y, --yes      answer yes to every question instead of asking\n"
    "  -h, --help     show this help; after a command, show that command's help\n"
    "      --version  show the version\n"
    "\n"
    "Files: the settings live in $XDG_CONFIG_HOME/varnox/settings.ini (by default\n"
    "~/.config/varnox/settings.ini); `varnox init` lays it down, with the word\n"
    "database and the lists under $XDG_DATA_HOME/varnox/ (~/.local/share/varnox/).\n"
    "\n"
    "Exit status: 0 done, 1 a usage error or a refusal (explained on standard\n"
    "error), 2 an internal error; 3 from classify --spam-status for spam.\n";

std::string OverallHelp() {
  std::string text(kUsage);
  for (const Command* command : Commands()) {
    std::string name(command->name);
    name.resize(std::max<std::size_t>(name.size(), 10), ' ');
    text += "  " + name + " " + std::string(command->summary) + "\n";
  }
  text += kOptions;
  return text;
}

int Fail(std::string_view message) {
  std::fprintf(stderr, "varnox: %.*s\n", static_cast<int>(message.size()), message.data());
  return kExitUserError;
}

bool IsYes(std::string_view arg) {
  return arg == "--yes" || arg == "-y";
}

int Main(const std::vector<std::string>& args) {
  bool yes = false;
  std::size_t at = 0;
  for (; at < args.size() && args[at].size() > 1 && args[at][0] == '-'; ++at) {
    if (args[at] == "--help" || args[at] == "-h") {
      std::fputs(OverallHelp().c_str(), stdout);
      return kExitOk;
    }
    if (args[at] == "--version") {
      std::puts("varnox " VARNOX_VERSION);
      return kExitOk;
    }
    if (!IsYes(args[at]))
      return Fail("unknown option '" + args[at] + "' (see varnox --help)");
    yes = true;
  }
  if (at == args.size()) {
    std::fputs(OverallHelp().c_str(), stderr);
    return Fail("no command given");
  }
  const Command* command = FindCommand(args[at]);
  if (command == nullptr)
    return Fail("unknown command '" + args[at] + "' (see varnox --help)");

  Arguments arguments;
  bool help = false;
  if (int status =
          SplitArguments(*command, std::span(args).subspan(at + 1), &arguments, &yes, &help);
      status != kExitOk) {
    return status;
  }
  if (help) {
    std::fwrite(command->help.data(), 1, command->help.size(), stdout);
    return kExitOk;
  }

  XdgPaths paths;
  std::string error;
  if (!FindXdgPaths([](const char* name) { return std::getenv(name); }, &paths, &error))
    return Fail(error);
  ConsoleOptions console;
  console.answer_yes = yes;
  CommandContext context(std::move(paths), std::move(console),
                         "varnox " + std::string(command->name));
  // A running `varnox watch` holds the word database: it performs the request.
  if (WatchServes(*command, arguments)) {
    if (const std::optional<int> status = ForwardToWatch(context, std::span(args).subspan(at), yes))
      return *status;
  }
  const int status = RunWithNeeds(*command, context, arguments);
  // A warning on the way (a word database that could not be read whole)
  // means the command did not do all it seemed to.
  return status == kExitOk && context.console().warnings() > 0 ? kExitUserError : status;
}

}  // namespace
}  // namespace varnox::cli

int main(int argc, char** argv) {
  // Nothing may escape as an exception: a library that throws (out of
  // memory, a bad conversion) is an internal error with exit status 2.
  try {
    const int status = varnox::cli::Main(std::vector<std::string>(argv + 1, argv + argc));
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
      std::fputs("varnox: cannot write to standard output\n", stderr);
      return varnox::cli::kExitInternalError;
    }
    return status;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "varnox: internal error: %s\n", e.what());
  } catch (...) {
    std::fputs("varnox: internal error\n", stderr);
  }
  return varnox::cli::kExitInternalError;
}
