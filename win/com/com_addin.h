// The add-in's COM object, VNXAddin: what the class factory makes and the
// host drives.
//
// QueryInterface answers IVNXAddin (also for IUnknown and IDispatch),
// ISupportErrorInfo and _IDTExtensibility2, and nothing else. The dispatch
// side of IVNXAddin comes from our own type library, that of
// _IDTExtensibility2 from the Add-In Designer type library (absent on some
// hosts, and then GetTypeInfo fails cleanly). The object embeds the ten
// button sinks (identities 1 to 10) and the folder-added sink, whose counts
// are its own, and makes one counting-nothing items sink per watched folder.
//
// Aggregation: made with an outer object, every interface's IUnknown goes to
// the outer one and the object's own count lives behind the inner unknown
// handed to the outer.
//
// While it lives the object holds one module lock count. Apartment-threaded:
// every call arrives on the thread that created it.
#ifndef VARNOX_WIN_COM_COM_ADDIN_H_
#define VARNOX_WIN_COM_COM_ADDIN_H_

#include <windows.h>

#include <oaidl.h>
#include <wrl/client.h>

#include <array>
#include <memory>
#include <vector>

#include "platform/module_lock.h"
#include "win/com/com_ids.h"
#include "win/outlook/event_sink.h"
#include "win/outlook/event_sink_set.h"

namespace varnox::win {

class ComAddin;

// The portable add-in behind the COM object: it is given the host's
// application at connection, and everything else happens through the host
// seam. Destroying it tears the add-in down (the word database is saved).
class AddinConnection {
 public:
  virtual ~AddinConnection() = default;
  virtual HRESULT OnConnection(IDispatch* application) = 0;
  virtual HRESULT OnDisconnection() = 0;
};

// Makes the portable add-in for a new COM object; null when there is none to
// make (construction failed), and then connection fails with E_NOTIMPL.
using AddinConnectionFactory = std::unique_ptr<AddinConnection> (*)(ComAddin& addin);

class ComAddin final : public IVNXAddin, public ISupportErrorInfo {
 public:
  // The class factory's CreateInstance: E_POINTER for a null `object`,
  // CLASS_E_NOAGGREGATION for an outer object with any `riid` but IUnknown,
  // E_OUTOFMEMORY; a new object that does not give `riid` is destroyed again.
  static HRESULT Create(IUnknown* outer, REFIID riid, void** object);

  // Sets what new objects forward their connection to (default: none).
  static void SetConnectionFactory(AddinConnectionFactory factory);

  // IUnknown (delegating when aggregated).
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  // IDispatch of IVNXAddin, from our type library.
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID locale,
                                          DISPID* ids) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID locale, WORD flags,
                                   DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                                   UINT* arg_error) override;

  // ISupportErrorInfo: S_OK for IVNXAddin only.
  HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID riid) override;

  // The embedded sinks, counting on this object.
  EventSinkSet& sinks() { return sinks_; }

  // The object's identity (the controlling unknown), for counting.
  IUnknown* controlling_unknown();

 private:
  // The non-delegating unknown, handed to an outer object.
  class InnerUnknown final : public IUnknown {
   public:
    explicit InnerUnknown(ComAddin& owner) : owner_(owner) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

   private:
    ComAddin& owner_;
  };

  // _IDTExtensibility2, a separate vtable so that its IDispatch answers from
  // its own type library.
  class Extensibility final : public IDTExtensibility2 {
   public:
    explicit Extensibility(ComAddin& owner) : owner_(owner) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID locale,
                                            DISPID* ids) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID locale, WORD flags,
                                     DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                                     UINT* arg_error) override;
    HRESULT STDMETHODCALLTYPE OnConnection(IDispatch* application, ExtConnectMode mode,
                                           IDispatch* add_in_inst, SAFEARRAY** custom) override;
    HRESULT STDMETHODCALLTYPE OnDisconnection(ExtDisconnectMode mode, SAFEARRAY** custom) override;
    HRESULT STDMETHODCALLTYPE OnAddInsUpdate(SAFEARRAY** custom) override;
    HRESULT STDMETHODCALLTYPE OnStartupComplete(SAFEARRAY** custom) override;
    HRESULT STDMETHODCALLTYPE OnBeginShutdown(SAFEARRAY** custom) override;

   private:
    ComAddin& owner_;
  };

  explicit ComAddin(IUnknown* outer);
  ~ComAddin();

  HRESULT NonDelegatingQueryInterface(REFIID riid, void** object);
  ULONG NonDelegatingAddRef();
  ULONG NonDelegatingRelease();

  // Loaded on first use; a failure is answered and tried again next time.
  HRESULT AddinTypeInfo(ITypeInfo** info);
  HRESULT ExtensibilityTypeInfo(ITypeInfo** info);

  // Declared first, destroyed last: the module stays locked until the very end.
  ModuleLockHolder module_lock_;
  IUnknown* const outer_;
  LONG references_ = 1;
  InnerUnknown inner_{*this};
  Extensibility extensibility_{*this};
  EventSinkSet sinks_;
  Microsoft::WRL::ComPtr<ITypeInfo> addin_type_info_;
  Microsoft::WRL::ComPtr<ITypeInfo> extensibility_type_info_;
  std::unique_ptr<AddinConnection> connection_;
};

}  // namespace varnox::win

#endif  // VARNOX_WIN_COM_COM_ADDIN_H_
