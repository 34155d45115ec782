// varnox service: prints the systemd user unit that starts `varnox watch` at
// login, made for this program where it lies now and for the folders and
// stores this shell would use.
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "linux/cli/command_context.h"
#include "linux/watch/systemd_unit.h"

namespace varnox::cli {
namespace {

constexpr std::string_view kHelp =
    "Usage: varnox service [STORE...] > ~/.config/systemd/user/varnox.service\n"
    "\n"
    "Prints a systemd user unit that runs varnox watch while you are logged in:\n"
    "\n"
    "  mkdir -p ~/.config/systemd/user\n"
    "  varnox service > ~/.config/systemd/user/varnox.service\n"
    "  systemctl --user enable --now varnox\n"
    "\n"
    "The unit names this program by its absolute path (run varnox service again\n"
    "after moving it) and watches the STOREs given, else $MAILDIR when it is\n"
    "set, else ~/Maildir. $XDG_CONFIG_HOME and $XDG_DATA_HOME, when set, are\n"
    "written into it, so that the filter uses the same settings and word\n"
    "database as the commands you type. watch restarts when it fails, and stops\n"
    "on SIGTERM with the word database saved (systemctl --user stop varnox).\n"
    "What it prints goes to the journal: journalctl --user -u varnox.\n";

// This program's own file, links resolved.
std::string ProgramPath() {
  std::error_code error;
  const std::filesystem::path path = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::string() : path.string();
}

std::string Absolute(const std::string& path) {
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(path, error);
  return error ? path : absolute.lexically_normal().string();
}

int Run(CommandContext& context, const Arguments& arguments) {
  watch::UnitRecipe recipe;
  recipe.program = ProgramPath();
  if (recipe.program.empty())
    return context.InternalError("cannot find this program's own path (/proc/self/exe)");
  for (const std::string& store : arguments.operands)
    recipe.stores.push_back(Absolute(store));
  const char* maildir = std::getenv("MAILDIR");
  if (recipe.stores.empty() && maildir != nullptr && maildir[0] != '\0')
    recipe.stores.push_back(Absolute(maildir));
  // Only values the commands themselves obey: absolute ones (xdg_paths.h).
  for (const char* name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME"}) {
    if (const char* value = std::getenv(name); value != nullptr && value[0] == '/')
      recipe.environment.emplace_back(name, value);
  }
  const std::optional<std::string> unit = watch::UserUnit(recipe);
  if (!unit)
    return context.UserError(
        "a unit file cannot hold a control character in a path, nor a quote or backslash in "
        "this program's path (" +
        recipe.program + ")");
  context.Print(*unit);
  return kExitOk;
}

}  // namespace

extern const Command kServiceCommand{
    "service", "print a systemd user unit that starts watch at login", kHelp, {}, Run};

}  // namespace varnox::cli
