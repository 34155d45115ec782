// varnox headers: the Mail Header viewer on a message file.
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "linux/cli/command_context.h"
#include "linux/maildir/maildir_host.h"
#include "linux/platform/console_texts.h"
#include "linux/platform/console_user_interface.h"
#include "mail/message_texts.h"
#include "platform/platform.h"
#include "platform/user_interface.h"

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
  // The files only are read: no store is connected, nothing is made.
  maildir::MaildirHost host;
  std::unique_ptr<host::ItemList> messages;
  std::string bad;
  for (const std::string& file : arguments.operands) {
    struct stat st;
    if (::stat(file.c_str(), &st) != 0)
      return context.UserError("cannot read " + TerminalTextFromUtf8(file) + ": " +
                               std::strerror(errno));
  }
  if (Failed(host.MessageFiles(arguments.operands, &messages, &bad)))
    return context.UserError(TerminalTextFromUtf8(bad) +
                             " is not a message in the new/ or cur/ folder of a Maildir");
  if (arguments.operands.size() > 1) {
    context.platform().ui.ShowMessage(kSelectSingleMail, kSelectSingleMailCaption, kMbOk);
    return kExitUserError;
  }
  std::unique_ptr<host::Item> item;
  if (Failed(messages->GetItem(1, &item)))
    return kExitOk;
  std::string shown = TerminalText(ConsoleText(HeadersToShow(*item)));
  if (!shown.empty() && shown.back() != '\n')
    shown.push_back('\n');
  context.Print(shown);
  return kExitOk;
}

}  // namespace

extern const Command kHeadersCommand{
    "headers", "show a message's transport headers", kHelp, {}, Run};

}  // namespace varnox::cli
