// varnox classify: judges messages kept as text files.
#include <string>

#include "engine/bayesian_filter.h"
#include "linux/cli/command.h"
#include "linux/cli/text_message.h"

namespace varnox::cli {
namespace {

constexpr std::string_view kHelp =
    "Usage: varnox classify FILE...\n"
    "\n"
    "Judges each FILE, a message as plain text (first line the subject, the rest\n"
    "the body; see varnox learn --help), and prints one line for it:\n"
    "\n"
    "  FILE: Spam, score 97\n"
    "      cash 99 meeting 0 offer 98 ...\n"
    "\n"
    "The score runs from 0 to 100; above 90 is spam. The second line holds the\n"
    "words that decided, each with its spam percentage. A message with three\n"
    "bytes in a row outside plain ASCII in its subject or its body is spam\n"
    "without a score (\"non-English characters\").\n"
    "\n"
    "A FILE that cannot be read is reported and the others are still judged;\n"
    "the exit status is then 1. Nothing is written: the word database stays as\n"
    "it is, so classify may run beside varnox watch.\n";

std::string Verdict(const std::string& file, const MessageInfo& info) {
  std::string text = TerminalTextFromUtf8(file) + ": ";
  if (info.nonEnglish != 0)
    return text + "Spam, non-English characters\n";
  text += TerminalText(info.verdictText) + ", score " + std::to_string(info.score) + "\n";
  // topWords is " word percent ..." ended by "\r\n", or empty.
  std::string words = TerminalText(info.topWords);
  while (!words.empty() && words.back() == '\n')
    words.pop_back();
  text += words.empty() ? "    (no words)\n" : "   " + words + "\n";
  return text;
}

int Run(CommandContext& context, const Arguments& arguments) {
  if (arguments.operands.empty())
    return context.UserError("classify needs the files to judge (see varnox classify --help)");
  if (int status = context.RequireWordDatabase(); status != kExitOk)
    return status;

  BayesianFilter filter(context.platform());
  LoadWithoutSaving(filter);
  int status = kExitOk;
  for (const std::string& file : arguments.operands) {
    TextMessage message;
    std::string error;
    if (!ReadTextMessage(context.files(), file, &message, &error)) {
      status = context.UserError(TerminalTextFromUtf8(error));
      continue;
    }
    MessageInfo info;
    info.subject = std::move(message.subject);
    filter.Classify(std::move(message.body), info);
    context.Print(Verdict(file, info));
  }
  return status;
}

}  // namespace

extern const Command kClassifyCommand{
    "classify", "judge messages: spam or clean, and why", kHelp, {}, Run};

}  // namespace varnox::cli
