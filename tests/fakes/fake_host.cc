#include "tests/fakes/fake_host.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "platform/code_page.h"
#include "tests/fakes/fake_button_faces.h"

namespace varnox::testing {

namespace {

std::string Hex(std::uint32_t value) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "0x%08X", static_cast<unsigned>(value));
  return buffer;
}

std::string Quoted(std::string_view text) {
  return "\"" + std::string(text) + "\"";
}

// The default item type of a folder made by Folders.Add(Name, Type), for the
// folder types the host knows.
std::int32_t ItemTypeOfFolderType(std::int32_t folder_type) {
  switch (folder_type) {
    case 9:  // calendar
      return 1;
    case 10:  // contacts
      return 2;
    case 13:  // tasks
      return 3;
    case 11:  // journal
      return 4;
    case 12:  // notes
      return 5;
    default:  // inbox, sent mail, drafts, outbox, deleted items: mail
      return host::kOlMailItem;
  }
}

}  // namespace

// Everything behind the references. Shared by the FakeHost and every
// reference it handed out, so that a reference outliving the host stays safe;
// `host` is null once the FakeHost is gone, and calls that need its settings
// then fail.
struct FakeHostState : std::enable_shared_from_this<FakeHostState> {
  FakeHost* host = nullptr;

  std::deque<std::unique_ptr<FakeFolder>> folders;
  std::deque<std::unique_ptr<FakeItem>> items;
  std::deque<std::unique_ptr<FakeControl>> controls;
  std::deque<std::unique_ptr<FakeCommandBar>> bar_storage;
  std::vector<FakeCommandBar*> bars;
  std::vector<FakeShortcut> shortcuts;
  FakeFolder stores;  // the namespace's collection of store roots

  std::vector<FakeCall> journal;
  std::deque<FailureRule> rules;
  host::Cookie next_cookie = 1;
  int next_item_id = 1;
  int live_references = 0;

  struct PendingEvent {
    FakeItem* item = nullptr;      // ItemAdd of this item into `folder`
    FakeFolder* added = nullptr;   // FolderAdd of this folder
    FakeFolder* folder = nullptr;  // whose collection raises the event
  };
  std::deque<PendingEvent> pending;

  FakeHostState() {
    stores.state_ = this;
    stores.name = "(namespace)";
  }

  // Writes the call into the journal and gives the status a failure rule
  // imposes on it (kSOk when none does). Finish records the final result.
  HResult Enter(std::string op, const void* target, std::string label, std::string detail) {
    HResult status = kSOk;
    for (FailureRule& rule : rules) {
      if (rule.op != op || (rule.target != nullptr && rule.target != target) || rule.times == 0)
        continue;
      if (rule.skip > 0) {
        --rule.skip;
        continue;
      }
      if (rule.times > 0)
        --rule.times;
      status = rule.status;
      break;
    }
    journal.push_back(FakeCall{std::move(op), std::move(label), std::move(detail), status});
    return status;
  }
  HResult Finish(HResult result) {
    journal.back().result = result;
    return result;
  }

  FakeFolder& NewFolder(FakeFolder& parent, std::string name, std::int32_t item_type) {
    folders.push_back(std::make_unique<FakeFolder>());
    FakeFolder& folder = *folders.back();
    folder.state_ = this;
    folder.name = std::move(name);
    folder.default_item_type = item_type;
    folder.parent_ = &parent;
    parent.folders_.push_back(&folder);
    return folder;
  }

  FakeItem& NewItem(FakeFolder& folder, bool is_mail) {
    items.push_back(std::make_unique<FakeItem>());
    FakeItem& item = *items.back();
    item.state_ = this;
    item.is_mail = is_mail;
    item.id_ = next_item_id++;
    item.label_ = (is_mail ? "mail " : "item ") + std::to_string(item.id_);
    item.folder_ = &folder;
    folder.items_.push_back(&item);
    return item;
  }

  FakeControl& NewControl(std::int32_t type, bool temporary) {
    controls.push_back(std::make_unique<FakeControl>());
    FakeControl& control = *controls.back();
    control.state_ = this;
    control.type = type;
    control.temporary = temporary;
    control.answers_button = type == outlook::kMsoControlButton;
    control.answers_popup = type == outlook::kMsoControlPopup;
    return control;
  }

  // Advise and Unadvise on `list`, written into the journal as `op`.
  template <typename Sink>
  HResult Subscribe(std::string op, const void* target, std::string label,
                    std::vector<FakeSubscription<Sink>>& list, Sink* sink, host::Cookie* cookie) {
    HResult hr = Enter(std::move(op), target, std::move(label), "");
    if (Failed(hr))
      return hr;
    if (sink == nullptr || cookie == nullptr)
      return Finish(kEPointer);
    *cookie = next_cookie++;
    list.push_back(FakeSubscription<Sink>{*cookie, sink});
    return hr;
  }
  template <typename Sink>
  HResult Cancel(std::string op, const void* target, std::string label,
                 std::vector<FakeSubscription<Sink>>& list, host::Cookie cookie) {
    HResult hr = Enter(std::move(op), target, std::move(label), std::to_string(cookie));
    if (Failed(hr))
      return hr;
    auto it = std::find_if(list.begin(), list.end(), [cookie](const FakeSubscription<Sink>& s) {
      return s.cookie == cookie;
    });
    if (it == list.end())
      return Finish(kConnectENoConnection);
    list.erase(it);
    return hr;
  }

  // Calls `deliver` for every subscription live at the start, skipping any
  // that a sink cancels meanwhile. Gives the number of sinks called.
  template <typename Sink, typename Deliver>
  static int Raise(const std::vector<FakeSubscription<Sink>>& list, Deliver deliver) {
    const std::vector<FakeSubscription<Sink>> snapshot = list;
    int called = 0;
    for (const FakeSubscription<Sink>& subscription : snapshot) {
      bool still_live = std::any_of(list.begin(), list.end(), [&](const FakeSubscription<Sink>& s) {
        return s.cookie == subscription.cookie;
      });
      if (!still_live)
        continue;
      deliver(subscription.sink);
      ++called;
    }
    return called;
  }

  int RaiseItemAdd(FakeItem& item, FakeFolder& folder);
  int RaiseFolderAdd(FakeFolder& added, FakeFolder& parent);

  // The host's reference counts; the wrappers call these.
  void Hold(int& count) {
    ++count;
    ++live_references;
  }
  void Drop(int& count) {
    --count;
    --live_references;
  }
  static int& Count(FakeFolder& folder) { return folder.references_; }
  static int& Count(FakeItem& item) { return item.references_; }
  static int& Count(FakeControl& control) { return control.references_; }
  static auto& ItemSinks(FakeFolder& folder) { return folder.item_sinks_; }
  static auto& FolderSinks(FakeFolder& folder) { return folder.folder_sinks_; }
  static auto& ClickSinks(FakeControl& control) { return control.click_sinks_; }
  static std::map<std::uint32_t, FakeItem::Prop>& Current(FakeItem& item) { return item.current_; }
  static void Save(FakeItem& item) { item.saved_ = item.current_; }
  static void Place(FakeItem& item, FakeFolder& destination) {
    FakeFolder& source = *item.folder_;
    source.items_.erase(std::find(source.items_.begin(), source.items_.end(), &item));
    destination.items_.push_back(&item);
    item.folder_ = &destination;
  }
};

namespace {

using State = std::shared_ptr<FakeHostState>;

// One host reference: counts itself for its life.
class Reference {
 public:
  Reference(State state, int* count) : state_(std::move(state)), count_(count) {
    state_->Hold(count_ != nullptr ? *count_ : unnamed_);
  }
  ~Reference() { state_->Drop(count_ != nullptr ? *count_ : unnamed_); }
  Reference(const Reference&) = delete;
  Reference& operator=(const Reference&) = delete;

 protected:
  FakeHost* host() const { return state_->host; }
  State state_;

 private:
  int* count_;
  int unnamed_ = 0;
};

std::unique_ptr<host::Folder> MakeFolderRef(const State& state, FakeFolder& folder);
std::unique_ptr<host::Folders> MakeFoldersRef(const State& state, FakeFolder& parent);
std::unique_ptr<host::Items> MakeItemsRef(const State& state, FakeFolder& folder);
std::unique_ptr<host::Item> MakeItemRef(const State& state, FakeItem& item);
std::unique_ptr<host::MailItem> MakeMailItemRef(const State& state, FakeItem& item);
std::unique_ptr<host::Message> MakeMessageRef(const State& state, FakeItem& item);

// --- Folders and items.

class FolderRef final : public host::Folder, Reference {
 public:
  FolderRef(State state, FakeFolder& folder)
      : Reference(std::move(state), &FakeHostState::Count(folder)), folder_(folder) {}

  HResult Name(std::string* name) override {
    HResult hr = state_->Enter("Folder.Name", &folder_, folder_.name, "");
    if (Succeeded(hr))
      *name = folder_.name;
    return hr;
  }
  HResult DefaultItemType(std::int32_t* type) override {
    HResult hr = state_->Enter("Folder.DefaultItemType", &folder_, folder_.name, "");
    if (Succeeded(hr))
      *type = folder_.default_item_type;
    return hr;
  }
  HResult GetFolders(std::unique_ptr<host::Folders>* folders) override {
    HResult hr = state_->Enter("Folder.Folders", &folder_, folder_.name, "");
    if (Succeeded(hr))
      *folders = MakeFoldersRef(state_, folder_);
    return hr;
  }
  HResult GetItems(std::unique_ptr<host::Items>* items) override {
    HResult hr = state_->Enter("Folder.Items", &folder_, folder_.name, "");
    if (Succeeded(hr))
      *items = MakeItemsRef(state_, folder_);
    return hr;
  }
  HResult SetDescription(std::string_view description) override {
    HResult hr = state_->Enter("Folder.Description", &folder_, folder_.name, Quoted(description));
    if (Succeeded(hr))
      folder_.description = std::string(description);
    return hr;
  }
  bool IsSameFolder(const host::Folder& other) const override {
    auto* fake = dynamic_cast<const FolderRef*>(&other);
    return fake != nullptr && &fake->folder_ == &folder_;
  }

  FakeFolder& folder() const { return folder_; }

 private:
  FakeFolder& folder_;
};

class FoldersRef final : public host::Folders, Reference {
 public:
  FoldersRef(State state, FakeFolder& parent)
      : Reference(std::move(state), nullptr), parent_(parent) {}

  HResult GetFirst(std::unique_ptr<host::Folder>* folder) override {
    next_ = 0;
    return Step("Folders.GetFirst", folder);
  }
  HResult GetNext(std::unique_ptr<host::Folder>* folder) override {
    return Step("Folders.GetNext", folder);
  }
  HResult Add(std::string_view name, std::int32_t type,
              std::unique_ptr<host::Folder>* folder) override {
    HResult hr = state_->Enter("Folders.Add", &parent_, parent_.name,
                               Quoted(name) + " " + std::to_string(type));
    if (Failed(hr))
      return hr;
    for (FakeFolder* existing : parent_.folders())
      if (code_page::EqualsIgnoreCase(existing->name, name))
        return state_->Finish(kMapiECollision);
    FakeFolder& added = state_->NewFolder(parent_, std::string(name), ItemTypeOfFolderType(type));
    state_->pending.push_back({nullptr, &added, &parent_});
    *folder = MakeFolderRef(state_, added);
    return hr;
  }
  HResult Advise(host::FoldersEventSink* sink, host::Cookie* cookie) override {
    return state_->Subscribe("Folders.Advise", &parent_, parent_.name,
                             FakeHostState::FolderSinks(parent_), sink, cookie);
  }
  HResult Unadvise(host::Cookie cookie) override {
    return state_->Cancel("Folders.Unadvise", &parent_, parent_.name,
                          FakeHostState::FolderSinks(parent_), cookie);
  }

 private:
  HResult Step(const char* op, std::unique_ptr<host::Folder>* folder) {
    HResult hr = state_->Enter(op, &parent_, parent_.name, "");
    if (Failed(hr))
      return hr;
    folder->reset();
    if (next_ < parent_.folders().size())
      *folder = MakeFolderRef(state_, *parent_.folders()[next_++]);
    return hr;
  }

  FakeFolder& parent_;
  std::size_t next_ = 0;
};

class ItemsRef final : public host::Items, Reference {
 public:
  ItemsRef(State state, FakeFolder& folder)
      : Reference(std::move(state), nullptr), folder_(folder) {}

  HResult GetFirst(std::unique_ptr<host::Item>* item) override {
    next_ = 0;
    return Step("Items.GetFirst", item);
  }
  HResult GetNext(std::unique_ptr<host::Item>* item) override {
    return Step("Items.GetNext", item);
  }
  HResult Advise(host::ItemsEventSink* sink, host::Cookie* cookie) override {
    return state_->Subscribe("Items.Advise", &folder_, folder_.name,
                             FakeHostState::ItemSinks(folder_), sink, cookie);
  }
  HResult Unadvise(host::Cookie cookie) override {
    return state_->Cancel("Items.Unadvise", &folder_, folder_.name,
                          FakeHostState::ItemSinks(folder_), cookie);
  }

 private:
  HResult Step(const char* op, std::unique_ptr<host::Item>* item) {
    HResult hr = state_->Enter(op, &folder_, folder_.name, "");
    if (Failed(hr))
      return hr;
    item->reset();
    if (next_ < folder_.items().size())
      *item = MakeItemRef(state_, *folder_.items()[next_++]);
    return hr;
  }

  FakeFolder& folder_;
  std::size_t next_ = 0;
};

class ItemRef final : public host::Item, Reference {
 public:
  ItemRef(State state, FakeItem& item)
      : Reference(std::move(state), &FakeHostState::Count(item)), item_(item) {}

  HResult QueryMailItem(std::unique_ptr<host::MailItem>* mail) override {
    HResult hr = state_->Enter("Item.QueryMailItem", &item_, item_.label(), "");
    if (Succeeded(hr) && !item_.is_mail)
      hr = state_->Finish(kENoInterface);
    mail->reset();
    if (Succeeded(hr))
      *mail = MakeMailItemRef(state_, item_);
    return hr;
  }

 private:
  FakeItem& item_;
};

class MailItemRef final : public host::MailItem, Reference {
 public:
  MailItemRef(State state, FakeItem& item)
      : Reference(std::move(state), &FakeHostState::Count(item)), item_(item) {}

  HResult MapiMessage(std::unique_ptr<host::Message>* message) override {
    HResult hr = state_->Enter("MailItem.MAPIOBJECT", &item_, item_.label(), "");
    if (Succeeded(hr) && !item_.has_message)
      hr = state_->Finish(kENoInterface);
    message->reset();
    if (Succeeded(hr))
      *message = MakeMessageRef(state_, item_);
    return hr;
  }
  HResult Move(host::Folder& destination) override {
    auto* fake = dynamic_cast<FolderRef*>(&destination);
    std::string to = fake != nullptr ? fake->folder().name : "(foreign folder)";
    HResult hr = state_->Enter("MailItem.Move", &item_, item_.label(), "to " + Quoted(to));
    if (Succeeded(hr) && Failed(item_.move_status))
      hr = state_->Finish(item_.move_status);
    if (Succeeded(hr) && (fake == nullptr || item_.folder() == nullptr))
      hr = state_->Finish(kEInvalidArg);
    if (Failed(hr))
      return hr;
    FakeHostState::Place(item_, fake->folder());
    ++item_.moves;
    state_->pending.push_back({&item_, nullptr, &fake->folder()});
    return hr;
  }
  HResult MarkRead() override {
    HResult hr = state_->Enter("MailItem.MarkRead", &item_, item_.label(), "");
    if (Succeeded(hr)) {
      item_.unread = false;
      ++item_.mark_reads;
    }
    return hr;
  }
  HResult Identity(std::string* identity) override {
    HResult hr = state_->Enter("MailItem.Identity", &item_, item_.label(), "");
    if (Succeeded(hr))
      *identity = item_.identity();
    return hr;
  }

 private:
  FakeItem& item_;
};

class MessageRef final : public host::Message, Reference {
 public:
  MessageRef(State state, FakeItem& item)
      : Reference(std::move(state), &FakeHostState::Count(item)), item_(item) {}

  HResult GetStringProperty(std::uint32_t tag, std::string* value) override {
    HResult hr = state_->Enter("Message.GetProp", &item_, item_.label(), Hex(tag));
    if (Failed(hr))
      return hr;
    ++item_.property_reads;
    auto& props = FakeHostState::Current(item_);
    auto it = props.find(tag);
    if (it == props.end())
      return state_->Finish(kMapiENotFound);
    if (!it->second.present)
      return state_->Finish(it->second.read_status);
    *value = it->second.value;
    return hr;
  }
  HResult SetStringProperty(std::uint32_t tag, std::string_view value) override {
    HResult hr = state_->Enter("Message.SetProp", &item_, item_.label(),
                               Hex(tag) + " (" + std::to_string(value.size()) + " bytes)");
    if (Failed(hr))
      return hr;
    ++item_.property_writes;
    auto& prop = FakeHostState::Current(item_)[tag];
    prop.present = true;
    prop.value = std::string(value);
    return hr;
  }
  HResult SaveChanges(std::uint32_t flags) override {
    HResult hr = state_->Enter("Message.SaveChanges", &item_, item_.label(), std::to_string(flags));
    if (Succeeded(hr)) {
      item_.save_flags.push_back(flags);
      FakeHostState::Save(item_);
    }
    return hr;
  }
  bool WritesHeaderFields() const override { return item_.header_fields; }

 private:
  FakeItem& item_;
};

std::unique_ptr<host::Folder> MakeFolderRef(const State& state, FakeFolder& folder) {
  return std::make_unique<FolderRef>(state, folder);
}
std::unique_ptr<host::Folders> MakeFoldersRef(const State& state, FakeFolder& parent) {
  return std::make_unique<FoldersRef>(state, parent);
}
std::unique_ptr<host::Items> MakeItemsRef(const State& state, FakeFolder& folder) {
  return std::make_unique<ItemsRef>(state, folder);
}
std::unique_ptr<host::Item> MakeItemRef(const State& state, FakeItem& item) {
  return std::make_unique<ItemRef>(state, item);
}
std::unique_ptr<host::MailItem> MakeMailItemRef(const State& state, FakeItem& item) {
  return std::make_unique<MailItemRef>(state, item);
}
std::unique_ptr<host::Message> MakeMessageRef(const State& state, FakeItem& item) {
  return std::make_unique<MessageRef>(state, item);
}

// --- Command bars.

std::unique_ptr<outlook::CommandBarControls> MakeControlsRef(const State& state,
                                                             std::vector<FakeControl*>& list,
                                                             std::string label);

// The control properties, shared by plain controls, buttons and pop-ups.
template <typename Base>
class ControlRefBase : public Base, protected Reference {
 public:
  ControlRefBase(State state, FakeControl& control)
      : Reference(std::move(state), &FakeHostState::Count(control)), control_(control) {}

  HResult SetCaption(std::string_view caption) override {
    return SetText("Caption", caption, control_.caption);
  }
  HResult SetDescriptionText(std::string_view text) override {
    return SetText("DescriptionText", text, control_.description_text);
  }
  HResult SetVisible(bool visible) override {
    return SetFlag("Visible", visible, control_.visible);
  }
  HResult SetEnabled(bool enabled) override {
    return SetFlag("Enabled", enabled, control_.enabled);
  }
  HResult SetTooltipText(std::string_view text) override {
    return SetText("TooltipText", text, control_.tooltip_text);
  }
  HResult SetTag(std::string_view tag) override { return SetText("Tag", tag, control_.tag); }
  HResult SetBeginGroup(bool begin_group) override {
    return SetFlag("BeginGroup", begin_group, control_.begin_group);
  }
  HResult QueryButton(std::unique_ptr<outlook::CommandBarButton>* button) override;
  HResult QueryPopup(std::unique_ptr<outlook::CommandBarPopup>* popup) override;

 protected:
  HResult Set(const std::string& property, const std::string& value) {
    HResult hr = state_->Enter("Control." + property, &control_, Label(), value);
    if (Succeeded(hr))
      control_.sets.push_back(property + "=" + value);
    return hr;
  }
  HResult SetText(const std::string& property, std::string_view value, std::string& field) {
    HResult hr = Set(property, std::string(value));
    if (Succeeded(hr))
      field = std::string(value);
    return hr;
  }
  HResult SetFlag(const std::string& property, bool value, bool& field) {
    HResult hr = Set(property, value ? "true" : "false");
    if (Succeeded(hr))
      field = value;
    return hr;
  }
  std::string Label() const {
    return control_.caption.empty() ? "control type " + std::to_string(control_.type)
                                    : control_.caption;
  }

  FakeControl& control_;
};

class ControlRef final : public ControlRefBase<outlook::CommandBarControl> {
 public:
  using ControlRefBase::ControlRefBase;
};

class PopupRef final : public ControlRefBase<outlook::CommandBarPopup> {
 public:
  using ControlRefBase::ControlRefBase;
  HResult GetControls(std::unique_ptr<outlook::CommandBarControls>* controls) override {
    HResult hr = state_->Enter("Popup.Controls", &control_, Label(), "");
    if (Succeeded(hr))
      *controls = MakeControlsRef(state_, control_.controls, Label());
    return hr;
  }
};

class ButtonRef final : public ControlRefBase<outlook::CommandBarButton> {
 public:
  using ControlRefBase::ControlRefBase;

  HResult SetStyle(std::int32_t style) override {
    HResult hr = Set("Style", std::to_string(style));
    if (Succeeded(hr))
      control_.style = style;
    return hr;
  }
  HResult SetPicture(const ButtonFace& face) override {
    HResult hr = state_->Enter("Button.SetPicture", &control_, Label(), "");
    if (Succeeded(hr) && (host() == nullptr || !host()->supports_set_picture))
      hr = state_->Finish(kENotImpl);
    if (Succeeded(hr)) {
      control_.picture = &face;
      control_.picture_face_id = FaceIdOf(face);
    }
    return hr;
  }
  HResult PasteFace() override {
    HResult hr = state_->Enter("Button.PasteFace", &control_, Label(), "");
    if (Succeeded(hr))
      ++control_.paste_faces;
    return hr;
  }
  HResult Advise(outlook::ButtonEventSink* sink, host::Cookie* cookie) override {
    return state_->Subscribe("Button.Advise", &control_, Label(),
                             FakeHostState::ClickSinks(control_), sink, cookie);
  }
  HResult Unadvise(host::Cookie cookie) override {
    return state_->Cancel("Button.Unadvise", &control_, Label(),
                          FakeHostState::ClickSinks(control_), cookie);
  }
};

template <typename Base>
HResult ControlRefBase<Base>::QueryButton(std::unique_ptr<outlook::CommandBarButton>* button) {
  HResult hr = state_->Enter("Control.QueryButton", &control_, Label(), "");
  if (Succeeded(hr) && !control_.answers_button)
    hr = state_->Finish(kENoInterface);
  button->reset();
  if (Succeeded(hr))
    *button = std::make_unique<ButtonRef>(state_, control_);
  return hr;
}

template <typename Base>
HResult ControlRefBase<Base>::QueryPopup(std::unique_ptr<outlook::CommandBarPopup>* popup) {
  HResult hr = state_->Enter("Control.QueryPopup", &control_, Label(), "");
  if (Succeeded(hr) && !control_.answers_popup)
    hr = state_->Finish(kENoInterface);
  popup->reset();
  if (Succeeded(hr))
    *popup = std::make_unique<PopupRef>(state_, control_);
  return hr;
}

class ControlsRef final : public outlook::CommandBarControls, Reference {
 public:
  ControlsRef(State state, std::vector<FakeControl*>& list, std::string label)
      : Reference(std::move(state), nullptr), list_(list), label_(std::move(label)) {}

  HResult Add(std::int32_t type, bool temporary,
              std::unique_ptr<outlook::CommandBarControl>* control) override {
    HResult hr = state_->Enter("Controls.Add", &list_, label_,
                               "type " + std::to_string(type) + (temporary ? " temporary" : ""));
    if (Failed(hr))
      return hr;
    FakeControl& added = state_->NewControl(type, temporary);
    if (host() != nullptr && host()->on_control_added)
      host()->on_control_added(added);
    list_.push_back(&added);
    *control = std::make_unique<ControlRef>(state_, added);
    return hr;
  }

 private:
  std::vector<FakeControl*>& list_;
  std::string label_;
};

std::unique_ptr<outlook::CommandBarControls> MakeControlsRef(const State& state,
                                                             std::vector<FakeControl*>& list,
                                                             std::string label) {
  return std::make_unique<ControlsRef>(state, list, std::move(label));
}

class CommandBarRef final : public outlook::CommandBar, Reference {
 public:
  CommandBarRef(State state, FakeCommandBar& bar)
      : Reference(std::move(state), nullptr), bar_(bar) {}

  HResult GetControls(std::unique_ptr<outlook::CommandBarControls>* controls) override {
    HResult hr = state_->Enter("CommandBar.Controls", &bar_, bar_.name, "");
    if (Succeeded(hr))
      *controls = MakeControlsRef(state_, bar_.controls, bar_.name);
    return hr;
  }
  HResult SetVisible(bool visible) override {
    HResult hr = state_->Enter("CommandBar.Visible", &bar_, bar_.name, visible ? "true" : "false");
    if (Succeeded(hr))
      bar_.visible = visible;
    return hr;
  }
  HResult Delete() override {
    HResult hr = state_->Enter("CommandBar.Delete", &bar_, bar_.name, "");
    if (Failed(hr))
      return hr;
    auto& bars = state_->bars;
    const auto it = std::find(bars.begin(), bars.end(), &bar_);
    if (it == bars.end())
      return state_->Finish(kEInvalidArg);  // deleted before
    bars.erase(it);
    MarkDeleted(bar_.controls);
    return hr;
  }

 private:
  static void MarkDeleted(const std::vector<FakeControl*>& controls) {
    for (FakeControl* control : controls) {
      control->deleted = true;
      MarkDeleted(control->controls);
    }
  }

  FakeCommandBar& bar_;
};

class CommandBarsRef final : public outlook::CommandBars, Reference {
 public:
  explicit CommandBarsRef(State state) : Reference(std::move(state), nullptr) {}

  HResult Add(std::string_view name, std::int32_t position, bool temporary,
              std::unique_ptr<outlook::CommandBar>* bar) override {
    HResult hr = state_->Enter(
        "CommandBars.Add", nullptr, "",
        Quoted(name) + " position " + std::to_string(position) + (temporary ? " temporary" : ""));
    if (Failed(hr))
      return hr;
    if (Live(name) != nullptr)
      return state_->Finish(kEInvalidArg);
    state_->bar_storage.push_back(std::make_unique<FakeCommandBar>());
    FakeCommandBar& added = *state_->bar_storage.back();
    added.name = std::string(name);
    added.position = position;
    added.temporary = temporary;
    state_->bars.push_back(&added);
    *bar = std::make_unique<CommandBarRef>(state_, added);
    return hr;
  }
  HResult FindBar(std::string_view name, std::unique_ptr<outlook::CommandBar>* bar) override {
    HResult hr = state_->Enter("CommandBars.Item", nullptr, "", Quoted(name));
    bar->reset();
    if (Failed(hr))
      return hr;
    FakeCommandBar* found = Live(name);
    if (found == nullptr)
      return state_->Finish(kEInvalidArg);
    *bar = std::make_unique<CommandBarRef>(state_, *found);
    return hr;
  }

 private:
  FakeCommandBar* Live(std::string_view name) const {
    for (FakeCommandBar* bar : state_->bars)
      if (bar->name == name)
        return bar;
    return nullptr;
  }
};

// --- The application side.

class SelectionRef final : public outlook::Selection, Reference {
 public:
  SelectionRef(State state, std::vector<FakeItem*> items, std::int32_t object_class)
      : Reference(std::move(state), nullptr), items_(std::move(items)), class_(object_class) {}

  HResult Class(std::int32_t* object_class) override {
    HResult hr = state_->Enter("Selection.Class", nullptr, "", "");
    if (Succeeded(hr))
      *object_class = class_;
    return hr;
  }
  HResult Count(std::int32_t* count) override {
    HResult hr = state_->Enter("Selection.Count", nullptr, "", "");
    if (Succeeded(hr))
      *count = static_cast<std::int32_t>(items_.size());
    return hr;
  }
  HResult GetItem(std::int32_t index, std::unique_ptr<host::Item>* item) override {
    HResult hr = state_->Enter("Selection.Item", nullptr, "", std::to_string(index));
    if (Succeeded(hr) && (index < 1 || static_cast<std::size_t>(index) > items_.size()))
      hr = state_->Finish(kEInvalidArg);
    if (Succeeded(hr))
      *item = MakeItemRef(state_, *items_[index - 1]);
    return hr;
  }

 private:
  std::vector<FakeItem*> items_;  // the selection when it was read, as the host gives it
  std::int32_t class_;
};

class ShortcutsRef final : public outlook::OutlookBarShortcuts, Reference {
 public:
  explicit ShortcutsRef(State state) : Reference(std::move(state), nullptr) {}

  HResult Add(host::Folder& target, std::string_view name, std::int32_t index) override {
    auto* fake = dynamic_cast<FolderRef*>(&target);
    HResult hr =
        state_->Enter("Shortcuts.Add", nullptr, "", Quoted(name) + " " + std::to_string(index));
    if (Succeeded(hr) && fake == nullptr)
      hr = state_->Finish(kEInvalidArg);
    if (Succeeded(hr))
      state_->shortcuts.push_back(FakeShortcut{&fake->folder(), std::string(name), index});
    return hr;
  }
};

class ExplorerRef final : public outlook::Explorer, Reference {
 public:
  explicit ExplorerRef(State state) : Reference(std::move(state), nullptr) {}

  HResult GetCommandBars(std::unique_ptr<outlook::CommandBars>* bars) override {
    HResult hr = state_->Enter("Explorer.CommandBars", nullptr, "", "");
    if (Succeeded(hr))
      *bars = std::make_unique<CommandBarsRef>(state_);
    return hr;
  }
  HResult GetSelection(std::unique_ptr<outlook::Selection>* selection) override {
    HResult hr = state_->Enter("Explorer.Selection", nullptr, "", "");
    if (Succeeded(hr) && host() == nullptr)
      hr = state_->Finish(kEFail);
    if (Succeeded(hr))
      *selection =
          std::make_unique<SelectionRef>(state_, host()->selection, host()->selection_class);
    return hr;
  }
  HResult CurrentFolder(std::unique_ptr<host::Folder>* folder) override {
    HResult hr = state_->Enter("Explorer.CurrentFolder", nullptr, "", "");
    if (Succeeded(hr) && host() == nullptr)
      hr = state_->Finish(kEFail);
    if (Failed(hr))
      return hr;
    folder->reset();
    if (host()->current_folder != nullptr)
      *folder = MakeFolderRef(state_, *host()->current_folder);
    return hr;
  }
  HResult OutlookBarShortcuts(std::unique_ptr<outlook::OutlookBarShortcuts>* shortcuts) override {
    HResult hr = state_->Enter("Explorer.OutlookBarShortcuts", nullptr, "", "");
    if (Succeeded(hr) && (host() == nullptr || !host()->has_outlook_bar))
      hr = state_->Finish(kENoInterface);
    shortcuts->reset();
    if (Succeeded(hr))
      *shortcuts = std::make_unique<ShortcutsRef>(state_);
    return hr;
  }
};

class NameSpaceRef final : public host::NameSpace, Reference {
 public:
  explicit NameSpaceRef(State state) : Reference(std::move(state), nullptr) {}

  HResult GetFolders(std::unique_ptr<host::Folders>* roots) override {
    HResult hr = state_->Enter("NameSpace.Folders", nullptr, "", "");
    if (Succeeded(hr))
      *roots = MakeFoldersRef(state_, state_->stores);
    return hr;
  }
};

class ApplicationRef final : public host::Application, public outlook::Application, Reference {
 public:
  explicit ApplicationRef(State state) : Reference(std::move(state), nullptr) {}

  HResult Session(std::unique_ptr<host::NameSpace>* name_space) override {
    HResult hr = state_->Enter("Application.Session", nullptr, "", "");
    if (Succeeded(hr))
      *name_space = std::make_unique<NameSpaceRef>(state_);
    return hr;
  }
  HResult ActiveExplorer(std::unique_ptr<outlook::Explorer>* explorer) override {
    HResult hr = state_->Enter("Application.ActiveExplorer", nullptr, "", "");
    if (Failed(hr))
      return hr;
    explorer->reset();
    if (host() != nullptr && host()->has_explorer)
      *explorer = std::make_unique<ExplorerRef>(state_);
    return hr;
  }
};

class JournalingUi final : public UserInterface {
 public:
  JournalingUi(State state, UserInterface& inner) : state_(std::move(state)), inner_(inner) {}

  int ShowMessage(std::string_view text, std::string_view caption, std::uint32_t flags) override {
    state_->journal.push_back(FakeCall{"ui.ShowMessage", std::string(caption), std::string(text)});
    return inner_.ShowMessage(text, caption, flags);
  }
  void Beep(std::uint32_t type) override {
    state_->journal.push_back(FakeCall{"ui.Beep", "", std::to_string(type)});
    inner_.Beep(type);
  }
  void OpenPage(std::string_view page) override {
    state_->journal.push_back(FakeCall{"ui.OpenPage", "", std::string(page)});
    inner_.OpenPage(page);
  }

 private:
  State state_;
  UserInterface& inner_;
};

}  // namespace

int FakeHostState::RaiseItemAdd(FakeItem& item, FakeFolder& folder) {
  State self = shared_from_this();
  return Raise(folder.item_sinks_,
               [&](host::ItemsEventSink* sink) { sink->OnItemAdd(MakeItemRef(self, item)); });
}

int FakeHostState::RaiseFolderAdd(FakeFolder& added, FakeFolder& parent) {
  State self = shared_from_this();
  return Raise(parent.folder_sinks_, [&](host::FoldersEventSink* sink) {
    sink->OnFolderAdd(MakeFolderRef(self, added));
  });
}

// --- FakeCall, FakeItem, FakeFolder, FakeControl.

std::string FakeCall::ToString() const {
  std::string text = op;
  if (!target.empty())
    text += " [" + target + "]";
  if (!detail.empty())
    text += " " + detail;
  if (result != kSOk)
    text += " -> " + Hex(static_cast<std::uint32_t>(result));
  return text;
}

void FakeItem::SetProperty(std::uint32_t tag, std::string value) {
  Prop prop;
  prop.present = true;
  prop.value = std::move(value);
  current_[tag] = prop;
  saved_[tag] = std::move(prop);
}

void FakeItem::RemoveProperty(std::uint32_t tag) {
  current_.erase(tag);
  saved_.erase(tag);
}

void FakeItem::FailProperty(std::uint32_t tag, HResult status) {
  Prop prop;
  prop.read_status = status;
  current_[tag] = prop;
  saved_[tag] = prop;
}

std::optional<std::string> FakeItem::ValueOf(const std::map<std::uint32_t, Prop>& props,
                                             std::uint32_t tag) {
  auto it = props.find(tag);
  if (it == props.end() || !it->second.present)
    return std::nullopt;
  return it->second.value;
}

std::optional<std::string> FakeItem::Property(std::uint32_t tag) const {
  return ValueOf(current_, tag);
}
std::optional<std::string> FakeItem::SavedProperty(std::uint32_t tag) const {
  return ValueOf(saved_, tag);
}
std::string FakeItem::headers() const {
  return SavedProperty(host::kPrTransportMessageHeaders).value_or("");
}
std::string FakeItem::body() const {
  return SavedProperty(host::kPrBody).value_or("");
}
std::string FakeItem::subject() const {
  return SavedProperty(host::kPrNormalizedSubject).value_or("");
}

FakeFolder& FakeFolder::AddFolder(std::string folder_name, std::int32_t item_type) {
  return state_->NewFolder(*this, std::move(folder_name), item_type);
}

FakeItem& FakeFolder::AddMail(std::string headers, std::string body, std::string subject) {
  FakeItem& item = state_->NewItem(*this, true);
  item.set_headers(std::move(headers));
  item.set_body(std::move(body));
  item.set_subject(std::move(subject));
  return item;
}

FakeItem& FakeFolder::AddBareMail() {
  return state_->NewItem(*this, true);
}

FakeItem& FakeFolder::AddOtherItem() {
  return state_->NewItem(*this, false);
}

FakeFolder* FakeFolder::Find(std::string_view folder_name) const {
  for (FakeFolder* folder : folders_)
    if (folder->name == folder_name)
      return folder;
  return nullptr;
}

int FakeControl::Click(std::int16_t* cancel_default) {
  State self = state_->shared_from_this();
  return FakeHostState::Raise(click_sinks_, [&](outlook::ButtonEventSink* sink) {
    ButtonRef button(self, *this);
    sink->OnClick(&button, cancel_default);
  });
}

// --- FakeHost.

FakeHost::FakeHost() : state_(std::make_shared<FakeHostState>()) {
  state_->host = this;
}

FakeHost::~FakeHost() {
  state_->host = nullptr;
}

FakeFolder& FakeHost::AddStore(std::string name) {
  return state_->stores.AddFolder(std::move(name));
}

FakeFolder& FakeHost::AddTypicalStore(std::string name) {
  FakeFolder& store = AddStore(std::move(name));
  const std::pair<const char*, std::int32_t> kFolders[] = {{"Deleted Items", host::kOlMailItem},
                                                           {"Inbox", host::kOlMailItem},
                                                           {"Outbox", host::kOlMailItem},
                                                           {"Sent Items", host::kOlMailItem},
                                                           {"Calendar", 1},
                                                           {"Contacts", 2},
                                                           {"Drafts", host::kOlMailItem},
                                                           {"Journal", 4},
                                                           {"Notes", 5},
                                                           {"Tasks", 3}};
  for (const auto& [folder_name, item_type] : kFolders)
    store.AddFolder(folder_name, item_type);
  return store;
}

FakeFolder& FakeHost::stores() {
  return state_->stores;
}

std::unique_ptr<host::Application> FakeHost::ApplicationRef() {
  return std::make_unique<class ApplicationRef>(state_);
}
std::unique_ptr<host::Folder> FakeHost::FolderRef(FakeFolder& folder) {
  return MakeFolderRef(state_, folder);
}
std::unique_ptr<host::Folders> FakeHost::FoldersRef(FakeFolder& parent) {
  return MakeFoldersRef(state_, parent);
}
std::unique_ptr<host::Items> FakeHost::ItemsRef(FakeFolder& folder) {
  return MakeItemsRef(state_, folder);
}
std::unique_ptr<host::Item> FakeHost::ItemRef(FakeItem& item) {
  return MakeItemRef(state_, item);
}
std::unique_ptr<host::MailItem> FakeHost::MailItemRef(FakeItem& item) {
  return MakeMailItemRef(state_, item);
}
std::unique_ptr<host::Message> FakeHost::MessageRef(FakeItem& item) {
  return MakeMessageRef(state_, item);
}

FakeFolder* FakeHost::FolderOf(const host::Folder& folder) const {
  auto* fake = dynamic_cast<const class FolderRef*>(&folder);
  return fake != nullptr ? &fake->folder() : nullptr;
}

int FakeHost::FireItemAdd(FakeItem& item) {
  return item.folder() != nullptr ? state_->RaiseItemAdd(item, *item.folder()) : 0;
}

int FakeHost::FireFolderAdd(FakeFolder& folder) {
  return folder.parent() != nullptr ? state_->RaiseFolderAdd(folder, *folder.parent()) : 0;
}

FakeItem& FakeHost::DeliverMail(FakeFolder& folder, std::string headers, std::string body,
                                std::string subject) {
  FakeItem& item = folder.AddMail(std::move(headers), std::move(body), std::move(subject));
  FireItemAdd(item);
  return item;
}

std::size_t FakeHost::pending_events() const {
  return state_->pending.size();
}

int FakeHost::DeliverPendingEvents() {
  int called = 0;
  while (!state_->pending.empty()) {
    FakeHostState::PendingEvent event = state_->pending.front();
    state_->pending.pop_front();
    called += event.item != nullptr ? state_->RaiseItemAdd(*event.item, *event.folder)
                                    : state_->RaiseFolderAdd(*event.added, *event.folder);
  }
  return called;
}

int FakeHost::LiveSubscriptions() const {
  std::size_t live = state_->stores.folder_add_subscriptions().size();
  for (const auto& folder : state_->folders)
    live += folder->item_add_subscriptions().size() + folder->folder_add_subscriptions().size();
  for (const auto& control : state_->controls)
    live += control->click_subscriptions().size();
  return static_cast<int>(live);
}

const std::vector<FakeCall>& FakeHost::calls() const {
  return state_->journal;
}

std::vector<FakeCall> FakeHost::CallsTo(std::string_view op) const {
  std::vector<FakeCall> found;
  for (const FakeCall& call : state_->journal)
    if (call.op == op)
      found.push_back(call);
  return found;
}

int FakeHost::CountCalls(std::string_view op) const {
  return static_cast<int>(std::count_if(state_->journal.begin(), state_->journal.end(),
                                        [op](const FakeCall& call) { return call.op == op; }));
}

void FakeHost::ClearCalls() {
  state_->journal.clear();
}

int FakeHost::LiveReferences() const {
  return state_->live_references;
}

const std::vector<FakeCommandBar*>& FakeHost::command_bars() const {
  return state_->bars;
}

const std::vector<FakeShortcut>& FakeHost::shortcuts() const {
  return state_->shortcuts;
}

FakeCommandBar* FakeHost::FindBar(std::string_view name) const {
  for (FakeCommandBar* bar : state_->bars)
    if (bar->name == name)
      return bar;
  return nullptr;
}

FakeControl* FakeHost::FindControl(std::string_view caption) const {
  for (const auto& control : state_->controls)
    if (control->caption == caption && !control->deleted)
      return control.get();
  return nullptr;
}

FailureRule& FakeHost::Fail(std::string op, HResult status, const void* target) {
  state_->rules.push_back(FailureRule{std::move(op), target, status, 0, -1});
  return state_->rules.back();
}

void FakeHost::ClearFailures() {
  state_->rules.clear();
}

std::unique_ptr<UserInterface> FakeHost::JournalingUserInterface(UserInterface& inner) {
  return std::make_unique<JournalingUi>(state_, inner);
}

Platform WithUserInterface(const Platform& base, UserInterface& ui) {
  return Platform{base.registry, base.clock, base.files, ui, base.faces, base.dialogs, base.xml};
}

}  // namespace varnox::testing
