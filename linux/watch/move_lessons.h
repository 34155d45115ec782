// Learning from the user's own moves, for `varnox watch` while the setting
// LearnFromMoves is on: mail that the user moves into SpamFilter (with a mail
// client that reads the Maildir, or through an IMAP server serving it) is
// taught as Mark Spam teaches it; mail moved out of SpamFilter into a watched
// folder is taught as Not Spam teaches it and is not judged again.
//
// A move is told from a delivery by where the message was last seen, kept in
// the store's journal (watch_journal.h, records G and P): every message the
// pipeline handles is noted as seen in a watched folder (or in SpamFilter,
// when the pipeline moved it there), and every message that arrives in
// SpamFilter as seen there. A message is found by its unique name or, since
// an IMAP server's copy gets a new one, by a fingerprint of its content
// (its Message-ID and its body, which stamping does not change). Content
// alone is no move, though: the same message may be delivered twice (sent to
// two of the user's addresses, or again by a spammer). An arrival found by
// content only is a move when the message it matches leaves the folder it
// was seen in (a mail client's move by copy: IMAP's COPY, then \Deleted and
// EXPUNGE; mutt's save); while that message stays, the arrival is a
// delivery, judged. Not lessons:
// Varnox's own moves, arrivals never seen before (deliveries), and messages
// carrying a learning mark (X-VNX-LEARN: taught already).
//
// The setting is read at each arrival, like the others; while it is off
// nothing is recorded and nothing taught. One thread, the session's.
#ifndef VARNOX_LINUX_WATCH_MOVE_LESSONS_H_
#define VARNOX_LINUX_WATCH_MOVE_LESSONS_H_

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "linux/maildir/folder_watcher.h"
#include "linux/watch/mail_session.h"
#include "mail/not_spam_moves.h"

namespace varnox::watch {

// What a lesson needs to know of a message file.
struct MessageMarks {
  std::uint64_t fingerprint = 0;
  bool learn_mark = false;  // its headers carry X-VNX-LEARN
};

// The marks of a message's raw bytes: the fingerprint is its content key
// (mime/content_key.h).
MessageMarks MarksOf(std::string_view raw);

// How long an arrival that matches by content a message still in the folder
// it was seen in waits for that message to leave, before it is taken for a
// delivery: a move by copy puts the copy in first, and the client removes the
// original a round trip or two later.
inline constexpr std::chrono::milliseconds kCopyMoveWindow{3000};

// Whether the folders `dirs` (Maildir folder directories) hold no message of
// the unique name `unique` by the end of `window`: checked at once, then
// every 50 ms until it is gone or the window has passed.
bool LeavesFolders(const std::vector<std::string>& dirs, std::string_view unique,
                   std::chrono::milliseconds window);

class MoveLessons final : public ArrivalListener {
 public:
  MoveLessons(SessionContext& context, MailSession& session, bool quiet)
      : context_(context), session_(session), quiet_(quiet) {}
  ~MoveLessons() override;
  MoveLessons(const MoveLessons&) = delete;
  MoveLessons& operator=(const MoveLessons&) = delete;

  // After the session connected (SpamFilter exists): watches the SpamFilter
  // folder of every store and listens to the session.
  void Start();
  // Takes in what arrived in the SpamFilter folders meanwhile (no wait) and
  // teaches the moves among it. A negative status when watching failed.
  int Poll();

  void BeforeJudging(const host::MessageIdentity& message) override;
  void AfterJudging(const host::MessageIdentity& message, const NewItemOutcome& outcome) override;
  void MovingItself(const std::string& path) override;

 private:
  bool Enabled() const;
  std::optional<MessageMarks> ReadMarks(const std::string& path) const;
  // The place of the message with this name or, failing that, this
  // content, in any store's journal. A place found by content under another
  // name counts only when that message has left the folders it was seen in
  // (the spam folders for kSpam, the others for kWatched) within
  // kCopyMoveWindow: else the arrival is a second delivery, and nullopt.
  std::optional<WatchJournal::Place> PlaceOf(std::string_view unique,
                                             std::uint64_t fingerprint) const;
  // The folder directories of every store but the spam folders.
  std::vector<std::string> OtherFolders() const;
  void Record(const std::string& store, WatchJournal::Place place, std::string_view unique,
              std::uint64_t fingerprint);
  void OnSpamArrival(const std::string& dir, const maildir::MessageEntry& entry);
  // Teaches the file at `path` as Mark Spam (`spam`) or Not Spam does and
  // saves the word database; false when it was not taught.
  bool Teach(const std::string& path, bool spam, std::string* subject);
  void Say(const std::string& folder, const std::string& subject, std::string_view lesson);

  SessionContext& context_;
  MailSession& session_;
  bool quiet_;
  maildir::FolderWatcher spam_watcher_;
  std::vector<std::string> spam_dirs_;
  bool listening_ = false;
  // Messages Varnox is moving itself, by unique name: their arrival is no
  // lesson. Bounded, oldest forgotten first.
  NotSpamMoves own_moves_;
  // The message being judged, read before the pipeline changed it.
  std::optional<MessageMarks> judging_;
};

}  // namespace varnox::watch

#endif  // VARNOX_LINUX_WATCH_MOVE_LESSONS_H_
