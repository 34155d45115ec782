// varnox support: the support page in the browser.
#include "addin/settings_commands.h"
#include "addin/vnx_addin.h"
#include "linux/cli/command_context.h"

namespace varnox::cli {
namespace {

constexpr std::string_view kHelp =
    "Usage: varnox support\n"
    "\n"
    "Opens the Varnox support page, installed beside the program, in your web\n"
    "browser (with xdg-open); when no browser can be opened, prints the page's path.\n";

int Run(CommandContext& context, const Arguments& arguments) {
  if (!arguments.operands.empty())
    return context.UserError("support takes no arguments");
  OnSupport(context.Addin());
  return kExitOk;
}

}  // namespace

extern const Command kSupportCommand{"support", "open the support page", kHelp, {}, Run};

}  // namespace varnox::cli
