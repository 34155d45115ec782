#include "win/outlook/variant.h"

#include "win/platform/wide_text.h"

namespace varnox::win {

Variant Variant::Text(std::string_view text) {
  Variant v;
  const std::wstring wide = WidenFrom1252(text);
  v.value_.vt = VT_BSTR;
  v.value_.bstrVal = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
  if (v.value_.bstrVal == nullptr)
    v.value_.vt = VT_EMPTY;
  return v;
}

Variant Variant::Int(std::int32_t number) {
  Variant v;
  v.value_.vt = VT_I4;
  v.value_.lVal = number;
  return v;
}

Variant Variant::Bool(bool value) {
  Variant v;
  v.value_.vt = VT_BOOL;
  v.value_.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
  return v;
}

Variant Variant::TrueAsShort() {
  Variant v;
  v.value_.vt = VT_I2;
  v.value_.iVal = -1;
  return v;
}

Variant Variant::Omitted() {
  Variant v;
  v.value_.vt = VT_ERROR;
  v.value_.scode = DISP_E_PARAMNOTFOUND;
  return v;
}

Variant Variant::Object(IDispatch* object) {
  Variant v;
  v.value_.vt = VT_DISPATCH;
  v.value_.pdispVal = object;
  if (object != nullptr)
    object->AddRef();
  return v;
}

bool Variant::ToInt(std::int32_t* number) const {
  VARIANT converted;
  VariantInit(&converted);
  if (FAILED(VariantChangeType(&converted, const_cast<VARIANT*>(&value_), 0, VT_I4)))
    return false;
  *number = converted.lVal;
  return true;
}

bool Variant::ToText(std::string* text) const {
  if (value_.vt != VT_BSTR)
    return false;
  *text = NarrowBstr(value_.bstrVal);
  return true;
}

IDispatch* Variant::AsDispatch() const {
  return value_.vt == VT_DISPATCH ? value_.pdispVal : nullptr;
}

}  // namespace varnox::win
