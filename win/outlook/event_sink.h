// A COM event sink: the dispatch interface that a host's connection point
// calls when an event is raised.
//
// Every sink carries a fixed identity and the cookie of its current
// connection. All sinks share one static event map from (identity, event
// interface, dispatch id) to a handler; an event without an entry (a folder
// changed, an item removed, a Click reaching a folder sink, ...) is answered
// with success and does nothing, as is any event while no handlers are bound.
//
// Reference counting is the owner's: a sink embedded in the add-in object
// passes AddRef and Release to it, so that while the host holds a connection
// it holds the whole add-in. A sink without an owner counts nothing (AddRef
// and Release return 1) and lives exactly as long as whoever made it keeps it.
//
// Called on the host's user-interface thread only.
#ifndef VARNOX_WIN_OUTLOOK_EVENT_SINK_H_
#define VARNOX_WIN_OUTLOOK_EVENT_SINK_H_

#include <windows.h>

#include <oaidl.h>

#include <cstdint>

namespace varnox::win {

class EventSink;

// Identities: the ten button sinks are 1 to 10 (Mark Spam to About).
inline constexpr int kFirstButtonSink = 1;
inline constexpr int kLastButtonSink = 10;
inline constexpr int kFolderAddedSink = 11;
inline constexpr int kItemsSink = 12;

// What the events do. Arguments are borrowed for the call and may be null
// when the host passed something else.
class EventHandlers {
 public:
  virtual ~EventHandlers() = default;
  virtual void OnClick(EventSink& sink, IDispatch* button, VARIANT_BOOL* cancel_default) = 0;
  virtual void OnFolderAdd(EventSink& sink, IDispatch* folder) = 0;
  virtual void OnItemAdd(EventSink& sink, IDispatch* item) = 0;
};

class EventSink final : public IDispatch {
 public:
  // `events` is the dispinterface the sink subscribes to; `owner` the object
  // whose count AddRef and Release change, or null.
  EventSink(int identity, const IID& events, IUnknown* owner);
  EventSink(const EventSink&) = delete;
  EventSink& operator=(const EventSink&) = delete;
  ~EventSink() = default;

  int identity() const { return identity_; }
  const IID& events() const { return events_; }
  DWORD cookie() const { return cookie_; }
  void set_cookie(DWORD cookie) { cookie_ = cookie; }
  // Handlers for the events from now on; null ignores every event.
  void Bind(EventHandlers* handlers) { handlers_ = handlers; }
  EventHandlers* handlers() const { return handlers_; }

  // IUnknown: answers IUnknown, IDispatch and the event interface.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  // IDispatch: no type information; Invoke goes through the event map.
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID locale,
                                          DISPID* ids) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID locale, WORD flags,
                                   DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                                   UINT* arg_error) override;

 private:
  const int identity_;
  const IID events_;
  IUnknown* const owner_;
  DWORD cookie_ = 0;
  EventHandlers* handlers_ = nullptr;
};

}  // namespace varnox::win

#endif  // VARNOX_WIN_OUTLOOK_EVENT_SINK_H_
