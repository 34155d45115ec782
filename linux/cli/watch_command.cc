// varnox watch: the main job. The add-in runs on the Maildir host as it runs
// in the mail client: connected at start, judging every message added to a
// watched folder, disconnected and torn down (the word database saved) when
// the user stops it.
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "linux/cli/command.h"
#include "linux/cli/observed_host.h"
#include "linux/maildir/maildir_host.h"

namespace varnox::cli {
namespace {

constexpr std::string_view kOptions[] = {"--quiet", "-q"};

constexpr std::string_view kHelp =
    "Usage: varnox watch [--quiet] [STORE...]\n"
    "\n"
    "Watches Maildir stores for new mail and judges every message that arrives,\n"
    "until you stop it with Ctrl-C (or SIGTERM). A STORE is a Maildir++ root\n"
    "(cur/, new/, tmp/; its folders are .NAME beside them). Without STOREs it\n"
    "watches $MAILDIR, or else ~/Maildir, which is made when missing.\n"
    "\n"
    "At start it finds or makes the folder .SpamFilter, watches the Inbox and\n"
    "every top-level folder but SpamFilter, Drafts, Outbox and Trash (and any\n"
    "folder made later), and judges the mail in new/ that arrived while nothing\n"
    "watched. Each message judged gets its verdict in its headers\n"
    "(X-VNX-RESULT, X-VNX-SCORE, X-VNX-TOP-WORDS); spam is moved to SpamFilter.\n"
    "Senders on the white list are left alone; senders on the black list go to\n"
    "SpamFilter without being judged. Changes to the lists made meanwhile (with\n"
    "varnox blacklist / whitelist) count from the next message on; so do the\n"
    "settings.\n"
    "\n"
    "One line per message judged: folder, subject, verdict and score. What the\n"
    "filter learns (from listed senders, when the settings say so) is saved in\n"
    "the word database when watch stops. Only one Varnox command at a time may\n"
    "use the word database: while watch runs, learn, train, mark-spam and\n"
    "not-spam are refused; classify, stats and the lists work.\n"
    "\n"
    "  -q, --quiet   print nothing per message\n";

// How long one wait for mail lasts: the longest a stop request waits for
// its turn when it lands just before a wait begins (a signal interrupts a
// wait that is under way).
constexpr int kTickMs = 250;

volatile sig_atomic_t g_stop_signal = 0;

void OnStopSignal(int signal_number) {
  g_stop_signal = signal_number;
}

// SIGINT and SIGTERM set the flag and interrupt the wait (no SA_RESTART);
// the core runs only on this thread, outside the handler. A closed output
// must not end the process before the database is saved.
void InstallSignalHandlers() {
  struct sigaction action = {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  signal(SIGPIPE, SIG_IGN);
}

std::string HomeFolder() {
  if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/')
    return home;
  const passwd* entry = ::getpwuid(::getuid());
  return entry != nullptr && entry->pw_dir != nullptr ? entry->pw_dir : "";
}

// The stores to watch, said and checked; kExitOk or the error's status.
int AddStores(CommandContext& context, const Arguments& arguments, maildir::MaildirHost& host) {
  std::vector<std::string> stores = arguments.operands;
  if (stores.empty()) {
    if (const char* maildir = std::getenv("MAILDIR"); maildir != nullptr && maildir[0] != '\0') {
      stores.emplace_back(maildir);
    } else {
      const std::string home = HomeFolder();
      if (home.empty())
        return context.UserError("no home folder: name the Maildir stores to watch");
      stores.push_back(home + "/Maildir");
      struct stat st;
      if (::stat(stores.back().c_str(), &st) != 0) {
        if (Failed(maildir::CreateStore(stores.back())))
          return context.UserError("cannot make the Maildir " + stores.back());
        context.console().Write("Made the empty Maildir " + TerminalTextFromUtf8(stores.back()) +
                                "\n");
      }
    }
  }
  for (const std::string& store : stores) {
    const HResult hr = host.AddStore(store);
    if (hr == kEInvalidArg)
      return context.UserError(TerminalTextFromUtf8(store) +
                               " is not a Maildir (it needs cur/ and new/ folders)");
    if (Failed(hr))
      return context.UserError(TerminalTextFromUtf8(store) + " is named twice");
  }
  return kExitOk;
}

// A list file as last seen, so that a change made by another command is
// noticed before the next message is judged.
struct FileStamp {
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = -1;
  timespec modified = {};
  bool operator!=(const FileStamp& other) const {
    return device != other.device || inode != other.inode || size != other.size ||
           modified.tv_sec != other.modified.tv_sec || modified.tv_nsec != other.modified.tv_nsec;
  }
};

FileStamp StampOf(const std::string& path) {
  FileStamp stamp;
  struct stat st;
  if (::stat(path.c_str(), &st) == 0)
    stamp = {st.st_dev, st.st_ino, st.st_size, st.st_mtim};
  return stamp;
}

class ListWatcher {
 public:
  explicit ListWatcher(CVNXAddin& addin) : addin_(addin) {
    addin.settings.BlackListPath(&black_path_);
    addin.settings.WhiteListPath(&white_path_);
    black_ = StampOf(black_path_);
    white_ = StampOf(white_path_);
  }
  void ReloadChanged() {
    Reload(addin_.blackList, black_path_, &black_);
    Reload(addin_.whiteList, white_path_, &white_);
  }

 private:
  static void Reload(SenderList& list, const std::string& path, FileStamp* seen) {
    const FileStamp now = StampOf(path);
    if (now != *seen) {
      *seen = now;
      list.Load();
    }
  }
  CVNXAddin& addin_;
  std::string black_path_, white_path_;
  FileStamp black_, white_;
};

struct Tally {
  int judged = 0;
  int spam = 0;
};

std::string Line(const ObservedItem& item, const std::string& verdict) {
  std::string line = TerminalText(item.folder) + ": \"" + TerminalText(item.subject.value_or("")) +
                     "\" " + TerminalText(verdict);
  if (item.move_status)
    line += Succeeded(*item.move_status) ? " -> SpamFilter" : " (could not be moved)";
  return line + "\n";
}

int Run(CommandContext& context, const Arguments& arguments) {
  if (int status = context.LockWordDatabase(); status != kExitOk)
    return status;
  maildir::MaildirHost host;
  if (int status = AddStores(context, arguments, host); status != kExitOk)
    return status;

  CVNXAddin& addin = context.Addin();
  const bool quiet = arguments.Has("--quiet") || arguments.Has("-q");
  ListWatcher lists(addin);
  Tally tally;
  auto observers = std::make_shared<ItemObservers>();
  observers->before = [&lists] { lists.ReloadChanged(); };
  observers->after = [&](const ObservedItem& item) {
    const std::optional<std::string> verdict = VerdictOf(item);
    if (!verdict)
      return;
    ++tally.judged;
    tally.spam += item.move_status && Succeeded(*item.move_status) ? 1 : 0;
    if (!quiet)
      context.Print(Line(item, *verdict));
    std::fflush(stdout);
  };

  InstallSignalHandlers();
  const HResult connected =
      addin.OnConnection(ObserveApplication(host.ApplicationRef(), observers));
  if (Failed(connected)) {
    addin.OnDisconnection();
    return context.UserError("could not start watching (status " + std::to_string(connected) + ")");
  }
  std::string stores;
  for (const std::string& store : host.stores())
    stores += " " + store;
  context.console().Write("Watching" + TerminalTextFromUtf8(stores) + " (" +
                          std::to_string(addin.folderSinks.size()) + " folders); Ctrl-C stops.\n");
  host.CatchUp();

  int status = kExitOk;
  while (g_stop_signal == 0) {
    lists.ReloadChanged();
    if (const int result = host.Poll(kTickMs); result < 0) {
      status = context.InternalError("watching the folders failed (status " +
                                     std::to_string(result) + ")");
      break;
    }
  }
  addin.OnDisconnection();
  // Saved again at teardown; saving here tells whether it worked.
  if (addin.filter.Save() == 0 && status == kExitOk)
    status = context.UserError("the word database could not be saved");
  observers->before = nullptr;
  observers->after = nullptr;
  context.console().Write("Stopped. Judged " + std::to_string(tally.judged) + " messages, " +
                          std::to_string(tally.spam) + " moved to SpamFilter.\n");
  return status;
}

}  // namespace

extern const Command kWatchCommand{
    "watch", "the main job: judge new mail in Maildir folders until stopped", kHelp, kOptions, Run};

}  // namespace varnox::cli
