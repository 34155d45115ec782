// The three host events the add-in subscribes to, as sinks that the core
// implements. A host holds a sink pointer between Advise and Unadvise only;
// the core keeps every sink alive until it has cancelled its subscription.
// All events arrive on the host's user-interface thread.
#ifndef VARNOX_HOST_EVENTS_H_
#define VARNOX_HOST_EVENTS_H_

#include <cstdint>
#include <memory>

namespace varnox::host {

class Item;
class Folder;
class CommandBarButton;

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

// _CommandBarButtonEvents.Click(Ctrl, CancelDefault). `button` is borrowed
// for the call; `cancel_default` is the host's VARIANT_BOOL, may be null, and
// no handler reads or changes it.
class ButtonEventSink {
 public:
  virtual ~ButtonEventSink() = default;
  virtual void OnClick(CommandBarButton* button, std::int16_t* cancel_default) = 0;
};

}  // namespace varnox::host

#endif  // VARNOX_HOST_EVENTS_H_
