// varnox support: the support page in the browser.
#include "linux/cli/command_context.h"
#include "platform/platform.h"
#include "platform/user_interface.h"
#include "settings/product_info.h"

namespace varnox::cli {
namespace {

constexpr std::string_view kHelp =
    "Usage: varnox support\n"
    "\n"
    "Opens the Varnox support page, made beside the program when it is built, in\n"
    "your web browser (with xdg-open); when no browser can be opened, prints the\n"
    "page's path. Exits with status 1 when the page is not there.\n";

int Run(CommandContext& context, const Arguments& arguments) {
  if (!arguments.operands.empty())
    return context.UserError("support takes no arguments");
  context.platform().ui.OpenPage(kSupportPage);
  return kExitOk;
}

}  // namespace

extern const Command kSupportCommand{"support", "open the support page", kHelp, {}, Run};

}  // namespace varnox::cli
