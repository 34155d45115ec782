// varnox watch: the main job. The add-in runs on the Maildir host as it runs
// in the mail client: connected at start, judging every message added to a
// watched folder, disconnected and torn down (the word database saved) when
// the user stops it.
#include <signal.h>
#include <unistd.h>

#include <string>

#include "addin/vnx_addin.h"
#include "linux/cli/account_stores.h"
#include "linux/cli/command_context.h"
#include "linux/platform/console_user_interface.h"
#include "linux/watch/mail_session.h"
#include "linux/watch/move_lessons.h"
#include "linux/watch/request_server.h"
#include "platform/platform.h"
#include "settings/settings_store.h"

namespace varnox::cli {
namespace {

constexpr std::string_view kOptions[] = {"--quiet", "-q"};

constexpr std::string_view kHelp =
    "Usage: varnox watch [--quiet] [STORE...]\n"
    "\n"
    "Watches Maildir stores and IMAP accounts for new mail and judges every\n"
    "message that arrives, until you stop it with Ctrl-C (or SIGTERM). A STORE\n"
    "is a Maildir++ root (cur/, new/, tmp/; its folders are .NAME beside them),\n"
    "or imap:NAME for the account NAME of the file of accounts\n"
    "(~/.config/varnox/accounts.ini; see docs/imap-accounts.md). Without STOREs\n"
    "it watches $MAILDIR, or else ~/Maildir, which is made when missing.\n"
    "An account's watched folders are read over one connection each, woken by\n"
    "the server (IDLE) or asking every poll-seconds; spam goes to the account's\n"
    "own spam folder, and a lost connection is made again, waiting longer each\n"
    "time (at most 5 minutes). A refused password or certificate stops that\n"
    "account alone, with the reason, until watch starts again.\n"
    "\n"
    "At start it finds or makes the folder .SpamFilter, watches the Inbox and\n"
    "every top-level folder but SpamFilter, Drafts, Outbox and Trash (and any\n"
    "folder made later), and judges the mail in new/ and cur/ that arrived while\n"
    "it was stopped: what it did is kept in a journal per store in the data\n"
    "folder, so nothing is judged or learned twice, and a move to SpamFilter\n"
    "that a killed watch left undone is finished. The first start judges only\n"
    "the mail in new/ without a verdict. Each message judged gets its verdict in\n"
    "its headers (X-VNX-RESULT, X-VNX-SCORE, X-VNX-TOP-WORDS); spam is moved to\n"
    "SpamFilter.\n"
    "Senders on the white list are left alone; senders on the black list go to\n"
    "SpamFilter without being judged. Changes to the lists made meanwhile (with\n"
    "varnox blacklist / whitelist) count from the next message on; so do the\n"
    "settings.\n"
    "\n"
    "One line per message judged: folder, subject, verdict and score. What the\n"
    "filter learns (from listed senders, when the settings say so) is saved in\n"
    "the word database when watch stops.\n"
    "\n"
    "While watch runs it holds the word database, and it does the work of\n"
    "mark-spam, not-spam, learn, train and settings empty given meanwhile:\n"
    "they hand their request to it over a socket in $XDG_RUNTIME_DIR/varnox/\n"
    "(without XDG_RUNTIME_DIR, /tmp/varnox-UID/), and watch performs it between\n"
    "messages, its output and questions on the terminal of the command, the\n"
    "database saved at once. Mail that arrives meanwhile is judged after it.\n"
    "Only requests from the same user are taken. classify, stats and the lists\n"
    "work beside watch as always.\n"
    "varnox service prints a systemd user unit that starts watch at login.\n"
    "With the setting LearnFromMoves on, mail you move into SpamFilter (in a\n"
    "mail client or over IMAP) is learned as spam, and mail you move out of it\n"
    "into a watched folder as good mail, not judged again.\n"
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

// SIGINT, SIGTERM and SIGHUP set the flag and interrupt the wait (no SA_RESTART);
// the core runs only on this thread, outside the handler. A closed output
// must not end the process before the database is saved.
void InstallSignalHandlers() {
  struct sigaction action = {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGHUP, &action, nullptr);  // the terminal went away
  signal(SIGPIPE, SIG_IGN);
}

// The channel for the requests of other commands (request_channel.h); null,
// with a warning, when it cannot be opened: watch works without it.
std::unique_ptr<watch::RequestServer> ListenForRequests(CommandContext& context) {
  std::string word_file, error;
  SettingsStore(context.platform().registry).WordFilePath(&word_file);
  std::unique_ptr<watch::RequestServer> server;
  if (watch::PrepareChannelFolder(watch::ChannelFolder(), &error))
    server = watch::RequestServer::Listen(watch::ChannelPath(word_file), ::geteuid(), &error);
  if (server == nullptr)
    context.console().Write(
        "varnox: warning: " + TerminalTextFromUtf8(error) +
        "; mark-spam, not-spam, learn and train are refused while watch runs\n");
  return server;
}

// Before anything else, the lock included.
int OpenStreams(CommandContext&, const Arguments&) {
  watch::OpenMissingStandardStreams();
  return kExitOk;
}

int Run(CommandContext& context, const Arguments& arguments) {
  // After the lock: a socket file found there now was left by a watch gone.
  // Requests made from now on wait until the catch-up is over.
  const std::unique_ptr<watch::RequestServer> requests = ListenForRequests(context);
  for (SenderList* list : {&context.Addin().blackList, &context.Addin().whiteList}) {
    if (const std::string problem = ListFileProblem(*list); !problem.empty())
      context.console().Write("varnox: warning: " + TerminalTextFromUtf8(problem) +
                              "; it counts as empty until it can be read\n");
  }
  const bool quiet = arguments.Has("--quiet") || arguments.Has("-q");
  watch::MailSession session(context, quiet);
  std::vector<std::string> stores = arguments.operands;
  AccountStores accounts;
  if (int status = accounts.AddTo(context, session, &stores); status != kExitOk)
    return status;
  // Named accounts alone: no Maildir unless one is named too.
  if (!stores.empty() || accounts.stores().empty()) {
    if (int status = session.AddStores(stores); status != kExitOk)
      return status;
  }
  InstallSignalHandlers();
  if (int status = session.Connect(); status != kExitOk)
    return status;
  std::string names;
  for (const std::string& store : session.stores())
    names += " " + store;
  const std::size_t folders = context.Addin().folderSinks.size();
  context.console().Write("Watching" + TerminalTextFromUtf8(names) + " (" +
                          std::to_string(folders) + (folders == 1 ? " folder" : " folders") +
                          "); Ctrl-C stops.\n");
  // The user's moves into and out of SpamFilter (setting LearnFromMoves).
  watch::MoveLessons lessons(context, session, quiet);
  lessons.Start();
  session.CatchUp();

  int status = kExitOk;
  while (g_stop_signal == 0) {
    // A request is performed whole between two messages; mail delivered
    // meanwhile waits in the host's queue and is judged next.
    if (requests != nullptr && requests->Wait(session.WatchDescriptor(), kTickMs)) {
      requests->ServeWaiting([&](const watch::Request& request, std::span<const int> fds) {
        return PerformRequest(context, session, request, fds);
      });
    }
    int result = session.Poll(requests != nullptr ? 0 : kTickMs);
    if (const int moves = lessons.Poll(); result >= 0 && moves < 0)
      result = moves;
    if (result < 0) {
      status = context.InternalError("watching the folders failed (status " +
                                     std::to_string(result) + ")");
      break;
    }
    if (result == 0)
      session.RecordWatermarks(/*only_large=*/true);
  }
  if (const int saved = session.Disconnect(); status == kExitOk)
    status = saved;
  if (status == kExitOk)
    session.RecordWatermarks(/*only_large=*/false);
  context.console().Write("Stopped. Judged " + Messages(session.judged()) + ", " +
                          std::to_string(session.moved_to_spam()) + " moved to SpamFilter.\n");
  return status;
}

}  // namespace

extern const Command kWatchCommand{
    .name = "watch",
    .summary = "the main job: judge new mail in Maildir folders until stopped",
    .help = kHelp,
    .options = kOptions,
    .run = Run,
    .needs = Needs::kWordDatabaseLock,
    .first = OpenStreams};

}  // namespace varnox::cli
