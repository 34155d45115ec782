// The store events the add-in subscribes to, as sinks that the core
// implements. A store holds a sink pointer between Advise and Unadvise only;
// the core keeps every sink alive until it has cancelled its subscription.
//
// Events arrive on the thread that drives the store, from inside the
// store's own calls: Outlook raises them on its user-interface thread, and
// a store on disk or on the network delivers them from the poll its shell
// runs (MaildirHost::Poll; an IMAP account's idle loop). A store whose
// connection dropped delivers, once it is back, what arrived meanwhile; an
// item announced twice (say, after a reconnection) is the store's fault,
// and the journal of the shell that runs it is what keeps it from being
// judged twice.
#ifndef VARNOX_HOST_EVENTS_H_
#define VARNOX_HOST_EVENTS_H_

#include <cstdint>
#include <memory>

namespace varnox::host {

class Item;
class Folder;

// The connection cookie that Advise gives and Unadvise takes back.
using Cookie = std::uint32_t;

// ItemsEvents.ItemAdd: an item was added to the folder whose items collection
// the sink is subscribed to. The sink owns the reference it is given.
class ItemsEventSink {
 public:
  virtual ~ItemsEventSink() = default;
  virtual void OnItemAdd(std::unique_ptr<Item> item) = 0;
};

// FoldersEvents.FolderAdd: a folder was added to the subscribed collection.
class FoldersEventSink {
 public:
  virtual ~FoldersEventSink() = default;
  virtual void OnFolderAdd(std::unique_ptr<Folder> folder) = 0;
};

}  // namespace varnox::host

#endif  // VARNOX_HOST_EVENTS_H_
