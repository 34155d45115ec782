#include "linux/eval/isolated_platform.h"

namespace varnox::eval {

IsolatedPlatform::IsolatedPlatform()
    : platform_{registry_, clock_, files_, ui_, faces_, dialogs_, SystemXmlParser()} {}

bool IsolatedPlatform::NoFiles::ReadWholeFile(const std::string&, std::string* contents) {
  contents->clear();
  return false;
}

int IsolatedPlatform::SilentUserInterface::ShowMessage(std::string_view, std::string_view,
                                                       std::uint32_t) {
  ++shown;
  return kIdOk;
}

}  // namespace varnox::eval
