// The state shared by an ImapStore and every host object it handed out,
// and the operations those objects call on it. Internal to the IMAP store:
// the core sees only the host/ interfaces.
#ifndef VARNOX_LINUX_IMAP_IMAP_STORE_STATE_H_
#define VARNOX_LINUX_IMAP_IMAP_STORE_STATE_H_

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/events.h"
#include "host/folder.h"
#include "host/item.h"
#include "host/store_loop.h"
#include "linux/imap/imap_client.h"
#include "linux/imap/imap_store.h"
#include "linux/imap/reconnect_backoff.h"
#include "linux/imap/stamp_note.h"
#include "platform/hresult.h"

namespace varnox {

using ImapClock = std::chrono::steady_clock;

struct ConnectJob;  // imap_store.cc

// UIDs as runs of consecutive numbers: the copies the store made in a
// folder, which come mostly one after another.
class UidRuns {
 public:
  void Add(std::uint32_t uid);
  bool Contains(std::uint32_t uid) const;
  // Forgets every UID below `uid`.
  void DropBelow(std::uint32_t uid);
  bool empty() const { return runs_.empty(); }
  std::vector<std::uint32_t> Uids() const;  // ascending
  std::string Encode() const;               // "a-b c-d ..."
  bool Decode(std::string_view text);

 private:
  std::map<std::uint32_t, std::uint32_t> runs_;  // first -> last
};

// One connection of the account: a watched folder's, or the one a command
// works on (folder empty).
struct ImapLink {
  std::string folder;  // wire name
  std::unique_ptr<ImapClient> client;
  std::shared_ptr<ConnectJob> job;  // while connecting
  ReconnectBackoff backoff;
  ImapClock::time_point retry_at{};
  bool lost_told = false;
  int watched_fd = -1;  // registered in the store's epoll set
  ImapResult failure;   // what closed the connection last

  // Watching: whether the folder was caught up in this run, how far it was
  // read, when its IDLE began or its next look is due, and the copies the
  // store made in it (not to be announced).
  bool caught_up = false;
  std::uint32_t validity = 0;
  std::uint32_t next = 1;
  ImapClock::time_point idle_started{};
  ImapClock::time_point next_look{};
  bool look_now = false;
  UidRuns own_copies;

  ImapLink(std::string wire_folder, const ImapStoreOptions& options, std::uint64_t seed)
      : folder(std::move(wire_folder)),
        backoff(options.reconnect_first, options.reconnect_cap, seed) {}
  bool connected() const { return client != nullptr && client->connected(); }
};

// One message as the host objects know it. References made from one
// message share it: a save or a move seen through one is seen by all.
struct ImapMessageState {
  std::string folder;  // wire name
  std::uint32_t validity = 0;
  std::uint32_t uid = 0;
  std::vector<std::string> flags;
  std::optional<ImapDate> date;
  std::string raw;
  bool have_raw = false;
  std::optional<std::uint64_t> content_key;  // mime/content_key.h, once the bytes are here
  // A stamp saved (its note written) and not yet carried out: the message
  // is going to another folder, and the stamping waits for the move.
  std::optional<StampNote> pending;
};

struct ImapStore::State : std::enable_shared_from_this<ImapStore::State> {
  State(ImapAccount given_account, ImapStoreOptions given_options);
  ~State();

  ImapAccount account;
  ImapStoreOptions options;
  std::vector<std::string> stores;  // {"imap:NAME"}
  std::string stopped;
  std::vector<std::string> watched;  // the account's folders, wire names
  std::string spam;                  // the spam folder's wire name; empty until found
  std::vector<ImapFolder> listed;    // the last LIST
  std::vector<std::unique_ptr<ImapLink>> links;
  struct Sink {
    host::Cookie cookie;
    std::string folder;  // wire name; empty: the spam folder
    host::ItemsEventSink* sink;
  };
  std::vector<Sink> sinks;
  host::Cookie next_cookie = 1;
  host::CatchUpPolicy policy;
  // While an ItemAdd is delivered: its message, and its identity as last
  // given out.
  std::shared_ptr<ImapMessageState> delivering;
  host::MessageIdentity delivering_identity;
  // Per destination folder: its UIDVALIDITY and a UID at or below the next
  // copy's, known on this connection's watch (STATUS, then each copy).
  std::map<std::string, std::pair<std::uint32_t, std::uint32_t>> copy_bounds;
  int epoll_fd = -1;
  int event_fd = -1;
  std::uint64_t seed = 0;

  // --- Connections
  // The link watching `folder`, made (down) when missing.
  ImapLink& LinkOf(const std::string& folder);
  // A connected client with `folder` selected, read-write: its own link's,
  // else one borrowed (which looks at its own folder again at the next
  // Poll); null with *result when there is none, or when the folder's
  // UIDVALIDITY is no longer `validity` (when not 0). `folder` empty: any
  // connected client, whatever it has selected. *selected_validity (when
  // not null) is the folder's UIDVALIDITY.
  ImapClient* ClientFor(const std::string& folder, std::uint32_t validity, ImapResult* result,
                        std::uint32_t* selected_validity);
  // A failure on `link`: the connection is closed, a reconnection planned,
  // the account stopped when the failure will not pass.
  void Lost(ImapLink& link);
  // Notes a failed operation of `client` (its link's connection, when the
  // failure closed it, is made again at the next Poll). Gives a status.
  HResult Failure(ImapClient& client, const ImapResult& result);
  void Stop(const std::string& why);
  void Wake();
  void Tell(const std::string& text) const;
  // Finds (or makes) the spam folder on `client`; lists the folders.
  ImapResult FindFolders(ImapClient& client);

  // --- Notes
  void SetNote(const std::string& key, const std::string& value);
  std::optional<FolderMark> MarkOf(const std::string& folder) const;

  // --- What the host objects do to a message (stamp_note.h for stampings).
  // Afterwards the message state names the message as it is now (a copy).
  HResult Save(ImapMessageState& message, std::string_view appended);
  HResult Carry(ImapMessageState& message);
  HResult MoveMessage(ImapMessageState& message, const std::string& destination);
  HResult MarkRead(ImapMessageState& message);
  // A copy the store made in `folder`: not announced when found there.
  void OwnCopy(const std::string& folder, std::uint32_t validity, std::uint32_t uid);
  std::string DisplayName(const std::string& wire) const;
  // The wire name of a folder shown to the add-in as `shown` (code page
  // 1252), or of the spam folder for "SpamFilter"; empty when none.
  std::string WireOfShown(std::string_view shown) const;

  // --- Delivering: announces `message` of the link's folder to the
  // folder's sinks; the number of sinks told.
  int Deliver(ImapLink& link, ImapMessage& message);
};

// Host object factories (imap_objects.cc).
std::unique_ptr<host::Application> MakeImapApplication(std::shared_ptr<ImapStore::State> state);
std::unique_ptr<host::Item> MakeImapItem(std::shared_ptr<ImapStore::State> state,
                                         std::shared_ptr<ImapMessageState> message);
// The unique name of a message in the journal and the seam: "V.U.FOLDER".
std::string ImapUnique(const std::string& folder, std::uint32_t validity, std::uint32_t uid);

}  // namespace varnox

#endif  // VARNOX_LINUX_IMAP_IMAP_STORE_STATE_H_
