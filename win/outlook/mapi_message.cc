#include "win/outlook/mapi_message.h"
#include "win/outlook/outlook_ids.h"

#include <mapidefs.h>
#include <wrl/client.h>

#include <cstring>
#include <string>

namespace varnox::win {
namespace {

using Microsoft::WRL::ComPtr;

constexpr WORD kHrGetOnePropOrdinal = 135;
constexpr WORD kHrSetOnePropOrdinal = 136;
constexpr ULONG kPtString8 = 0x001E;
constexpr ULONG kPtError = 0x000A;

struct MapiFunctions {
  using GetOneProp = HRESULT(WINAPI*)(IMAPIProp*, ULONG, SPropValue**);
  using SetOneProp = HRESULT(WINAPI*)(IMAPIProp*, SPropValue*);
  using FreeBuffer = ULONG(WINAPI*)(void*);
  GetOneProp get_one_prop = nullptr;
  SetOneProp set_one_prop = nullptr;
  FreeBuffer free_buffer = nullptr;
};

template <typename Function>
Function Resolve(HMODULE module, const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// Loaded once and kept for the life of the process.
const MapiFunctions* Functions() {
  static const MapiFunctions* functions = []() -> const MapiFunctions* {
    HMODULE mapi = LoadLibraryW(L"mapi32.dll");
    if (mapi == nullptr)
      return nullptr;
    static MapiFunctions resolved;
    resolved.get_one_prop =
        Resolve<MapiFunctions::GetOneProp>(mapi, MAKEINTRESOURCEA(kHrGetOnePropOrdinal));
    resolved.set_one_prop =
        Resolve<MapiFunctions::SetOneProp>(mapi, MAKEINTRESOURCEA(kHrSetOnePropOrdinal));
    resolved.free_buffer = Resolve<MapiFunctions::FreeBuffer>(mapi, "MAPIFreeBuffer");
    if (resolved.get_one_prop == nullptr || resolved.set_one_prop == nullptr ||
        resolved.free_buffer == nullptr) {
      return nullptr;
    }
    return &resolved;
  }();
  return functions;
}

class MapiMessage final : public host::Message {
 public:
  MapiMessage(ComPtr<IMessage> message, const MapiFunctions& mapi)
      : message_(std::move(message)), mapi_(mapi) {}

  HResult GetStringProperty(std::uint32_t tag, std::string* value) override {
    SPropValue* property = nullptr;
    HRESULT hr = mapi_.get_one_prop(message_.Get(), tag, &property);
    if (FAILED(hr))
      return hr;
    if (property == nullptr)
      return kMapiENotFound;
    // Whatever came back is freed with MAPIFreeBuffer once copied.
    HResult result = kSOk;
    if ((property->ulPropTag & 0xFFFF) == kPtString8 && property->Value.lpszA != nullptr) {
      value->assign(property->Value.lpszA);
    } else if ((property->ulPropTag & 0xFFFF) == kPtError && FAILED(property->Value.err)) {
      result = property->Value.err;
    } else {
      result = kMapiENotFound;
    }
    mapi_.free_buffer(property);
    return result;
  }

  HResult SetStringProperty(std::uint32_t tag, std::string_view value) override {
    // PT_STRING8 ends at its terminator: the text is cut at a NUL it holds.
    std::string text(value.substr(0, value.find('\0')));
    SPropValue property{};
    property.ulPropTag = tag;
    property.Value.lpszA = text.data();
    return mapi_.set_one_prop(message_.Get(), &property);
  }

  HResult SaveChanges(std::uint32_t flags) override { return message_->SaveChanges(flags); }
  // The add-in's notes stay as Outlook has always been given them.
  bool WritesHeaderFields() const override { return false; }

 private:
  ComPtr<IMessage> message_;
  const MapiFunctions& mapi_;
};

}  // namespace

bool MapiAvailable() {
  return Functions() != nullptr;
}

HResult OpenMapiMessage(IUnknown* mapi_object, std::unique_ptr<host::Message>* message) {
  message->reset();
  if (mapi_object == nullptr)
    return kENoInterface;
  const MapiFunctions* mapi = Functions();
  if (mapi == nullptr)
    return kEFail;
  ComPtr<IMessage> imessage;
  HRESULT hr = mapi_object->QueryInterface(kIidMapiMessage,
                                           reinterpret_cast<void**>(imessage.GetAddressOf()));
  if (FAILED(hr))
    return hr;
  *message = std::make_unique<MapiMessage>(std::move(imessage), *mapi);
  return kSOk;
}

}  // namespace varnox::win
