#include "settings/info_dialogs.h"

namespace varnox {
namespace {

// Both information dialogs have one button, Close (id 2); Enter reaches a
// dialog as id 1 when it has no default push button. Either ends the dialog.
void EndOnCloseOrEnter(DialogView& view, int control_id, ControlEvent event) {
  if (event != ControlEvent::kClicked)
    return;
  if (control_id == kIdOkButton || control_id == kIdCancelButton)
    view.EndDialog(control_id);
}

}  // namespace

void MailHeaderDialog::OnInitDialog(DialogView& view) {
  view.SetControlText(kIdHeaderText, headers_);
}

void MailHeaderDialog::OnCommand(DialogView& view, int control_id, ControlEvent event) {
  EndOnCloseOrEnter(view, control_id, event);
}

void AboutDialog::OnInitDialog(DialogView& view) {
  view.SetControlText(kIdTitle, kTitle);
  view.SetControlText(kIdNotice, kNotice);
}

void AboutDialog::OnCommand(DialogView& view, int control_id, ControlEvent event) {
  EndOnCloseOrEnter(view, control_id, event);
}

}  // namespace varnox
