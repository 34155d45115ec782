#include "win/outlook/dispatch_object.h"

#include <algorithm>

namespace varnox::win {

HResult DispatchObject::Invoke(const wchar_t* member, WORD flags, std::vector<Variant>& arguments,
                               Variant* result) const {
  if (!object_)
    return kEPointer;
  DISPID id = DISPID_UNKNOWN;
  LPOLESTR name = const_cast<LPOLESTR>(member);
  HRESULT hr = object_->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id);
  if (FAILED(hr))
    return hr;
  // Dispatch arguments go last first.
  std::vector<VARIANT> reversed;
  reversed.reserve(arguments.size());
  for (auto it = arguments.rbegin(); it != arguments.rend(); ++it)
    reversed.push_back(it->value());
  DISPID put_id = DISPID_PROPERTYPUT;
  DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
  if (flags == DISPATCH_PROPERTYPUT) {
    params.rgdispidNamedArgs = &put_id;
    params.cNamedArgs = 1;
  }
  EXCEPINFO exception{};
  UINT arg_error = 0;
  Variant ignored;
  hr = object_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params,
                       result != nullptr ? result->get() : ignored.get(), &exception, &arg_error);
  if (hr == DISP_E_EXCEPTION) {
    if (exception.pfnDeferredFillIn != nullptr)
      exception.pfnDeferredFillIn(&exception);
    if (FAILED(exception.scode))
      hr = exception.scode;
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrDescription);
    SysFreeString(exception.bstrHelpFile);
  }
  return hr;
}

HResult DispatchObject::Get(const wchar_t* member, Variant* result) const {
  std::vector<Variant> none;
  return Invoke(member, DISPATCH_PROPERTYGET, none, result);
}

HResult DispatchObject::Put(const wchar_t* member, Variant value) const {
  std::vector<Variant> arguments;
  arguments.push_back(std::move(value));
  return Invoke(member, DISPATCH_PROPERTYPUT, arguments, nullptr);
}

HResult DispatchObject::Call(const wchar_t* member, std::vector<Variant> arguments,
                             Variant* result) const {
  return Invoke(member, DISPATCH_METHOD, arguments, result);
}

HResult ObjectOf(Variant& value, DispatchObject* object) {
  *object = DispatchObject();
  const VARIANT& v = value.value();
  if (v.vt == VT_EMPTY || v.vt == VT_NULL)
    return kSOk;
  if (v.vt == VT_DISPATCH) {
    *object = DispatchObject(ComPtr<IDispatch>(v.pdispVal));
    return kSOk;
  }
  if (v.vt == VT_UNKNOWN) {
    if (v.punkVal == nullptr)
      return kSOk;
    ComPtr<IDispatch> dispatch;
    HRESULT hr = v.punkVal->QueryInterface(IID_PPV_ARGS(&dispatch));
    if (FAILED(hr))
      return hr;
    *object = DispatchObject(std::move(dispatch));
    return kSOk;
  }
  return static_cast<HResult>(DISP_E_TYPEMISMATCH);
}

HResult DispatchObject::GetObjectProperty(const wchar_t* member, DispatchObject* object) const {
  return GetObjectProperty(member, {}, object);
}

HResult DispatchObject::GetObjectProperty(const wchar_t* member, std::vector<Variant> arguments,
                                          DispatchObject* object) const {
  Variant result;
  HResult hr = Invoke(member, DISPATCH_PROPERTYGET, arguments, &result);
  if (Failed(hr)) {
    *object = DispatchObject();
    return hr;
  }
  return ObjectOf(result, object);
}

HResult DispatchObject::CallForObject(const wchar_t* member, std::vector<Variant> arguments,
                                      DispatchObject* object) const {
  Variant result;
  HResult hr = Call(member, std::move(arguments), &result);
  if (Failed(hr)) {
    *object = DispatchObject();
    return hr;
  }
  return ObjectOf(result, object);
}

HResult DispatchObject::GetText(const wchar_t* member, std::string* text) const {
  Variant result;
  HResult hr = Get(member, &result);
  if (Failed(hr))
    return hr;
  return result.ToText(text) ? kSOk : static_cast<HResult>(DISP_E_TYPEMISMATCH);
}

HResult DispatchObject::GetInt(const wchar_t* member, std::int32_t* number) const {
  Variant result;
  HResult hr = Get(member, &result);
  if (Failed(hr))
    return hr;
  return result.ToInt(number) ? kSOk : static_cast<HResult>(DISP_E_TYPEMISMATCH);
}

}  // namespace varnox::win
