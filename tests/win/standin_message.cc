#include "tests/win/standin_message.h"

#include <mapicode.h>

#include <cstring>

#include "win/com/com_ids.h"
#include "win/outlook/outlook_ids.h"

namespace varnox::win::testing {
namespace {

constexpr ULONG kPtString8 = 0x001E;
constexpr ULONG kPtError = 0x000A;

using AllocateBuffer = SCODE(WINAPI*)(ULONG, LPVOID*);

// MAPI's own allocator, so that MAPIFreeBuffer can free what is handed out.
AllocateBuffer Allocator() {
  static AllocateBuffer allocate = reinterpret_cast<AllocateBuffer>(
      reinterpret_cast<void*>(GetProcAddress(LoadLibraryW(L"mapi32.dll"), "MAPIAllocateBuffer")));
  return allocate;
}

}  // namespace

HRESULT StandInMessage::QueryInterface(REFIID riid, void** object) {
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, kIidMapiProp) ||
      IsEqualIID(riid, kIidMapiMessage)) {
    *object = static_cast<IMessage*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG StandInMessage::Release() {
  ULONG left = --references_;
  if (left == 0)
    delete this;
  return left;
}

HRESULT StandInMessage::GetProps(LPSPropTagArray tags, ULONG, ULONG* count, LPSPropValue* values) {
  if (tags == nullptr || Allocator() == nullptr)
    return E_NOTIMPL;
  // One block: the values, then the texts they point to.
  std::size_t size = sizeof(SPropValue) * tags->cValues;
  for (ULONG i = 0; i < tags->cValues; ++i) {
    auto it = properties.find(tags->aulPropTag[i]);
    if (it != properties.end())
      size += it->second.size() + 1;
  }
  void* block = nullptr;
  if (FAILED(Allocator()(static_cast<ULONG>(size), &block)))
    return E_OUTOFMEMORY;
  auto* out = static_cast<SPropValue*>(block);
  char* text = reinterpret_cast<char*>(out + tags->cValues);
  bool missing = false;
  for (ULONG i = 0; i < tags->cValues; ++i) {
    const ULONG tag = tags->aulPropTag[i];
    out[i] = SPropValue{};
    auto it = properties.find(tag);
    if (it == properties.end() || (tag & 0xFFFF) != kPtString8) {
      out[i].ulPropTag = (tag & 0xFFFF0000u) | kPtError;
      out[i].Value.err = static_cast<SCODE>(0x8004010F);  // MAPI_E_NOT_FOUND
      missing = true;
      continue;
    }
    out[i].ulPropTag = tag;
    std::memcpy(text, it->second.c_str(), it->second.size() + 1);
    out[i].Value.lpszA = text;
    text += it->second.size() + 1;
  }
  *count = tags->cValues;
  *values = out;
  return missing ? MAPI_W_ERRORS_RETURNED : S_OK;
}

HRESULT StandInMessage::SetProps(ULONG count, LPSPropValue values, LPSPropProblemArray* problems) {
  if (problems != nullptr)
    *problems = nullptr;
  for (ULONG i = 0; i < count; ++i) {
    if ((values[i].ulPropTag & 0xFFFF) == kPtString8)
      properties[values[i].ulPropTag] = values[i].Value.lpszA;
  }
  return S_OK;
}

HRESULT StandInMessage::SaveChanges(ULONG flags) {
  saves.push_back(flags);
  return save_result;
}

}  // namespace varnox::win::testing
