// Late binding: calls on a host object through IDispatch by member name, so
// that no type library or header of the host is needed.
//
// Property reads are DISPATCH_PROPERTYGET, writes DISPATCH_PROPERTYPUT with
// the DISPID_PROPERTYPUT named argument, methods DISPATCH_METHOD. Arguments
// are given in their natural order (the call reverses them for the host).
// A failure raised by the host as an exception is reported with the status
// it carries.
#ifndef VARNOX_WIN_OUTLOOK_DISPATCH_OBJECT_H_
#define VARNOX_WIN_OUTLOOK_DISPATCH_OBJECT_H_

#include <windows.h>

#include <oaidl.h>
#include <wrl/client.h>

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/hresult.h"
#include "win/outlook/variant.h"

namespace varnox::win {

using Microsoft::WRL::ComPtr;

class DispatchObject {
 public:
  DispatchObject() = default;
  explicit DispatchObject(ComPtr<IDispatch> object) : object_(std::move(object)) {}

  IDispatch* get() const { return object_.Get(); }
  explicit operator bool() const { return object_ != nullptr; }

  HResult Get(const wchar_t* member, Variant* result) const;
  HResult Put(const wchar_t* member, Variant value) const;
  HResult Call(const wchar_t* member, std::vector<Variant> arguments,
               Variant* result = nullptr) const;

  // A property read or a call whose result is an object. Success with a null
  // *object means the host answered "nothing" (the end of an iteration).
  HResult GetObjectProperty(const wchar_t* member, DispatchObject* object) const;
  // The same for a property that takes arguments (CommandBars.Item(name)):
  // still a read, which a host checking against its type library refuses to
  // answer as a method call.
  HResult GetObjectProperty(const wchar_t* member, std::vector<Variant> arguments,
                            DispatchObject* object) const;
  HResult CallForObject(const wchar_t* member, std::vector<Variant> arguments,
                        DispatchObject* object) const;
  HResult GetText(const wchar_t* member, std::string* text) const;
  HResult GetInt(const wchar_t* member, std::int32_t* number) const;

 private:
  HResult Invoke(const wchar_t* member, WORD flags, std::vector<Variant>& arguments,
                 Variant* result) const;

  ComPtr<IDispatch> object_;
};

// Whether a member's answer of "nothing" is an error for its caller.
enum class Nothing { kAllowed, kIsFailure };

// Hands the object that a call or property read answered (`hr`, `object`)
// to `wrap` and puts what it makes in *out. A failure passes through with
// *out empty. An answer of nothing leaves *out empty: a success where
// nothing is a normal answer (the end of an iteration), E_FAIL where the
// member always answers an object (Add, Session, Item).
template <typename Wrapped, typename Wrap>
HResult WrapAnswer(HResult hr, DispatchObject object, std::unique_ptr<Wrapped>* out, Wrap wrap,
                   Nothing nothing = Nothing::kAllowed) {
  out->reset();
  if (Failed(hr))
    return hr;
  if (!object)
    return nothing == Nothing::kIsFailure ? kEFail : kSOk;
  *out = wrap(std::move(object));
  return kSOk;
}

// The object held by a result variant: dispatch references as they are,
// IUnknown asked for IDispatch, nothing for empty or null.
HResult ObjectOf(Variant& value, DispatchObject* object);

}  // namespace varnox::win

#endif  // VARNOX_WIN_OUTLOOK_DISPATCH_OBJECT_H_
