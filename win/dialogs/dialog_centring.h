// Where a dialog opens: centred over its owner window, or over the work area
// of the owner's screen when there is no owner or it is hidden or minimised,
// then shifted as little as needed to lie within that work area. Every
// dialog of the add-in opens this way.
#ifndef VARNOX_WIN_DIALOGS_DIALOG_CENTRING_H_
#define VARNOX_WIN_DIALOGS_DIALOG_CENTRING_H_

#include <windows.h>

namespace varnox::win {

// Screen rectangles in pixels, right and bottom exclusive (as RECT).
struct ScreenRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;

  int width() const { return right - left; }
  int height() const { return bottom - top; }
  bool operator==(const ScreenRect&) const = default;
};

// The rectangle `dialog` (only its size counts) takes when centred over
// `over` and then moved inside `work_area`. A dialog larger than the work
// area keeps its top-left corner inside it, so that its caption can be
// reached.
ScreenRect CentredWithin(const ScreenRect& dialog, const ScreenRect& over,
                         const ScreenRect& work_area);

// Moves `dialog` by the rule above, over its owner window (GW_OWNER).
void CentreDialog(HWND dialog);

}  // namespace varnox::win

#endif  // VARNOX_WIN_DIALOGS_DIALOG_CENTRING_H_
