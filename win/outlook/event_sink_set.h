// The add-in's event sinks: ten button sinks with identities 1 to 10, one
// folder-added sink, and one items sink per watched folder. Button and
// folder-added sinks count on the set's owner (the add-in object), so that a
// live connection holds the add-in; items sinks count nothing and live until
// they are destroyed here.
#ifndef VARNOX_WIN_OUTLOOK_EVENT_SINK_SET_H_
#define VARNOX_WIN_OUTLOOK_EVENT_SINK_SET_H_

#include <array>
#include <memory>
#include <vector>

#include "win/outlook/event_sink.h"

namespace varnox::win {

class EventSinkSet {
 public:
  // `owner` may be null: then no sink counts references.
  explicit EventSinkSet(IUnknown* owner);
  EventSinkSet(const EventSinkSet&) = delete;
  EventSinkSet& operator=(const EventSinkSet&) = delete;

  // `identity` is 1 to 10.
  EventSink& ButtonSink(int identity) { return buttons_[identity - kFirstButtonSink]; }
  EventSink& FolderAddedSink() { return folder_added_; }

  // The free button sink of lowest identity, now taken; null when all ten
  // are taken. Release gives it back (unbound).
  EventSink* TakeButtonSink();
  void ReleaseButtonSink(EventSink* sink);

  // A new items sink, owned here until DestroyItemsSink.
  EventSink* NewItemsSink();
  void DestroyItemsSink(EventSink* sink);
  std::size_t items_sink_count() const { return items_.size(); }

 private:
  std::array<EventSink, kLastButtonSink - kFirstButtonSink + 1> buttons_;
  std::array<bool, kLastButtonSink - kFirstButtonSink + 1> taken_{};
  EventSink folder_added_;
  std::vector<std::unique_ptr<EventSink>> items_;
};

}  // namespace varnox::win

#endif  // VARNOX_WIN_OUTLOOK_EVENT_SINK_SET_H_
