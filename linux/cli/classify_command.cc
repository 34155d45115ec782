// varnox classify: judges messages without changing anything.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

#include "engine/bayesian_filter.h"
#include "linux/cli/command_context.h"
#include "linux/maildir/mail_file.h"
#include "linux/platform/console_user_interface.h"
#include "mail/process_new_item.h"
#include "platform/platform.h"
#include "settings/settings_store.h"

namespace varnox::cli {
namespace {

constexpr std::string_view kOptions[] = {"--stamp", "--spam-status"};

// The exit status of --spam-status when a message is spam.
constexpr int kExitSpam = 3;

constexpr std::string_view kHelp =
    "Usage: varnox classify [--spam-status] [FILE...]\n"
    "       varnox classify --stamp [--spam-status] [FILE]\n"
    "\n"
    "Judges each FILE, a mail message (RFC 822, as a Maildir holds it; \"-\" is\n"
    "the standard input, which is read when no FILE is given), with the filter\n"
    "alone, and prints one line for it, with the verdict as the stamp says it:\n"
    "\n"
    "  FILE: Spam, score 97\n"
    "      cash 99 meeting 0 offer 98 ...\n"
    "\n"
    "The score runs from 0 to 100; above 90 is Spam, the rest NotSpam. The\n"
    "second line holds the words that decided, each with its spam percentage.\n"
    "With the second judge switched on (setting SecondJudge), the first line\n"
    "ends with the judge that decided, \"(second judge)\" or \"(classic judge)\":\n"
    "the classic judge decides until the second has learned spam and good mail. A\n"
    "message with three bytes in a row outside plain ASCII in its subject or its\n"
    "body (in code page 1252, where letters of other scripts become such bytes)\n"
    "is \"Non English Spam\", without a score. A file without header lines is\n"
    "judged as a body without a subject.\n"
    "\n"
    "With --stamp, the one message (FILE, or the standard input when none is\n"
    "given) is printed to the standard output with the verdict added at the end\n"
    "of its headers, as varnox watch writes it (X-VNX-RESULT, X-VNX-SCORE,\n"
    "X-VNX-TOP-WORDS). Fields of those names (and X-VNX-BLACKLIST) that the\n"
    "message came with are removed first, since a sender may forge them; no\n"
    "other byte changes. For a mail delivery agent:\n"
    "\n"
    "  varnox classify --stamp < message > stamped\n"
    "\n"
    "When the message cannot be judged (no settings or word database, a message\n"
    "too large to read), it is printed unchanged, the reason is said on the\n"
    "standard error and the exit status is 1: mail is never swallowed.\n"
    "\n"
    "The sender lists are not consulted here (varnox watch does). Nothing is\n"
    "written: the word database stays as it is, so classify may run beside\n"
    "varnox watch. A FILE that cannot be read is reported and the others are\n"
    "still judged; the exit status is then 1.\n"
    "\n"
    "  --stamp        print the message with its verdict, as described above\n"
    "  --spam-status  the exit status tells the verdict: 0 when every message is\n"
    "                 NotSpam, 3 when one is Spam or Non English Spam (1 and 2\n"
    "                 still mean an error)\n";

// The verdict in the stamp's words; with `name_judge`, the judge that
// decided too.
std::string Verdict(const std::string& file, int spam, const MessageInfo& info, bool name_judge) {
  std::string text = TerminalTextFromUtf8(file) + ": ";
  if (info.nonEnglish != 0)
    return text + "Non English Spam\n";
  text += std::string(spam != 0 ? "Spam" : "NotSpam") + ", score " + std::to_string(info.score);
  if (name_judge)
    text += info.chiSquare != 0 ? " (second judge)" : " (classic judge)";
  text += "\n";
  // topWords is " word percent ..." ended by "\r\n", or empty.
  std::string words = TerminalText(info.topWords);
  while (!words.empty() && words.back() == '\n')
    words.pop_back();
  text += words.empty() ? "    (no words)\n" : "   " + words + "\n";
  return text;
}

int Judge(BayesianFilter& filter, maildir::MailFile& mail, MessageInfo* info) {
  info->subject = std::move(mail.texts.subject);
  info->headers = mail.texts.headers.value_or(std::string());
  return filter.Classify(std::move(mail.texts.body), *info);
}

// Writes the message as it came: the bytes read already, then the rest of
// the input (all of a file). False when it could not be read or written.
bool PassThrough(const std::string& path, const std::string& read) {
  const bool standard_input = path == "-";
  const int fd = standard_input ? 0 : ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
  if (fd < 0)
    return false;
  bool ok = !standard_input || std::fwrite(read.data(), 1, read.size(), stdout) == read.size();
  char buffer[65536];
  for (ssize_t n; ok && (n = ::read(fd, buffer, sizeof buffer)) != 0;) {
    if (n < 0 && errno == EINTR)
      continue;
    ok = n > 0 &&
         std::fwrite(buffer, 1, static_cast<std::size_t>(n), stdout) == static_cast<std::size_t>(n);
  }
  if (!standard_input)
    ::close(fd);
  return ok;
}

// A message that cannot be judged goes on unchanged; the status says so.
int Unjudged(CommandContext& context, const std::string& path, const std::string& read,
             int status) {
  if (!PassThrough(path, read))
    return context.UserError("the message could not be passed on unchanged");
  context.UserError("the message was passed on unchanged, without a verdict");
  return status;
}

int Stamp(CommandContext& context, const std::string& path, bool spam_status) {
  maildir::MailFile mail;
  std::string error;
  if (!maildir::ReadMailFile(path, &mail, &error)) {
    context.UserError(TerminalTextFromUtf8(error));
    return Unjudged(context, path, mail.raw, kExitUserError);
  }
  if (int status = context.Provide(Needs::kWordDatabase); status != kExitOk)
    return Unjudged(context, path, mail.raw, status);
  BayesianFilter filter(context.platform());
  // One message: only the words it looks up are read from the image.
  filter.set_imageUse(WordStore::ImageUse::kRead);
  LoadWithoutSaving(context.platform(), filter);
  MessageInfo info;
  const int spam = Judge(filter, mail, &info);
  const mime::HeaderBlock block = mime::FindHeaderBlock(mail.raw);
  context.Print(mime::HeaderPrefixWith(mail.raw, block, FilterStamp(spam, info)));
  context.Print(std::string_view(mail.raw).substr(block.end));
  return spam != 0 && spam_status ? kExitSpam : kExitOk;
}

int Run(CommandContext& context, const Arguments& arguments) {
  const bool stamp = arguments.Has("--stamp");
  const bool spam_status = arguments.Has("--spam-status");
  if (stamp && arguments.operands.size() > 1)
    return context.UserError("--stamp takes one message");
  const std::vector<std::string> files =
      arguments.operands.empty() ? std::vector<std::string>{"-"} : arguments.operands;
  if (arguments.operands.empty() && ::isatty(STDIN_FILENO) == 1)
    return context.UserError(
        "classify needs the files to judge, or a message on the standard input (see varnox "
        "classify --help)");
  if (stamp)
    return Stamp(context, files[0], spam_status);
  if (int status = context.Provide(Needs::kWordDatabase); status != kExitOk)
    return status;

  BayesianFilter filter(context.platform());
  // One message: only the words it looks up are read from the image; more
  // are judged faster from the image mapped.
  if (files.size() == 1)
    filter.set_imageUse(WordStore::ImageUse::kRead);
  LoadWithoutSaving(context.platform(), filter);
  // Said only where the user chose the second judge: the lines stay as they
  // were for everybody else.
  const bool name_judge = SettingsStore(context.platform().registry).SecondJudge() != 0;
  int status = kExitOk;
  bool any_spam = false;
  for (const std::string& file : files) {
    maildir::MailFile mail;
    std::string error;
    if (!maildir::ReadMailFile(file, &mail, &error)) {
      status = context.UserError(TerminalTextFromUtf8(error));
      continue;
    }
    MessageInfo info;
    const int spam = Judge(filter, mail, &info);
    any_spam = any_spam || spam != 0;
    context.Print(Verdict(file, spam, info, name_judge));
  }
  if (status == kExitOk && any_spam && spam_status)
    return kExitSpam;
  return status;
}

}  // namespace

// Classify needs the word database but asks for it itself: a message to
// stamp is read first and passed on unchanged when it cannot be judged, as
// a mail delivery pipeline needs.
extern const Command kClassifyCommand{
    "classify", "judge messages: spam or clean, and why; or stamp one", kHelp, kOptions, Run};

}  // namespace varnox::cli
