// An IMAP account as a mail store (host/*.h), and the store loop that the
// watch service drives (host/store_loop.h): the core's operations run on it
// as they run on Maildir folders.
//
// What the add-in sees: one store root, the account, whose top level holds
// the folders the account watches, its spam folder under the name
// "SpamFilter" (whatever the server calls it), and, once a connection could
// list them, the account's other folders, each by its whole name ("Archive/
// 2024" on a server that separates levels with "/"), INBOX as "Inbox".
// Messages are read whole (mime/ reads their texts). A message is replaced
// by a stamped copy when its headers are saved, since IMAP cannot change a
// message in place: the copy is appended with the same flags and internal
// date, into the spam folder directly when the pipeline is about to move it
// there, and the original removed only once the server confirmed the copy
// (stamp_note.h says how a cut is settled). An account that marks verdicts
// with keywords gets keywords instead, and its messages are moved as they
// are.
//
// Watching (ImapStoreOptions::watch): one connection per watched folder,
// made on a thread of its own (a password command or a silent server never
// holds up the other stores), then used on the caller's thread only. Each
// waits in IDLE where the server has it and asks every poll-seconds
// otherwise; what arrived is fetched in batches and announced by ItemAdd,
// inside Poll, in UID order, each message once: the journal keeps how far
// each folder was read (UIDVALIDITY and UID), so a reconnection or a new
// start goes on from there. A connection that fails is made again after a
// capped, jittered backoff; a refused password or certificate stops the
// account for good (stopped() says why) without trying again.
//
// Not thread-safe: one thread uses it. The store and the references it
// handed out may be destroyed in any order.
#ifndef VARNOX_LINUX_IMAP_IMAP_STORE_H_
#define VARNOX_LINUX_IMAP_IMAP_STORE_H_

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "host/store_loop.h"
#include "linux/imap/imap_account.h"
#include "linux/imap/imap_client.h"
#include "linux/imap/imap_journal.h"

namespace varnox {

// What the pipeline appended to a message says (the core's
// VerdictOfAppended): where a stamped message goes, and its keyword.
enum class ImapVerdict { kNotSpam, kSpam, kNonEnglishSpam, kBlackList };

// The keywords that carry a verdict on an account with `mark = keyword`:
// $Junk or $NotJunk, which mail clients know, and one naming the verdict.
std::vector<std::string> VerdictKeywords(ImapVerdict verdict);

struct ImapStoreOptions {
  // Keep a connection per watched folder and announce new mail (`varnox
  // watch`); otherwise folders are read and written only when asked.
  bool watch = false;
  ImapClientOptions client;
  // The backoff after a failure that may pass (reconnect_backoff.h).
  std::chrono::milliseconds reconnect_first = std::chrono::seconds(1);
  std::chrono::milliseconds reconnect_cap = std::chrono::minutes(5);
  // How long one IDLE lasts before it is begun anew (servers may end an
  // IDLE after 30 minutes).
  std::chrono::milliseconds idle_renewal = std::chrono::minutes(25);
  // What a text appended by the pipeline says; without it, every text is
  // taken for the not-spam stamp (the copy stays in its folder).
  std::function<ImapVerdict(std::string_view appended)> verdict_of;
  // Where the notes are kept (watching needs it); null: none.
  ImapJournal* journal = nullptr;
  // Told, in the user's words, what became of the account: a connection
  // lost or made again, a stop for good.
  std::function<void(const std::string& text)> tell;
};

class ImapStore final : public host::StoreLoop {
 public:
  ImapStore(ImapAccount account, ImapStoreOptions options);
  ~ImapStore() override;
  ImapStore(const ImapStore&) = delete;
  ImapStore& operator=(const ImapStore&) = delete;

  // How a store of account NAME is named (MessageIdentity::store):
  // "imap:NAME".
  static std::string StoreName(const std::string& account);
  const ImapAccount& account() const;

  // For a command: connects now, on this thread, and finds or makes the
  // spam folder. The failure says why in the user's words.
  ImapResult Open();
  // Why the account stopped for good (a refused password or certificate,
  // a server without the \Junk folder asked for); empty while it runs.
  const std::string& stopped() const;
  // The messages of the folder whose name (UTF-8, as the account file and
  // the user write it; "INBOX" in any case) is `name`, whole, in UID order,
  // fetched in batches on the connection Open made: `each` gets each one's
  // UID and bytes and returns false to stop. Messages over the client's
  // size limit are passed over, and counted in *too_large.
  ImapResult ReadFolder(const std::string& name,
                        const std::function<bool(std::uint32_t uid, std::string& raw)>& each,
                        int* too_large);

  // --- host::StoreLoop
  const std::vector<std::string>& stores() const override;
  std::unique_ptr<host::Application> ApplicationRef() override;
  int Poll(int timeout_ms) override;
  int WatchDescriptor() const override;
  // Starts connecting every watched folder; each is caught up once its
  // connection is made, inside a later Poll. 0.
  int CatchUp() override;
  void SetCatchUpPolicy(host::CatchUpPolicy policy) override;
  const host::MessageIdentity* Delivering() const override;
  // Once every watched folder was caught up, or the account stopped.
  bool CaughtUp(const std::string& store) const override;
  bool TracksDelivered(const std::string&) const override { return true; }

  // Live connections, for tests and measurements.
  int Connections() const;

  struct State;

 private:
  std::shared_ptr<State> state_;
};

}  // namespace varnox

#endif  // VARNOX_LINUX_IMAP_IMAP_STORE_H_
