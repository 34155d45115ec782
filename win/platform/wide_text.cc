#include "win/platform/wide_text.h"

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

// A code page never yields more UTF-16 units than it has bytes.
std::wstring Widen(UINT code_page, std::string_view text) {
  if (text.empty())
    return {};
  const int length = ClampedLength(text.size());
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  int written = MultiByteToWideChar(code_page, 0, text.data(), length, wide.data(), length);
  wide.resize(written > 0 ? static_cast<std::size_t>(written) : 0);
  return wide;
}

// `fallback` stands for characters the code page cannot show (null for
// UTF-8, which shows them all).
std::string Narrow(UINT code_page, const char* fallback, std::wstring_view text) {
  if (text.empty())
    return {};
  const int length = ClampedLength(text.size());
  int needed =
      WideCharToMultiByte(code_page, 0, text.data(), length, nullptr, 0, fallback, nullptr);
  if (needed <= 0)
    return {};
  std::string narrow(static_cast<std::size_t>(needed), '\0');
  int written = WideCharToMultiByte(code_page, 0, text.data(), length, narrow.data(), needed,
                                    fallback, nullptr);
  narrow.resize(written > 0 ? static_cast<std::size_t>(written) : 0);
  return narrow;
}

}  // namespace

std::wstring WidenFrom1252(std::string_view text) {
  return Widen(kCodePage1252, text);
}

std::string NarrowTo1252(std::wstring_view text) {
  return Narrow(kCodePage1252, "?", text);
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

std::wstring WidenFromUtf8(std::string_view text) {
  return Widen(CP_UTF8, text);
}

std::string NarrowToUtf8(std::wstring_view text) {
  return Narrow(CP_UTF8, nullptr, text);
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
