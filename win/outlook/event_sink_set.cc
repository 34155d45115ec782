#include "win/outlook/event_sink_set.h"
#include "win/outlook/outlook_ids.h"

namespace varnox::win {

EventSinkSet::EventSinkSet(IUnknown* owner)
    : buttons_{{
          EventSink(1, kDiidCommandBarButtonEvents, owner),
          EventSink(2, kDiidCommandBarButtonEvents, owner),
          EventSink(3, kDiidCommandBarButtonEvents, owner),
          EventSink(4, kDiidCommandBarButtonEvents, owner),
          EventSink(5, kDiidCommandBarButtonEvents, owner),
          EventSink(6, kDiidCommandBarButtonEvents, owner),
          EventSink(7, kDiidCommandBarButtonEvents, owner),
          EventSink(8, kDiidCommandBarButtonEvents, owner),
          EventSink(9, kDiidCommandBarButtonEvents, owner),
          EventSink(10, kDiidCommandBarButtonEvents, owner),
      }},
      folder_added_(kFolderAddedSink, kDiidFoldersEvents, owner) {}

EventSink* EventSinkSet::TakeButtonSink() {
  for (std::size_t i = 0; i < buttons_.size(); ++i) {
    if (!taken_[i]) {
      taken_[i] = true;
      return &buttons_[i];
    }
  }
  return nullptr;
}

void EventSinkSet::ReleaseButtonSink(EventSink* sink) {
  for (std::size_t i = 0; i < buttons_.size(); ++i) {
    if (&buttons_[i] == sink) {
      taken_[i] = false;
      sink->Bind(nullptr);
      sink->set_cookie(0);
    }
  }
}

EventSink* EventSinkSet::NewItemsSink() {
  items_.push_back(std::make_unique<EventSink>(kItemsSink, kDiidItemsEvents, nullptr));
  return items_.back().get();
}

void EventSinkSet::DestroyItemsSink(EventSink* sink) {
  for (auto it = items_.begin(); it != items_.end(); ++it) {
    if (it->get() == sink) {
      items_.erase(it);
      return;
    }
  }
}

}  // namespace varnox::win
