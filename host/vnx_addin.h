// The add-in object: everything that lives as long as the add-in is loaded.
// The pipeline, the commands and the dialogs receive it and use its members
// directly.
//
// Members are declared in the order of their meaning, and C++ destroys them
// in reverse: the filter first (which writes the word database), then the
// lists, then the host references from the folders back to the buttons
// (About back to Mark Spam), and the module lock count last of all.
//
// The object knows no COM: the Windows shell wraps it in its COM identity.
// It is used on the host's user-interface thread only.
#ifndef VARNOX_HOST_VNX_ADDIN_H_
#define VARNOX_HOST_VNX_ADDIN_H_

#include <array>
#include <list>
#include <memory>
#include <vector>

#include "engine/bayesian_filter.h"
#include "host/application.h"
#include "host/command_bar.h"
#include "host/events.h"
#include "host/folder.h"
#include "host/item.h"
#include "host/module_lock.h"
#include "lists/sender_list.h"
#include "platform/platform.h"
#include "settings/settings_store.h"

namespace varnox {

class CVNXAddin;

// Watches one folder for new items: each ItemAdd runs the new-mail pipeline
// with `addin`. Lives exactly as long as its entry in CVNXAddin::folderSinks,
// and is subscribed on `items` while `cookie` is non-zero.
class FolderItemsSink final : public host::ItemsEventSink {
 public:
  host::Cookie cookie = 0;
  std::unique_ptr<host::Folder> folder;
  std::unique_ptr<host::Items> items;
  CVNXAddin* addin = nullptr;  // not owned

  void OnItemAdd(std::unique_ptr<host::Item> item) override;
};

// One store's FolderAdd subscription: the top-level folder collection it
// was made on, and its cookie.
struct FolderAddedSubscription {
  std::unique_ptr<host::Folders> folders;
  host::Cookie cookie = 0;
};

class CVNXAddin {
 public:
  // Number of toolbar buttons: Mark Spam, Not Spam, BlackList, WhiteList,
  // Train Filter, Mail Header, Settings, Support, Help, About.
  static constexpr std::size_t kButtonCount = 10;

  // Raises the module lock count, constructs the filter, then loads the
  // black list and the white list from their files. `platform`'s services
  // must outlive the object.
  explicit CVNXAddin(const Platform& platform);
  CVNXAddin(const CVNXAddin&) = delete;
  CVNXAddin& operator=(const CVNXAddin&) = delete;

  // Held first, so that it is released last.
  ModuleLockHolder moduleLock;
  Platform platform;
  SettingsStore settings;

  std::array<std::unique_ptr<host::CommandBarButton>, kButtonCount> buttons;
  std::unique_ptr<host::CommandBarControl> settingsPopup;
  std::unique_ptr<host::Application> application;
  std::unique_ptr<host::NameSpace> m_NameSpace;
  std::unique_ptr<host::Folders> m_RootFolders;
  // The folder that receives spam ("SpamFilter"); null until found or made.
  std::unique_ptr<host::Folder> spamFolder;
  // The top-level folders of the store scanned last.
  std::unique_ptr<host::Folders> topFolders;
  std::vector<FolderAddedSubscription> folderAddedSinks;
  // One per watched folder, in the order they were made.
  std::list<std::unique_ptr<FolderItemsSink>> folderSinks;
  SenderList whiteList;
  SenderList blackList;
  BayesianFilter filter;
};

}  // namespace varnox

#endif  // VARNOX_HOST_VNX_ADDIN_H_
