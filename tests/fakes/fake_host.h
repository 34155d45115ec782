// An in-memory mail host for tests: the mail-store seam (stores, folders,
// mail and other items, messages with their three string properties, new
// mail and new folders) and what only Outlook has beside it (the explorer
// with its selection and Outlook Bar, command bars, button clicks): its
// application is an outlook::Application too.
//
// The test builds a world and hands the core references to it:
//
//   FakeHost host;
//   FakeFolder& store = host.AddStore("Personal Folders");
//   FakeFolder& inbox = store.AddFolder("Inbox");
//   FakeItem& mail = inbox.AddMail("From: A <a@b.com>\r\n", "body", "subject");
//   ProcessNewItem(addin, *host.ItemRef(mail));
//   EXPECT_EQ(mail.folder(), spam_folder);
//
// Every reference the seam hands out is a small wrapper around shared state:
// several references may name the same folder, item or control, and what one
// of them changes the others see. The state lives as long as the FakeHost or
// any reference to it, so the order in which a test destroys the host and the
// core does not matter. Each wrapper counts as one host reference while it
// lives (`LiveReferences`), so a test can check that the core released what
// it obtained.
//
// Every seam call is written to the host's journal (`calls()`), with its
// target and its result, and may be made to fail with `Fail`. Events raised
// by the core's own actions (a moved item arriving, a folder created) are
// queued, as the real host delivers them later on its own thread's loop;
// `DeliverPendingEvents` delivers them. Events a test raises itself
// (`FireItemAdd`, `FireFolderAdd`, `FakeControl::Click`) are delivered at once.
//
// Single-threaded, like the host it stands in for.
#ifndef VARNOX_TESTS_FAKES_FAKE_HOST_H_
#define VARNOX_TESTS_FAKES_FAKE_HOST_H_

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "addin/command_bar.h"
#include "addin/explorer.h"
#include "host/application.h"
#include "host/events.h"
#include "host/folder.h"
#include "host/item.h"
#include "host/message.h"
#include "platform/platform.h"

namespace varnox::testing {

// Statuses the real host gives that the core has no name for.
inline constexpr HResult kConnectENoConnection = static_cast<HResult>(0x80040200u);
inline constexpr HResult kMapiECollision = static_cast<HResult>(0x80040604u);

class FakeHost;
class FakeFolder;
class FakeItem;
class FakeControl;
struct FakeHostState;

// One call the core made through the seam.
struct FakeCall {
  std::string op;      // "Folders.Add", "MailItem.Move", "ui.Beep", ...
  std::string target;  // the object's label: a folder name, "mail 3", a caption
  std::string detail;  // the arguments, abbreviated (property values by length)
  HResult result = kSOk;

  // "op target detail -> result", for failure messages.
  std::string ToString() const;
};

// Makes calls fail. `op` is the journal name of the call (see FakeCall::op);
// `target` limits the rule to one object (a FakeFolder*, FakeItem*,
// FakeControl*, FakeCommandBar*), null for every object. The first `skip`
// matching calls pass; then `times` calls fail (-1: every later call).
struct FailureRule {
  std::string op;
  const void* target = nullptr;
  HResult status = kEFail;
  int skip = 0;
  int times = -1;
};

// Subscription bookkeeping, shared by the three event kinds.
template <typename Sink>
struct FakeSubscription {
  host::Cookie cookie = 0;
  Sink* sink = nullptr;
};

// A mail or other item, with its message (MAPI) side.
class FakeItem {
 public:
  // What the host answers about this item.
  bool is_mail = true;         // false: QueryMailItem gives kENoInterface
  bool has_message = true;     // false: MapiMessage gives kENoInterface
  HResult move_status = kSOk;  // a failure: Move gives it and the item stays
  bool unread = true;          // cleared by MarkRead
  // Message::WritesHeaderFields: a store that keeps message files (true),
  // or Outlook (false).
  bool header_fields = false;

  // The message's string properties. A property is present (with a value),
  // absent (reads give kMapiENotFound), or failing (reads give a status).
  void SetProperty(std::uint32_t tag, std::string value);  // present, also as saved
  void RemoveProperty(std::uint32_t tag);
  void FailProperty(std::uint32_t tag, HResult status);
  // The value the message holds now (written, saved or not); nullopt when
  // absent or failing.
  std::optional<std::string> Property(std::uint32_t tag) const;
  // The value as last saved (SaveChanges); nullopt when absent or failing.
  std::optional<std::string> SavedProperty(std::uint32_t tag) const;

  // Shorthands for the three properties the system uses. The getters give
  // the saved value, or "" when there is none.
  void set_headers(std::string v) { SetProperty(host::kPrTransportMessageHeaders, std::move(v)); }
  void set_body(std::string v) { SetProperty(host::kPrBody, std::move(v)); }
  void set_subject(std::string v) { SetProperty(host::kPrNormalizedSubject, std::move(v)); }
  std::string headers() const;
  std::string body() const;
  std::string subject() const;

  // What the core did to this item.
  int property_reads = 0;
  int property_writes = 0;
  std::vector<std::uint32_t> save_flags;  // one entry per SaveChanges
  int moves = 0;                          // successful moves
  int mark_reads = 0;

  FakeFolder* folder() const { return folder_; }  // where the item is now
  int id() const { return id_; }
  // The host's identity of the item (MailItem.Identity). Like an EntryID it
  // changes with every move, so only the moved item's own identity names it.
  std::string identity() const {
    return "entry " + std::to_string(id_) + "." + std::to_string(moves);
  }
  const std::string& label() const { return label_; }
  int references() const { return references_; }

 private:
  friend class FakeFolder;
  friend class FakeHost;
  friend struct FakeHostState;
  struct Prop {
    bool present = false;
    HResult read_status = kMapiENotFound;  // when not present
    std::string value;
  };
  static std::optional<std::string> ValueOf(const std::map<std::uint32_t, Prop>& props,
                                            std::uint32_t tag);

  FakeHostState* state_ = nullptr;
  FakeFolder* folder_ = nullptr;
  int id_ = 0;
  std::string label_;
  std::map<std::uint32_t, Prop> current_;
  std::map<std::uint32_t, Prop> saved_;
  int references_ = 0;
};

// A folder, a store's root folder, or the namespace's list of stores.
class FakeFolder {
 public:
  std::string name;
  std::int32_t default_item_type = host::kOlMailItem;
  std::string description;  // written by SetDescription

  // Builders. New folders and items are added silently (no event); see
  // FakeHost::FireItemAdd / FireFolderAdd to announce them.
  FakeFolder& AddFolder(std::string folder_name, std::int32_t item_type = host::kOlMailItem);
  FakeItem& AddMail(std::string headers, std::string body, std::string subject);
  // A mail item whose three properties are all absent.
  FakeItem& AddBareMail();
  // An item that is not mail (a meeting request, a contact).
  FakeItem& AddOtherItem();

  // The first direct sub-folder with this name (exact case), or null.
  FakeFolder* Find(std::string_view folder_name) const;

  const std::vector<FakeFolder*>& folders() const { return folders_; }
  const std::vector<FakeItem*>& items() const { return items_; }
  FakeFolder* parent() const { return parent_; }
  int references() const { return references_; }

  // Live subscriptions on this folder's item collection (ItemsEvents) and
  // its sub-folder collection (FoldersEvents).
  const std::vector<FakeSubscription<host::ItemsEventSink>>& item_add_subscriptions() const {
    return item_sinks_;
  }
  const std::vector<FakeSubscription<host::FoldersEventSink>>& folder_add_subscriptions() const {
    return folder_sinks_;
  }

 private:
  friend class FakeHost;
  friend struct FakeHostState;
  FakeHostState* state_ = nullptr;
  FakeFolder* parent_ = nullptr;
  std::vector<FakeFolder*> folders_;
  std::vector<FakeItem*> items_;
  std::vector<FakeSubscription<host::ItemsEventSink>> item_sinks_;
  std::vector<FakeSubscription<host::FoldersEventSink>> folder_sinks_;
  int references_ = 0;
};

// A command-bar control: a button (type 1), a pop-up (type 10) or another.
// Every property the core sets is kept, and each set is listed in `sets` in
// order, as "Caption=Mark Spam".
class FakeControl {
 public:
  std::int32_t type = outlook::kMsoControlButton;
  bool temporary = false;
  bool answers_button = true;  // QueryButton succeeds (default: type 1)
  bool answers_popup = false;  // QueryPopup succeeds (default: type 10)
  std::string caption, description_text, tooltip_text, tag;
  bool visible = false, enabled = false, begin_group = false;
  std::int32_t style = 0;
  const ButtonFace* picture = nullptr;  // last SetPicture (only for the call)
  int picture_face_id = 0;              // its id when a FakeButtonFace
  int paste_faces = 0;                  // PasteFace calls that succeeded
  std::vector<std::string> sets;
  std::vector<FakeControl*> controls;  // a pop-up's own controls
  bool deleted = false;                // its bar was deleted (CommandBar.Delete)

  // Raises Click on every live subscription, as a user's click does; gives
  // the number of sinks called. `cancel_default` is what the host passes.
  int Click(std::int16_t* cancel_default = nullptr);
  const std::vector<FakeSubscription<outlook::ButtonEventSink>>& click_subscriptions() const {
    return click_sinks_;
  }
  int references() const { return references_; }

 private:
  friend class FakeHost;
  friend struct FakeHostState;
  FakeHostState* state_ = nullptr;
  std::vector<FakeSubscription<outlook::ButtonEventSink>> click_sinks_;
  int references_ = 0;
};

// A command bar (toolbar) added through CommandBars.Add. As in the real
// host, names are unique: Add with the name of a bar that exists fails with
// kEInvalidArg. A deleted bar leaves command_bars(), and its controls are
// marked deleted.
struct FakeCommandBar {
  std::string name;
  std::int32_t position = 0;
  bool temporary = false;
  bool visible = false;
  std::vector<FakeControl*> controls;
};

// An Outlook Bar shortcut added by the core.
struct FakeShortcut {
  FakeFolder* target = nullptr;
  std::string name;
  std::int32_t index = 0;
};

class FakeHost {
 public:
  FakeHost();
  ~FakeHost();
  FakeHost(const FakeHost&) = delete;
  FakeHost& operator=(const FakeHost&) = delete;

  // --- Building the world.
  // A new store: a root folder in the namespace, after the existing ones.
  FakeFolder& AddStore(std::string name);
  // A store as a fresh profile has it: "Deleted Items", "Inbox", "Outbox",
  // "Sent Items", "Calendar" (appointments), "Contacts", "Drafts", "Journal",
  // "Notes", "Tasks", in that order.
  FakeFolder& AddTypicalStore(std::string name);
  // The namespace's list of stores (the parent of every store root).
  FakeFolder& stores();

  // The explorer window. Without one, ActiveExplorer gives success and null.
  bool has_explorer = true;
  std::vector<FakeItem*> selection;  // Selection.Item(1..Count)
  std::int32_t selection_class = outlook::kOlSelection;
  FakeFolder* current_folder = nullptr;  // null: CurrentFolder gives success and null
  // Without an Outlook Bar, OutlookBarShortcuts gives kENoInterface and null.
  bool has_outlook_bar = true;
  // Without it, SetPicture gives kENotImpl (the caller then pastes).
  bool supports_set_picture = true;
  // Called for every control the core adds, before it is handed out; a test
  // may change what the control answers (say, that it is no button).
  std::function<void(FakeControl&)> on_control_added;

  // --- References for the core (one host reference each).
  std::unique_ptr<host::Application> ApplicationRef();
  std::unique_ptr<host::Folder> FolderRef(FakeFolder& folder);
  std::unique_ptr<host::Folders> FoldersRef(FakeFolder& parent);
  std::unique_ptr<host::Items> ItemsRef(FakeFolder& folder);
  std::unique_ptr<host::Item> ItemRef(FakeItem& item);
  std::unique_ptr<host::MailItem> MailItemRef(FakeItem& item);
  std::unique_ptr<host::Message> MessageRef(FakeItem& item);
  // The fake folder behind a reference this host handed out, or null.
  FakeFolder* FolderOf(const host::Folder& folder) const;

  // --- Events.
  // ItemAdd for `item` on the collection of the folder it is in; FolderAdd
  // for `folder` on its parent's collection. Delivered now, to every live
  // subscription in the order made; gives the number of sinks called.
  int FireItemAdd(FakeItem& item);
  int FireFolderAdd(FakeFolder& folder);
  // Adds a mail item to `folder` and fires ItemAdd for it.
  FakeItem& DeliverMail(FakeFolder& folder, std::string headers, std::string body,
                        std::string subject);
  // Events the core's own calls raised (moves, Folders.Add), not yet delivered.
  std::size_t pending_events() const;
  // Delivers the queued events in order, including those raised while
  // delivering; gives the number of sinks called.
  int DeliverPendingEvents();
  // Subscriptions not yet cancelled, of all three kinds.
  int LiveSubscriptions() const;

  // --- What the core did.
  const std::vector<FakeCall>& calls() const;
  // The calls whose op is `op`, in order.
  std::vector<FakeCall> CallsTo(std::string_view op) const;
  int CountCalls(std::string_view op) const;
  void ClearCalls();
  // Live references of every kind handed out and not yet destroyed.
  int LiveReferences() const;
  const std::vector<FakeCommandBar*>& command_bars() const;
  const std::vector<FakeShortcut>& shortcuts() const;
  // The first toolbar of that name, or the first control anywhere with that
  // caption (pop-up controls included, deleted ones not); null when there is
  // none.
  FakeCommandBar* FindBar(std::string_view name) const;
  FakeControl* FindControl(std::string_view caption) const;

  // --- Failures.
  // Adds a rule; the returned rule may be changed (skip, times) until the
  // next call to Fail.
  FailureRule& Fail(std::string op, HResult status = kEFail, const void* target = nullptr);
  void ClearFailures();

  // A user interface that writes ShowMessage and Beep into this host's
  // journal ("ui.ShowMessage" with the caption as target and the text as
  // detail; "ui.Beep" with the type), then passes them to `inner`. Lets a
  // test see the order of beeps, messages and host calls.
  std::unique_ptr<UserInterface> JournalingUserInterface(UserInterface& inner);

 private:
  std::shared_ptr<FakeHostState> state_;
};

// `base` with its user interface replaced by `ui`.
Platform WithUserInterface(const Platform& base, UserInterface& ui);

}  // namespace varnox::testing

#endif  // VARNOX_TESTS_FAKES_FAKE_HOST_H_
