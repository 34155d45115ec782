// varnox not-spam: Not Spam on message files, as in the mail client.
#include "addin/vnx_addin.h"
#include "linux/cli/command_context.h"
#include "linux/cli/command_session.h"
#include "linux/platform/console_user_interface.h"
#include "mail/mark_commands.h"
#include "mail/spam_move.h"
#include "mail/top_folders.h"
#include "platform/utf8.h"

namespace varnox::cli {
namespace {

constexpr std::string_view kOptions[] = {"--to=", "--remember"};

constexpr std::string_view kHelp =
    "Usage: varnox not-spam [--to FOLDER [--remember]] MESSAGE...\n"
    "\n"
    "Teaches the filter each MESSAGE as good mail, as the Not Spam button does\n"
    "in the mail client. A MESSAGE is a message file in the new/ or cur/ folder\n"
    "of a Maildir folder. The word database is saved at once.\n"
    "\n"
    "Messages in the SpamFilter folder are also moved back, to the top-level\n"
    "folder that the setting NotSpamFolderName names; when it is empty, the\n"
    "folder is asked for each message (on a terminal, by number) until you\n"
    "answer that it need not be asked again. Mail moved back is not judged\n"
    "again: it stays where it was put, also when varnox watch starts later.\n"
    "\n"
    "  --to FOLDER   answers the question: the folder good mail goes to\n"
    "  --remember    with --to: keep FOLDER as NotSpamFolderName, so that it\n"
    "                is not asked again\n"
    "\n"
    "While varnox watch runs, it does the work (see varnox watch --help);\n"
    "refused while another Varnox command holds the word database.\n";

int Check(CommandContext& context, const Arguments& arguments) {
  if (arguments.operands.empty())
    return context.UserError("not-spam needs the message files (see varnox not-spam --help)");
  const std::vector<std::string> to = arguments.Values("--to");
  if (to.size() > 1)
    return context.UserError("give --to once");
  if (arguments.Has("--remember") && to.empty())
    return context.UserError("--remember keeps the folder given with --to");
  return CheckMaildirMessages(context, arguments.operands, "varnox learn --good FILE");
}

// Whether the first message lies in the SpamFilter folder: the folder the
// messages are viewed in, as the mail client takes the explorer's.
bool InSpamFolder(CommandSession& session, const std::string& first_message) {
  std::unique_ptr<host::Folder> folder;
  std::string name;
  return Succeeded(session->host().FolderOfMessageFile(first_message, &folder)) &&
         Succeeded(folder->Name(&name)) && IsSpamFolderName(name);
}

int Run(CommandContext& context, const Arguments& arguments) {
  const std::vector<std::string> to = arguments.Values("--to");
  CommandSession session(context, /*quiet=*/false);
  std::unique_ptr<host::ItemList> messages;
  if (int status = session.ConnectFiles(arguments.operands, &messages); status != kExitOk)
    return status;

  CVNXAddin& addin = context.Addin();
  // Where good mail goes, asked for each message while NotSpamFolderName is
  // empty: --to answers (and --remember keeps the answer, as "Don't Display
  // this again" does); else "Select Outlook Folder" asks on the terminal.
  bool offered = true;
  AskDestination ask = [&addin] { return AskNotSpamFolder(addin); };
  if (!to.empty()) {
    const std::string folder = utf8::ToCodePage1252(to[0]);
    const bool remember = arguments.Has("--remember");
    ask = [&, folder, remember]() -> std::optional<std::string> {
      std::vector<std::string> names;
      ListMailFolderNames(addin, names);
      const int found = FindName(names, folder);
      if (found < 0) {
        offered = false;
        return std::nullopt;  // the message stays
      }
      const std::string& chosen = names[static_cast<std::size_t>(found)];
      addin.settings.SetNotSpamFolderName(remember ? chosen : "");
      return chosen;
    };
  }
  const CorrectionOutcome outcome =
      NotSpam(addin, *messages, InSpamFolder(session, arguments.operands.front()), ask);
  session->DeliverPending();
  if (!offered)
    return context.UserError("there is no top-level folder '" + TerminalTextFromUtf8(to[0]) +
                             "'; the messages were taught but stay where they are");
  if (outcome.moved > 0)
    context.console().Write("Moved " + Messages(outcome.moved) + " out of SpamFilter.\n");
  return session.Finish();
}

}  // namespace

extern const Command kNotSpamCommand{
    .name = "not-spam",
    .summary = "teach messages as good mail; move them out of SpamFilter",
    .help = kHelp,
    .options = kOptions,
    .run = Run,
    .needs = Needs::kWordDatabaseLock,
    .first = Check};

}  // namespace varnox::cli
