#include "linux/cli/observed_host.h"

#include <list>
#include <string_view>

#include "host/command_bar.h"
#include "host/folder.h"
#include "host/item.h"
#include "host/message.h"

namespace varnox::cli {
namespace {

// What every wrapper of one application shares: the observer, and the
// wrapped event sinks, which the host may call until their subscription is
// cancelled and so live as long as any wrapper does.
struct Shared {
  std::shared_ptr<ItemObservers> observers;
  std::list<std::unique_ptr<host::ItemsEventSink>> item_sinks;
  std::list<std::unique_ptr<host::FoldersEventSink>> folder_sinks;
};
using SharedPtr = std::shared_ptr<Shared>;

class ObservedFolder;
const host::Folder& Unwrap(const host::Folder& folder);
host::Folder& Unwrap(host::Folder& folder);
std::unique_ptr<host::Folder> Wrap(std::unique_ptr<host::Folder> folder, const SharedPtr& shared);

// What the wrappers of one item tell: its moves and its saved headers.
struct ItemHooks {
  std::function<void(HResult)> on_move;
  std::function<void()> on_saved;
};

class ObservedMessage final : public host::Message {
 public:
  ObservedMessage(std::unique_ptr<host::Message> inner, std::shared_ptr<ObservedItem> record,
                  std::function<void()> on_saved)
      : inner_(std::move(inner)), record_(std::move(record)), on_saved_(std::move(on_saved)) {}
  HResult GetStringProperty(std::uint32_t tag, std::string* value) override {
    const HResult hr = inner_->GetStringProperty(tag, value);
    if (Succeeded(hr) && tag == host::kPrNormalizedSubject)
      record_->subject = *value;
    if (Succeeded(hr) && tag == host::kPrTransportMessageHeaders)
      headers_read_ = *value;
    return hr;
  }
  HResult SetStringProperty(std::uint32_t tag, std::string_view value) override {
    const HResult hr = inner_->SetStringProperty(tag, value);
    if (Succeeded(hr) && tag == host::kPrTransportMessageHeaders) {
      // The pipeline only ever appends to the headers it read.
      record_->appended += value.substr(0, headers_read_.size()) == headers_read_
                               ? value.substr(headers_read_.size())
                               : value;
      headers_read_ = std::string(value);
    }
    return hr;
  }
  HResult SaveChanges(std::uint32_t flags) override {
    const HResult hr = inner_->SaveChanges(flags);
    if (Succeeded(hr) && on_saved_)
      on_saved_();
    return hr;
  }

 private:
  std::unique_ptr<host::Message> inner_;
  std::shared_ptr<ObservedItem> record_;
  std::function<void()> on_saved_;
  std::string headers_read_;
};

class ObservedMailItem final : public host::MailItem {
 public:
  // The hooks, where set, are told of every move and save.
  ObservedMailItem(std::unique_ptr<host::MailItem> inner, std::shared_ptr<ObservedItem> record,
                   ItemHooks hooks = {})
      : inner_(std::move(inner)), record_(std::move(record)), hooks_(std::move(hooks)) {}
  HResult MapiMessage(std::unique_ptr<host::Message>* message) override {
    const HResult hr = inner_->MapiMessage(message);
    if (*message != nullptr)
      *message = std::make_unique<ObservedMessage>(std::move(*message), record_, hooks_.on_saved);
    return hr;
  }
  HResult Move(host::Folder& destination) override {
    const HResult hr = inner_->Move(Unwrap(destination));
    record_->move_status = hr;
    if (hooks_.on_move)
      hooks_.on_move(hr);
    return hr;
  }
  HResult MarkRead() override { return inner_->MarkRead(); }
  HResult Identity(std::string* identity) override { return inner_->Identity(identity); }

 private:
  std::unique_ptr<host::MailItem> inner_;
  std::shared_ptr<ObservedItem> record_;
  ItemHooks hooks_;
};

class ObservedItemRef final : public host::Item {
 public:
  ObservedItemRef(std::unique_ptr<host::Item> inner, std::shared_ptr<ObservedItem> record,
                  ItemHooks hooks = {})
      : inner_(std::move(inner)), record_(std::move(record)), hooks_(std::move(hooks)) {}
  HResult QueryMailItem(std::unique_ptr<host::MailItem>* mail) override {
    const HResult hr = inner_->QueryMailItem(mail);
    if (*mail != nullptr)
      *mail = std::make_unique<ObservedMailItem>(std::move(*mail), record_, hooks_);
    return hr;
  }

 private:
  std::unique_ptr<host::Item> inner_;
  std::shared_ptr<ObservedItem> record_;
  ItemHooks hooks_;
};

// Stands between the host and one of the add-in's folder watchers.
class ItemsSinkWrapper final : public host::ItemsEventSink {
 public:
  ItemsSinkWrapper(host::ItemsEventSink* inner, std::string folder, std::weak_ptr<Shared> shared)
      : inner_(inner), folder_(std::move(folder)), shared_(std::move(shared)) {}
  void OnItemAdd(std::unique_ptr<host::Item> item) override {
    if (item == nullptr) {
      inner_->OnItemAdd(nullptr);
      return;
    }
    const SharedPtr shared = shared_.lock();
    if (shared != nullptr && shared->observers->before)
      shared->observers->before();
    auto record = std::make_shared<ObservedItem>();
    record->folder = folder_;
    ItemHooks hooks;
    if (shared != nullptr && shared->observers->saved) {
      hooks.on_saved = [observers = shared->observers, record] {
        if (observers->saved)
          observers->saved(*record);
      };
    }
    inner_->OnItemAdd(std::make_unique<ObservedItemRef>(std::move(item), record, hooks));
    if (shared != nullptr && shared->observers->after)
      shared->observers->after(*record);
  }

 private:
  host::ItemsEventSink* inner_;
  std::string folder_;
  std::weak_ptr<Shared> shared_;  // which owns this wrapper
};

class FoldersSinkWrapper final : public host::FoldersEventSink {
 public:
  FoldersSinkWrapper(host::FoldersEventSink* inner, std::weak_ptr<Shared> shared)
      : inner_(inner), shared_(std::move(shared)) {}
  void OnFolderAdd(std::unique_ptr<host::Folder> folder) override;

 private:
  host::FoldersEventSink* inner_;
  std::weak_ptr<Shared> shared_;  // which owns this wrapper
};

class ObservedItems final : public host::Items {
 public:
  ObservedItems(std::unique_ptr<host::Items> inner, std::string folder, SharedPtr shared)
      : inner_(std::move(inner)), folder_(std::move(folder)), shared_(std::move(shared)) {}
  // A walk is counted first when someone follows walks: the items are
  // listed once more (cheap: a message is read only when asked for a text).
  HResult GetFirst(std::unique_ptr<host::Item>* item) override {
    if (shared_->observers->walk_started)
      shared_->observers->walk_started(folder_, CountItems());
    return Stepped(inner_->GetFirst(item));
  }
  HResult GetNext(std::unique_ptr<host::Item>* item) override {
    return Stepped(inner_->GetNext(item));
  }
  HResult Advise(host::ItemsEventSink* sink, host::Cookie* cookie) override {
    auto wrapper = std::make_unique<ItemsSinkWrapper>(sink, folder_, shared_);
    const HResult hr = inner_->Advise(wrapper.get(), cookie);
    if (Succeeded(hr))
      shared_->item_sinks.push_back(std::move(wrapper));
    return hr;
  }
  HResult Unadvise(host::Cookie cookie) override { return inner_->Unadvise(cookie); }

 private:
  int CountItems() {
    int total = 0;
    std::unique_ptr<host::Item> item;
    for (HResult hr = inner_->GetFirst(&item); Succeeded(hr) && item != nullptr;
         hr = inner_->GetNext(&item)) {
      ++total;
    }
    return total;
  }
  HResult Stepped(HResult hr) {
    if (shared_->observers->walk_step)
      shared_->observers->walk_step();
    return hr;
  }

  std::unique_ptr<host::Items> inner_;
  std::string folder_;
  SharedPtr shared_;
};

class ObservedFolders final : public host::Folders {
 public:
  ObservedFolders(std::unique_ptr<host::Folders> inner, SharedPtr shared)
      : inner_(std::move(inner)), shared_(std::move(shared)) {}
  HResult GetFirst(std::unique_ptr<host::Folder>* folder) override {
    return Wrapped(inner_->GetFirst(folder), folder);
  }
  HResult GetNext(std::unique_ptr<host::Folder>* folder) override {
    return Wrapped(inner_->GetNext(folder), folder);
  }
  HResult Add(std::string_view name, std::int32_t type,
              std::unique_ptr<host::Folder>* folder) override {
    return Wrapped(inner_->Add(name, type, folder), folder);
  }
  HResult Advise(host::FoldersEventSink* sink, host::Cookie* cookie) override {
    auto wrapper = std::make_unique<FoldersSinkWrapper>(sink, shared_);
    const HResult hr = inner_->Advise(wrapper.get(), cookie);
    if (Succeeded(hr))
      shared_->folder_sinks.push_back(std::move(wrapper));
    return hr;
  }
  HResult Unadvise(host::Cookie cookie) override { return inner_->Unadvise(cookie); }

 private:
  HResult Wrapped(HResult hr, std::unique_ptr<host::Folder>* folder) {
    *folder = Wrap(std::move(*folder), shared_);
    return hr;
  }
  std::unique_ptr<host::Folders> inner_;
  SharedPtr shared_;
};

class ObservedFolder final : public host::Folder {
 public:
  ObservedFolder(std::unique_ptr<host::Folder> inner, SharedPtr shared)
      : inner_(std::move(inner)), shared_(std::move(shared)) {}
  HResult Name(std::string* name) override { return inner_->Name(name); }
  HResult DefaultItemType(std::int32_t* type) override { return inner_->DefaultItemType(type); }
  HResult GetFolders(std::unique_ptr<host::Folders>* folders) override {
    const HResult hr = inner_->GetFolders(folders);
    if (*folders != nullptr)
      *folders = std::make_unique<ObservedFolders>(std::move(*folders), shared_);
    return hr;
  }
  HResult GetItems(std::unique_ptr<host::Items>* items) override {
    const HResult hr = inner_->GetItems(items);
    if (*items != nullptr) {
      std::string name;
      if (Failed(inner_->Name(&name)))
        name = "?";
      *items = std::make_unique<ObservedItems>(std::move(*items), std::move(name), shared_);
    }
    return hr;
  }
  HResult SetDescription(std::string_view description) override {
    return inner_->SetDescription(description);
  }
  bool IsSameFolder(const host::Folder& other) const override {
    return inner_->IsSameFolder(Unwrap(other));
  }
  host::Folder& inner() const { return *inner_; }

 private:
  std::unique_ptr<host::Folder> inner_;
  SharedPtr shared_;
};

void FoldersSinkWrapper::OnFolderAdd(std::unique_ptr<host::Folder> folder) {
  if (const SharedPtr shared = shared_.lock(); shared != nullptr)
    folder = Wrap(std::move(folder), shared);
  inner_->OnFolderAdd(std::move(folder));
}

class ObservedNameSpace final : public host::NameSpace {
 public:
  ObservedNameSpace(std::unique_ptr<host::NameSpace> inner, SharedPtr shared)
      : inner_(std::move(inner)), shared_(std::move(shared)) {}
  HResult GetFolders(std::unique_ptr<host::Folders>* roots) override {
    const HResult hr = inner_->GetFolders(roots);
    if (*roots != nullptr)
      *roots = std::make_unique<ObservedFolders>(std::move(*roots), shared_);
    return hr;
  }

 private:
  std::unique_ptr<host::NameSpace> inner_;
  SharedPtr shared_;
};

class ObservedSelection final : public host::Selection {
 public:
  ObservedSelection(std::unique_ptr<host::Selection> inner, SharedPtr shared)
      : inner_(std::move(inner)), shared_(std::move(shared)) {}
  HResult Class(std::int32_t* object_class) override { return inner_->Class(object_class); }
  HResult Count(std::int32_t* count) override { return inner_->Count(count); }
  HResult GetItem(std::int32_t index, std::unique_ptr<host::Item>* item) override {
    const HResult hr = inner_->GetItem(index, item);
    if (*item != nullptr) {
      const SharedPtr shared = shared_;
      ItemHooks hooks;
      hooks.on_move = [shared](HResult status) {
        if (shared->observers->selection_moved)
          shared->observers->selection_moved(status);
      };
      *item = std::make_unique<ObservedItemRef>(std::move(*item), std::make_shared<ObservedItem>(),
                                                std::move(hooks));
    }
    return hr;
  }

 private:
  std::unique_ptr<host::Selection> inner_;
  SharedPtr shared_;
};

// The explorer's folders are passed as they are; its selection is followed.
class ObservedExplorer final : public host::Explorer {
 public:
  ObservedExplorer(std::unique_ptr<host::Explorer> inner, SharedPtr shared)
      : inner_(std::move(inner)), shared_(std::move(shared)) {}
  HResult GetCommandBars(std::unique_ptr<host::CommandBars>* bars) override {
    return inner_->GetCommandBars(bars);
  }
  HResult GetSelection(std::unique_ptr<host::Selection>* selection) override {
    const HResult hr = inner_->GetSelection(selection);
    if (*selection != nullptr)
      *selection = std::make_unique<ObservedSelection>(std::move(*selection), shared_);
    return hr;
  }
  HResult CurrentFolder(std::unique_ptr<host::Folder>* folder) override {
    return inner_->CurrentFolder(folder);
  }
  HResult OutlookBarShortcuts(std::unique_ptr<host::OutlookBarShortcuts>* shortcuts) override {
    return inner_->OutlookBarShortcuts(shortcuts);
  }

 private:
  std::unique_ptr<host::Explorer> inner_;
  SharedPtr shared_;
};

class ObservedApplication final : public host::Application {
 public:
  ObservedApplication(std::unique_ptr<host::Application> inner, SharedPtr shared)
      : inner_(std::move(inner)), shared_(std::move(shared)) {}
  HResult Session(std::unique_ptr<host::NameSpace>* name_space) override {
    const HResult hr = inner_->Session(name_space);
    if (*name_space != nullptr)
      *name_space = std::make_unique<ObservedNameSpace>(std::move(*name_space), shared_);
    return hr;
  }
  HResult ActiveExplorer(std::unique_ptr<host::Explorer>* explorer) override {
    const HResult hr = inner_->ActiveExplorer(explorer);
    if (*explorer != nullptr)
      *explorer = std::make_unique<ObservedExplorer>(std::move(*explorer), shared_);
    return hr;
  }

 private:
  std::unique_ptr<host::Application> inner_;
  SharedPtr shared_;
};

const host::Folder& Unwrap(const host::Folder& folder) {
  const auto* observed = dynamic_cast<const ObservedFolder*>(&folder);
  return observed != nullptr ? observed->inner() : folder;
}

host::Folder& Unwrap(host::Folder& folder) {
  auto* observed = dynamic_cast<ObservedFolder*>(&folder);
  return observed != nullptr ? observed->inner() : folder;
}

std::unique_ptr<host::Folder> Wrap(std::unique_ptr<host::Folder> folder, const SharedPtr& shared) {
  if (folder == nullptr)
    return nullptr;
  return std::make_unique<ObservedFolder>(std::move(folder), shared);
}

std::string_view AfterPrefix(std::string_view text, std::string_view prefix) {
  const std::size_t at = text.find(prefix);
  if (at == std::string_view::npos)
    return {};
  text.remove_prefix(at + prefix.size());
  return text.substr(0, text.find_first_of("\r\n"));
}

}  // namespace

std::unique_ptr<host::Application> ObserveApplication(
    std::unique_ptr<host::Application> application, std::shared_ptr<ItemObservers> observers) {
  auto shared = std::make_shared<Shared>();
  shared->observers = std::move(observers);
  return std::make_unique<ObservedApplication>(std::move(application), std::move(shared));
}

std::optional<std::string> VerdictOf(const ObservedItem& item) {
  const std::string_view appended = item.appended;
  if (appended.empty())
    return std::nullopt;
  const std::string_view result = AfterPrefix(appended, "X-VNX-RESULT:");
  if (result.empty())
    return "black list: " + std::string(appended.substr(0, appended.find_first_of("\r\n")));
  const std::string_view score = AfterPrefix(appended, "X-VNX-SCORE:");
  return score.empty() ? std::string(result)
                       : std::string(result) + ", score " + std::string(score);
}

}  // namespace varnox::cli
