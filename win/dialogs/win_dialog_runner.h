// Runs the core's dialog controllers as modal Win32 dialogs, built from the
// templates of the add-in module (resources/dialogs.rc).
#ifndef VARNOX_WIN_DIALOGS_WIN_DIALOG_RUNNER_H_
#define VARNOX_WIN_DIALOGS_WIN_DIALOG_RUNNER_H_

#include <windows.h>

#include "platform/dialog.h"

namespace varnox::win {

// Each dialog is owned by the window active on the calling thread when it
// opens (none: the dialog has no owner), centred by the common rule
// (win/dialogs/dialog_centring.h), and runs in its own message loop until
// the controller ends it. Esc, the close box and a Cancel button all reach the
// controller as a click on id 2, and end the dialog with 2 when the
// controller did not end it itself. Nothing the controller throws leaves the
// window procedure: a failed opening ends the dialog with -1, a failed command
// is dropped. Call on the host's user-interface thread; dialogs may nest (a
// controller may run another dialog from a command).
class WinDialogRunner final : public DialogRunner {
 public:
  // `templates` holds the dialog templates and pictures (the add-in module).
  explicit WinDialogRunner(HINSTANCE templates) : templates_(templates) {}

  int RunModal(DialogController& controller) override;

 private:
  HINSTANCE templates_;
};

}  // namespace varnox::win

#endif  // VARNOX_WIN_DIALOGS_WIN_DIALOG_RUNNER_H_
