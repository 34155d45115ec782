// varnox about: the About box.
#include "linux/cli/command_context.h"
#include "linux/platform/console_texts.h"
#include "linux/platform/console_user_interface.h"
#include "settings/product_info.h"

namespace varnox::cli {
namespace {

constexpr std::string_view kHelp =
    "Usage: varnox about\n"
    "\n"
    "Shows the About box: the product's name and version.\n";

int Run(CommandContext& context, const Arguments& arguments) {
  if (!arguments.operands.empty())
    return context.UserError("about takes no arguments");
  context.Print(TerminalText(ConsoleText(kAboutNotice)) + "\n");
  return kExitOk;
}

}  // namespace

extern const Command kAboutCommand{"about", "show the name and version", kHelp, {}, Run};

}  // namespace varnox::cli
