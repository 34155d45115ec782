// The add-in object: everything that lives as long as the add-in is loaded.
// The pipeline, the commands and the dialogs receive it and use its members
// directly.
//
// Life: constructed (lists loaded, engine built) -> OnConnection (engine
// initialised, folders watched, spam folder found or made, toolbar built)
// -> OnDisconnection (every subscription cancelled; the toolbar stays but
// its buttons and the watched folders run nothing any more) -> destroyed
// (word database saved).
//
// Members are declared in the order of their meaning, and C++ destroys them
// in reverse: the filter first (which writes the word database), then the
// lists, then the host references from the folders back to the buttons
// (About back to Mark Spam), and the module lock count last of all.
//
// The object knows no COM: the Windows shell wraps it in its COM identity
// and forwards the connection calls to it; the stores deliver their events
// to the sinks below. It runs on any store set of the mail-store seam
// (host/); the toolbar and the Outlook Bar shortcut only where the
// application has windows (addin/explorer.h). It is used on the store's
// thread only.
#ifndef VARNOX_ADDIN_VNX_ADDIN_H_
#define VARNOX_ADDIN_VNX_ADDIN_H_

#include <array>
#include <cstdint>
#include <list>
#include <memory>
#include <string_view>
#include <vector>

#include "addin/command_bar.h"
#include "addin/explorer.h"
#include "engine/bayesian_filter.h"
#include "host/application.h"
#include "host/events.h"
#include "host/folder.h"
#include "host/item.h"
#include "lists/sender_list.h"
#include "mail/mail_context.h"
#include "mail/not_spam_moves.h"
#include "mail/process_new_item.h"
#include "platform/module_lock.h"
#include "platform/platform.h"
#include "settings/settings_store.h"

namespace varnox {

class CVNXAddin;

inline constexpr std::string_view kSpamFolderDescription =
    "Folder Created by Varnox, All Spam mails come here by default";
// Caption of the start-up failure messages.
inline constexpr std::string_view kStartupFailureCaption = "OUTLOOK";
inline constexpr std::string_view kNameSpaceFailureText =
    "CVNXAddin::InitMAPI FATAL ERROR FAILED TO RETRIEVE m_NameSpace";
inline constexpr std::string_view kRootFoldersFailureText =
    "CAddin::InitMAPI FATAL ERROR FAILED TO RETRIEVE m_RootFolders";
inline constexpr std::string_view kSpamFolderFailureText =
    "CVNXAddin::InitMAPI FATAL ERROR FAILED TO Create Spam Folder";

// What a shell hears of the new-mail pipeline run on the watched folders
// items (the Linux watch prints a line for each message, keeps its journal
// and learns from the user's own moves). Told before the pipeline looks at
// an item, between the save of a spam stamp and the move (see
// BeforeSpamMove in mail/process_new_item.h), and with what it did and the
// name of the folder the item arrived in. Called on the store's thread;
// must not throw.
class NewItemObserver {
 public:
  virtual ~NewItemObserver() = default;
  virtual void BeforeJudging() = 0;
  virtual void BeforeSpamMove() = 0;
  virtual void AfterJudging(std::string_view folder_name, const NewItemOutcome& outcome) = 0;
};

// Watches one folder for new items: each ItemAdd runs the new-mail pipeline
// with `addin`. Lives exactly as long as its entry in CVNXAddin::folderSinks,
// and is subscribed on `items` while `cookie` is non-zero. A sink whose
// `addin` is null ignores every event.
class FolderItemsSink final : public host::ItemsEventSink {
 public:
  host::Cookie cookie = 0;
  std::unique_ptr<host::Folder> folder;
  std::unique_ptr<host::Items> items;
  CVNXAddin* addin = nullptr;  // not owned

  void OnItemAdd(std::unique_ptr<host::Item> item) override;
};

// The Click sink of one toolbar button. `identity` is fixed for the sink's
// life: 1 Mark Spam ... 10 About, the button's place in CVNXAddin::buttons
// plus one. `cookie` is non-zero while the sink is subscribed.
class ButtonClickSink final : public outlook::ButtonEventSink {
 public:
  int identity = 0;
  host::Cookie cookie = 0;
  CVNXAddin* addin = nullptr;  // not owned

  // Runs the button's command (see addin/toolbar.h) while the add-in is
  // connected; does nothing otherwise. CancelDefault is left as it came.
  void OnClick(outlook::CommandBarButton* button, std::int16_t* cancel_default) override;
};

// The FolderAdd sink shared by every store's top-level folder collection.
class FolderAddedSink final : public host::FoldersEventSink {
 public:
  CVNXAddin* addin = nullptr;  // not owned
  void OnFolderAdd(std::unique_ptr<host::Folder> folder) override;
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
  // Cancels whatever subscriptions are still live (a shell that destroys the
  // object without OnDisconnection must not leave the host calling into
  // freed sinks), then the members go in reverse order: the word database is
  // saved first.
  ~CVNXAddin();
  CVNXAddin(const CVNXAddin&) = delete;
  CVNXAddin& operator=(const CVNXAddin&) = delete;

  // --- The host's connection calls.
  //
  // Initialises the filter, keeps `application`, runs InitMAPI, then builds
  // the toolbar on the active explorer. Gives kSOk, or the failing status of
  // the step that stopped it: InitMAPI's (after its message box), or that of
  // reading the explorer's CommandBars (no message). Nothing done before a
  // failure is undone. A null `application` gives kEPointer after the filter
  // was initialised. When the host has no explorer window (ActiveExplorer
  // fails or gives none), mail is still watched and judged; there is just no
  // toolbar and no Outlook Bar shortcut, and the result is kSOk. Called once.
  HResult OnConnection(std::unique_ptr<host::Application> application);
  // Cancels, in this order, the buttons' Click subscriptions, the FolderAdd
  // subscriptions and every watched folder's ItemAdd subscription, and
  // destroys the folder watchers. The toolbar stays, inert. Always kSOk.
  HResult OnDisconnection();
  // Nothing to do: kENotImpl.
  HResult OnAddInsUpdate() { return kENotImpl; }
  HResult OnStartupComplete() { return kENotImpl; }
  HResult OnBeginShutdown() { return kENotImpl; }

  // Between OnConnection and OnDisconnection.
  bool connected() const { return connected_; }

  // --- Folder discovery and watching (used by OnConnection and the sinks).
  //
  // Walks the top level of every store: watches each mail folder except the
  // spam folder, Drafts, Outbox and Deleted Items (names compared upper-cased
  // in code page 1252), subscribes to each store's FolderAdd, takes the
  // folder named "SpamFilter" (any case; a later store's wins) as spamFolder,
  // and creates it in the first store scanned when it is still missing. A
  // failure shows its message box (caption "OUTLOOK", OK, no owner) and gives
  // its status.
  HResult InitMAPI();
  // Subscribes a new FolderItemsSink to `folder`'s items and keeps it. The
  // spam folder is never watched: spam moved there would be judged and moved
  // again. Failures to read the items or to subscribe are ignored (the sink
  // is kept, inert).
  void WatchFolder(std::unique_ptr<host::Folder> folder);
  // A folder added under a store's top level: watched when it is a mail
  // folder, whatever its name (the spam folder excepted).
  void OnFolderAdd(std::unique_ptr<host::Folder> folder);

  // Held first, so that it is released last.
  ModuleLockHolder moduleLock;
  Platform platform;
  SettingsStore settings;
  // The embedded sinks: one per button (identities 1 to 10) and the
  // FolderAdd sink. They outlive every subscription made with them.
  std::array<ButtonClickSink, kButtonCount> buttonSinks;
  FolderAddedSink folderAddedSink;

  std::array<std::unique_ptr<outlook::CommandBarButton>, kButtonCount> buttons;
  std::unique_ptr<outlook::CommandBarControl> settingsPopup;
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
  // Mail that Not Spam moved, not to be judged again when it arrives.
  NotSpamMoves notSpamMoves;
  // Told of every item the watched folders deliver; null: nobody.
  NewItemObserver* newItemObserver = nullptr;
  SenderList whiteList;
  SenderList blackList;
  BayesianFilter filter;

  // What the pipeline and the mail commands see of the add-in: they take a
  // MailContext&, and the add-in object stands for one wherever it is given.
  operator MailContext&() { return mailContext_; }

  // The explorer window of the application, when the application has
  // windows (outlook::Application, addin/explorer.h) and shows one; else
  // null. A store without windows still has its mail judged.
  std::unique_ptr<outlook::Explorer> ActiveExplorer();

 private:
  HResult ShowStartupFailure(std::string_view text, HResult status);
  // Scans one store's top level; see InitMAPI.
  HResult ScanStore(host::Folder& root);
  void SubscribeFolderAdded(host::Folder& root);
  void TakeTopLevelFolder(std::unique_ptr<host::Folder> folder);
  HResult CreateSpamFolder();
  void AddSpamFolderShortcut();
  HResult BuildToolbarOnActiveExplorer();
  void CancelSubscriptions();

  bool connected_ = false;
  // Watchers whose ItemAdd subscription the host refused to cancel: kept,
  // inert, so that the host never calls into a freed sink.
  std::list<std::unique_ptr<FolderItemsSink>> retiredSinks_;
  MailContext mailContext_{platform,     settings,  spamFolder, topFolders,
                           notSpamMoves, whiteList, blackList,  filter};
};

}  // namespace varnox

#endif  // VARNOX_ADDIN_VNX_ADDIN_H_
