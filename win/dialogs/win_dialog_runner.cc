#include "win/dialogs/win_dialog_runner.h"

#include <commctrl.h>

#include <optional>

#include "win/dialogs/dialog_centring.h"
#include "win/dialogs/win_dialog_view.h"

namespace varnox::win {
namespace {

// One modal run: the controller and, once the window exists, its view. Lives
// on RunModal's stack; the dialog's DWLP_USER points at it.
struct ModalRun {
  DialogController& controller;
  std::optional<WinDialogView> view;
};

// Runs a controller call; false when it threw (which must not unwind into
// the system's dialog code).
template <typename Call>
bool Guarded(Call call) {
  try {
    call();
    return true;
  } catch (...) {
    return false;
  }
}

bool IsComboBox(HWND control) {
  wchar_t name[16] = {};
  return control != nullptr && GetClassNameW(control, name, 16) > 0 &&
         CompareStringOrdinal(name, -1, WC_COMBOBOXW, -1, TRUE) == CSTR_EQUAL;
}

// The event a WM_COMMAND notification stands for, if any the controllers
// know. Enter and Esc arrive as clicks on ids 1 and 2.
std::optional<ControlEvent> CommandEvent(WORD code, LPARAM control) {
  if (code == BN_CLICKED)
    return ControlEvent::kClicked;
  if (code == CBN_SELCHANGE && IsComboBox(reinterpret_cast<HWND>(control)))
    return ControlEvent::kSelectionChanged;
  return std::nullopt;
}

void Dispatch(ModalRun& run, int control_id, ControlEvent event) {
  WinDialogView& view = *run.view;
  Guarded([&] { run.controller.OnCommand(view, control_id, event); });
  if (control_id == IDCANCEL && event == ControlEvent::kClicked && !view.ended())
    view.EndDialog(IDCANCEL);
}

INT_PTR OnInitDialog(HWND dialog, ModalRun& run) {
  SetWindowLongPtrW(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(&run));
  WinDialogView& view = run.view.emplace(dialog);
  CentreDialog(dialog);
  if (!Guarded([&] { run.controller.OnInitDialog(view); }))
    view.EndDialog(-1);
  // TRUE lets the dialog manager focus the first control, unless the
  // controller chose one.
  return view.focus_set() ? FALSE : TRUE;
}

INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_INITDIALOG)
    return OnInitDialog(dialog, *reinterpret_cast<ModalRun*>(lparam));
  auto* run = reinterpret_cast<ModalRun*>(GetWindowLongPtrW(dialog, DWLP_USER));
  if (run == nullptr || !run->view)
    return FALSE;
  switch (message) {
    case WM_COMMAND:
      if (const auto event = CommandEvent(HIWORD(wparam), lparam)) {
        Dispatch(*run, LOWORD(wparam), *event);
        return TRUE;
      }
      return FALSE;
    case WM_NOTIFY: {
      const auto* header = reinterpret_cast<const NMHDR*>(lparam);
      if (header != nullptr && header->code == static_cast<UINT>(NM_DBLCLK))
        Dispatch(*run, static_cast<int>(header->idFrom), ControlEvent::kDoubleClicked);
      return FALSE;
    }
    default:
      return FALSE;
  }
}

}  // namespace

int WinDialogRunner::RunModal(DialogController& controller) {
  // The list views of the templates need their window class registered.
  INITCOMMONCONTROLSEX classes{sizeof(classes), ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&classes);
  ModalRun run{controller, std::nullopt};
  const INT_PTR result =
      DialogBoxParamW(templates_, MAKEINTRESOURCEW(controller.TemplateId()), GetActiveWindow(),
                      DialogProc, reinterpret_cast<LPARAM>(&run));
  return static_cast<int>(result);
}

}  // namespace varnox::win
