// What only Outlook has, beside the mail stores: the explorer window the
// user works in, its selection and the folder it shows, and the Outlook Bar
// shortcuts of its first group. The toolbar's commands read the user's
// choice here and hand it to the operations (mail/); nothing else in the
// core uses it. The command bars are in addin/command_bar.h.
//
// Implemented by the Outlook adapters (win/outlook), the stand-in Outlook of
// the Windows tests and the tests' fake host. The rules of the mail-store
// seam (host/application.h) hold here too.
#ifndef VARNOX_ADDIN_EXPLORER_H_
#define VARNOX_ADDIN_EXPLORER_H_

#include <cstdint>
#include <memory>
#include <string_view>

#include "host/folder.h"
#include "host/item.h"
#include "platform/hresult.h"

namespace varnox::outlook {

class CommandBars;
class Explorer;
class OutlookBarShortcuts;
class Selection;

// Selection.Class of a selection (olSelection).
inline constexpr std::int32_t kOlSelection = 74;

// The window side of the application (_Application.ActiveExplorer). The
// add-in asks the host::Application it was given whether it is one too
// (dynamic_cast): a store without windows (Maildir, IMAP) is not, and then
// there is no toolbar and no shortcut, while mail is judged all the same.
class Application {
 public:
  virtual ~Application() = default;
  // The explorer window the user works in; a failure status or null when the
  // host runs without one.
  virtual HResult ActiveExplorer(std::unique_ptr<Explorer>* explorer) = 0;
};

class Explorer {
 public:
  virtual ~Explorer() = default;
  virtual HResult GetCommandBars(std::unique_ptr<CommandBars>* bars) = 0;
  virtual HResult GetSelection(std::unique_ptr<Selection>* selection) = 0;
  virtual HResult CurrentFolder(std::unique_ptr<host::Folder>* folder) = 0;
  // Panes.Item(1) asked for _OutlookBarPane, then .Contents.Groups.Item(1)
  // .Shortcuts. A failure status and null when any step yields nothing.
  virtual HResult OutlookBarShortcuts(std::unique_ptr<outlook::OutlookBarShortcuts>* shortcuts) = 0;
};

// The explorer's selection: the items the user chose, which the toolbar's
// commands hand to the operations as they are (Count, then Item(i)).
class Selection : public host::ItemList {
 public:
  // kOlSelection (74) for a selection.
  virtual HResult Class(std::int32_t* object_class) = 0;
};

class OutlookBarShortcuts {
 public:
  virtual ~OutlookBarShortcuts() = default;
  // Shortcuts.Add(Target, Name, Index).
  virtual HResult Add(host::Folder& target, std::string_view name, std::int32_t index) = 0;
};

}  // namespace varnox::outlook

#endif  // VARNOX_ADDIN_EXPLORER_H_
