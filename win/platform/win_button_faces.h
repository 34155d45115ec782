// Button faces on Windows: icon resources of the add-in module drawn at 16
// by 16 on a system colour, and the clipboard hand-over that PasteFace needs.
#ifndef VARNOX_WIN_PLATFORM_WIN_BUTTON_FACES_H_
#define VARNOX_WIN_PLATFORM_WIN_BUTTON_FACES_H_

#include <windows.h>

#include "platform/button_faces.h"

namespace varnox::win {

// A 16 by 16 bitmap; deleted with the face.
class WinButtonFace final : public ButtonFace {
 public:
  explicit WinButtonFace(HBITMAP bitmap) : bitmap_(bitmap) {}
  ~WinButtonFace() override { DeleteObject(bitmap_); }
  WinButtonFace(const WinButtonFace&) = delete;
  WinButtonFace& operator=(const WinButtonFace&) = delete;
  HBITMAP bitmap() const { return bitmap_; }

 private:
  HBITMAP bitmap_;
};

// Draws `icon` stretched to 16 by 16 (image and mask) on a solid fill of
// `colour`. Null when the desktop, a context, the bitmap, the selection or
// the brush cannot be had; whatever was made is released.
std::unique_ptr<WinButtonFace> DrawButtonFace(HICON icon, COLORREF colour);

class WinButtonFaces final : public ButtonFaces {
 public:
  // Faces come from the icon resources of `module`.
  explicit WinButtonFaces(HINSTANCE module) : module_(module) {}

  // The icon is loaded at its own size with LR_LOADTRANSPARENT |
  // LR_LOADMAP3DCOLORS and drawn on GetSysColor(colour_index).
  std::unique_ptr<ButtonFace> MakeButtonFace(int face_id, int colour_index) override;

  // Saves what the clipboard holds (every format it can copy), puts a copy
  // of the face there as CF_BITMAP, runs `paste`, then puts the saved
  // formats back, so the user's copied data survives the toolbar.
  HResult PasteThroughClipboard(const ButtonFace& face,
                                const std::function<HResult()>& paste) override;

 private:
  HINSTANCE module_;
};

}  // namespace varnox::win

#endif  // VARNOX_WIN_PLATFORM_WIN_BUTTON_FACES_H_
