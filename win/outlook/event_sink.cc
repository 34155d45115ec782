#include "win/outlook/event_sink.h"
#include "win/outlook/outlook_ids.h"

namespace varnox::win {
namespace {

using Handler = void (*)(EventSink& sink, const DISPPARAMS& params);

struct EventMapEntry {
  int first_identity;
  int last_identity;
  const IID* events;
  DISPID id;
  UINT arguments;
  Handler handler;
};

// Dispatch arguments arrive last first: rgvarg[0] is the last one.
const VARIANT* Argument(const DISPPARAMS& params, UINT position) {
  return &params.rgvarg[params.cArgs - 1 - position];
}

IDispatch* DispatchOf(const VARIANT* value) {
  if (value->vt == VT_DISPATCH)
    return value->pdispVal;
  if (value->vt == (VT_DISPATCH | VT_BYREF) && value->ppdispVal != nullptr)
    return *value->ppdispVal;
  return nullptr;
}

void Click(EventSink& sink, const DISPPARAMS& params) {
  const VARIANT* cancel = Argument(params, 1);
  sink.handlers()->OnClick(sink, DispatchOf(Argument(params, 0)),
                           cancel->vt == (VT_BOOL | VT_BYREF) ? cancel->pboolVal : nullptr);
}

void FolderAdd(EventSink& sink, const DISPPARAMS& params) {
  sink.handlers()->OnFolderAdd(sink, DispatchOf(Argument(params, 0)));
}

void ItemAdd(EventSink& sink, const DISPPARAMS& params) {
  sink.handlers()->OnItemAdd(sink, DispatchOf(Argument(params, 0)));
}

const EventMapEntry kEventMap[] = {
    {kFirstButtonSink, kLastButtonSink, &kDiidCommandBarButtonEvents, kDispidClick, 2, Click},
    {kFolderAddedSink, kFolderAddedSink, &kDiidFoldersEvents, kDispidFolderAdd, 1, FolderAdd},
    {kItemsSink, kItemsSink, &kDiidItemsEvents, kDispidItemAdd, 1, ItemAdd},
};

}  // namespace

EventSink::EventSink(int identity, const IID& events, IUnknown* owner)
    : identity_(identity), events_(events), owner_(owner) {}

HRESULT EventSink::QueryInterface(REFIID riid, void** object) {
  if (object == nullptr)
    return E_POINTER;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) ||
      IsEqualIID(riid, events_)) {
    *object = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG EventSink::AddRef() {
  return owner_ != nullptr ? owner_->AddRef() : 1;
}

ULONG EventSink::Release() {
  return owner_ != nullptr ? owner_->Release() : 1;
}

HRESULT EventSink::GetTypeInfoCount(UINT* count) {
  if (count == nullptr)
    return E_POINTER;
  *count = 0;
  return S_OK;
}

HRESULT EventSink::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
  if (info != nullptr)
    *info = nullptr;
  return E_NOTIMPL;
}

HRESULT EventSink::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) {
  return E_NOTIMPL;
}

HRESULT EventSink::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result,
                          EXCEPINFO*, UINT*) {
  if (result != nullptr)
    VariantInit(result);
  if (handlers_ == nullptr || params == nullptr)
    return S_OK;
  for (const EventMapEntry& entry : kEventMap) {
    if (identity_ < entry.first_identity || identity_ > entry.last_identity ||
        !IsEqualIID(events_, *entry.events) || id != entry.id) {
      continue;
    }
    // An event raised with other arguments than its interface declares is
    // not one the handler understands.
    if (params->cArgs != entry.arguments || params->rgvarg == nullptr)
      return S_OK;
    // Nothing may be thrown back into the host.
    try {
      entry.handler(*this, *params);
    } catch (...) {
    }
    return S_OK;
  }
  return S_OK;
}

}  // namespace varnox::win
