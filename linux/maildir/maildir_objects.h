// The state shared by every host object of one MaildirHost, and the
// factories of those objects. Internal to the Maildir store: the core sees
// only the host/ interfaces.
#ifndef VARNOX_LINUX_MAILDIR_MAILDIR_OBJECTS_H_
#define VARNOX_LINUX_MAILDIR_MAILDIR_OBJECTS_H_

#include <algorithm>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "host/application.h"
#include "host/events.h"
#include "host/folder.h"
#include "host/item.h"
#include "linux/maildir/folder_watcher.h"
#include "linux/maildir/maildir_folder.h"
#include "linux/maildir/maildir_host.h"

namespace varnox::maildir {

// What a host folder reference names.
struct FolderLocation {
  enum class Kind {
    kStoreList,  // the namespace's list of stores (only its Folders is used)
    kStore,      // a store: its sub-folders are the top-level folders
    kMail,       // a mail folder: the store root itself ("Inbox") or ".A.B"
  };
  Kind kind = Kind::kMail;
  std::string root;      // the store root (canonical)
  std::string dir;       // kMail: the folder's directory (canonical)
  std::string dir_name;  // kMail: "" for the Inbox, else ".A.B"
  bool operator==(const FolderLocation&) const = default;
};

// The mail folder whose directory is `dir` (canonical): a directory whose
// name starts with "." is a Maildir++ folder of the store it lies in, any
// other is a store root and so the Inbox.
FolderLocation MailFolderAt(const std::string& dir);

// Where one item is. Item, MailItem and Message references made from one
// item share it, so that a move seen through one is seen by the others.
struct ItemLocation {
  std::string dir;
  MessageEntry entry;
  // The file's current entry (the message may have been renamed by a mail
  // program since it was seen); nullopt when the folder no longer holds it.
  std::optional<MessageEntry> Resolve();
};

// The catch-up's policy when none is set: every message in new/.
bool IsInNew(const host::CatchUpCandidate& candidate);

struct HostState {
  std::vector<std::string> stores;  // canonical store roots, in order given
  FolderWatcher watcher;
  host::Cookie next_cookie = 1;

  struct ItemSink {
    host::Cookie cookie;
    std::string dir;
    host::ItemsEventSink* sink;
  };
  struct FolderSink {
    host::Cookie cookie;
    std::string root;
    host::FoldersEventSink* sink;
  };
  std::vector<ItemSink> item_sinks;
  std::vector<FolderSink> folder_sinks;
  // Folders caught up already, the policy that chooses what is delivered,
  // and the message whose ItemAdd is being delivered.
  std::set<std::string> caught_up;
  bool caught_up_once = false;  // CatchUp ran
  host::CatchUpPolicy catch_up_policy = IsInNew;
  std::optional<host::MessageIdentity> delivering;
};

// Cancels the subscription `cookie` of `sinks`, after `release` stopped
// what it watched. kEInvalidArg for a cookie that is not (or no longer) one.
template <typename Subscription, typename Release>
HResult Cancel(std::vector<Subscription>& sinks, host::Cookie cookie, Release release) {
  const auto it = std::find_if(sinks.begin(), sinks.end(),
                               [&](const Subscription& s) { return s.cookie == cookie; });
  if (it == sinks.end())
    return kEInvalidArg;
  release(*it);
  sinks.erase(it);
  return kSOk;
}

std::unique_ptr<host::Application> MakeApplication(std::shared_ptr<HostState> state);
std::unique_ptr<host::Folder> MakeFolder(std::shared_ptr<HostState> state, FolderLocation where);
std::unique_ptr<host::Item> MakeItem(std::shared_ptr<ItemLocation> where);

}  // namespace varnox::maildir

#endif  // VARNOX_LINUX_MAILDIR_MAILDIR_OBJECTS_H_
