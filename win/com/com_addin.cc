#include "win/com/com_addin.h"

#include <new>

#include "win/com/module.h"

namespace varnox::win {
namespace {

AddinConnectionFactory g_connection_factory = nullptr;

}  // namespace

void ComAddin::SetConnectionFactory(AddinConnectionFactory factory) {
  g_connection_factory = factory;
}

HRESULT ComAddin::Create(IUnknown* outer, REFIID riid, void** object) {
  if (object == nullptr)
    return E_POINTER;
  *object = nullptr;
  if (outer != nullptr && !IsEqualIID(riid, IID_IUnknown))
    return CLASS_E_NOAGGREGATION;
  ComAddin* addin = new (std::nothrow) ComAddin(outer);
  if (addin == nullptr)
    return E_OUTOFMEMORY;
  // The object starts with one reference, given up below: if `riid` is not
  // answered, that release destroys it again.
  HRESULT hr = addin->NonDelegatingQueryInterface(riid, object);
  addin->NonDelegatingRelease();
  return hr;
}

ComAddin::ComAddin(IUnknown* outer) : outer_(outer), sinks_(controlling_unknown()) {
  if (g_connection_factory != nullptr) {
    try {
      connection_ = g_connection_factory(*this);
    } catch (...) {
      connection_.reset();
    }
  }
}

ComAddin::~ComAddin() {
  // The portable add-in goes first: its teardown saves the word database
  // while everything it may need is still here.
  connection_.reset();
}

IUnknown* ComAddin::controlling_unknown() {
  return outer_ != nullptr ? outer_ : static_cast<IVNXAddin*>(this);
}

HRESULT ComAddin::NonDelegatingQueryInterface(REFIID riid, void** object) {
  if (object == nullptr)
    return E_POINTER;
  if (IsEqualIID(riid, IID_IUnknown)) {
    *object = outer_ != nullptr ? static_cast<IUnknown*>(&inner_)
                                : static_cast<IUnknown*>(static_cast<IVNXAddin*>(this));
  } else if (IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, kIidVnxAddin)) {
    *object = static_cast<IVNXAddin*>(this);
  } else if (IsEqualIID(riid, IID_ISupportErrorInfo)) {
    *object = static_cast<ISupportErrorInfo*>(this);
  } else if (IsEqualIID(riid, kIidIdtExtensibility2)) {
    *object = static_cast<IDTExtensibility2*>(&extensibility_);
  } else {
    *object = nullptr;
    return E_NOINTERFACE;
  }
  static_cast<IUnknown*>(*object)->AddRef();
  return S_OK;
}

ULONG ComAddin::NonDelegatingAddRef() {
  return static_cast<ULONG>(InterlockedIncrement(&references_));
}

ULONG ComAddin::NonDelegatingRelease() {
  LONG left = InterlockedDecrement(&references_);
  if (left == 0)
    delete this;
  return static_cast<ULONG>(left);
}

HRESULT ComAddin::QueryInterface(REFIID riid, void** object) {
  return outer_ != nullptr ? outer_->QueryInterface(riid, object)
                           : NonDelegatingQueryInterface(riid, object);
}

ULONG ComAddin::AddRef() {
  return outer_ != nullptr ? outer_->AddRef() : NonDelegatingAddRef();
}

ULONG ComAddin::Release() {
  return outer_ != nullptr ? outer_->Release() : NonDelegatingRelease();
}

HRESULT ComAddin::InnerUnknown::QueryInterface(REFIID riid, void** object) {
  return owner_.NonDelegatingQueryInterface(riid, object);
}
ULONG ComAddin::InnerUnknown::AddRef() {
  return owner_.NonDelegatingAddRef();
}
ULONG ComAddin::InnerUnknown::Release() {
  return owner_.NonDelegatingRelease();
}

HRESULT ComAddin::AddinTypeInfo(ITypeInfo** info) {
  if (!addin_type_info_) {
    Microsoft::WRL::ComPtr<ITypeLib> library;
    HRESULT hr = LoadTypeLibEx(ModulePathWide().c_str(), REGKIND_NONE, &library);
    if (FAILED(hr))
      return hr;
    hr = library->GetTypeInfoOfGuid(kIidVnxAddin, &addin_type_info_);
    if (FAILED(hr))
      return hr;
  }
  *info = addin_type_info_.Get();
  (*info)->AddRef();
  return S_OK;
}

HRESULT ComAddin::ExtensibilityTypeInfo(ITypeInfo** info) {
  if (!extensibility_type_info_) {
    Microsoft::WRL::ComPtr<ITypeLib> library;
    HRESULT hr = LoadRegTypeLib(kLibidAddInDesigner, 1, 0, LOCALE_NEUTRAL, &library);
    if (FAILED(hr))
      return hr;
    hr = library->GetTypeInfoOfGuid(kIidIdtExtensibility2, &extensibility_type_info_);
    if (FAILED(hr))
      return hr;
  }
  *info = extensibility_type_info_.Get();
  (*info)->AddRef();
  return S_OK;
}

// Both dispatch sides report one type description and answer GetTypeInfo for
// index 0 only.
namespace {

HRESULT CountOne(UINT* count) {
  if (count == nullptr)
    return E_POINTER;
  *count = 1;
  return S_OK;
}

template <typename Loader>
HRESULT TypeInfoAt(UINT index, ITypeInfo** info, Loader load) {
  if (info == nullptr)
    return E_POINTER;
  *info = nullptr;
  if (index != 0)
    return DISP_E_BADINDEX;
  return load(info);
}

}  // namespace

HRESULT ComAddin::GetTypeInfoCount(UINT* count) {
  return CountOne(count);
}

HRESULT ComAddin::GetTypeInfo(UINT index, LCID, ITypeInfo** info) {
  return TypeInfoAt(index, info, [this](ITypeInfo** out) { return AddinTypeInfo(out); });
}

HRESULT ComAddin::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  Microsoft::WRL::ComPtr<ITypeInfo> info;
  HRESULT hr = AddinTypeInfo(&info);
  return FAILED(hr) ? hr : DispGetIDsOfNames(info.Get(), names, count, ids);
}

HRESULT ComAddin::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                         EXCEPINFO* exception, UINT* arg_error) {
  Microsoft::WRL::ComPtr<ITypeInfo> info;
  HRESULT hr = AddinTypeInfo(&info);
  return FAILED(hr) ? hr
                    : DispInvoke(static_cast<IVNXAddin*>(this), info.Get(), id, flags, params,
                                 result, exception, arg_error);
}

HRESULT ComAddin::InterfaceSupportsErrorInfo(REFIID riid) {
  return IsEqualIID(riid, kIidVnxAddin) ? S_OK : S_FALSE;
}

HRESULT ComAddin::Extensibility::QueryInterface(REFIID riid, void** object) {
  return owner_.QueryInterface(riid, object);
}
ULONG ComAddin::Extensibility::AddRef() {
  return owner_.AddRef();
}
ULONG ComAddin::Extensibility::Release() {
  return owner_.Release();
}

HRESULT ComAddin::Extensibility::GetTypeInfoCount(UINT* count) {
  return CountOne(count);
}

HRESULT ComAddin::Extensibility::GetTypeInfo(UINT index, LCID, ITypeInfo** info) {
  return TypeInfoAt(index, info,
                    [this](ITypeInfo** out) { return owner_.ExtensibilityTypeInfo(out); });
}

HRESULT ComAddin::Extensibility::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                               DISPID* ids) {
  Microsoft::WRL::ComPtr<ITypeInfo> info;
  HRESULT hr = owner_.ExtensibilityTypeInfo(&info);
  return FAILED(hr) ? hr : DispGetIDsOfNames(info.Get(), names, count, ids);
}

HRESULT ComAddin::Extensibility::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                        VARIANT* result, EXCEPINFO* exception, UINT* arg_error) {
  Microsoft::WRL::ComPtr<ITypeInfo> info;
  HRESULT hr = owner_.ExtensibilityTypeInfo(&info);
  return FAILED(hr) ? hr
                    : DispInvoke(static_cast<IDTExtensibility2*>(this), info.Get(), id, flags,
                                 params, result, exception, arg_error);
}

HRESULT ComAddin::Extensibility::OnConnection(IDispatch* application, ExtConnectMode, IDispatch*,
                                              SAFEARRAY**) {
  if (!owner_.connection_)
    return E_NOTIMPL;
  try {
    return owner_.connection_->OnConnection(application);
  } catch (...) {
    return E_UNEXPECTED;
  }
}

HRESULT ComAddin::Extensibility::OnDisconnection(ExtDisconnectMode, SAFEARRAY**) {
  if (!owner_.connection_)
    return S_OK;
  try {
    owner_.connection_->OnDisconnection();
  } catch (...) {
  }
  return S_OK;
}

HRESULT ComAddin::Extensibility::OnAddInsUpdate(SAFEARRAY**) {
  return E_NOTIMPL;
}
HRESULT ComAddin::Extensibility::OnStartupComplete(SAFEARRAY**) {
  return E_NOTIMPL;
}
HRESULT ComAddin::Extensibility::OnBeginShutdown(SAFEARRAY**) {
  return E_NOTIMPL;
}

}  // namespace varnox::win
