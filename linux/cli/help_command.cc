// varnox help: the help page in the browser, or a command's help.
#include "linux/cli/command_context.h"
#include "linux/platform/console_user_interface.h"
#include "platform/platform.h"
#include "platform/user_interface.h"
#include "settings/product_info.h"

namespace varnox::cli {
namespace {

constexpr std::string_view kHelp =
    "Usage: varnox help [COMMAND]\n"
    "\n"
    "Without a COMMAND, opens the Varnox help page, made beside the program when\n"
    "it is built, in your web browser (with xdg-open); when no browser can be\n"
    "opened, prints the page's path. Exits with status 1 when the page is not\n"
    "there.\n"
    "With a COMMAND, shows that command's help, as varnox COMMAND --help does.\n";

int Run(CommandContext& context, const Arguments& arguments) {
  if (arguments.operands.size() > 1)
    return context.UserError("help takes at most one command name");
  if (arguments.operands.empty()) {
    context.platform().ui.OpenPage(kHelpPage);
    return kExitOk;
  }
  for (const Command* command : Commands()) {
    if (command->name == arguments.operands[0]) {
      context.Print(command->help);
      return kExitOk;
    }
  }
  return context.UserError("unknown command '" + TerminalTextFromUtf8(arguments.operands[0]) +
                           "' (see varnox --help)");
}

}  // namespace

extern const Command kHelpCommand{
    "help", "open the help page, or show a command's help", kHelp, {}, Run};

}  // namespace varnox::cli
