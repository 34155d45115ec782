// A button-face service for tests: faces that carry their icon id, and a
// system clipboard held in memory, so that a test can see which face went
// where and that the user's clipboard came back.
#ifndef VARNOX_TESTS_FAKES_FAKE_BUTTON_FACES_H_
#define VARNOX_TESTS_FAKES_FAKE_BUTTON_FACES_H_

#include <string>
#include <vector>

#include "platform/button_faces.h"

namespace varnox::testing {

class FakeButtonFace final : public ButtonFace {
 public:
  FakeButtonFace(int face_id, int colour_index) : face_id(face_id), colour_index(colour_index) {}
  const int face_id;
  const int colour_index;
};

class FakeButtonFaces final : public ButtonFaces {
 public:
  // What happened, in order: "make 208 colour 15", "put 208" (the face went
  // on the clipboard), "paste 208 -> <status>", "restore", "busy".
  std::vector<std::string> events;
  // The clipboard's content: a text the user copied, or "face N".
  std::string clipboard = "what the user copied";
  bool fail_make = false;       // MakeButtonFace gives null
  bool clipboard_busy = false;  // PasteThroughClipboard cannot open it

  std::unique_ptr<ButtonFace> MakeButtonFace(int face_id, int colour_index) override;
  HResult PasteThroughClipboard(const ButtonFace& face,
                                const std::function<HResult()>& paste) override;
};

// The icon id of a face made by FakeButtonFaces; 0 for any other face.
int FaceIdOf(const ButtonFace& face);

}  // namespace varnox::testing

#endif  // VARNOX_TESTS_FAKES_FAKE_BUTTON_FACES_H_
