// Adapters of the Outlook object model: application, namespace, explorer,
// selection, Outlook Bar shortcuts, folders, items and mail items.
#include <string>

#include "win/outlook/mapi_message.h"
#include "win/outlook/outlook_ids.h"
#include "win/outlook/outlook_session.h"

namespace varnox::win {
namespace {

using SessionPtr = std::shared_ptr<OutlookSession>;

// What every adapter holds: its host object and the session it came from.
class Adapter {
 public:
  Adapter(SessionPtr session, DispatchObject object)
      : session_(std::move(session)), object_(std::move(object)) {}
  const DispatchObject& object() const { return object_; }

 protected:
  SessionPtr session_;
  DispatchObject object_;
};

class OutlookFolder final : public host::Folder, public Adapter {
 public:
  using Adapter::Adapter;

  HResult Name(std::string* name) override { return object_.GetText(L"Name", name); }
  HResult DefaultItemType(std::int32_t* type) override {
    return object_.GetInt(L"DefaultItemType", type);
  }
  HResult GetFolders(std::unique_ptr<host::Folders>* folders) override {
    DispatchObject result;
    HResult hr = object_.GetObjectProperty(L"Folders", &result);
    return WrapAnswer(hr, std::move(result), folders,
                      [&](DispatchObject o) { return session_->WrapFolders(std::move(o)); });
  }
  HResult GetItems(std::unique_ptr<host::Items>* items) override {
    DispatchObject result;
    HResult hr = object_.GetObjectProperty(L"Items", &result);
    return WrapAnswer(hr, std::move(result), items,
                      [&](DispatchObject o) { return session_->WrapItems(std::move(o)); });
  }
  HResult SetDescription(std::string_view description) override {
    return object_.Put(L"Description", Variant::Text(description));
  }
  // The host's identity of a folder is its entry id within its store; the
  // two references are compared as objects only when those cannot be read.
  bool IsSameFolder(const host::Folder& other) const override {
    auto* outlook = dynamic_cast<const OutlookFolder*>(&other);
    if (outlook == nullptr)
      return false;
    std::string entry, other_entry, store, other_store;
    if (Succeeded(object_.GetText(L"EntryID", &entry)) &&
        Succeeded(outlook->object_.GetText(L"EntryID", &other_entry)) &&
        Succeeded(object_.GetText(L"StoreID", &store)) &&
        Succeeded(outlook->object_.GetText(L"StoreID", &other_store))) {
      return entry == other_entry && store == other_store;
    }
    ComPtr<IUnknown> mine, theirs;
    object_.get()->QueryInterface(IID_PPV_ARGS(&mine));
    outlook->object_.get()->QueryInterface(IID_PPV_ARGS(&theirs));
    return mine.Get() == theirs.Get();
  }
};

class OutlookFolders final : public host::Folders, public Adapter {
 public:
  using Adapter::Adapter;

  HResult GetFirst(std::unique_ptr<host::Folder>* folder) override {
    return Step(L"GetFirst", folder);
  }
  HResult GetNext(std::unique_ptr<host::Folder>* folder) override {
    return Step(L"GetNext", folder);
  }
  HResult Add(std::string_view name, std::int32_t type,
              std::unique_ptr<host::Folder>* folder) override {
    std::vector<Variant> arguments;
    arguments.push_back(Variant::Text(name));
    arguments.push_back(Variant::Int(type));
    DispatchObject result;
    HResult hr = object_.CallForObject(L"Add", std::move(arguments), &result);
    return WrapAnswer(
        hr, std::move(result), folder,
        [&](DispatchObject o) { return session_->WrapFolder(std::move(o)); }, Nothing::kIsFailure);
  }
  HResult Advise(host::FoldersEventSink* sink, host::Cookie* cookie) override {
    return session_->AdviseFolders(object_, sink, cookie);
  }
  HResult Unadvise(host::Cookie cookie) override {
    return session_->Unadvise(object_, kDiidFoldersEvents, cookie);
  }

 private:
  HResult Step(const wchar_t* method, std::unique_ptr<host::Folder>* folder) {
    DispatchObject result;
    HResult hr = object_.CallForObject(method, {}, &result);
    return WrapAnswer(hr, std::move(result), folder,
                      [&](DispatchObject o) { return session_->WrapFolder(std::move(o)); });
  }
};

class OutlookMailItem final : public host::MailItem, public Adapter {
 public:
  using Adapter::Adapter;

  HResult MapiMessage(std::unique_ptr<host::Message>* message) override {
    message->reset();
    Variant result;
    HResult hr = object_.Get(L"MAPIOBJECT", &result);
    if (Failed(hr))
      return hr;
    const VARIANT& v = result.value();
    IUnknown* mapi_object = v.vt == VT_UNKNOWN    ? v.punkVal
                            : v.vt == VT_DISPATCH ? static_cast<IUnknown*>(v.pdispVal)
                                                  : nullptr;
    return OpenMapiMessage(mapi_object, message);
  }
  HResult Move(host::Folder& destination) override {
    auto* folder = dynamic_cast<OutlookFolder*>(&destination);
    if (folder == nullptr)
      return kEInvalidArg;
    std::vector<Variant> arguments;
    arguments.push_back(Variant::Object(folder->object().get()));
    Variant result;  // the item in its new folder, released at once
    const HResult hr = object_.Call(L"Move", std::move(arguments), &result);
    // A move may give the item a new EntryID: the moved item's is the one
    // its new folder's ItemAdd will show.
    moved_identity_.clear();
    DispatchObject moved;
    if (Succeeded(hr) && Succeeded(ObjectOf(result, &moved)) && moved)
      moved.GetText(L"EntryID", &moved_identity_);
    return hr;
  }
  HResult MarkRead() override {
    HResult hr = object_.Put(L"UnRead", Variant::Bool(false));
    if (Failed(hr))
      return hr;
    return object_.Call(L"Save", {});
  }
  HResult Identity(std::string* identity) override {
    if (!moved_identity_.empty()) {
      *identity = moved_identity_;
      return kSOk;
    }
    return object_.GetText(L"EntryID", identity);
  }

 private:
  std::string moved_identity_;  // the EntryID after the last Move, when known
};

class OutlookItem final : public host::Item, public Adapter {
 public:
  using Adapter::Adapter;

  HResult QueryMailItem(std::unique_ptr<host::MailItem>* mail) override {
    mail->reset();
    IDispatch* mail_item = nullptr;
    HRESULT hr = object_.get()->QueryInterface(kIidMailItem, reinterpret_cast<void**>(&mail_item));
    if (FAILED(hr) || mail_item == nullptr)
      return kENoInterface;
    ComPtr<IDispatch> held;
    held.Attach(mail_item);  // _MailItem is a dual interface: an IDispatch
    *mail = std::make_unique<OutlookMailItem>(session_, DispatchObject(std::move(held)));
    return kSOk;
  }
};

class OutlookItems final : public host::Items, public Adapter {
 public:
  using Adapter::Adapter;

  HResult GetFirst(std::unique_ptr<host::Item>* item) override { return Step(L"GetFirst", item); }
  HResult GetNext(std::unique_ptr<host::Item>* item) override { return Step(L"GetNext", item); }
  HResult Advise(host::ItemsEventSink* sink, host::Cookie* cookie) override {
    return session_->AdviseItems(object_, sink, cookie);
  }
  HResult Unadvise(host::Cookie cookie) override {
    return session_->Unadvise(object_, kDiidItemsEvents, cookie);
  }

 private:
  HResult Step(const wchar_t* method, std::unique_ptr<host::Item>* item) {
    DispatchObject result;
    HResult hr = object_.CallForObject(method, {}, &result);
    return WrapAnswer(hr, std::move(result), item,
                      [&](DispatchObject o) { return session_->WrapItem(std::move(o)); });
  }
};

class OutlookSelection final : public outlook::Selection, public Adapter {
 public:
  using Adapter::Adapter;

  HResult Class(std::int32_t* object_class) override {
    return object_.GetInt(L"Class", object_class);
  }
  HResult Count(std::int32_t* count) override { return object_.GetInt(L"Count", count); }
  HResult GetItem(std::int32_t index, std::unique_ptr<host::Item>* item) override {
    std::vector<Variant> arguments;
    arguments.push_back(Variant::Int(index));
    DispatchObject result;
    HResult hr = object_.CallForObject(L"Item", std::move(arguments), &result);
    return WrapAnswer(hr, std::move(result), item,
                      [&](DispatchObject o) { return session_->WrapItem(std::move(o)); });
  }
};

class OutlookBarShortcutsAdapter final : public outlook::OutlookBarShortcuts, public Adapter {
 public:
  using Adapter::Adapter;

  HResult Add(host::Folder& target, std::string_view name, std::int32_t index) override {
    auto* folder = dynamic_cast<OutlookFolder*>(&target);
    if (folder == nullptr)
      return kEInvalidArg;
    std::vector<Variant> arguments;
    arguments.push_back(Variant::Object(folder->object().get()));
    arguments.push_back(Variant::Text(name));
    arguments.push_back(Variant::Int(index));
    Variant shortcut;
    return object_.Call(L"Add", std::move(arguments), &shortcut);
  }
};

// One step of a chain of object reads: a failure, or nothing, ends it.
HResult Step(HResult hr, const DispatchObject& result) {
  return Failed(hr) ? hr : (result ? kSOk : kEFail);
}

class OutlookExplorer final : public outlook::Explorer, public Adapter {
 public:
  using Adapter::Adapter;

  HResult GetCommandBars(std::unique_ptr<outlook::CommandBars>* bars) override {
    DispatchObject result;
    HResult hr = object_.GetObjectProperty(L"CommandBars", &result);
    return WrapAnswer(hr, std::move(result), bars,
                      [&](DispatchObject o) { return session_->WrapCommandBars(std::move(o)); });
  }
  HResult GetSelection(std::unique_ptr<outlook::Selection>* selection) override {
    DispatchObject result;
    HResult hr = object_.GetObjectProperty(L"Selection", &result);
    return WrapAnswer(hr, std::move(result), selection, [&](DispatchObject o) {
      return std::make_unique<OutlookSelection>(session_, std::move(o));
    });
  }
  HResult CurrentFolder(std::unique_ptr<host::Folder>* folder) override {
    DispatchObject result;
    HResult hr = object_.GetObjectProperty(L"CurrentFolder", &result);
    return WrapAnswer(hr, std::move(result), folder,
                      [&](DispatchObject o) { return session_->WrapFolder(std::move(o)); });
  }
  // Panes.Item(1).Contents.Groups.Item(1).Shortcuts, late bound: a first
  // pane that is not the Outlook Bar has no Contents, and the chain ends.
  HResult OutlookBarShortcuts(std::unique_ptr<outlook::OutlookBarShortcuts>* shortcuts) override {
    shortcuts->reset();
    DispatchObject panes, pane, contents, groups, group, result;
    HResult hr = Step(object_.GetObjectProperty(L"Panes", &panes), panes);
    if (Succeeded(hr))
      hr = Step(ItemOne(panes, &pane), pane);
    if (Succeeded(hr))
      hr = Step(pane.GetObjectProperty(L"Contents", &contents), contents);
    if (Succeeded(hr))
      hr = Step(contents.GetObjectProperty(L"Groups", &groups), groups);
    if (Succeeded(hr))
      hr = Step(ItemOne(groups, &group), group);
    if (Succeeded(hr))
      hr = Step(group.GetObjectProperty(L"Shortcuts", &result), result);
    if (Succeeded(hr))
      *shortcuts = std::make_unique<OutlookBarShortcutsAdapter>(session_, std::move(result));
    return hr;
  }

 private:
  static HResult ItemOne(const DispatchObject& collection, DispatchObject* item) {
    std::vector<Variant> arguments;
    arguments.push_back(Variant::Int(1));
    return collection.CallForObject(L"Item", std::move(arguments), item);
  }
};

class OutlookNameSpace final : public host::NameSpace, public Adapter {
 public:
  using Adapter::Adapter;

  HResult GetFolders(std::unique_ptr<host::Folders>* roots) override {
    DispatchObject result;
    HResult hr = object_.GetObjectProperty(L"Folders", &result);
    return WrapAnswer(hr, std::move(result), roots,
                      [&](DispatchObject o) { return session_->WrapFolders(std::move(o)); });
  }
};

// The application answers as a set of stores and as the window side the
// add-in asks for its explorer.
class OutlookApplication final : public host::Application,
                                 public outlook::Application,
                                 public Adapter {
 public:
  using Adapter::Adapter;

  HResult Session(std::unique_ptr<host::NameSpace>* name_space) override {
    DispatchObject result;
    HResult hr = object_.GetObjectProperty(L"Session", &result);
    return WrapAnswer(
        hr, std::move(result), name_space,
        [&](DispatchObject o) {
          return std::make_unique<OutlookNameSpace>(session_, std::move(o));
        },
        Nothing::kIsFailure);
  }
  HResult ActiveExplorer(std::unique_ptr<outlook::Explorer>* explorer) override {
    DispatchObject result;
    HResult hr = object_.CallForObject(L"ActiveExplorer", {}, &result);
    return WrapAnswer(hr, std::move(result), explorer,
                      [&](DispatchObject o) { return session_->WrapExplorer(std::move(o)); });
  }
};

}  // namespace

std::unique_ptr<host::Application> OutlookSession::WrapApplication(IDispatch* application) {
  if (application == nullptr)
    return nullptr;
  return std::make_unique<OutlookApplication>(shared_from_this(),
                                              DispatchObject(ComPtr<IDispatch>(application)));
}

std::unique_ptr<host::Folder> OutlookSession::WrapFolder(DispatchObject folder) {
  return folder ? std::make_unique<OutlookFolder>(shared_from_this(), std::move(folder)) : nullptr;
}
std::unique_ptr<host::Folders> OutlookSession::WrapFolders(DispatchObject folders) {
  return folders ? std::make_unique<OutlookFolders>(shared_from_this(), std::move(folders))
                 : nullptr;
}
std::unique_ptr<host::Item> OutlookSession::WrapItem(DispatchObject item) {
  return item ? std::make_unique<OutlookItem>(shared_from_this(), std::move(item)) : nullptr;
}
std::unique_ptr<host::Items> OutlookSession::WrapItems(DispatchObject items) {
  return items ? std::make_unique<OutlookItems>(shared_from_this(), std::move(items)) : nullptr;
}
std::unique_ptr<outlook::Explorer> OutlookSession::WrapExplorer(DispatchObject explorer) {
  return explorer ? std::make_unique<OutlookExplorer>(shared_from_this(), std::move(explorer))
                  : nullptr;
}

}  // namespace varnox::win
