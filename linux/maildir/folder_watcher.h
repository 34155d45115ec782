// Watches Maildir folders with inotify and tells what was added.
//
// A message is added to a folder when a file whose unique name the folder
// did not hold appears in its new/ or cur/: delivered, or moved in by us or
// by a mail program. A rename within the folder (new/ to cur/, a change of
// flags) and the rewrite of a message in place keep the unique name and are
// not additions. A file created directly in new/ or cur/ (rather than
// renamed or linked there) is added once its writer has closed it. When the
// kernel's event queue overflows, every folder is read again and what it
// holds that was not known is added, so an overflow loses nothing.
//
// A store's top level is watched for folders: a directory ".NAME" (no
// further dot) that appears directly in the store root is announced once it
// is a Maildir (has cur/ and new/).
//
// Single-threaded: every call on the caller's thread; nothing runs between
// calls.
#ifndef VARNOX_LINUX_MAILDIR_FOLDER_WATCHER_H_
#define VARNOX_LINUX_MAILDIR_FOLDER_WATCHER_H_

#include <sys/types.h>

#include <chrono>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "linux/maildir/maildir_folder.h"
#include "platform/hresult.h"

namespace varnox::maildir {

class FolderWatcher {
 public:
  struct Event {
    enum class Kind { kMessageAdded, kFolderAdded };
    Kind kind;
    std::string dir;     // the folder (kMessageAdded) or the new folder (kFolderAdded)
    std::string root;    // kFolderAdded: the store root it appeared in
    MessageEntry entry;  // kMessageAdded: the file as it was seen
  };

  FolderWatcher();
  ~FolderWatcher();
  FolderWatcher(const FolderWatcher&) = delete;
  FolderWatcher& operator=(const FolderWatcher&) = delete;

  // Whether inotify could be set up; every call fails when it could not.
  bool ok() const { return fd_ >= 0; }

  // Starts watching the folder `dir` (canonical path): what it holds now is
  // known and is never an addition. Counted: each call needs an Unwatch.
  HResult WatchFolder(const std::string& dir);
  void UnwatchFolder(const std::string& dir);
  bool IsWatched(const std::string& dir) const;
  // Whether the watched folder `dir` holds, as far as the events taken in
  // tell, a message with this unique name.
  bool IsKnown(const std::string& dir, const std::string& unique) const;

  // Starts watching the top level of the store `root` (canonical path).
  HResult WatchStore(const std::string& root);
  void UnwatchStore(const std::string& root);

  // Waits up to `timeout_ms` (0: not at all, -1: without limit) for
  // changes, takes in every change queued, and appends what was added to
  // *events, in the order it happened. A negative status when waiting or
  // reading failed; an interrupted wait is success with nothing added.
  HResult Poll(int timeout_ms, std::vector<Event>* events);

  // Reads every watched folder and store again (what an overflow does).
  void Rescan(std::vector<Event>* events);

  // The inotify descriptor, for a caller that waits on several.
  int fd() const { return fd_; }

  // A file created in place whose writer's close was not seen (say, a
  // reader's open came first and hid it) is taken as complete once its
  // size has not changed for this long. Default 10 s.
  void set_quiet_period(std::chrono::milliseconds period) { quiet_period_ = period; }

 private:
  struct Unfinished {
    MessageEntry entry;
    bool opened = false;  // open() followed the create: a writer is at work
    off_t size = -1;      // at the last look
    std::chrono::steady_clock::time_point unchanged_since;
  };
  struct Folder {
    std::string dir;
    int refs = 0;
    int wd_new = -1;
    int wd_cur = -1;
    // Unique name -> the file names ("new/x", "cur/x:2,S") it has now. A
    // name whose set empties is kept until the queue is drained, so that
    // both halves of a rename are seen before deciding.
    std::unordered_map<std::string, std::unordered_set<std::string>> names;
    // Files created in place (not renamed in), by unique name: added once
    // complete. See Poll.
    std::unordered_map<std::string, Unfinished> writing;
  };
  struct Store {
    std::string root;
    int refs = 0;
    int wd = -1;
    std::set<std::string> folders;          // top-level directory names announced or known
    std::map<int, std::string> incomplete;  // watch -> directory name still without cur/new
  };
  struct Watch {
    enum class Kind { kNew, kCur, kStoreRoot, kIncompleteFolder } kind;
    std::string key;  // folder dir or store root
  };

  void ReadEvents(std::vector<Event>* events, bool* overflow);
  void OnFolderEvent(Folder& folder, const char* subdir, std::uint32_t mask,
                     const std::string& name, std::vector<Event>* events);
  void OnStoreEvent(Store& store, const std::string& name, std::vector<Event>* events);
  void CheckIncomplete(Store& store, int wd, std::vector<Event>* events);
  void Seed(Folder& folder, std::vector<Event>* additions);
  void SeedStore(Store& store, std::vector<Event>* additions);
  void DropEmptyNames();
  void AddFinishedFiles(std::vector<Event>* events);

  int fd_ = -1;
  std::chrono::milliseconds quiet_period_{10000};
  std::map<std::string, Folder> folders_;
  std::map<std::string, Store> stores_;
  std::unordered_map<int, Watch> watches_;
  // Folders whose name sets may hold emptied entries.
  std::set<std::string> touched_;
};

}  // namespace varnox::maildir

#endif  // VARNOX_LINUX_MAILDIR_FOLDER_WATCHER_H_
