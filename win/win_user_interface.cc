#include "win/win_user_interface.h"

#include <windows.h>

#include <shellapi.h>

#include <string>

namespace varnox {

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

void WinUserInterface::OpenWebPage(std::string_view url) {
  const std::string url_z(url);
  ShellExecuteA(nullptr, "open", url_z.c_str(), nullptr, nullptr, SW_SHOWMAXIMIZED);
}

}  // namespace varnox
