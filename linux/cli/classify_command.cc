// varnox classify: judges messages without changing anything.
#include <string>

#include "engine/bayesian_filter.h"
#include "linux/cli/command.h"
#include "linux/cli/mail_file.h"
#include "mail/process_new_item.h"

namespace varnox::cli {
namespace {

constexpr std::string_view kOptions[] = {"--stamp"};

constexpr std::string_view kHelp =
    "Usage: varnox classify FILE...\n"
    "       varnox classify --stamp [FILE]\n"
    "\n"
    "Judges each FILE, a mail message (RFC 822, as a Maildir holds it; \"-\" is\n"
    "the standard input), with the filter alone, and prints one line for it:\n"
    "\n"
    "  FILE: Spam, score 97\n"
    "      cash 99 meeting 0 offer 98 ...\n"
    "\n"
    "The score runs from 0 to 100; above 90 is spam. The second line holds the\n"
    "words that decided, each with its spam percentage. A message with three\n"
    "bytes in a row outside plain ASCII in its subject or its body (in code\n"
    "page 1252, where letters of other scripts become such bytes) is spam\n"
    "without a score (\"non-English characters\"). A file without header lines\n"
    "is judged as a body without a subject.\n"
    "\n"
    "With --stamp, the one message (FILE, or the standard input when none is\n"
    "given) is printed to the standard output with the verdict added at the end\n"
    "of its headers, as varnox watch writes it (X-VNX-RESULT, X-VNX-SCORE,\n"
    "X-VNX-TOP-WORDS); no other byte changes. For a mail delivery agent:\n"
    "\n"
    "  varnox classify --stamp < message > stamped\n"
    "\n"
    "The sender lists are not consulted here (varnox watch does). Nothing is\n"
    "written: the word database stays as it is, so classify may run beside\n"
    "varnox watch. A FILE that cannot be read is reported and the others are\n"
    "still judged; the exit status is then 1.\n";

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

int Judge(BayesianFilter& filter, MailFile& mail, MessageInfo* info) {
  info->subject = std::move(mail.texts.subject);
  return filter.Classify(std::move(mail.texts.body), *info);
}

int Stamp(CommandContext& context, BayesianFilter& filter, const std::string& path) {
  MailFile mail;
  std::string error;
  if (!ReadMailFile(path, &mail, &error))
    return context.UserError(TerminalTextFromUtf8(error));
  MessageInfo info;
  const int spam = Judge(filter, mail, &info);
  const maildir::HeaderBlock block = maildir::FindHeaderBlock(mail.raw);
  context.Print(maildir::HeaderPrefixWith(mail.raw, block, FilterStamp(spam, info)));
  context.Print(std::string_view(mail.raw).substr(block.end));
  return kExitOk;
}

int Run(CommandContext& context, const Arguments& arguments) {
  const bool stamp = arguments.Has("--stamp");
  if (!stamp && arguments.operands.empty())
    return context.UserError("classify needs the files to judge (see varnox classify --help)");
  if (stamp && arguments.operands.size() > 1)
    return context.UserError("--stamp takes one message");
  if (int status = context.RequireWordDatabase(); status != kExitOk)
    return status;

  BayesianFilter filter(context.platform());
  LoadWithoutSaving(context.platform(), filter);
  if (stamp)
    return Stamp(context, filter, arguments.operands.empty() ? "-" : arguments.operands[0]);
  int status = kExitOk;
  for (const std::string& file : arguments.operands) {
    MailFile mail;
    std::string error;
    if (!ReadMailFile(file, &mail, &error)) {
      status = context.UserError(TerminalTextFromUtf8(error));
      continue;
    }
    MessageInfo info;
    Judge(filter, mail, &info);
    context.Print(Verdict(file, info));
  }
  return status;
}

}  // namespace

extern const Command kClassifyCommand{
    "classify", "judge messages: spam or clean, and why; or stamp one", kHelp, kOptions, Run};

}  // namespace varnox::cli
