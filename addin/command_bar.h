// The Office command-bar object model as the toolbar uses it: the explorer's
// command bars, one toolbar, its controls, the "Settings" pop-up, and
// buttons with their faces and Click event. Outlook's only: a store without
// windows has none (see addin/explorer.h).
//
// Arguments that the toolbar leaves out of a host call (MenuBar of
// CommandBars.Add; Id, Parameter and Before of Controls.Add) are passed by
// the COM adapter as omitted optional arguments; "temporary" is automation
// true (-1) when set.
#ifndef VARNOX_ADDIN_COMMAND_BAR_H_
#define VARNOX_ADDIN_COMMAND_BAR_H_

#include <cstdint>
#include <memory>
#include <string_view>

#include "host/events.h"
#include "platform/button_faces.h"
#include "platform/hresult.h"

namespace varnox::outlook {

class CommandBar;
class CommandBarButton;
class CommandBarControl;
class CommandBarControls;
class CommandBarPopup;

// _CommandBarButtonEvents.Click(Ctrl, CancelDefault). `button` is borrowed
// for the call; `cancel_default` is the host's VARIANT_BOOL, may be null, and
// no handler reads or changes it. A host holds the sink between Advise and
// Unadvise only (see host/events.h).
class ButtonEventSink {
 public:
  virtual ~ButtonEventSink() = default;
  virtual void OnClick(CommandBarButton* button, std::int16_t* cancel_default) = 0;
};

// Control types and button styles, with the host's numbers.
inline constexpr std::int32_t kMsoControlButton = 1;
inline constexpr std::int32_t kMsoControlPopup = 10;
inline constexpr std::int32_t kMsoButtonCaption = 2;
inline constexpr std::int32_t kMsoButtonIconAndCaption = 3;
inline constexpr std::int32_t kMsoBarTop = 1;

class CommandBars {
 public:
  virtual ~CommandBars() = default;
  // CommandBars.Add(Name, Position, MenuBar omitted, Temporary).
  virtual HResult Add(std::string_view name, std::int32_t position, bool temporary,
                      std::unique_ptr<CommandBar>* bar) = 0;
  // CommandBars.Item(name): the bar of that name, or a failure status and
  // null when there is none. Hosts that cannot look bars up answer
  // kENotImpl.
  virtual HResult FindBar(std::string_view name, std::unique_ptr<CommandBar>* bar) {
    (void)name;
    bar->reset();
    return kENotImpl;
  }
};

class CommandBar {
 public:
  virtual ~CommandBar() = default;
  virtual HResult GetControls(std::unique_ptr<CommandBarControls>* controls) = 0;
  virtual HResult SetVisible(bool visible) = 0;
  // CommandBar.Delete: the bar and its controls leave the host. Hosts that
  // cannot delete bars answer kENotImpl.
  virtual HResult Delete() { return kENotImpl; }
};

class CommandBarControls {
 public:
  virtual ~CommandBarControls() = default;
  // Controls.Add(Type, Id, Parameter and Before omitted, Temporary).
  virtual HResult Add(std::int32_t type, bool temporary,
                      std::unique_ptr<CommandBarControl>* control) = 0;
};

class CommandBarControl {
 public:
  virtual ~CommandBarControl() = default;
  virtual HResult SetCaption(std::string_view caption) = 0;
  virtual HResult SetDescriptionText(std::string_view text) = 0;
  virtual HResult SetVisible(bool visible) = 0;
  virtual HResult SetEnabled(bool enabled) = 0;
  virtual HResult SetTooltipText(std::string_view text) = 0;
  virtual HResult SetTag(std::string_view tag) = 0;
  virtual HResult SetBeginGroup(bool begin_group) = 0;

  // QueryInterface for _CommandBarButton / CommandBarPopup: kENoInterface and
  // null when the control is not one.
  virtual HResult QueryButton(std::unique_ptr<CommandBarButton>* button) = 0;
  virtual HResult QueryPopup(std::unique_ptr<CommandBarPopup>* popup) = 0;
};

class CommandBarPopup : public CommandBarControl {
 public:
  virtual HResult GetControls(std::unique_ptr<CommandBarControls>* controls) = 0;
};

class CommandBarButton : public CommandBarControl {
 public:
  virtual HResult SetStyle(std::int32_t style) = 0;
  // Gives the button `face` as its picture without the clipboard. Hosts
  // that cannot answer kENotImpl, and the caller falls back to PasteFace.
  virtual HResult SetPicture(const ButtonFace& face) = 0;
  // PasteFace: the button takes its face from the system clipboard.
  virtual HResult PasteFace() = 0;

  // _CommandBarButtonEvents on this button.
  virtual HResult Advise(ButtonEventSink* sink, host::Cookie* cookie) = 0;
  virtual HResult Unadvise(host::Cookie cookie) = 0;
};

}  // namespace varnox::outlook

#endif  // VARNOX_ADDIN_COMMAND_BAR_H_
