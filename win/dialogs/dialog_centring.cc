#include "win/dialogs/dialog_centring.h"

#include <algorithm>

namespace varnox::win {
namespace {

// The start of a span of `length` centred over [from, to), then moved into
// [low, high); the low end wins when the span does not fit.
int CentredStart(int length, int from, int to, int low, int high) {
  // Halves in 64 bits: screen coordinates can be large negatives on
  // multi-screen desktops.
  const long long centred = (static_cast<long long>(from) + to - length) / 2;
  long long start = std::min<long long>(centred, static_cast<long long>(high) - length);
  start = std::max<long long>(start, low);
  return static_cast<int>(start);
}

ScreenRect FromRect(const RECT& r) {
  return {static_cast<int>(r.left), static_cast<int>(r.top), static_cast<int>(r.right),
          static_cast<int>(r.bottom)};
}

// The owner's screen, or the dialog's own when there is no owner.
ScreenRect WorkAreaNear(HWND window) {
  MONITORINFO info{};
  info.cbSize = sizeof(info);
  HMONITOR monitor = MonitorFromWindow(window, MONITOR_DEFAULTTOPRIMARY);
  if (monitor != nullptr && GetMonitorInfoW(monitor, &info))
    return FromRect(info.rcWork);
  RECT work{};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  return FromRect(work);
}

bool CanCentreOver(HWND owner) {
  return owner != nullptr && IsWindowVisible(owner) && !IsIconic(owner);
}

}  // namespace

ScreenRect CentredWithin(const ScreenRect& dialog, const ScreenRect& over,
                         const ScreenRect& work_area) {
  const int left =
      CentredStart(dialog.width(), over.left, over.right, work_area.left, work_area.right);
  const int top =
      CentredStart(dialog.height(), over.top, over.bottom, work_area.top, work_area.bottom);
  return {left, top, left + dialog.width(), top + dialog.height()};
}

void CentreDialog(HWND dialog) {
  RECT own{};
  if (!GetWindowRect(dialog, &own))
    return;
  HWND owner = GetWindow(dialog, GW_OWNER);
  const ScreenRect work_area = WorkAreaNear(owner != nullptr ? owner : dialog);
  ScreenRect over = work_area;
  RECT owner_rect{};
  if (CanCentreOver(owner) && GetWindowRect(owner, &owner_rect))
    over = FromRect(owner_rect);
  const ScreenRect placed = CentredWithin(FromRect(own), over, work_area);
  SetWindowPos(dialog, nullptr, placed.left, placed.top, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace varnox::win
