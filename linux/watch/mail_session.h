// The add-in connected to the Maildir stores for one command, as the mail
// client runs it: watch, mark-spam, not-spam and train each start it
// (OnConnection), act (wait for mail, or call an operation on the message
// files or folders named), deliver the events their own moves caused (mail
// moved into a watched folder is judged again, as in the client), and stop
// it (OnDisconnection, the word database saved). The session hears what the
// pipeline did with each message (NewItemObserver): it prints a line for
// each message judged and keeps the stores' journals.
//
// The stores are Maildir stores (maildir::MaildirHost) and any other store
// loops given (IMAP accounts). What the session asks of them to run the
// add-in, catch up and deliver events is the store loop of
// host/store_loop.h, and its journals key each message by the store's name
// and the store's own identity of it. Adding stores by their paths and
// naming messages by their files are Maildir's own.
//
// The caller holds the word database's lock first. One thread.
#ifndef VARNOX_LINUX_WATCH_MAIL_SESSION_H_
#define VARNOX_LINUX_WATCH_MAIL_SESSION_H_

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "addin/vnx_addin.h"
#include "host/item.h"
#include "linux/maildir/maildir_host.h"
#include "linux/watch/session_context.h"
#include "linux/watch/store_set.h"
#include "linux/watch/watch_journal.h"
#include "mail/process_new_item.h"

namespace varnox::watch {

class ListReloader;  // mail_session.cc

// Told what the session's pipeline handles and which moves Varnox makes
// itself; `watch` sets one to learn from the user's moves (move_lessons.h).
class ArrivalListener {
 public:
  virtual ~ArrivalListener() = default;
  // Before and after the pipeline handles a message added to a watched
  // folder (its identity names its file).
  virtual void BeforeJudging(const host::MessageIdentity& message) = 0;
  virtual void AfterJudging(const host::MessageIdentity& message,
                            const NewItemOutcome& outcome) = 0;
  // Varnox is about to move this message file itself (a message named to
  // mark-spam or not-spam, a move to SpamFilter finished at start).
  virtual void MovingItself(const std::string& path) = 0;
};

class MailSession final : private NewItemObserver {
 public:
  // `context` outlives the session; its add-in is the one connected.
  MailSession(SessionContext& context, bool quiet);
  ~MailSession() override;

  // The stores named, else $MAILDIR, else ~/Maildir (made when missing).
  // kSessionOk, or a user error said.
  int AddStores(std::vector<std::string> stores);
  // The stores that hold these message files (a folder .NAME lies in its
  // store; any other Maildir is a store root).
  int AddStoresOf(const std::vector<std::string>& message_files);

  // A store loop of another kind (an IMAP account), which outlives the
  // session; before Connect. Its stores' journals are opened.
  void AddStoreLoop(host::StoreLoop& loop);
  // Opens the journal of `store` (a store of a loop about to be added) and
  // gives it; null when it cannot be kept (a warning said).
  WatchJournal* OpenJournal(const std::string& store);

  // OnConnection on the host. kSessionOk, or a user error said.
  int Connect();
  // For a command on message files: their stores connected, and the files
  // as the items an operation takes.
  int ConnectFiles(const std::vector<std::string>& message_files,
                   std::unique_ptr<host::ItemList>* items);
  // Mail that arrived while nothing watched (see MaildirHost::CatchUp),
  // chosen by the stores' journals (docs/watch-journal.md); then the moves
  // to SpamFilter that a stopped watch left undone are finished, and the
  // journals' watermarks written.
  void CatchUp();
  // Writes the journals' watermarks: `watch` does it at an idle moment when
  // a journal has grown large (`only_large`), and at its stop.
  void RecordWatermarks(bool only_large);
  // Delivers events until none has come for a short while: the moves the
  // command made reach the pipeline. A negative status when watching failed.
  int DeliverPending();
  // One wait of at most `timeout_ms` for events; a negative status on failure.
  int Poll(int timeout_ms) { return set_.Poll(timeout_ms); }
  // Every store the session runs, and what Poll waits on.
  const std::vector<std::string>& stores() const { return set_.stores(); }
  int WatchDescriptor() const { return set_.WatchDescriptor(); }

  // The message files as the items an operation takes; a user error said
  // when a path is no message file of a Maildir. Their moves by the
  // operation are Varnox's own (the arrival listener is told).
  int MessageFiles(const std::vector<std::string>& message_files,
                   std::unique_ptr<host::ItemList>* items);

  // OnDisconnection and a save of the word database; kSessionOk, or a user
  // error said when the save failed. Called by the destructor if not before.
  int Disconnect();

  // Every item the pipeline stamped in this session (one line each, unless
  // quiet), and the moves to SpamFilter made of them.
  int judged() const { return judged_; }
  int moved_to_spam() const { return moved_; }

  maildir::MaildirHost& host() { return host_; }
  // The journal of a store of this session; null when none is kept.
  WatchJournal* JournalOf(const std::string& store);
  // Null: none (the default).
  void SetArrivalListener(ArrivalListener* listener) { listener_ = listener; }

 private:
  // NewItemObserver: the add-in's pipeline at work on a watched folder.
  void BeforeJudging() override;
  void BeforeSpamMove() override;
  void AfterJudging(std::string_view folder_name, const NewItemOutcome& outcome) override;

  void OpenJournals();
  bool ChooseForCatchUp(const host::CatchUpCandidate& candidate);
  void FinishMove(const std::string& path);

  SessionContext& context_;
  bool quiet_;
  maildir::MaildirHost host_;
  // The other loops, then host_ when it has stores: set at Connect.
  std::vector<host::StoreLoop*> others_;
  StoreSet set_;
  // The list files as last seen: reloaded before a message is judged when
  // another command changed them.
  std::unique_ptr<ListReloader> lists_;
  int judged_ = 0;
  int moved_ = 0;
  bool connected_ = false;
  // The journal of each store, null when it cannot be kept.
  std::map<std::string, std::unique_ptr<WatchJournal>> journals_;
  // The message whose ItemAdd is being handled, as the host named it.
  std::optional<host::MessageIdentity> handling_;
  // Messages found by the catch-up with a move to SpamFilter left undone.
  std::vector<std::string> unfinished_moves_;
  JournalTime started_ = JournalNow();
  ArrivalListener* listener_ = nullptr;
};

// The catch-up's choice when the journal knows nothing: a message in new/
// (IMAP: \Recent) whose header block carries no verdict (CarriesVerdict).
bool IsUnstampedInNew(const host::CatchUpCandidate& candidate);

// The store a message file lies in: .../STORE/.FOLDER/new/NAME or
// .../STORE/new/NAME, canonical. Empty when the path names no file.
std::string StoreOf(const std::string& message_file);
// $HOME, else the password database's home folder; empty when neither.
std::string HomeFolder();
// The store a command works on when none is named: $MAILDIR, else
// ~/Maildir; empty when there is no home folder.
std::string DefaultStore();

}  // namespace varnox::watch

#endif  // VARNOX_LINUX_WATCH_MAIL_SESSION_H_
