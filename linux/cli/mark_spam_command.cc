// varnox mark-spam: Mark Spam on message files, as in the mail client.
#include "addin/vnx_addin.h"
#include "linux/cli/command_context.h"
#include "linux/cli/command_session.h"
#include "linux/platform/console_user_interface.h"
#include "mail/mark_commands.h"

namespace varnox::cli {
namespace {

constexpr std::string_view kHelp =
    "Usage: varnox mark-spam MESSAGE...\n"
    "\n"
    "Teaches the filter each MESSAGE as spam and moves it to the SpamFilter\n"
    "folder of its Maildir store, as the Mark Spam button does in the mail\n"
    "client. A MESSAGE is a message file in the new/ or cur/ folder of a\n"
    "Maildir folder (the Inbox or a .NAME folder of a store). The word database\n"
    "is saved at once.\n"
    "\n"
    "Messages without transport headers (no Received: line: sent mail, drafts)\n"
    "and messages carrying X-VNX-LEARN:Spam are neither taught nor moved.\n"
    "Marked spam is marked read first when the setting MarkReadBeforeMoving is\n"
    "on. While varnox watch runs, it does the work (see varnox watch --help);\n"
    "refused while another Varnox command holds the word database.\n";

int Check(CommandContext& context, const Arguments& arguments) {
  if (arguments.operands.empty())
    return context.UserError("mark-spam needs the message files (see varnox mark-spam --help)");
  return CheckMaildirMessages(context, arguments.operands, "varnox learn --spam FILE");
}

int Run(CommandContext& context, const Arguments& arguments) {
  CommandSession session(context, /*quiet=*/false);
  std::unique_ptr<host::ItemList> messages;
  if (int status = session.ConnectFiles(arguments.operands, &messages); status != kExitOk)
    return status;
  const int moved = MarkSpam(context.Addin(), *messages).moved;
  session->DeliverPending();
  context.console().Write("Marked " + std::to_string(moved) + " of " +
                          std::to_string(arguments.operands.size()) +
                          " messages as spam and moved them to SpamFilter.\n");
  return session.Finish();
}

}  // namespace

extern const Command kMarkSpamCommand{
    .name = "mark-spam",
    .summary = "teach messages as spam and move them to SpamFilter",
    .help = kHelp,
    .options = {},
    .run = Run,
    .needs = Needs::kWordDatabaseLock,
    .first = Check};

}  // namespace varnox::cli
