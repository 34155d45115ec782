// The mail store over Maildir folders: what the `varnox` command hands the
// add-in and the operations on Linux in place of the mail client.
//
// Stores are Maildir++ roots. Their folders, messages and events are
// offered through the mail-store seam (host/*.h), and the host is the
// store loop (host/store_loop.h) that the watch service drives:
// ApplicationRef() is what the add-in's OnConnection receives. Messages are read and written as
// files (see maildir_message.h), moved by rename, marked read with the Maildir "S" flag.
//
// Events are not raised from other threads: the caller runs Poll() or
// RunUntil() on its own thread (the add-in's), and every ItemAdd and
// FolderAdd is delivered inside those calls or CatchUp(). See
// folder_watcher.h for what counts as an addition.
//
// A command names messages by their files: MessageFiles() gives them as the
// items an operation works on, FolderOfMessageFile() the folder one lies in.
//
// The host object and every reference it handed out may be destroyed in
// any order. Not thread-safe: one thread uses it.
#ifndef VARNOX_LINUX_MAILDIR_MAILDIR_HOST_H_
#define VARNOX_LINUX_MAILDIR_MAILDIR_HOST_H_

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "host/application.h"
#include "host/folder.h"
#include "host/item.h"
#include "host/store_loop.h"
#include "platform/hresult.h"

namespace varnox::maildir {

struct HostState;

class MaildirHost final : public host::StoreLoop {
 public:
  MaildirHost();
  ~MaildirHost() override;
  MaildirHost(const MaildirHost&) = delete;
  MaildirHost& operator=(const MaildirHost&) = delete;

  // Adds the store whose root is `path` (a Maildir: cur/ and new/ in it),
  // and removes from its folders' tmp/ the stamped copies of rewrites whose
  // writer is gone (RemoveAbandonedRewrites). kEInvalidArg when it is not
  // one, kCollision when it is already a store.
  HResult AddStore(const std::string& path);
  // The store roots, canonical, in the order added.
  const std::vector<std::string>& stores() const override;

  // The host's application, for OnConnection.
  std::unique_ptr<host::Application> ApplicationRef() override;

  // --- Watching, on the caller's thread.
  // Waits up to `timeout_ms` (-1: no limit) for changes in the watched
  // folders and stores and delivers what they mean: ItemAdd for each
  // added message, FolderAdd for each new top-level folder. Gives the
  // number of events delivered, or a negative status when watching failed.
  int Poll(int timeout_ms) override;
  // What Poll waits on, for a caller that waits on more: readable when
  // changes are queued.
  int WatchDescriptor() const override;
  // Polls until `stop` is set (checked at least every `tick_ms`); a failure
  // status when watching failed, else kSOk.
  HResult RunUntil(const std::atomic<bool>& stop, int tick_ms = 200);
  // Mail that arrived while nothing watched: raises ItemAdd, once, for each
  // message in the new/ and cur/ of a folder with an ItemAdd subscription
  // that the catch-up policy chooses (without one, every message in new/:
  // what no mail program has seen). Run it
  // after the add-in subscribed (after OnConnection); a folder is caught up
  // once, later calls pass over it. Folders announced by FolderAdd and then
  // subscribed to are caught up as they are announced. Gives the number
  // delivered.
  int CatchUp() override;
  void SetCatchUpPolicy(host::CatchUpPolicy policy) override;
  // While an ItemAdd is being delivered, the message it names; else null.
  const host::MessageIdentity* Delivering() const override;
  // After CatchUp; a Maildir store keeps no marks of its own.
  bool CaughtUp(const std::string& store) const override;
  bool TracksDelivered(const std::string&) const override { return false; }

  // --- Messages named by their files.
  // The items of `message_paths`, in that order, each a message file in the
  // new/ or cur/ of a Maildir folder (of one of these stores or not); each
  // GetItem is a fresh reference to its message, which follows it when a
  // mail program renames it. kEInvalidArg (and *bad_path naming the path)
  // when one is no such file: then nothing is given.
  HResult MessageFiles(const std::vector<std::string>& message_paths,
                       std::unique_ptr<host::ItemList>* items, std::string* bad_path = nullptr);
  // The folder a message file lies in (the Inbox of a store, or .NAME).
  // kEInvalidArg when `message_path` is no message file of a Maildir folder.
  HResult FolderOfMessageFile(const std::string& message_path,
                              std::unique_ptr<host::Folder>* folder);

 private:
  std::shared_ptr<HostState> state_;
};

// Creates a Maildir at `path` (cur/ new/ tmp/, mode 0700) where missing,
// with its parent directories. For a store the command sets up.
HResult CreateStore(const std::string& path);

}  // namespace varnox::maildir

#endif  // VARNOX_LINUX_MAILDIR_MAILDIR_HOST_H_
