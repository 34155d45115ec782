// The user-interface seam on Windows: MessageBoxA with no owner window,
// MessageBeep, and the shell's "open" verb for the installed pages.
#ifndef VARNOX_WIN_PLATFORM_WIN_USER_INTERFACE_H_
#define VARNOX_WIN_PLATFORM_WIN_USER_INTERFACE_H_

#include <functional>
#include <string>

#include "platform/user_interface.h"

namespace varnox {

// Calls on the host's user-interface thread; a message box blocks it until
// the user answers. Texts are code page 1252 (the ANSI calls with ACP 1252).
class WinUserInterface final : public UserInterface {
 public:
  // Hands a page's full path to the shell.
  using PageOpener = std::function<void(const std::wstring& path)>;

  // The pages lie in `pages_folder` (the module's own folder). By default a
  // page is opened with ShellExecuteW "open", SW_SHOWMAXIMIZED, no owner
  // window: the wide call, because the folder of a per-user install holds the
  // user's name, which the ANSI code page may not be able to show.
  explicit WinUserInterface(std::wstring pages_folder, PageOpener opener = {});

  int ShowMessage(std::string_view text, std::string_view caption, std::uint32_t flags) override;
  void Beep(std::uint32_t type) override;
  void OpenPage(std::string_view page) override;

 private:
  std::wstring pages_folder_;
  PageOpener opener_;
};

// The folder part of a file's full path (up to its last backslash or
// slash); empty when there is none.
std::wstring FolderOf(const std::wstring& path);

}  // namespace varnox

#endif  // VARNOX_WIN_PLATFORM_WIN_USER_INTERFACE_H_
