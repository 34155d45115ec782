// The mail host's application side: the application (_Application), its
// namespace (_NameSpace), the explorer window (_Explorer), the explorer's
// selection, and the Outlook Bar shortcuts of the explorer's first group.
#ifndef VARNOX_HOST_APPLICATION_H_
#define VARNOX_HOST_APPLICATION_H_

#include <cstdint>
#include <memory>
#include <string_view>

#include "platform/hresult.h"

namespace varnox::host {

class CommandBars;
class Explorer;
class Folder;
class Folders;
class Item;
class NameSpace;
class OutlookBarShortcuts;
class Selection;

// Selection.Class of a selection (olSelection).
inline constexpr std::int32_t kOlSelection = 74;

class Application {
 public:
  virtual ~Application() = default;
  virtual HResult Session(std::unique_ptr<NameSpace>* name_space) = 0;
  // The explorer window the user works in; a failure status or null when the
  // host runs without one.
  virtual HResult ActiveExplorer(std::unique_ptr<Explorer>* explorer) = 0;
};

class NameSpace {
 public:
  virtual ~NameSpace() = default;
  // The store root folders.
  virtual HResult GetFolders(std::unique_ptr<Folders>* roots) = 0;
};

class Explorer {
 public:
  virtual ~Explorer() = default;
  virtual HResult GetCommandBars(std::unique_ptr<CommandBars>* bars) = 0;
  virtual HResult GetSelection(std::unique_ptr<Selection>* selection) = 0;
  virtual HResult CurrentFolder(std::unique_ptr<Folder>* folder) = 0;
  // Panes.Item(1) asked for _OutlookBarPane, then .Contents.Groups.Item(1)
  // .Shortcuts. A failure status and null when any step yields nothing.
  virtual HResult OutlookBarShortcuts(std::unique_ptr<host::OutlookBarShortcuts>* shortcuts) = 0;
};

class Selection {
 public:
  virtual ~Selection() = default;
  // kOlSelection (74) for a selection.
  virtual HResult Class(std::int32_t* object_class) = 0;
  virtual HResult Count(std::int32_t* count) = 0;
  // Item(index), 1-based.
  virtual HResult GetItem(std::int32_t index, std::unique_ptr<Item>* item) = 0;
};

class OutlookBarShortcuts {
 public:
  virtual ~OutlookBarShortcuts() = default;
  // Shortcuts.Add(Target, Name, Index).
  virtual HResult Add(Folder& target, std::string_view name, std::int32_t index) = 0;
};

}  // namespace varnox::host

#endif  // VARNOX_HOST_APPLICATION_H_
