// varnox headers: the Mail Header viewer on a message file.
#include "addin/settings_commands.h"
#include "addin/vnx_addin.h"
#include "linux/cli/command_context.h"
#include "linux/maildir/maildir_host.h"
#include "linux/platform/console_user_interface.h"

namespace varnox::cli {
namespace {

constexpr std::string_view kHelp =
    "Usage: varnox headers MESSAGE\n"
    "\n"
    "Shows the transport headers of MESSAGE, a message file in the new/ or cur/\n"
    "folder of a Maildir folder, as the Mail Header button shows them in the\n"
    "mail client: the header block of a message that came through transport\n"
    "(it has a Received: line), with the verdicts Varnox added; nothing for\n"
    "sent mail and drafts. Nothing is changed.\n";

int Run(CommandContext& context, const Arguments& arguments) {
  if (arguments.operands.empty())
    return context.UserError("headers needs a message file (see varnox headers --help)");
  // The explorer of a host that is not connected: the add-in only reads
  // the selection, so nothing is made or watched.
  maildir::MaildirHost host;
  std::string bad;
  if (Failed(host.SetSelection(arguments.operands, &bad)))
    return context.UserError(TerminalTextFromUtf8(bad) +
                             " is not a message in the new/ or cur/ folder of a Maildir");
  CVNXAddin& addin = context.Addin();
  addin.application = host.ApplicationRef();
  OnMailHeader(addin);
  // More than one message: the add-in said "Please Select a single mail".
  return arguments.operands.size() == 1 ? kExitOk : kExitUserError;
}

}  // namespace

extern const Command kHeadersCommand{
    "headers", "show a message's transport headers", kHelp, {}, Run};

}  // namespace varnox::cli
