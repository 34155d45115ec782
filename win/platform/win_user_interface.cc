#include "win/platform/win_user_interface.h"

#include <windows.h>

#include <shellapi.h>

#include <string>

#include "win/platform/wide_text.h"

namespace varnox {
namespace {

void ShellOpen(const std::wstring& path) {
  ShellExecuteW(nullptr, L"open", path.c_str(), nullptr, nullptr, SW_SHOWMAXIMIZED);
}

}  // namespace

WinUserInterface::WinUserInterface(std::wstring pages_folder, PageOpener opener)
    : pages_folder_(std::move(pages_folder)),
      opener_(opener ? std::move(opener) : PageOpener(&ShellOpen)) {}

std::wstring FolderOf(const std::wstring& path) {
  const std::size_t end = path.find_last_of(L"\\/");
  return end == std::wstring::npos ? std::wstring() : path.substr(0, end);
}

int WinUserInterface::ShowMessage(std::string_view text, std::string_view caption,
                                  std::uint32_t flags) {
  // The Win32 call stops at the first NUL; texts come whole from the core.
  const std::string text_z(text);
  const std::string caption_z(caption);
  return MessageBoxA(nullptr, text_z.c_str(), caption_z.c_str(), flags);
}

void WinUserInterface::Beep(std::uint32_t type) {
  MessageBeep(type);
}

void WinUserInterface::OpenPage(std::string_view page) {
  opener_(pages_folder_ + L"\\" + win::WidenFrom1252(page));
}

}  // namespace varnox
