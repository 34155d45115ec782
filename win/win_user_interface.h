// The user-interface seam on Windows: MessageBoxA with no owner window,
// MessageBeep, and the shell's "open" verb.
#ifndef VARNOX_WIN_WIN_USER_INTERFACE_H_
#define VARNOX_WIN_WIN_USER_INTERFACE_H_

#include "platform/user_interface.h"

namespace varnox {

// Calls on the host's user-interface thread; a message box blocks it until
// the user answers. Texts are code page 1252 (the ANSI calls with ACP 1252).
class WinUserInterface final : public UserInterface {
 public:
  int ShowMessage(std::string_view text, std::string_view caption, std::uint32_t flags) override;
  void Beep(std::uint32_t type) override;
  // ShellExecuteA "open", SW_SHOWMAXIMIZED, no owner window.
  void OpenWebPage(std::string_view url) override;
};

}  // namespace varnox

#endif  // VARNOX_WIN_WIN_USER_INTERFACE_H_
