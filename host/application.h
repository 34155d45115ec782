// The mail-store seam: everything the core's operations need of a mail
// store, as small interfaces. The core never sees COM, files of mail or a
// network connection; it sees these, implemented by the Outlook adapters
// (win/outlook), the Maildir store (linux/maildir), an IMAP account, and the
// tests' fake store.
//
//   Application -> NameSpace -> store roots (Folders) -> top-level folders
//   Folder -> Items (new-mail subscription) -> Item -> MailItem -> Message
//
// Rules every store keeps:
// - Statuses are 32-bit COM-style codes: negative is failure. A call that
//   fails leaves its out-parameters empty (null, unchanged strings) unless
//   it says otherwise.
// - Every std::unique_ptr handed out is one reference, released when it is
//   destroyed; several references may name the same folder or message, and
//   they may be destroyed in any order, after the store object too.
// - One thread: the core calls a store, and a store delivers its events,
//   on the thread that drives it (Outlook's user-interface thread; for a
//   store on disk or on the network, the thread that runs its poll). A
//   store never calls into the core from a thread of its own.
// - Text is 8-bit, code page 1252, converted at the store's edge.
//
// What only Outlook has (the explorer window, its selection, command bars
// and their buttons, the Outlook Bar) is not part of this seam: the add-in
// asks for it separately (addin/explorer.h).
#ifndef VARNOX_HOST_APPLICATION_H_
#define VARNOX_HOST_APPLICATION_H_

#include <memory>

#include "platform/hresult.h"

namespace varnox::host {

class Folders;
class NameSpace;

// The application object the add-in is given at connection (_Application).
class Application {
 public:
  virtual ~Application() = default;
  // The namespace of the stores (_Application.Session).
  virtual HResult Session(std::unique_ptr<NameSpace>* name_space) = 0;
};

class NameSpace {
 public:
  virtual ~NameSpace() = default;
  // The store root folders, one per store (an Outlook data file, a Maildir
  // root, an IMAP account). A root's own sub-folders are that store's
  // top-level folders.
  virtual HResult GetFolders(std::unique_ptr<Folders>* roots) = 0;
};

}  // namespace varnox::host

#endif  // VARNOX_HOST_APPLICATION_H_
