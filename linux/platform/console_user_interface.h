// The user-interface seam on a Linux console.
//
// A message box becomes its caption and text on the error stream (converted
// from code page 1252 to UTF-8, control characters made harmless). A question
// (a Yes/No box) is asked on the terminal when the input is a terminal;
// otherwise it is answered with its safe default, No (Cancel where the box
// has one), unless the console was told to answer yes (`varnox --yes`). Every
// answer given without asking is printed too, so that a log shows what was
// decided. The beep is the terminal bell, sent only when the error stream is
// a terminal. A web page is handed to `xdg-open` (no shell is involved); when
// that cannot be run or fails, the address is printed for the user to open;
// a page that is not there is said so, as a warning.
//
// Not thread-safe; the system calls it from its one thread.
#ifndef VARNOX_LINUX_PLATFORM_CONSOLE_USER_INTERFACE_H_
#define VARNOX_LINUX_PLATFORM_CONSOLE_USER_INTERFACE_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/user_interface.h"

namespace varnox {

struct ConsoleOptions {
  int input_fd = 0;   // where answers are read (standard input)
  int output_fd = 2;  // where messages, questions and the bell go (standard error)
  bool answer_yes = false;
  std::string web_opener = "xdg-open";  // looked up on PATH
  // Where the installed pages (help.html, support.html) lie, in UTF-8; empty
  // for the running program's own folder, where the build puts them.
  std::string pages_folder;
};

class ConsoleUserInterface final : public UserInterface {
 public:
  explicit ConsoleUserInterface(ConsoleOptions options = {}) : options_(std::move(options)) {}

  int ShowMessage(std::string_view text, std::string_view caption, std::uint32_t flags) override;
  void Beep(std::uint32_t type) override;
  // Opens the page with the web opener; prints its path when it cannot be
  // opened. A page that is not there is said so and counts as a warning.
  void OpenPage(std::string_view page) override;

  void set_answer_yes(bool yes) { options_.answer_yes = yes; }
  bool answer_yes() const { return options_.answer_yes; }
  // How many warnings were shown (messages with the warning icon, pages
  // that are not there): a command that showed one did not do all it
  // should have (exit status).
  int warnings() const { return warnings_; }

  // For the console's dialog prompts. True when a person can be asked: the
  // input is a terminal and the console was not told to answer yes.
  bool CanAsk() const;
  // Writes `prompt_utf8` and reads one line typed, without its line end and
  // trimmed of surrounding blanks; false at the end of the input.
  bool Ask(std::string_view prompt_utf8, std::string* answer);
  // UTF-8 text as it is, on the console's output.
  void Write(std::string_view utf8);

 private:
  // One line typed on the terminal, without its line feed; false at the end
  // of the input.
  bool ReadAnswer(std::string* answer);

  ConsoleOptions options_;
  int warnings_ = 0;
};

// Code page 1252 text as it may go to a terminal: UTF-8, with "\r\n" made a
// line feed and every other control character but tab and line feed shown as
// "?", so that text from a message can never drive the terminal.
std::string TerminalText(std::string_view text_1252);

// The same for text that is UTF-8 already (file names, arguments): only the
// control characters are replaced.
std::string TerminalTextFromUtf8(std::string_view utf8);

}  // namespace varnox

#endif  // VARNOX_LINUX_PLATFORM_CONSOLE_USER_INTERFACE_H_
