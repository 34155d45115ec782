// Works the add-in's real dialogs as a user would, from a second thread, by
// window messages: the dialogs run modally on the test's own thread (as on
// the host's user-interface thread), and the driver finds them on screen,
// reads their controls, types, chooses, ticks, clicks and answers their
// message boxes.
//
//   {
//     DialogDriver driver([](DialogDriver& d) {
//       HWND dialog = d.WaitForDialog("About");
//       EXPECT_EQ(d.Text(dialog, 1001), "Varnox v1.2");
//       d.Click(dialog, IDCANCEL);
//     });
//     result = runner.RunModal(about);
//   }  // the driver's thread is joined here
//
// A wait that times out fails the test and ends the script; the driver then
// closes whatever is still open, so that the test's thread never stays
// blocked in a dialog.
#ifndef VARNOX_TESTS_WIN_DIALOG_DRIVER_H_
#define VARNOX_TESTS_WIN_DIALOG_DRIVER_H_

#include <windows.h>

#include <atomic>
#include <functional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace varnox::win::testing {

// A message box as it stands on screen.
struct ShownMessage {
  HWND window = nullptr;
  HWND owner = nullptr;
  std::string caption;
  std::string text;
  std::vector<int> buttons;  // ids of its buttons, in their order
};

class DialogDriver {
 public:
  using Script = std::function<void(DialogDriver&)>;

  // Starts `script` on a new thread. Must be made on the thread that then
  // runs the dialogs.
  explicit DialogDriver(Script script);
  // Waits for the script; when it left windows open, or gave up, closes them.
  ~DialogDriver();
  DialogDriver(const DialogDriver&) = delete;
  DialogDriver& operator=(const DialogDriver&) = delete;

  // --- Finding windows (of this process, visible).
  // A dialog (not a message box) with this caption, owned by `owner` when
  // given.
  HWND WaitForDialog(std::string_view caption, HWND owner = nullptr);
  // The next message box owned by `owner` (null: one without owner).
  ShownMessage WaitForMessage(HWND owner);
  // Presses one of a message box's buttons; returns once the box has closed
  // and its owner has handled what it did next (or shows its next box).
  void Answer(const ShownMessage& message, int button);
  // Waits until `window` has been destroyed.
  void WaitUntilClosed(HWND window);
  // No message box owned by `owner` appears within a short while.
  bool NoMessageFor(HWND owner);
  // Waits until control `id` of `dialog` reads `text`; false when it never
  // does.
  bool WaitForText(HWND dialog, int id, std::string_view text);
  // Returns once the dialogs' thread is back in a message loop and has
  // handled what was sent to `window` before (a window message round trip).
  static void Settle(HWND window);

  // --- Reading controls.
  static std::string Text(HWND dialog, int id);
  static bool Checked(HWND dialog, int id);
  static std::vector<std::string> ComboEntries(HWND dialog, int id);
  static int ComboSelection(HWND dialog, int id);
  static std::vector<std::string> Rows(HWND dialog, int id);
  static std::vector<bool> RowTicks(HWND dialog, int id);
  // A list view's first column: its title and width in pixels.
  static std::string ColumnTitle(HWND dialog, int id);
  static int ColumnWidth(HWND dialog, int id);
  // The control that has the keyboard focus on the dialogs' thread.
  HWND Focus() const;

  // --- Acting. Each returns once the dialog has handled the action, except
  // ClickOpening, which returns at once: the click opens a modal window
  // (a message box or another dialog) that the script waits for next.
  void Type(HWND dialog, int id, std::string_view text);
  void Click(HWND dialog, int id);
  void ClickOpening(HWND dialog, int id);
  void Choose(HWND dialog, int id, int index);
  void TickRow(HWND dialog, int id, int row, bool ticked);
  void DoubleClickRow(HWND dialog, int id, int row);
  // A key pressed in the focused control (Enter, Esc), through the dialog's
  // own keyboard handling.
  void PressKey(WORD key);
  // The caption's close box.
  void CloseBox(HWND dialog);

  // Saves `window` as it stands on screen to VARNOX_SCREENSHOT_DIR/NAME.bmp.
  void Screenshot(HWND window, std::string_view name);

  DWORD dialog_thread() const { return dialog_thread_; }

 private:
  struct GaveUp {};
  void Run(const Script& script);
  // Every visible top-level window of the dialogs' thread.
  std::vector<HWND> OwnWindows() const;
  [[noreturn]] void GiveUp(const std::string& what);
  void CloseEverything();

  DWORD dialog_thread_;
  std::atomic<bool> dialogs_done_{false};
  std::thread thread_;
};

// Text in code page 1252 from a window of this process.
std::string WindowText(HWND window);

}  // namespace varnox::win::testing

#endif  // VARNOX_TESTS_WIN_DIALOG_DRIVER_H_
