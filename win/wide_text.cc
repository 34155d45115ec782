#include "win/wide_text.h"

#include <windows.h>

#include <oleauto.h>

#include <climits>

namespace varnox::win {
namespace {

constexpr UINT kCodePage1252 = 1252;

// MultiByteToWideChar counts in int; longer texts are cut at that bound
// rather than wrapped around (no text of the system comes near it).
int ClampedLength(std::size_t size) {
  return size > static_cast<std::size_t>(INT_MAX) ? INT_MAX : static_cast<int>(size);
}

}  // namespace

std::wstring WidenFrom1252(std::string_view text) {
  if (text.empty())
    return {};
  const int length = ClampedLength(text.size());
  // 1252 is a single-byte code page: one unit per byte.
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  int written = MultiByteToWideChar(kCodePage1252, 0, text.data(), length, wide.data(), length);
  wide.resize(written > 0 ? static_cast<std::size_t>(written) : 0);
  return wide;
}

std::string NarrowTo1252(std::wstring_view text) {
  if (text.empty())
    return {};
  const int length = ClampedLength(text.size());
  int needed = WideCharToMultiByte(kCodePage1252, 0, text.data(), length, nullptr, 0, "?", nullptr);
  if (needed <= 0)
    return {};
  std::string narrow(static_cast<std::size_t>(needed), '\0');
  int written = WideCharToMultiByte(kCodePage1252, 0, text.data(), length, narrow.data(), needed,
                                    "?", nullptr);
  narrow.resize(written > 0 ? static_cast<std::size_t>(written) : 0);
  return narrow;
}

bool FitsIn1252(std::wstring_view text) {
  if (text.empty())
    return true;
  BOOL used_default = FALSE;
  const int needed =
      WideCharToMultiByte(kCodePage1252, WC_NO_BEST_FIT_CHARS, text.data(),
                          ClampedLength(text.size()), nullptr, 0, nullptr, &used_default);
  return needed > 0 && !used_default;
}

std::string NarrowToUtf8(std::wstring_view text) {
  if (text.empty())
    return {};
  const int length = ClampedLength(text.size());
  const int needed =
      WideCharToMultiByte(CP_UTF8, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
  if (needed <= 0)
    return {};
  std::string narrow(static_cast<std::size_t>(needed), '\0');
  const int written =
      WideCharToMultiByte(CP_UTF8, 0, text.data(), length, narrow.data(), needed, nullptr, nullptr);
  narrow.resize(written > 0 ? static_cast<std::size_t>(written) : 0);
  return narrow;
}

OwnedBstr::OwnedBstr(std::string_view text_1252) : OwnedBstr(WidenFrom1252(text_1252)) {}

OwnedBstr::OwnedBstr(std::wstring_view text)
    : bstr_(SysAllocStringLen(text.data(), static_cast<UINT>(ClampedLength(text.size())))) {}

OwnedBstr::~OwnedBstr() {
  SysFreeString(bstr_);
}

std::string NarrowBstr(BSTR text) {
  if (text == nullptr)
    return {};
  return NarrowTo1252(std::wstring_view(text, SysStringLen(text)));
}

}  // namespace varnox::win
