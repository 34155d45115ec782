// Button faces for the toolbar: a picture drawn from the program's icon
// resources, and a way to hand it to a host that takes faces only from the
// system clipboard without losing what the user had copied there.
#ifndef VARNOX_PLATFORM_BUTTON_FACES_H_
#define VARNOX_PLATFORM_BUTTON_FACES_H_

#include <functional>
#include <memory>

#include "platform/hresult.h"

namespace varnox {

// A 16 by 16 face bitmap made by the platform; opaque to the core.
class ButtonFace {
 public:
  virtual ~ButtonFace() = default;
};

// System colour index of button faces (COLOR_BTNFACE).
inline constexpr int kColorButtonFace = 15;

class ButtonFaces {
 public:
  virtual ~ButtonFaces() = default;

  // Icon resource `face_id` drawn at 16 by 16 on the system colour
  // `colour_index`. Null on any failure, and on hosts without pictures.
  virtual std::unique_ptr<ButtonFace> MakeButtonFace(int face_id, int colour_index) = 0;

  // Puts `face` on the system clipboard, runs `paste` (the button's
  // PasteFace), then puts back what the clipboard held before. Returns the
  // status of `paste`, or a failure status without calling it when the
  // clipboard cannot be had.
  virtual HResult PasteThroughClipboard(const ButtonFace& face,
                                        const std::function<HResult()>& paste) = 0;
};

// For hosts that draw no faces: MakeButtonFace gives null.
class NoButtonFaces final : public ButtonFaces {
 public:
  std::unique_ptr<ButtonFace> MakeButtonFace(int, int) override { return nullptr; }
  HResult PasteThroughClipboard(const ButtonFace&, const std::function<HResult()>&) override {
    return kENotImpl;
  }
};

}  // namespace varnox

#endif  // VARNOX_PLATFORM_BUTTON_FACES_H_
