// The user-interface seam for what is shown without a dialog: message boxes
// with no owner window, the beep, and opening a web page. Message boxes owned
// by a dialog go through that dialog's view instead.
#ifndef VARNOX_PLATFORM_USER_INTERFACE_H_
#define VARNOX_PLATFORM_USER_INTERFACE_H_

#include <cstdint>
#include <string_view>

namespace varnox {

// Message box flags and results, with the Win32 numbers.
inline constexpr std::uint32_t kMbOk = 0x0;
inline constexpr std::uint32_t kMbYesNo = 0x4;
inline constexpr std::uint32_t kMbIconWarning = 0x30;  // also MB_ICONEXCLAMATION
inline constexpr std::uint32_t kMbSetForeground = 0x10000;
inline constexpr std::uint32_t kMbTopmost = 0x40000;

inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;
inline constexpr int kIdYes = 6;
inline constexpr int kIdNo = 7;

// MessageBeep type for the exclamation sound.
inline constexpr std::uint32_t kBeepExclamation = 0x30;

class UserInterface {
 public:
  virtual ~UserInterface() = default;

  // A modal message box with no owner window. Returns the button pressed
  // (kIdOk, kIdYes, kIdNo, ...). A host that cannot ask answers the safe
  // default: kIdOk for kMbOk, kIdNo for kMbYesNo.
  virtual int ShowMessage(std::string_view text, std::string_view caption, std::uint32_t flags) = 0;

  // MessageBeep; the result is of no interest to anyone.
  virtual void Beep(std::uint32_t type) = 0;

  // Asks the shell to "open" `page` (a file name: "help.html"), one of the
  // pages installed with the program, in the user's browser: maximised, with
  // no owner window. Where the pages lie is the shell's to know. The outcome
  // is not examined.
  virtual void OpenPage(std::string_view page) = 0;
};

}  // namespace varnox

#endif  // VARNOX_PLATFORM_USER_INTERFACE_H_
