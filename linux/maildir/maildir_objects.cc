#include "linux/maildir/maildir_objects.h"

#include <algorithm>

#include "linux/maildir/folder_name.h"
#include "linux/maildir/maildir_message.h"
#include "linux/maildir/message_file.h"
#include "linux/maildir/message_file_name.h"
#include "platform/utf8.h"

namespace varnox::maildir {
namespace {

// The folders a collection lists: the stores; a store's top level (the
// Inbox, then the ".NAME" folders); or the direct sub-folders of ".A".
std::vector<FolderLocation> ListFolders(const HostState& state, const FolderLocation& parent) {
  std::vector<FolderLocation> folders;
  switch (parent.kind) {
    case FolderLocation::Kind::kStoreList:
      for (const std::string& root : state.stores)
        folders.push_back({FolderLocation::Kind::kStore, root, root, ""});
      break;
    case FolderLocation::Kind::kStore:
      folders.push_back({FolderLocation::Kind::kMail, parent.root, parent.root, ""});
      for (const std::string& name : ListFolderDirectories(parent.root)) {
        if (name.find('.', 1) == std::string::npos)
          folders.push_back(
              {FolderLocation::Kind::kMail, parent.root, parent.root + "/" + name, name});
      }
      break;
    case FolderLocation::Kind::kMail:
      if (parent.dir_name.empty())
        break;  // the Inbox's sub-folders are the store's top level
      for (const std::string& name : ListFolderDirectories(parent.root)) {
        if (name.size() > parent.dir_name.size() + 1 && name.starts_with(parent.dir_name + ".") &&
            name.find('.', parent.dir_name.size() + 1) == std::string::npos)
          folders.push_back(
              {FolderLocation::Kind::kMail, parent.root, parent.root + "/" + name, name});
      }
      break;
  }
  return folders;
}

class MaildirFolders final : public host::Folders {
 public:
  MaildirFolders(std::shared_ptr<HostState> state, FolderLocation parent)
      : state_(std::move(state)), parent_(std::move(parent)) {}

  HResult GetFirst(std::unique_ptr<host::Folder>* folder) override {
    snapshot_ = ListFolders(*state_, parent_);
    next_ = 0;
    return GetNext(folder);
  }
  HResult GetNext(std::unique_ptr<host::Folder>* folder) override {
    folder->reset();
    if (next_ < snapshot_.size())
      *folder = MakeFolder(state_, snapshot_[next_++]);
    return kSOk;
  }

  HResult Add(std::string_view name, std::int32_t type,
              std::unique_ptr<host::Folder>* folder) override {
    folder->reset();
    if (type != host::kOlFolderInbox)
      return kEInvalidArg;  // a Maildir holds mail only
    std::string parent_dir_name;
    if (parent_.kind == FolderLocation::Kind::kMail && !parent_.dir_name.empty())
      parent_dir_name = parent_.dir_name;
    else if (parent_.kind != FolderLocation::Kind::kStore)
      return kENotImpl;
    const std::optional<std::string> dir_name = FolderDirectoryName(parent_dir_name, name);
    if (!dir_name)
      return kEInvalidArg;
    const std::string dir = parent_.root + "/" + *dir_name;
    if (IsMaildir(dir))
      return kCollision;
    if (const HResult hr = CreateMaildir(dir, /*folder_marker=*/true); Failed(hr))
      return hr;
    *folder = MakeFolder(state_, {FolderLocation::Kind::kMail, parent_.root, dir, *dir_name});
    return kSOk;
  }

  HResult Advise(host::FoldersEventSink* sink, host::Cookie* cookie) override {
    if (sink == nullptr || cookie == nullptr)
      return kEPointer;
    // Folders are announced at a store's top level only.
    if (parent_.kind == FolderLocation::Kind::kStore) {
      if (const HResult hr = state_->watcher.WatchStore(parent_.root); Failed(hr))
        return hr;
    }
    *cookie = state_->next_cookie++;
    state_->folder_sinks.push_back(
        {*cookie, parent_.kind == FolderLocation::Kind::kStore ? parent_.root : std::string(),
         sink});
    return kSOk;
  }
  HResult Unadvise(host::Cookie cookie) override {
    return Cancel(state_->folder_sinks, cookie, [&](const HostState::FolderSink& s) {
      if (!s.root.empty())
        state_->watcher.UnwatchStore(s.root);
    });
  }

 private:
  std::shared_ptr<HostState> state_;
  FolderLocation parent_;
  std::vector<FolderLocation> snapshot_;
  std::size_t next_ = 0;
};

class MaildirItems final : public host::Items {
 public:
  MaildirItems(std::shared_ptr<HostState> state, FolderLocation folder)
      : state_(std::move(state)), folder_(std::move(folder)) {}

  HResult GetFirst(std::unique_ptr<host::Item>* item) override {
    snapshot_.clear();
    if (folder_.kind == FolderLocation::Kind::kMail)
      snapshot_ = ListMessages(folder_.dir);
    next_ = 0;
    return GetNext(item);
  }
  HResult GetNext(std::unique_ptr<host::Item>* item) override {
    item->reset();
    if (next_ < snapshot_.size())
      *item =
          MakeItem(std::make_shared<ItemLocation>(ItemLocation{folder_.dir, snapshot_[next_++]}));
    return kSOk;
  }

  HResult Advise(host::ItemsEventSink* sink, host::Cookie* cookie) override {
    if (sink == nullptr || cookie == nullptr)
      return kEPointer;
    if (folder_.kind != FolderLocation::Kind::kMail)
      return kENotImpl;
    if (const HResult hr = state_->watcher.WatchFolder(folder_.dir); Failed(hr))
      return hr;
    *cookie = state_->next_cookie++;
    state_->item_sinks.push_back({*cookie, folder_.dir, sink});
    return kSOk;
  }
  HResult Unadvise(host::Cookie cookie) override {
    return Cancel(state_->item_sinks, cookie,
                  [&](const HostState::ItemSink& s) { state_->watcher.UnwatchFolder(s.dir); });
  }

 private:
  std::shared_ptr<HostState> state_;
  FolderLocation folder_;
  std::vector<MessageEntry> snapshot_;
  std::size_t next_ = 0;
};

class MaildirFolder final : public host::Folder {
 public:
  MaildirFolder(std::shared_ptr<HostState> state, FolderLocation where)
      : state_(std::move(state)), where_(std::move(where)) {}

  const FolderLocation& where() const { return where_; }

  HResult Name(std::string* name) override {
    switch (where_.kind) {
      case FolderLocation::Kind::kStoreList:
        *name = "Stores";
        break;
      case FolderLocation::Kind::kStore:
        *name = utf8::ToCodePage1252(BaseName(where_.root));
        break;
      case FolderLocation::Kind::kMail:
        *name = where_.dir_name.empty()
                    ? std::string(kInboxName)
                    : DisplayFolderName(where_.dir_name.substr(where_.dir_name.rfind('.') + 1));
        break;
    }
    return kSOk;
  }
  HResult DefaultItemType(std::int32_t* type) override {
    *type = host::kOlMailItem;
    return kSOk;
  }
  HResult GetFolders(std::unique_ptr<host::Folders>* folders) override {
    *folders = std::make_unique<MaildirFolders>(state_, where_);
    return kSOk;
  }
  HResult GetItems(std::unique_ptr<host::Items>* items) override {
    *items = std::make_unique<MaildirItems>(state_, where_);
    return kSOk;
  }
  // Maildir keeps no folder descriptions.
  HResult SetDescription(std::string_view) override { return kSOk; }

  bool IsSameFolder(const host::Folder& other) const override {
    const auto* folder = dynamic_cast<const MaildirFolder*>(&other);
    return folder != nullptr && folder->where_ == where_;
  }

 private:
  std::shared_ptr<HostState> state_;
  FolderLocation where_;
};

class MaildirMailItem final : public host::MailItem {
 public:
  explicit MaildirMailItem(std::shared_ptr<ItemLocation> where) : where_(std::move(where)) {}

  HResult MapiMessage(std::unique_ptr<host::Message>* message) override {
    message->reset();
    if (!where_->Resolve())
      return kMapiENotFound;  // deleted by a mail program: skipped
    *message = std::make_unique<MaildirMessage>(where_);
    return kSOk;
  }

  // A rename into the same sub-directory of the destination, keeping the
  // file name (unique name and flags). Never replaces a file there.
  HResult Move(host::Folder& destination) override {
    const auto* folder = dynamic_cast<const MaildirFolder*>(&destination);
    if (folder == nullptr || folder->where().kind != FolderLocation::Kind::kMail)
      return kEInvalidArg;
    const std::optional<MessageEntry> entry = where_->Resolve();
    if (!entry)
      return kMapiENotFound;
    const std::string& to_dir = folder->where().dir;
    if (to_dir == where_->dir)
      return kSOk;
    const HResult hr =
        RenameNoReplace(MessagePath(where_->dir, *entry), MessagePath(to_dir, *entry));
    if (Succeeded(hr))
      *where_ = ItemLocation{to_dir, *entry};
    return hr;
  }

  // The Maildir "seen" flag: a message in new/ goes to cur/ with ":2,S".
  HResult MarkRead() override {
    const std::optional<MessageEntry> entry = where_->Resolve();
    if (!entry)
      return kMapiENotFound;
    const MessageEntry read{"cur", WithFlag(entry->name, 'S')};
    if (read == *entry)
      return kSOk;
    const HResult hr =
        RenameNoReplace(MessagePath(where_->dir, *entry), MessagePath(where_->dir, read));
    if (Succeeded(hr))
      where_->entry = read;
    return hr;
  }

  // The unique name: kept by moves and by flag changes alike.
  HResult Identity(std::string* identity) override {
    const std::optional<MessageEntry> entry = where_->Resolve();
    if (!entry)
      return kMapiENotFound;
    *identity = std::string(UniqueName(entry->name));
    return kSOk;
  }

 private:
  std::shared_ptr<ItemLocation> where_;
};

class MaildirItem final : public host::Item {
 public:
  explicit MaildirItem(std::shared_ptr<ItemLocation> where) : where_(std::move(where)) {}
  // Every file of a Maildir folder is a mail message.
  HResult QueryMailItem(std::unique_ptr<host::MailItem>* mail) override {
    *mail = std::make_unique<MaildirMailItem>(where_);
    return kSOk;
  }

 private:
  std::shared_ptr<ItemLocation> where_;
};

// The namespace: its folders are the stores.
class StoreNameSpace final : public host::NameSpace {
 public:
  explicit StoreNameSpace(std::shared_ptr<HostState> state) : state_(std::move(state)) {}
  HResult GetFolders(std::unique_ptr<host::Folders>* roots) override {
    std::unique_ptr<host::Folder> stores =
        MakeFolder(state_, {FolderLocation::Kind::kStoreList, "", "", ""});
    return stores->GetFolders(roots);
  }

 private:
  std::shared_ptr<HostState> state_;
};

class MaildirApplication final : public host::Application {
 public:
  explicit MaildirApplication(std::shared_ptr<HostState> state) : state_(std::move(state)) {}
  HResult Session(std::unique_ptr<host::NameSpace>* name_space) override {
    *name_space = std::make_unique<StoreNameSpace>(state_);
    return kSOk;
  }

 private:
  std::shared_ptr<HostState> state_;
};

}  // namespace

FolderLocation MailFolderAt(const std::string& dir) {
  const std::string name = BaseName(dir);
  if (name.size() > 1 && name[0] == '.')
    return {FolderLocation::Kind::kMail, ParentDirectory(dir), dir, name};
  return {FolderLocation::Kind::kMail, dir, dir, ""};
}

std::optional<MessageEntry> ItemLocation::Resolve() {
  std::optional<MessageEntry> found = FindMessage(dir, UniqueName(entry.name), &entry);
  if (found)
    entry = *found;
  return found;
}

std::unique_ptr<host::Folder> MakeFolder(std::shared_ptr<HostState> state, FolderLocation where) {
  return std::make_unique<MaildirFolder>(std::move(state), std::move(where));
}

std::unique_ptr<host::Item> MakeItem(std::shared_ptr<ItemLocation> where) {
  return std::make_unique<MaildirItem>(std::move(where));
}

std::unique_ptr<host::Application> MakeApplication(std::shared_ptr<HostState> state) {
  return std::make_unique<MaildirApplication>(std::move(state));
}

}  // namespace varnox::maildir
