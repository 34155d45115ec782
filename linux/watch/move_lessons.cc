#include "linux/watch/move_lessons.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <thread>

#include "addin/vnx_addin.h"
#include "linux/maildir/mail_file.h"
#include "linux/maildir/maildir_folder.h"
#include "linux/maildir/maildir_objects.h"
#include "linux/maildir/message_file_name.h"
#include "linux/platform/console_user_interface.h"
#include "mail/message_learning.h"
#include "mail/message_texts.h"
#include "mail/spam_move.h"
#include "mime/content_key.h"
#include "mime/mime_reader.h"
#include "platform/platform.h"

namespace varnox::watch {
namespace {

// A message file's folder directory and entry, from its path
// (FOLDER/new/NAME or FOLDER/cur/NAME).
maildir::ItemLocation LocationOf(const std::string& path) {
  const std::string subdir = maildir::ParentDirectory(path);
  return {maildir::ParentDirectory(subdir), {maildir::BaseName(subdir), maildir::BaseName(path)}};
}

std::string FolderNameOf(const std::string& dir) {
  const std::string name = maildir::BaseName(dir);
  return name.size() > 1 && name[0] == '.' ? name.substr(1) : "Inbox";
}

}  // namespace

bool LeavesFolders(const std::vector<std::string>& dirs, std::string_view unique,
                   std::chrono::milliseconds window) {
  constexpr std::chrono::milliseconds kStep{50};
  const auto held = [&] {
    return std::any_of(dirs.begin(), dirs.end(), [&](const std::string& dir) {
      return maildir::FindMessage(dir, unique, nullptr).has_value();
    });
  };
  const auto deadline = std::chrono::steady_clock::now() + window;
  while (held()) {
    if (std::chrono::steady_clock::now() >= deadline)
      return false;
    std::this_thread::sleep_for(kStep);
  }
  return true;
}

MessageMarks MarksOf(std::string_view raw) {
  const mime::HeaderBlock block = mime::FindHeaderBlock(raw);
  const std::string_view headers = raw.substr(block.start, block.end - block.start);
  return {mime::ContentKey(raw), headers.find(kLearnMarkPrefix) != std::string_view::npos};
}

MoveLessons::~MoveLessons() {
  if (listening_)
    session_.SetArrivalListener(nullptr);
  for (const std::string& dir : spam_dirs_)
    spam_watcher_.UnwatchFolder(dir);
}

void MoveLessons::Start() {
  for (const std::string& store : session_.host().stores()) {
    for (const std::string& name : maildir::ListFolderDirectories(store)) {
      const std::string dir = store + "/" + name;
      if (name.size() > 1 && IsSpamFolderName(std::string_view(name).substr(1)) &&
          maildir::IsMaildir(dir) && Succeeded(spam_watcher_.WatchFolder(dir)))
        spam_dirs_.push_back(dir);
    }
  }
  session_.SetArrivalListener(this);
  listening_ = true;
}

int MoveLessons::Poll() {
  std::vector<maildir::FolderWatcher::Event> events;
  if (const HResult hr = spam_watcher_.Poll(0, &events); Failed(hr))
    return hr;
  for (const maildir::FolderWatcher::Event& event : events) {
    if (event.kind == maildir::FolderWatcher::Event::Kind::kMessageAdded)
      OnSpamArrival(event.dir, event.entry);
  }
  return 0;
}

bool MoveLessons::Enabled() const {
  return SettingsStore(context_.platform().registry).LearnFromMoves() != 0;
}

std::optional<MessageMarks> MoveLessons::ReadMarks(const std::string& path) const {
  struct stat st;
  std::string raw;
  if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) ||
      static_cast<std::uint64_t>(st.st_size) > maildir::kMaxMailFileBytes ||
      !context_.platform().files.ReadWholeFile(path, &raw))
    return std::nullopt;
  return MarksOf(raw);
}

std::optional<WatchJournal::Place> MoveLessons::PlaceOf(std::string_view unique,
                                                        std::uint64_t fingerprint) const {
  // A user's move may cross stores: every journal is asked.
  for (const std::string& store : session_.host().stores()) {
    const WatchJournal* journal = session_.JournalOf(store);
    std::string found;
    const auto place =
        journal != nullptr ? journal->PlaceOf(unique, fingerprint, &found) : std::nullopt;
    if (!place)
      continue;
    if (found == unique)
      return place;
    // The same content under another name: moved by copy only when the
    // message it matches leaves the folders it was seen in.
    const bool left = LeavesFolders(
        *place == WatchJournal::Place::kSpam ? spam_dirs_ : OtherFolders(), found, kCopyMoveWindow);
    return left ? place : std::nullopt;
  }
  return std::nullopt;
}

std::vector<std::string> MoveLessons::OtherFolders() const {
  std::vector<std::string> dirs;
  for (const std::string& store : session_.host().stores()) {
    dirs.push_back(store);
    for (const std::string& name : maildir::ListFolderDirectories(store)) {
      std::string dir = store + "/" + name;
      if (std::find(spam_dirs_.begin(), spam_dirs_.end(), dir) == spam_dirs_.end())
        dirs.push_back(std::move(dir));
    }
  }
  return dirs;
}

void MoveLessons::Record(const std::string& store, WatchJournal::Place place,
                         std::string_view unique, std::uint64_t fingerprint) {
  if (WatchJournal* journal = session_.JournalOf(store))
    journal->RecordPlace(place, unique, fingerprint, JournalNow());
}

void MoveLessons::MovingItself(const std::string& path) {
  own_moves_.Remember(std::string(maildir::UniqueName(maildir::BaseName(path))));
}

void MoveLessons::BeforeJudging(const host::MessageIdentity& message) {
  judging_.reset();
  if (!Enabled() || message.path.empty())
    return;
  judging_ = ReadMarks(message.path);
  if (!judging_ || own_moves_.TakeArrival(message.unique) || judging_->learn_mark ||
      PlaceOf(message.unique, judging_->fingerprint) != WatchJournal::Place::kSpam)
    return;
  // Out of SpamFilter by the user's hand: Not Spam's lesson, and, as after
  // Not Spam's own move, the pipeline leaves the message alone.
  std::string subject;
  if (!Teach(message.path, /*spam=*/false, &subject))
    return;
  context_.Addin().notSpamMoves.Remember(message.unique);
  Say(FolderNameOf(LocationOf(message.path).dir), subject,
      "moved out of SpamFilter: learned as good mail");
}

void MoveLessons::AfterJudging(const host::MessageIdentity& message,
                               const NewItemOutcome& outcome) {
  if (!judging_)
    return;
  const bool moved_to_spam = outcome.moved && Succeeded(*outcome.moved);
  Record(message.store, moved_to_spam ? WatchJournal::Place::kSpam : WatchJournal::Place::kWatched,
         message.unique, judging_->fingerprint);
  judging_.reset();
}

void MoveLessons::OnSpamArrival(const std::string& dir, const maildir::MessageEntry& entry) {
  if (!Enabled())
    return;
  maildir::ItemLocation where{dir, entry};
  if (!where.Resolve())
    return;  // gone again already
  const std::string path = maildir::MessagePath(dir, where.entry);
  const std::string unique(maildir::UniqueName(where.entry.name));
  const std::optional<MessageMarks> marks = ReadMarks(path);
  if (!marks)
    return;
  const bool own = own_moves_.TakeArrival(unique);
  // Asked only when the arrival could be a lesson: PlaceOf may wait.
  const std::optional<WatchJournal::Place> was =
      own || marks->learn_mark ? std::nullopt : PlaceOf(unique, marks->fingerprint);
  Record(maildir::MailFolderAt(dir).root, WatchJournal::Place::kSpam, unique, marks->fingerprint);
  // Never seen in a watched folder: delivered here, not moved by the user.
  if (own || marks->learn_mark || was != WatchJournal::Place::kWatched)
    return;
  std::string subject;
  if (Teach(path, /*spam=*/true, &subject))
    Say(FolderNameOf(dir), subject, "moved into SpamFilter: learned as spam");
}

bool MoveLessons::Teach(const std::string& path, bool spam, std::string* subject) {
  std::unique_ptr<host::Item> item =
      maildir::MakeItem(std::make_shared<maildir::ItemLocation>(LocationOf(path)));
  std::unique_ptr<host::MailItem> mail;
  std::unique_ptr<host::Message> message;
  if (Failed(item->QueryMailItem(&mail)) || mail == nullptr ||
      Failed(mail->MapiMessage(&message)) || message == nullptr)
    return false;
  CVNXAddin& addin = context_.Addin();
  const int taught =
      spam ? LearnFromMessage(addin, *message, 1) : LearnOrRelearn(addin, *message, 0);
  if (taught != 1)
    return false;
  // Saved at once, as after Mark Spam and Not Spam.
  addin.filter.Save();
  MessageTexts texts;
  ReadMessageTexts(*message, {MessageText::kSubject}, &texts);
  *subject = texts.subject.value_or("");
  return true;
}

void MoveLessons::Say(const std::string& folder, const std::string& subject,
                      std::string_view lesson) {
  if (quiet_)
    return;
  context_.Print(TerminalTextFromUtf8(folder) + ": \"" + TerminalText(subject) + "\" " +
                 std::string(lesson) + "\n");
  std::fflush(stdout);
}

}  // namespace varnox::watch
