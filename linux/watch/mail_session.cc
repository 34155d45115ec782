#include "linux/watch/mail_session.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "addin/vnx_addin.h"
#include "linux/maildir/maildir_folder.h"
#include "linux/maildir/message_file.h"
#include "linux/platform/console_user_interface.h"
#include "linux/platform/xdg_paths.h"
#include "mail/spam_move.h"

namespace varnox::watch {
namespace {

// How much of a message the start-up catch-up reads to find its headers.
constexpr std::size_t kCatchUpHeaderLimit = 1u << 20;

// Events that our own moves cause arrive at once; a folder quiet this
// long, this many times over, has nothing more to say.
constexpr int kQuietMs = 50;
constexpr int kQuietRounds = 3;

// A list file as last seen, so that a change made by another command is
// noticed before the next message is judged.
struct FileStamp {
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = -1;
  timespec modified = {};
  bool SameAs(const FileStamp& other) const {
    return device == other.device && inode == other.inode && size == other.size &&
           modified.tv_sec == other.modified.tv_sec && modified.tv_nsec == other.modified.tv_nsec;
  }
};

FileStamp StampOf(const std::string& path) {
  FileStamp stamp;
  struct stat st;
  if (::stat(path.c_str(), &st) == 0)
    stamp = {st.st_dev, st.st_ino, st.st_size, st.st_mtim};
  return stamp;
}

// What the pipeline did in a few words ("Spam, score 97", "Non English
// Spam", "NotSpam, score 3", "black list: ..."), or nullopt when it wrote
// nothing (a white-listed sender, a message it left alone).
std::optional<std::string> VerdictOf(const NewItemOutcome& outcome) {
  if (outcome.appended.empty() || Failed(outcome.written))
    return std::nullopt;
  switch (outcome.decidedBy) {
    case NewItemOutcome::Decided::kBlackList:
      return "black list: " + outcome.note;
    case NewItemOutcome::Decided::kNonEnglishRule:
      return "Non English Spam";
    default:
      return std::string(outcome.spam != 0 ? "Spam" : "NotSpam") + ", score " +
             std::to_string(outcome.score);
  }
}

std::string Line(std::string_view folder, const NewItemOutcome& outcome,
                 const std::string& verdict) {
  std::string line =
      TerminalText(folder) + ": \"" + TerminalText(outcome.subject) + "\" " + TerminalText(verdict);
  if (outcome.moved)
    line += Succeeded(*outcome.moved) ? " -> SpamFilter" : " (could not be moved)";
  return line + "\n";
}

}  // namespace

// Reloads the add-in's lists when their files changed (varnox blacklist /
// whitelist run meanwhile), as the client's list dialogs reload them.
class ListReloader {
 public:
  explicit ListReloader(CVNXAddin& addin) : addin_(addin) {
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
    if (!now.SameAs(*seen)) {
      *seen = now;
      list.Load();
    }
  }
  CVNXAddin& addin_;
  std::string black_path_, white_path_;
  FileStamp black_, white_;
};

bool IsUnstampedInNew(const host::CatchUpCandidate& candidate) {
  if (!candidate.in_new)
    return false;
  if (candidate.header_block)
    return !CarriesVerdict(*candidate.header_block);
  std::string headers;
  return Succeeded(maildir::ReadHeaderBlock(candidate.path, kCatchUpHeaderLimit, &headers)) &&
         !CarriesVerdict(headers);
}

std::string StoreOf(const std::string& message_file) {
  std::error_code error;
  const std::filesystem::path file = std::filesystem::canonical(message_file, error);
  if (error)
    return {};
  const std::filesystem::path folder = file.parent_path().parent_path();
  const std::string name = folder.filename().string();
  return !name.empty() && name[0] == '.' ? folder.parent_path().string() : folder.string();
}

std::string HomeFolder() {
  if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/')
    return home;
  const passwd* entry = ::getpwuid(::getuid());
  return entry != nullptr && entry->pw_dir != nullptr ? entry->pw_dir : "";
}

std::string DefaultStore() {
  if (const char* maildir = std::getenv("MAILDIR"); maildir != nullptr && maildir[0] != '\0')
    return maildir;
  const std::string home = HomeFolder();
  return home.empty() ? "" : home + "/Maildir";
}

MailSession::MailSession(SessionContext& context, bool quiet)
    : context_(context), quiet_(quiet), lists_(std::make_unique<ListReloader>(context.Addin())) {
  context.Addin().newItemObserver = this;
}

MailSession::~MailSession() {
  Disconnect();
  // The add-in lives on; nothing of this session may be called after it.
  context_.Addin().newItemObserver = nullptr;
}

void MailSession::BeforeJudging() {
  lists_->ReloadChanged();
  const host::MessageIdentity* message = set_.Delivering();
  handling_ = message != nullptr ? std::optional(*message) : std::nullopt;
  if (listener_ != nullptr && handling_)
    listener_->BeforeJudging(*handling_);
}

void MailSession::BeforeSpamMove() {
  if (WatchJournal* journal = handling_ ? JournalOf(handling_->store) : nullptr)
    journal->RecordMovePending(handling_->unique, JournalNow());
}

void MailSession::AfterJudging(std::string_view folder_name, const NewItemOutcome& outcome) {
  if (WatchJournal* journal = handling_ ? JournalOf(handling_->store) : nullptr) {
    journal->RecordHandled(handling_->unique, JournalNow());
    if (handling_->content_key)
      journal->RecordContentKey(*handling_->content_key, JournalNow());
  }
  if (listener_ != nullptr && handling_)
    listener_->AfterJudging(*handling_, outcome);
  handling_.reset();
  const std::optional<std::string> verdict = VerdictOf(outcome);
  if (!verdict)
    return;
  ++judged_;
  moved_ += outcome.moved && Succeeded(*outcome.moved) ? 1 : 0;
  if (!quiet_) {
    context_.Print(Line(folder_name, outcome, *verdict));
    std::fflush(stdout);
  }
}

int MailSession::AddStores(std::vector<std::string> stores) {
  if (stores.empty()) {
    const bool from_variable = std::getenv("MAILDIR") != nullptr && *std::getenv("MAILDIR") != '\0';
    stores.push_back(DefaultStore());
    if (stores.back().empty())
      return context_.UserError("no home folder: name the Maildir stores");
    if (!from_variable) {
      struct stat st;
      if (::stat(stores.back().c_str(), &st) != 0) {
        if (Failed(maildir::CreateStore(stores.back())))
          return context_.UserError("cannot make the Maildir " + stores.back());
        context_.console().Write("Made the empty Maildir " + TerminalTextFromUtf8(stores.back()) +
                                 "\n");
      }
    }
  }
  for (const std::string& store : stores) {
    const HResult hr = host_.AddStore(store);
    if (hr == kEInvalidArg)
      return context_.UserError(TerminalTextFromUtf8(store) +
                                " is not a Maildir (it needs cur/ and new/ folders)");
    if (Failed(hr))
      return context_.UserError(TerminalTextFromUtf8(store) + " is named twice");
  }
  OpenJournals();
  return kSessionOk;
}

int MailSession::AddStoresOf(const std::vector<std::string>& message_files) {
  std::vector<std::string> stores;
  for (const std::string& file : message_files) {
    const std::string store = StoreOf(file);
    if (store.empty())
      return context_.UserError("cannot read " + TerminalTextFromUtf8(file));
    if (std::find(stores.begin(), stores.end(), store) == stores.end())
      stores.push_back(store);
  }
  for (const std::string& store : stores) {
    if (host_.AddStore(store) == kEInvalidArg)
      return context_.UserError(TerminalTextFromUtf8(store) + " is not a Maildir");
  }
  OpenJournals();
  return kSessionOk;
}

void MailSession::OpenJournals() {
  for (const std::string& store : host_.stores())
    OpenJournal(store);
}

void MailSession::AddStoreLoop(host::StoreLoop& loop) {
  for (const std::string& store : loop.stores())
    OpenJournal(store);
  others_.push_back(&loop);
}

WatchJournal* MailSession::OpenJournal(const std::string& store) {
  if (journals_.contains(store))
    return journals_[store].get();
  const std::string folder = context_.JournalFolder();
  WatchJournal::Opened how = WatchJournal::Opened::kNew;
  auto journal = WatchJournal::Open(context_.files(), folder, store, &how);
  if (journal == nullptr) {
    context_.console().Write("varnox: warning: cannot keep the journal of " +
                             TerminalTextFromUtf8(store) + " in " + TerminalTextFromUtf8(folder) +
                             "; at start, mail in new/ without a verdict is judged\n");
  } else if (how == WatchJournal::Opened::kDamaged) {
    context_.console().Write("varnox: warning: the journal " +
                             TerminalTextFromUtf8(journal->path()) + " of " +
                             TerminalTextFromUtf8(store) +
                             " was damaged and starts afresh; at start, mail in new/ without a "
                             "verdict is judged\n");
  }
  WatchJournal* kept = journal.get();
  journals_[store] = std::move(journal);
  return kept;
}

WatchJournal* MailSession::JournalOf(const std::string& store) {
  const auto it = journals_.find(store);
  return it != journals_.end() ? it->second.get() : nullptr;
}

bool MailSession::ChooseForCatchUp(const host::CatchUpCandidate& candidate) {
  WatchJournal* journal = JournalOf(candidate.identity.store);
  if (journal == nullptr)
    return IsUnstampedInNew(candidate);
  const std::optional<WatchJournal::State> state = journal->StateOf(candidate.identity.unique);
  // A store that tracks what it delivered finishes its own moves.
  if (state == WatchJournal::State::kMovePending && !set_.TracksDelivered(candidate.identity.store))
    unfinished_moves_.push_back(candidate.path);
  if (state)
    return false;
  // The store knows whether it came after what was read last: a message of
  // the same content delivered again is a delivery.
  if (candidate.arrived_since)
    return *candidate.arrived_since;
  // A message renumbered (a new UIDVALIDITY) that was handled before.
  if (candidate.identity.content_key && journal->HandledContent(*candidate.identity.content_key))
    return false;
  if (const std::optional<JournalTime> mark = journal->watermark())
    return candidate.modified_ns >= *mark - kCatchUpSlack;
  // The first start: what was there before is passed over, but for mail in
  // new/ without a verdict. Recent mail passed over is noted, since the
  // next start looks back a little before the watermark.
  if (IsUnstampedInNew(candidate))
    return true;
  if (candidate.modified_ns >= started_ - kCatchUpSlack)
    journal->RecordHandled(candidate.identity.unique, JournalNow());
  return false;
}

void MailSession::CatchUp() {
  set_.CatchUp();
  for (const std::string& path : unfinished_moves_)
    FinishMove(path);
  unfinished_moves_.clear();
  // A move left undone whose message is no longer in a watched folder was
  // finished by someone else.
  for (auto& [store, journal] : journals_) {
    for (const std::string& unique : journal ? journal->PendingMoves() : std::vector<std::string>{})
      journal->RecordHandled(unique, JournalNow());
  }
  RecordWatermarks(false);
}

void MailSession::FinishMove(const std::string& path) {
  std::unique_ptr<host::ItemList> files;
  std::unique_ptr<host::Item> item;
  std::unique_ptr<host::MailItem> mail;
  if (Failed(host_.MessageFiles({path}, &files)) || Failed(files->GetItem(1, &item)) ||
      Failed(item->QueryMailItem(&mail)) || mail == nullptr)
    return;
  if (listener_ != nullptr)
    listener_->MovingItself(path);
  const bool moved = Succeeded(MoveToSpamFolder(context_.Addin(), *mail, "Spam Filter"));
  moved_ += moved ? 1 : 0;
  if (quiet_)
    return;
  context_.Print(TerminalTextFromUtf8(path) +
                 (moved ? " -> SpamFilter (its move was left undone at the last stop)\n"
                        : " could not be moved to SpamFilter\n"));
  std::fflush(stdout);
}

void MailSession::RecordWatermarks(bool only_large) {
  const JournalTime now = JournalNow();
  for (auto& [store, journal] : journals_) {
    // A store still catching up (an IMAP account connecting) has not seen
    // all that arrived before now.
    if (journal != nullptr && (!only_large || journal->large()) && set_.CaughtUp(store))
      journal->RecordWatermark(now);
  }
}

int MailSession::Connect() {
  // The other loops' roots first: the add-in takes the last store's spam
  // folder for its own, and an IMAP account's messages go to the account's
  // own spam folder whichever it is given.
  if (set_.stores().empty()) {
    for (host::StoreLoop* loop : others_)
      set_.Add(*loop);
    if (!host_.stores().empty() || others_.empty())
      set_.Add(host_);
  }
  set_.SetCatchUpPolicy(
      [this](const host::CatchUpCandidate& candidate) { return ChooseForCatchUp(candidate); });
  const HResult hr = context_.Addin().OnConnection(set_.ApplicationRef());
  connected_ = true;
  if (Failed(hr))
    return context_.UserError("could not start the filter on these folders (status " +
                              std::to_string(hr) + ")");
  return kSessionOk;
}

int MailSession::ConnectFiles(const std::vector<std::string>& message_files,
                              std::unique_ptr<host::ItemList>* items) {
  if (int status = AddStoresOf(message_files); status != kSessionOk)
    return status;
  if (int status = Connect(); status != kSessionOk)
    return status;
  return MessageFiles(message_files, items);
}

int MailSession::DeliverPending() {
  for (int quiet = 0; quiet < kQuietRounds;) {
    const int delivered = set_.Poll(kQuietMs);
    if (delivered < 0)
      return delivered;
    quiet = delivered == 0 ? quiet + 1 : 0;
  }
  return 0;
}

int MailSession::MessageFiles(const std::vector<std::string>& message_files,
                              std::unique_ptr<host::ItemList>* items) {
  std::string bad;
  if (Failed(host_.MessageFiles(message_files, items, &bad)))
    return context_.UserError(TerminalTextFromUtf8(bad) +
                              " is not a message in the new/ or cur/ folder of a Maildir");
  for (const std::string& file : listener_ != nullptr ? message_files : std::vector<std::string>{})
    listener_->MovingItself(file);
  return kSessionOk;
}

int MailSession::Disconnect() {
  if (!connected_)
    return kSessionOk;
  connected_ = false;
  CVNXAddin& addin = context_.Addin();
  addin.OnDisconnection();
  // Saved again when the add-in goes; saving here tells whether it worked
  // (a failure has been shown as "Cannot save database").
  return addin.filter.Save() != 0 ? kSessionOk
                                  : context_.UserError("the word database could not be saved");
}

}  // namespace varnox::watch
