// Conversion between the system's narrow text (code page 1252, whatever the
// machine's ANSI code page) and the UTF-16 of COM strings.
#ifndef VARNOX_WIN_PLATFORM_WIDE_TEXT_H_
#define VARNOX_WIN_PLATFORM_WIDE_TEXT_H_

#include <wtypes.h>

#include <string>
#include <string_view>

namespace varnox::win {

// Every byte maps to one UTF-16 unit (the five unassigned bytes of 1252 to
// their C1 controls, as Windows does).
std::wstring WidenFrom1252(std::string_view text);
// Characters that 1252 cannot show become '?'.
std::string NarrowTo1252(std::wstring_view text);
// Whether every character of `text` has its own byte in 1252 (no '?', no
// look-alike put in its place).
bool FitsIn1252(std::wstring_view text);
// UTF-8, for text that must hold any character (file paths of the user's
// folders, which 1252 cannot always show). Invalid UTF-8 and an unpaired
// surrogate become U+FFFD.
std::wstring WidenFromUtf8(std::string_view text);
std::string NarrowToUtf8(std::wstring_view text);

// A BSTR owned for its scope (SysFreeString on destruction).
class OwnedBstr {
 public:
  explicit OwnedBstr(std::string_view text_1252);
  explicit OwnedBstr(std::wstring_view text);
  ~OwnedBstr();
  OwnedBstr(const OwnedBstr&) = delete;
  OwnedBstr& operator=(const OwnedBstr&) = delete;

  // Null only when memory ran out.
  BSTR get() const { return bstr_; }

 private:
  BSTR bstr_;
};

// The text of a BSTR (which may be null, meaning empty) in code page 1252.
std::string NarrowBstr(BSTR text);

}  // namespace varnox::win

#endif  // VARNOX_WIN_PLATFORM_WIDE_TEXT_H_
