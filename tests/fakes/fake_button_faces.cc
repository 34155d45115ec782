#include "tests/fakes/fake_button_faces.h"

namespace varnox::testing {

std::unique_ptr<ButtonFace> FakeButtonFaces::MakeButtonFace(int face_id, int colour_index) {
  events.push_back("make " + std::to_string(face_id) + " colour " + std::to_string(colour_index));
  if (fail_make)
    return nullptr;
  return std::make_unique<FakeButtonFace>(face_id, colour_index);
}

HResult FakeButtonFaces::PasteThroughClipboard(const ButtonFace& face,
                                               const std::function<HResult()>& paste) {
  if (clipboard_busy) {
    events.push_back("busy");
    return kEAccessDenied;
  }
  const std::string kept = clipboard;
  const std::string id = std::to_string(FaceIdOf(face));
  clipboard = "face " + id;
  events.push_back("put " + id);
  const HResult hr = paste();
  events.push_back("paste " + id + " -> " + std::to_string(hr));
  clipboard = kept;
  events.push_back("restore");
  return hr;
}

int FaceIdOf(const ButtonFace& face) {
  const auto* fake = dynamic_cast<const FakeButtonFace*>(&face);
  return fake != nullptr ? fake->face_id : 0;
}

}  // namespace varnox::testing
