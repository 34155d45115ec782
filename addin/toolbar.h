// The "Varnox" toolbar of the explorer window: six command buttons and a
// "Settings" pop-up holding four more, each with its face, and the routing
// of their Clicks to the commands.
//
// The toolbar is temporary (the host discards it when it closes) and is
// built anew at each connection: a "Varnox" toolbar left over from an
// earlier connection in the same host run (its buttons inert) is deleted
// first, since the host refuses a second bar of the same name.
//
// Faces are given without the clipboard where the host takes a picture
// directly; otherwise they go through the clipboard, which is given back
// what it held. A face that cannot be made or given leaves that button
// without a picture. Any other failing command-bar call abandons the rest
// of the toolbar quietly: the buttons made so far are kept and working, and
// the connection completes.
//
// Runs on the host's user-interface thread, during OnConnection and Clicks.
#ifndef VARNOX_ADDIN_TOOLBAR_H_
#define VARNOX_ADDIN_TOOLBAR_H_

#include <array>
#include <cstdint>
#include <memory>
#include <string_view>

#include "addin/command_bar.h"
#include "platform/button_faces.h"
#include "platform/hresult.h"

namespace varnox {

class CVNXAddin;

inline constexpr std::string_view kToolbarName = "Varnox";
inline constexpr std::string_view kSettingsPopupCaption = "Settings";

// What a button runs.
using ButtonCommand = void (*)(CVNXAddin& addin);

// One button: its sink identity (1 to 10, its place in CVNXAddin::buttons
// plus one), where it sits, its texts (the Tag is the caption), its face
// (icon resource id), its style and its command.
struct ToolbarButton {
  int identity;
  bool inSettingsPopup;
  std::string_view caption;
  std::string_view tooltip;
  int faceId;
  std::int32_t style;
  ButtonCommand command;
};

// The ten buttons in creation order.
const std::array<ToolbarButton, 10>& ToolbarButtons();

// Builds the toolbar on `commandBars`, keeps the buttons in addin.buttons
// and the pop-up in addin.settingsPopup, subscribes each button's Click with
// the sink of its identity, and shows the toolbar. Shows no message.
void BuildToolbar(CVNXAddin& addin, outlook::CommandBars& commandBars);

// Adds one temporary control of `type` to `controls` and, when it is a
// button, gives it its face, `style`, Visible, `caption`, Enabled,
// `tooltip` and Tag = `caption`, in that order. kSOk and *button set, or
// kSOk and *button null when the control added is not a button; a failure
// status (and *button null) when a call on the control failed.
HResult CreateButton(ButtonFaces& faces, std::string_view caption, std::string_view tooltip,
                     outlook::CommandBarControls& controls, int faceId, std::int32_t type,
                     std::int32_t style, std::unique_ptr<outlook::CommandBarButton>* button);

// Runs the command of the button with this identity; nothing for an
// identity that names no button. Nothing thrown by a command leaves here.
void RunButtonCommand(CVNXAddin& addin, int identity);

}  // namespace varnox

#endif  // VARNOX_ADDIN_TOOLBAR_H_
