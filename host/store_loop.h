// A set of mail stores that a shell drives itself, as the watch service
// drives its Maildir stores and IMAP accounts: the application
// the add-in connects to, and the loop that delivers the stores' events on
// the shell's one thread. Outlook drives itself and has none.
//
// The shell waits on WatchDescriptor (with its own descriptors, if it has
// any) and calls Poll, which delivers ItemAdd and FolderAdd to the live
// subscriptions (events.h) from inside the call. A store on the network
// does the same from its connection: what arrived while it was cut off is
// delivered once it is back, and what arrived while nothing ran at all is
// offered by CatchUp, chosen by the shell's policy (its journal knows what
// was done before).
#ifndef VARNOX_HOST_STORE_LOOP_H_
#define VARNOX_HOST_STORE_LOOP_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/application.h"

namespace varnox::host {

// A message as a store names it: the store (its root folder's path, an
// account) and its identity there (MailItem::Identity: the Maildir unique
// name, an IMAP mailbox's UIDVALIDITY and UID), which a journal keys by.
struct MessageIdentity {
  std::string store;
  std::string unique;
  std::string path;  // while it is delivered, its file where the store has files
  // Its content key (mime/content_key.h), where the store has the message's
  // bytes at hand (a store on the network); nullopt where they are read
  // from `path`.
  std::optional<std::uint64_t> content_key;
};

// A message that the catch-up looks at.
struct CatchUpCandidate {
  MessageIdentity identity;
  std::string path;              // its file as it is named now, where there are files
  bool in_new = false;           // not yet seen by a mail program (Maildir new/, IMAP \Recent)
  std::int64_t modified_ns = 0;  // when it arrived or last changed, ns since the epoch
  // Where the store keeps its own mark of how far it read a folder (an IMAP
  // folder's next UID): whether the message came after that mark. nullopt
  // where only times tell (Maildir; an IMAP folder never read, or renumbered
  // since: a new UIDVALIDITY).
  std::optional<bool> arrived_since;
  // Its header block, where there is no file to read it from.
  std::optional<std::string> header_block;
};

// Whether the catch-up delivers a message.
using CatchUpPolicy = std::function<bool(const CatchUpCandidate&)>;

class StoreLoop {
 public:
  virtual ~StoreLoop() = default;

  // The stores, each named as MessageIdentity::store names it, in order.
  virtual const std::vector<std::string>& stores() const = 0;
  // The application for the add-in's OnConnection.
  virtual std::unique_ptr<Application> ApplicationRef() = 0;

  // Waits up to `timeout_ms` (-1: no limit) and delivers what arrived. The
  // number of events delivered, or a negative status when watching failed.
  virtual int Poll(int timeout_ms) = 0;
  // A descriptor that is readable when Poll has something to deliver; -1
  // when there is none to wait on (then Poll itself waits).
  virtual int WatchDescriptor() const = 0;

  // Mail that arrived while nothing watched: ItemAdd, once, for each message
  // of a subscribed folder that the policy chooses. Run after the add-in
  // subscribed; a folder is caught up once. The number delivered.
  virtual int CatchUp() = 0;
  virtual void SetCatchUpPolicy(CatchUpPolicy policy) = 0;
  // While an ItemAdd is being delivered, the message it names; else null.
  // A store that replaced the message with a stamped copy meanwhile names
  // the copy from then on (item.h).
  virtual const MessageIdentity* Delivering() const = 0;

  // Whether `store` has offered all that arrived while nothing watched: its
  // CatchUp is over (for a store on the network, once its connections were
  // made). A shell's watermark of that store waits for it.
  virtual bool CaughtUp(const std::string& store) const = 0;
  // True for a store that marks itself how far it delivered (an IMAP
  // account, by UIDVALIDITY and UID): a shell need not note each message
  // it handled to know it at the next start.
  virtual bool TracksDelivered(const std::string& store) const = 0;
};

}  // namespace varnox::host

#endif  // VARNOX_HOST_STORE_LOOP_H_
