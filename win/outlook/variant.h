// An owned VARIANT, and the argument kinds that late-bound calls pass.
#ifndef VARNOX_WIN_OUTLOOK_VARIANT_H_
#define VARNOX_WIN_OUTLOOK_VARIANT_H_

#include <windows.h>

#include <oaidl.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace varnox::win {

class Variant {
 public:
  Variant() { VariantInit(&value_); }
  ~Variant() { VariantClear(&value_); }
  Variant(Variant&& other) noexcept : value_(other.value_) { VariantInit(&other.value_); }
  Variant& operator=(Variant&& other) noexcept {
    if (this != &other) {
      VariantClear(&value_);
      value_ = other.value_;
      VariantInit(&other.value_);
    }
    return *this;
  }
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;

  // Code page 1252 text as a BSTR.
  static Variant Text(std::string_view text);
  static Variant Int(std::int32_t number);
  // Automation true or false as VT_BOOL.
  static Variant Bool(bool value);
  // Automation true as a 16-bit integer holding -1, as Temporary is passed.
  static Variant TrueAsShort();
  // An omitted optional argument: VT_ERROR holding DISP_E_PARAMNOTFOUND.
  static Variant Omitted();
  // A reference to `object` (AddRef'd; may be null).
  static Variant Object(IDispatch* object);

  VARIANT* get() { return &value_; }
  const VARIANT& value() const { return value_; }

  // The value as a number, when it converts to one.
  bool ToInt(std::int32_t* number) const;
  // The value as code page 1252 text, when it is a string.
  bool ToText(std::string* text) const;
  // The dispatch reference held (borrowed), or null for none.
  IDispatch* AsDispatch() const;

 private:
  VARIANT value_;
};

}  // namespace varnox::win

#endif  // VARNOX_WIN_OUTLOOK_VARIANT_H_
