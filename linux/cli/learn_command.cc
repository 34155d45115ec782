// varnox learn: teaches the filter messages kept as text files.
#include <string>
#include <vector>

#include "engine/bayesian_filter.h"
#include "linux/cli/command.h"
#include "linux/cli/text_message.h"

namespace varnox::cli {
namespace {

constexpr std::string_view kOptions[] = {"--spam", "--good"};

constexpr std::string_view kHelp =
    "Usage: varnox learn --spam FILE...\n"
    "       varnox learn --good FILE...\n"
    "\n"
    "Teaches the filter each FILE as spam (--spam) or as good mail (--good), then\n"
    "saves the word database. A FILE is a message as plain text: its first line\n"
    "is the subject, the rest is the body. UTF-8 files are converted to the\n"
    "filter's code page 1252 (characters it lacks become \"?\"); other files are\n"
    "taken as code page 1252 already.\n"
    "\n"
    "Every FILE is read before anything is learned: when one cannot be read,\n"
    "nothing is learned. Learning a message twice counts it twice.\n"
    "\n"
    "  --spam   the files are spam\n"
    "  --good   the files are good mail\n";

int Run(CommandContext& context, const Arguments& arguments) {
  const bool spam = arguments.Has("--spam");
  if (spam == arguments.Has("--good"))
    return context.UserError("learn needs one of --spam and --good (see varnox learn --help)");
  if (arguments.operands.empty())
    return context.UserError("learn needs the files to learn (see varnox learn --help)");
  if (int status = context.LockWordDatabase(); status != kExitOk)
    return status;

  std::vector<TextMessage> messages(arguments.operands.size());
  for (std::size_t i = 0; i < messages.size(); ++i) {
    std::string error;
    if (!ReadTextMessage(context.files(), arguments.operands[i], &messages[i], &error))
      return context.UserError(TerminalTextFromUtf8(error) + "; nothing was learned");
  }

  BayesianFilter filter(context.platform());
  filter.Initialize();
  std::size_t learned = 0;
  for (TextMessage& message : messages)
    learned += filter.Learn(std::move(message.body), std::move(message.subject), spam ? 1 : 0);
  // A failed save has been shown by the engine ("Cannot save database").
  if (filter.Save() == 0)
    return context.UserError("the word database could not be saved");

  context.Print("Learned " + std::to_string(learned) + (learned == 1 ? " message" : " messages") +
                (spam ? " as spam" : " as good mail") + ". The filter knows " +
                std::to_string(filter.WordCount()) + " words from " +
                std::to_string(filter.SpamMessages()) + " spam and " +
                std::to_string(filter.CleanMessages()) + " good messages.\n");
  return learned == messages.size() ? kExitOk
                                    : context.InternalError("some messages were not learned");
}

}  // namespace

extern const Command kLearnCommand{"learn", "teach the filter messages as spam or good mail", kHelp,
                                   kOptions, Run};

}  // namespace varnox::cli
