// The platform seam in one place: everything through which the portable core
// touches the operating system. The shells build one Platform from real
// services; tests build one from fakes. The services are not owned here and
// must outlive every object that was given the Platform.
#ifndef VARNOX_PLATFORM_PLATFORM_H_
#define VARNOX_PLATFORM_PLATFORM_H_

#include "platform/button_faces.h"
#include "platform/clock.h"
#include "platform/dialog.h"
#include "platform/file_system.h"
#include "platform/registry.h"
#include "platform/user_interface.h"
#include "platform/xml_document.h"

namespace varnox {

struct Platform {
  Registry& registry;
  Clock& clock;
  FileSystem& files;
  UserInterface& ui;
  ButtonFaces& faces;
  DialogRunner& dialogs;
  XmlParser& xml;
};

}  // namespace varnox

#endif  // VARNOX_PLATFORM_PLATFORM_H_
