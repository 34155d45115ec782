// varnox train: Train Filter on the folders of a Maildir store, as in the
// mail client, with a progress line on a terminal.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "addin/vnx_addin.h"
#include "linux/cli/command_context.h"
#include "linux/cli/command_session.h"
#include "linux/dialogs/console_dialog_runner.h"
#include "linux/maildir/folder_name.h"
#include "linux/maildir/maildir_folder.h"
#include "linux/platform/console_user_interface.h"
#include "mail/top_folders.h"
#include "mail/train_dialog.h"
#include "mail/training.h"
#include "platform/code_page.h"
#include "platform/utf8.h"

namespace varnox::cli {
namespace {

constexpr std::string_view kOptions[] = {"--empty", "--spam=", "--good="};

constexpr std::string_view kHelp =
    "Usage: varnox train [--empty] [--spam FOLDER]... [--good FOLDER]... [STORE]\n"
    "\n"
    "Teaches the filter every message in the chosen top-level folders of a\n"
    "Maildir store (STORE, else $MAILDIR, else ~/Maildir), as Train Filter does\n"
    "in the mail client: the good-mail folders first, then the spam folders.\n"
    "Only the messages directly in a folder count (new/ and cur/), not its\n"
    "sub-folders; messages without transport headers (sent mail, drafts) teach\n"
    "nothing. Training the same messages twice counts them twice: to start\n"
    "afresh, give --empty. The word database is saved at the end.\n"
    "\n"
    "  --spam FOLDER   a folder that holds spam (\"Inbox\" is the store's root)\n"
    "  --good FOLDER   a folder that holds good mail\n"
    "  --empty         empty the word database before training\n"
    "\n"
    "Folder names are the top-level folders as varnox shows them (letter case\n"
    "does not matter). On a terminal, train without options asks for the\n"
    "folders by number. A progress line shows messages done, the folder's total\n"
    "and the rate; at the end, how many were learned and which could not be\n"
    "read. While varnox watch runs, it does the work (the STORE must be one it\n"
    "watches; see varnox watch --help). Refused while another Varnox command\n"
    "holds the word database, and when one folder is named both as spam and as\n"
    "good mail.\n"
    "\n"
    "Exit status 1 when a folder or a message could not be read (what could be\n"
    "read is learned and saved all the same).\n";

// The progress of training: a line on a terminal, redrawn at most ten times
// a second, and a summary line per folder.
class Progress {
 public:
  explicit Progress(ConsoleUserInterface& console) : console_(console), bar_(::isatty(2)) {}

  void Started(const std::string& folder, int total) {
    folder_ = TerminalText(folder);
    total_ = total;
    done_ = 0;
    start_ = last_ = std::chrono::steady_clock::now();
    Draw(true);
  }
  // One per item looked at.
  void Step() {
    if (done_ < total_)
      ++done_;
    Draw(false);
  }
  // The folder's walk is over: its last line.
  void Finish() {
    done_ = total_;
    Draw(true);
    console_.Write(bar_ ? "\n" : Text() + "\n");
  }

 private:
  std::string Text() const {
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    const long rate = seconds > 0.05 ? static_cast<long>(done_ / seconds) : 0;
    return "Training from " + folder_ + ": " + std::to_string(done_) + "/" +
           std::to_string(total_) + " messages" +
           (rate > 0 ? ", " + std::to_string(rate) + " per second" : "");
  }
  void Draw(bool now) {
    if (!bar_)
      return;
    const auto time = std::chrono::steady_clock::now();
    if (!now && time - last_ < std::chrono::milliseconds(100))
      return;
    last_ = time;
    console_.Write("\r" + Text() + "\x1B[K");
  }

  ConsoleUserInterface& console_;
  const bool bar_;
  std::string folder_;
  int total_ = 0;
  int done_ = 0;
  std::chrono::steady_clock::time_point start_, last_;
};

// The names of `offered` that `given` name (letter case aside), in the
// order offered and each once, as "Select Folders" gives the rows ticked;
// those not offered are added to *missing.
std::vector<std::string> Chosen(const std::vector<std::string>& offered,
                                const std::vector<std::string>& given,
                                std::vector<std::string>* missing) {
  std::vector<bool> ticked(offered.size(), false);
  for (const std::string& name : given) {
    const int row = FindName(offered, name);
    if (row < 0)
      missing->push_back(name);
    else
      ticked[static_cast<std::size_t>(row)] = true;
  }
  std::vector<std::string> chosen;
  for (std::size_t row = 0; row < offered.size(); ++row) {
    if (ticked[row])
      chosen.push_back(offered[row]);
  }
  return chosen;
}

// The messages of the folders a training walked, looked at again: which
// could not be read, so that none is passed over in silence.
struct FolderCheck {
  long messages = 0;
  std::vector<std::string> unreadable_messages;
  std::vector<std::string> unreadable_folders;  // why, for each
};

// The directory of the store's top-level folder shown as `name`.
std::optional<std::string> TopFolderDirectory(const std::string& store, const std::string& name) {
  if (code_page::EqualsIgnoreCase(name, maildir::kInboxName))
    return store;
  for (const std::string& base : maildir::ListFolderDirectories(store)) {
    if (base.find('.', 1) == std::string::npos &&
        code_page::EqualsIgnoreCase(maildir::DisplayFolderName(base.substr(1)), name))
      return store + "/" + base;
  }
  return std::nullopt;
}

bool CanRead(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  struct stat st;
  const bool ok = fd >= 0 && ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  if (fd >= 0)
    ::close(fd);
  return ok;
}

void CheckFolder(const std::string& dir, FolderCheck* check) {
  for (const char* sub : {"new", "cur"}) {
    const std::string path = dir + "/" + sub;
    DIR* listing = ::opendir(path.c_str());
    if (listing == nullptr) {
      check->unreadable_folders.push_back(path + ": " + std::strerror(errno));
      continue;
    }
    ::closedir(listing);
    for (const maildir::MessageEntry& entry : maildir::ListMessages(dir, sub)) {
      ++check->messages;
      if (const std::string file = maildir::MessagePath(dir, entry); !CanRead(file))
        check->unreadable_messages.push_back(file);
    }
  }
}

// "4 of 5 learned, 1 unreadable: PATH", the folders that could not be read;
// kExitOk when everything could be read.
int Report(CommandContext& context, long learned, const FolderCheck& check) {
  std::string text = std::to_string(learned) + " of " + std::to_string(check.messages) + " learned";
  const std::size_t unreadable = check.unreadable_messages.size();
  if (unreadable == 1)
    text += ", 1 unreadable: " + TerminalTextFromUtf8(check.unreadable_messages[0]);
  if (unreadable > 1) {
    text += ", " + std::to_string(unreadable) + " unreadable:";
    for (const std::string& path : check.unreadable_messages)
      text += "\n  " + TerminalTextFromUtf8(path);
  }
  context.console().Write(text + "\n");
  for (const std::string& folder : check.unreadable_folders)
    context.UserError("cannot read the folder " + TerminalTextFromUtf8(folder));
  return unreadable == 0 && check.unreadable_folders.empty() ? kExitOk : kExitUserError;
}

// Follows a training run: the progress line, the folders walked, and the
// filter's message count before the first walk (after any emptying).
class Walks final : public TrainingProgress {
 public:
  Walks(ConsoleUserInterface& console, const BayesianFilter& filter)
      : progress_(console), filter_(filter) {}

  void FolderStarted(host::Folder& folder) override {
    if (known_before_ < 0)
      known_before_ = MessagesKnown(filter_);
    std::string name;
    if (Failed(folder.Name(&name)))
      name = "?";
    walked_.push_back(name);
    progress_.Started(name, CountItems(folder));
  }
  void ItemDone() override { progress_.Step(); }
  void FolderFinished() override { progress_.Finish(); }

  const std::vector<std::string>& walked() const { return walked_; }
  long learned() const { return MessagesKnown(filter_) - known_before_; }

 private:
  static long MessagesKnown(const BayesianFilter& filter) {
    return static_cast<long>(filter.SpamMessages()) + static_cast<long>(filter.CleanMessages());
  }
  // The items are listed once more for the total (cheap: a message is read
  // only when asked for a text).
  static int CountItems(host::Folder& folder) {
    std::unique_ptr<host::Items> items;
    int total = 0;
    if (Failed(folder.GetItems(&items)) || items == nullptr)
      return total;
    std::unique_ptr<host::Item> item;
    for (HResult hr = items->GetFirst(&item); Succeeded(hr) && item != nullptr;
         hr = items->GetNext(&item)) {
      ++total;
    }
    return total;
  }

  Progress progress_;
  const BayesianFilter& filter_;
  long known_before_ = -1;
  std::vector<std::string> walked_;
};

std::vector<std::string> InCodePage(const std::vector<std::string>& names) {
  std::vector<std::string> converted;
  for (const std::string& name : names)
    converted.push_back(utf8::ToCodePage1252(name));
  return converted;
}

// Whether the folders to learn are given, rather than asked for.
bool Answered(const Arguments& arguments) {
  return arguments.Has("--empty") || !arguments.Values("--spam").empty() ||
         !arguments.Values("--good").empty();
}

int Check(CommandContext& context, const Arguments& arguments) {
  if (!Answered(arguments) && !context.console().CanAsk())
    return context.UserError(
        "say which folders to learn: --spam FOLDER, --good FOLDER (see "
        "varnox train --help)");
  if (arguments.operands.size() > 1)
    return context.UserError("train works on one store at a time");
  for (const std::string& name : InCodePage(arguments.Values("--spam"))) {
    for (const std::string& other : InCodePage(arguments.Values("--good"))) {
      if (code_page::EqualsIgnoreCase(name, other))
        return context.UserError("'" + TerminalText(name) +
                                 "' is named both as spam and as good mail; nothing was learned");
    }
  }
  return kExitOk;
}

int Run(CommandContext& context, const Arguments& arguments) {
  const std::vector<std::string> spam = InCodePage(arguments.Values("--spam"));
  const std::vector<std::string> good = InCodePage(arguments.Values("--good"));
  CommandSession session(context, /*quiet=*/true);
  if (int status = session.ConnectStore(arguments.operands); status != kExitOk)
    return status;

  CVNXAddin& addin = context.Addin();
  std::vector<std::string> spam_folders, good_folders;
  if (Answered(arguments)) {
    std::vector<std::string> offered, missing;
    ListMailFolderNames(addin, offered);
    spam_folders = Chosen(offered, spam, &missing);
    good_folders = Chosen(offered, good, &missing);
    if (!missing.empty()) {
      std::string text = "no top-level folder";
      for (const std::string& name : missing)
        text += " '" + TerminalText(name) + "'";
      text += "; nothing was learned. The folders are:";
      for (const std::string& name : offered)
        text += " '" + TerminalText(name) + "'";
      return context.UserError(text);
    }
    if (arguments.Has("--empty"))
      addin.filter.Empty();
  } else {
    // Asked on the terminal, as the mail client's dialog asks; "Start
    // Training" empties the filter first when asked to.
    TrainDialog dialog(addin.filter, context.dialogs());
    ListMailFolderNames(addin, dialog.allFolders);
    if (context.dialogs().RunModal(dialog) != kIdOkButton)
      return session.Finish();
    spam_folders = std::move(dialog.spamFolders);
    good_folders = std::move(dialog.goodFolders);
  }
  Walks walks(context.console(), addin.filter);
  Train(addin, good_folders, spam_folders, &walks);
  FolderCheck check;
  for (const std::string& folder : walks.walked()) {
    if (const auto dir = TopFolderDirectory(session.store(), folder))
      CheckFolder(*dir, &check);
  }
  const int saved = session.Finish();
  if (walks.walked().empty())
    return saved;
  const int read = Report(context, walks.learned(), check);
  return saved != kExitOk ? saved : read;
}

}  // namespace

extern const Command kTrainCommand{
    .name = "train",
    .summary = "teach the filter whole folders of spam and good mail",
    .help = kHelp,
    .options = kOptions,
    .run = Run,
    .needs = Needs::kWordDatabaseLock,
    .first = Check};

}  // namespace varnox::cli
