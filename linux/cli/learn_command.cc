// varnox learn: teaches the filter messages kept as text files.
#include <memory>
#include <string>
#include <vector>

#include "addin/vnx_addin.h"
#include "engine/bayesian_filter.h"
#include "linux/cli/command_context.h"
#include "linux/maildir/mail_file.h"
#include "linux/platform/console_user_interface.h"
#include "platform/platform.h"

namespace varnox::cli {
namespace {

constexpr std::string_view kOptions[] = {"--spam", "--good"};

constexpr std::string_view kHelp =
    "Usage: varnox learn --spam FILE...\n"
    "       varnox learn --good FILE...\n"
    "\n"
    "Teaches the filter each FILE as spam (--spam) or as good mail (--good), then\n"
    "saves the word database. A FILE is a mail message (RFC 822, as a Maildir\n"
    "holds it; \"-\" is the standard input); its subject and body are read as\n"
    "varnox watch reads them. A file without header lines is all body. To teach\n"
    "whole Maildir folders, see varnox train.\n"
    "\n"
    "Every FILE is read before anything is learned: when one cannot be read or\n"
    "is empty, nothing is learned. Learning a message twice counts it twice.\n"
    "While varnox watch runs, it does the work (see varnox watch --help).\n"
    "\n"
    "  --spam   the files are spam\n"
    "  --good   the files are good mail\n";

int Check(CommandContext& context, const Arguments& arguments) {
  if (arguments.Has("--spam") == arguments.Has("--good"))
    return context.UserError("learn needs one of --spam and --good (see varnox learn --help)");
  if (arguments.operands.empty())
    return context.UserError("learn needs the files to learn (see varnox learn --help)");
  return kExitOk;
}

int Run(CommandContext& context, const Arguments& arguments) {
  const bool spam = arguments.Has("--spam");

  std::vector<maildir::MailFile> messages(arguments.operands.size());
  for (std::size_t i = 0; i < messages.size(); ++i) {
    std::string error;
    if (!maildir::ReadMailFile(arguments.operands[i], &messages[i], &error))
      return context.UserError(TerminalTextFromUtf8(error) + "; nothing was learned");
    // Learning nothing would still count a message and tilt the filter.
    if (messages[i].raw.find_first_not_of(" \t\r\n") == std::string::npos) {
      const std::string& name = arguments.operands[i];
      return context.UserError((name == "-" ? "the standard input" : TerminalTextFromUtf8(name)) +
                               " is empty; nothing was learned");
    }
    // Only the texts are learned; the file's bytes (attachments and all)
    // need not wait in memory for the others.
    std::string().swap(messages[i].raw);
  }

  // Performed by a running watch, the lessons go into its own table.
  std::unique_ptr<BayesianFilter> own;
  if (context.serving_session() == nullptr) {
    own = std::make_unique<BayesianFilter>(context.platform());
    own->Initialize();
  }
  BayesianFilter& filter = own != nullptr ? *own : context.Addin().filter;
  std::size_t learned = 0;
  for (maildir::MailFile& message : messages) {
    learned += filter.Learn(std::move(message.texts.body), std::move(message.texts.subject),
                            spam ? 1 : 0, message.texts.headers.value_or(std::string()));
  }
  // A failed save has been shown by the engine ("Cannot save database").
  if (filter.Save() == 0)
    return context.UserError("the word database could not be saved");

  context.Print("Learned " + Messages(static_cast<long>(learned)) +
                (spam ? " as spam" : " as good mail") + ". The filter knows " +
                std::to_string(filter.WordCount()) + " words from " +
                std::to_string(filter.SpamMessages()) + " spam and " +
                std::to_string(filter.CleanMessages()) + " good messages.\n");
  return learned == messages.size() ? kExitOk
                                    : context.InternalError("some messages were not learned");
}

}  // namespace

extern const Command kLearnCommand{.name = "learn",
                                   .summary = "teach the filter messages as spam or good mail",
                                   .help = kHelp,
                                   .options = kOptions,
                                   .run = Run,
                                   .needs = Needs::kWordDatabaseLock,
                                   .first = Check};

}  // namespace varnox::cli
