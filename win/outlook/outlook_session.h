// The mail-store seam (host/) and the add-in's Outlook-only interfaces
// (addin/explorer.h, addin/command_bar.h) over the real Outlook and Office
// object models, by IDispatch late binding: one OutlookSession per
// connection, from which the application adapter and every adapter reached
// from it are made.
//
// Events: a subscription takes one of the add-in's sinks (EventSinkSet),
// binds it to this session, and advises it on the host object's connection
// point for the event interface. When the host raises the event, the session
// wraps the arguments in adapters and calls the core's sink that subscribed.
// Button subscriptions take the free button sink of lowest identity (1 to
// 10, so in the toolbar's order); folder-added subscriptions share the one
// folder-added sink (one cookie per collection); each items subscription
// gets an items sink of its own, destroyed when it is cancelled.
//
// Everything runs on the host's user-interface thread. The session must
// outlive the adapters made from it (they hold it shared).
#ifndef VARNOX_WIN_OUTLOOK_OUTLOOK_SESSION_H_
#define VARNOX_WIN_OUTLOOK_OUTLOOK_SESSION_H_

#include <map>
#include <memory>
#include <string>
#include <tuple>

#include "addin/command_bar.h"
#include "addin/explorer.h"
#include "host/application.h"
#include "host/events.h"
#include "host/folder.h"
#include "host/item.h"
#include "platform/button_faces.h"
#include "win/outlook/dispatch_object.h"
#include "win/outlook/event_sink.h"
#include "win/outlook/event_sink_set.h"

namespace varnox::win {

class OutlookSession final : public EventHandlers,
                             public std::enable_shared_from_this<OutlookSession> {
 public:
  // `sinks` and `faces` must outlive the session.
  OutlookSession(EventSinkSet& sinks, ButtonFaces& faces) : sinks_(sinks), faces_(faces) {}
  ~OutlookSession() override;

  // The application adapter over the object OnConnection was given; it is
  // an outlook::Application too.
  std::unique_ptr<host::Application> WrapApplication(IDispatch* application);

  // Adapters over host objects (null for a null object).
  std::unique_ptr<host::Folder> WrapFolder(DispatchObject folder);
  std::unique_ptr<host::Folders> WrapFolders(DispatchObject folders);
  std::unique_ptr<host::Item> WrapItem(DispatchObject item);
  std::unique_ptr<host::Items> WrapItems(DispatchObject items);
  std::unique_ptr<outlook::Explorer> WrapExplorer(DispatchObject explorer);
  std::unique_ptr<outlook::CommandBars> WrapCommandBars(DispatchObject bars);
  std::unique_ptr<outlook::CommandBarControl> WrapControl(DispatchObject control);

  // Subscriptions on `source` (a button, a folder collection, an items
  // collection).
  HResult AdviseButton(const DispatchObject& source, outlook::ButtonEventSink* target,
                       host::Cookie* cookie);
  HResult AdviseFolders(const DispatchObject& source, host::FoldersEventSink* target,
                        host::Cookie* cookie);
  HResult AdviseItems(const DispatchObject& source, host::ItemsEventSink* target,
                      host::Cookie* cookie);
  HResult Unadvise(const DispatchObject& source, const IID& events, host::Cookie cookie);

  ButtonFaces& faces() { return faces_; }
  std::size_t connection_count() const { return connections_.size(); }

  // EventHandlers.
  void OnClick(EventSink& sink, IDispatch* button, VARIANT_BOOL* cancel_default) override;
  void OnFolderAdd(EventSink& sink, IDispatch* folder) override;
  void OnItemAdd(EventSink& sink, IDispatch* item) override;

 private:
  struct Connection {
    EventSink* sink;
    ComPtr<IUnknown> source;  // held so the key below stays valid
  };
  // (source identity, event interface's bytes, cookie): cookies are only
  // unique per connection point.
  using Key = std::tuple<IUnknown*, std::string, host::Cookie>;
  static Key KeyOf(IUnknown* source, const IID& events, host::Cookie cookie);

  HResult Connect(const DispatchObject& source, EventSink* sink, host::Cookie* cookie);

  EventSinkSet& sinks_;
  ButtonFaces& faces_;
  std::map<Key, Connection> connections_;
  std::map<EventSink*, outlook::ButtonEventSink*> button_targets_;
  std::map<EventSink*, host::ItemsEventSink*> items_targets_;
  host::FoldersEventSink* folders_target_ = nullptr;
};

}  // namespace varnox::win

#endif  // VARNOX_WIN_OUTLOOK_OUTLOOK_SESSION_H_
