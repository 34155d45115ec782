#include "win/outlook/outlook_session.h"

#include <ocidl.h>

namespace varnox::win {

OutlookSession::~OutlookSession() {
  // Connections still open when the session goes (the host went away
  // without a disconnection) no longer reach anything here.
  for (auto& [key, connection] : connections_)
    connection.sink->Bind(nullptr);
}

OutlookSession::Key OutlookSession::KeyOf(IUnknown* source, const IID& events,
                                          host::Cookie cookie) {
  return Key(source, std::string(reinterpret_cast<const char*>(&events), sizeof events), cookie);
}

HResult OutlookSession::Connect(const DispatchObject& source, EventSink* sink,
                                host::Cookie* cookie) {
  *cookie = 0;
  if (!source)
    return kEPointer;
  ComPtr<IConnectionPointContainer> container;
  HRESULT hr = source.get()->QueryInterface(IID_PPV_ARGS(&container));
  if (FAILED(hr))
    return hr;
  ComPtr<IConnectionPoint> point;
  hr = container->FindConnectionPoint(sink->events(), &point);
  if (FAILED(hr))
    return hr;
  DWORD advised = 0;
  hr = point->Advise(static_cast<IDispatch*>(sink), &advised);
  if (FAILED(hr))
    return hr;
  ComPtr<IUnknown> identity;
  source.get()->QueryInterface(IID_PPV_ARGS(&identity));
  sink->set_cookie(advised);
  sink->Bind(this);
  connections_[KeyOf(identity.Get(), sink->events(), advised)] = Connection{sink, identity};
  *cookie = advised;
  return kSOk;
}

HResult OutlookSession::AdviseButton(const DispatchObject& source, outlook::ButtonEventSink* target,
                                     host::Cookie* cookie) {
  EventSink* sink = sinks_.TakeButtonSink();
  if (sink == nullptr) {
    *cookie = 0;
    return kEOutOfMemory;  // all ten sinks are connected
  }
  HResult hr = Connect(source, sink, cookie);
  if (Failed(hr)) {
    sinks_.ReleaseButtonSink(sink);
    return hr;
  }
  button_targets_[sink] = target;
  return kSOk;
}

HResult OutlookSession::AdviseFolders(const DispatchObject& source, host::FoldersEventSink* target,
                                      host::Cookie* cookie) {
  HResult hr = Connect(source, &sinks_.FolderAddedSink(), cookie);
  if (Succeeded(hr))
    folders_target_ = target;
  return hr;
}

HResult OutlookSession::AdviseItems(const DispatchObject& source, host::ItemsEventSink* target,
                                    host::Cookie* cookie) {
  EventSink* sink = sinks_.NewItemsSink();
  HResult hr = Connect(source, sink, cookie);
  if (Failed(hr)) {
    sinks_.DestroyItemsSink(sink);
    return hr;
  }
  items_targets_[sink] = target;
  return kSOk;
}

HResult OutlookSession::Unadvise(const DispatchObject& source, const IID& events,
                                 host::Cookie cookie) {
  if (!source)
    return kEPointer;
  ComPtr<IUnknown> identity;
  source.get()->QueryInterface(IID_PPV_ARGS(&identity));
  auto it = connections_.find(KeyOf(identity.Get(), events, cookie));
  ComPtr<IConnectionPointContainer> container;
  ComPtr<IConnectionPoint> point;
  HRESULT hr = source.get()->QueryInterface(IID_PPV_ARGS(&container));
  if (SUCCEEDED(hr))
    hr = container->FindConnectionPoint(events, &point);
  if (SUCCEEDED(hr))
    hr = point->Unadvise(cookie);
  if (it == connections_.end())
    return hr;
  // The subscription is over here whatever the host answered: its events no
  // longer reach the core.
  EventSink* sink = it->second.sink;
  connections_.erase(it);
  if (sink->identity() >= kFirstButtonSink && sink->identity() <= kLastButtonSink) {
    button_targets_.erase(sink);
    sinks_.ReleaseButtonSink(sink);
  } else if (sink->identity() == kItemsSink) {
    items_targets_.erase(sink);
    sinks_.DestroyItemsSink(sink);
  }
  return hr;
}

void OutlookSession::OnClick(EventSink& sink, IDispatch* button, VARIANT_BOOL* cancel_default) {
  auto it = button_targets_.find(&sink);
  if (it == button_targets_.end() || it->second == nullptr)
    return;
  std::unique_ptr<outlook::CommandBarControl> control =
      WrapControl(DispatchObject(ComPtr<IDispatch>(button)));
  std::unique_ptr<outlook::CommandBarButton> wrapped;
  if (control)
    control->QueryButton(&wrapped);
  static_assert(sizeof(VARIANT_BOOL) == sizeof(std::int16_t));
  it->second->OnClick(wrapped.get(), reinterpret_cast<std::int16_t*>(cancel_default));
}

void OutlookSession::OnFolderAdd(EventSink&, IDispatch* folder) {
  if (folders_target_ != nullptr && folder != nullptr)
    folders_target_->OnFolderAdd(WrapFolder(DispatchObject(ComPtr<IDispatch>(folder))));
}

void OutlookSession::OnItemAdd(EventSink& sink, IDispatch* item) {
  auto it = items_targets_.find(&sink);
  if (it != items_targets_.end() && it->second != nullptr && item != nullptr)
    it->second->OnItemAdd(WrapItem(DispatchObject(ComPtr<IDispatch>(item))));
}

}  // namespace varnox::win
