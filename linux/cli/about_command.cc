// varnox about: the About box.
#include "addin/settings_commands.h"
#include "addin/vnx_addin.h"
#include "linux/cli/command_context.h"

namespace varnox::cli {
namespace {

constexpr std::string_view kHelp =
    "Usage: varnox about\n"
    "\n"
    "Shows the About box: the product's name and version.\n";

int Run(CommandContext& context, const Arguments& arguments) {
  if (!arguments.operands.empty())
    return context.UserError("about takes no arguments");
  OnAbout(context.Addin());
  return kExitOk;
}

}  // namespace

extern const Command kAboutCommand{"about", "show the name and version", kHelp, {}, Run};

}  // namespace varnox::cli
