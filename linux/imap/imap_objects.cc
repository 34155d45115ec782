// The host objects of an IMAP store (host/*.h) over its shared state.
#include <algorithm>
#include <deque>

#include "host/folder.h"
#include "host/item.h"
#include "host/message.h"
#include "linux/imap/imap_store_state.h"
#include "linux/imap/mailbox_name.h"
#include "mime/mime_reader.h"
#include "platform/code_page.h"
#include "platform/utf8.h"

namespace varnox {
namespace {

// What a folder reference names: the list of stores, the account, or one
// of its mail folders (by wire name; the spam folder by `spam`, since its
// wire name may be found only once a connection lists the folders).
struct FolderRef {
  enum class Kind { kStoreList, kAccount, kMail };
  Kind kind = Kind::kMail;
  std::string wire;
  bool spam = false;
  bool operator==(const FolderRef&) const = default;
};

using StatePtr = std::shared_ptr<ImapStore::State>;

std::unique_ptr<host::Folder> MakeFolder(StatePtr state, FolderRef ref);

// The wire name a reference names now; empty for the spam folder not yet
// found.
std::string WireOf(const ImapStore::State& state, const FolderRef& ref) {
  return ref.spam ? state.spam : ref.wire;
}

// The account's top level: its watched folders, its spam folder, then the
// other selectable folders the last LIST gave, each once.
std::vector<FolderRef> TopLevel(const ImapStore::State& state) {
  std::vector<FolderRef> refs;
  std::vector<std::string> seen;
  for (const std::string& wire : state.watched) {
    refs.push_back({FolderRef::Kind::kMail, wire, false});
    seen.push_back(wire);
  }
  refs.push_back({FolderRef::Kind::kMail, "", true});
  seen.push_back(state.spam);
  for (const ImapFolder& folder : state.listed) {
    if (folder.Has("\\Noselect") || folder.Has("\\NonExistent") ||
        std::find(seen.begin(), seen.end(), folder.wire_name) != seen.end() ||
        !NoteCanName(folder.wire_name))
      continue;
    // A folder of the spam folder's shown name that is not the spam folder
    // would be taken for it: it is not shown.
    if (code_page::EqualsIgnoreCase(state.DisplayName(folder.wire_name), "SpamFilter"))
      continue;
    refs.push_back({FolderRef::Kind::kMail, folder.wire_name, false});
    seen.push_back(folder.wire_name);
  }
  return refs;
}

class ImapHostFolders final : public host::Folders {
 public:
  ImapHostFolders(StatePtr state, FolderRef parent)
      : state_(std::move(state)), parent_(std::move(parent)) {}

  HResult GetFirst(std::unique_ptr<host::Folder>* folder) override {
    snapshot_.clear();
    next_ = 0;
    if (parent_.kind == FolderRef::Kind::kStoreList) {
      snapshot_.push_back({FolderRef::Kind::kAccount, "", false});
    } else if (parent_.kind == FolderRef::Kind::kAccount) {
      // A connection at hand lists the folders anew; without one, what is
      // known is shown.
      ImapResult result;
      if (ImapClient* client = state_->ClientFor("", 0, &result, nullptr))
        state_->FindFolders(*client);
      snapshot_ = TopLevel(*state_);
    }
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
      return kEInvalidArg;
    if (parent_.kind != FolderRef::Kind::kAccount)
      return kENotImpl;  // the top level holds every folder by its whole name
    ImapResult result;
    ImapClient* client = state_->ClientFor("", 0, &result, nullptr);
    if (client == nullptr)
      return kEFail;
    if (code_page::EqualsIgnoreCase(name, "SpamFilter")) {
      if (!state_->FindFolders(*client).ok() || state_->spam.empty())
        return kEFail;
      *folder = MakeFolder(state_, {FolderRef::Kind::kMail, "", true});
      return kSOk;
    }
    std::string wire;
    if (!EncodeMailboxName(utf8::FromCodePage1252(name), &wire) || !NoteCanName(wire))
      return kEInvalidArg;
    if (!client->CreateFolder(wire).ok())
      return kEFail;
    state_->FindFolders(*client);
    *folder = MakeFolder(state_, {FolderRef::Kind::kMail, wire, false});
    return kSOk;
  }

  // Folders made on the server later are not announced: the account file
  // names the folders watched.
  HResult Advise(host::FoldersEventSink* sink, host::Cookie* cookie) override {
    if (sink == nullptr || cookie == nullptr)
      return kEPointer;
    *cookie = state_->next_cookie++;
    cookies_.push_back(*cookie);
    return kSOk;
  }
  HResult Unadvise(host::Cookie cookie) override {
    const auto it = std::find(cookies_.begin(), cookies_.end(), cookie);
    if (it == cookies_.end())
      return kEInvalidArg;
    cookies_.erase(it);
    return kSOk;
  }

 private:
  StatePtr state_;
  FolderRef parent_;
  std::vector<FolderRef> snapshot_;
  std::size_t next_ = 0;
  std::vector<host::Cookie> cookies_;
};

// The messages of a folder, for an operation that walks it (training): the
// UIDs at GetFirst, the messages fetched whole a batch at a time as the walk
// reaches them.
class ImapHostItems final : public host::Items {
 public:
  ImapHostItems(StatePtr state, FolderRef folder)
      : state_(std::move(state)), folder_(std::move(folder)) {}

  HResult GetFirst(std::unique_ptr<host::Item>* item) override {
    item->reset();
    uids_.clear();
    batch_.clear();
    next_ = 0;
    ImapResult result;
    const std::string wire = WireOf(*state_, folder_);
    ImapClient* client = wire.empty() ? nullptr : state_->ClientFor(wire, 0, &result, &validity_);
    if (client == nullptr || !client->SearchUidsFrom(1, &uids_).ok())
      return kEFail;
    return GetNext(item);
  }

  HResult GetNext(std::unique_ptr<host::Item>* item) override {
    item->reset();
    while (next_ < uids_.size()) {
      if (batch_.empty()) {
        std::size_t covered = 0;
        if (const HResult hr = FetchFrom(next_, &covered); Failed(hr))
          return hr;
        if (batch_.empty()) {
          next_ = covered;  // all of them removed meanwhile
          continue;
        }
      }
      ImapMessage found = std::move(batch_.front());
      batch_.pop_front();
      while (next_ < uids_.size() && uids_[next_] <= found.uid)
        ++next_;
      if (found.too_large)
        continue;  // too large to read
      auto message = std::make_shared<ImapMessageState>();
      message->folder = WireOf(*state_, folder_);
      message->validity = validity_;
      message->uid = found.uid;
      message->flags = std::move(found.flags);
      message->date = found.internal_date;
      message->raw = std::move(found.content);
      message->have_raw = true;
      *item = MakeImapItem(state_, std::move(message));
      return kSOk;
    }
    return kSOk;
  }

  // Items are announced by the store's watch (ImapStore), for the folders
  // the account watches and its spam folder.
  HResult Advise(host::ItemsEventSink* sink, host::Cookie* cookie) override {
    if (sink == nullptr || cookie == nullptr)
      return kEPointer;
    const std::string wire = folder_.spam ? "" : folder_.wire;
    const bool watched = folder_.spam || std::find(state_->watched.begin(), state_->watched.end(),
                                                   wire) != state_->watched.end();
    if (folder_.kind != FolderRef::Kind::kMail || !watched)
      return kENotImpl;
    *cookie = state_->next_cookie++;
    state_->sinks.push_back({*cookie, wire, sink});
    if (state_->options.watch && !wire.empty())
      state_->LinkOf(wire);
    return kSOk;
  }
  HResult Unadvise(host::Cookie cookie) override {
    auto& sinks = state_->sinks;
    const auto it = std::find_if(sinks.begin(), sinks.end(), [&](const ImapStore::State::Sink& s) {
      return s.cookie == cookie;
    });
    if (it == sinks.end())
      return kEInvalidArg;
    sinks.erase(it);
    return kSOk;
  }

 private:
  // Fetches the messages from uids_[first] on, as many as one batch of the
  // client's holds; *covered is the index of the first UID not looked at.
  HResult FetchFrom(std::size_t first, std::size_t* covered) {
    ImapResult result;
    const std::string wire = WireOf(*state_, folder_);
    ImapClient* client = state_->ClientFor(wire, validity_, &result, nullptr);
    if (client == nullptr)
      return kEFail;
    const std::size_t last = std::min(uids_.size(), first + kSizesAtOnce);
    const std::vector<std::uint32_t> wanted(uids_.begin() + static_cast<long>(first),
                                            uids_.begin() + static_cast<long>(last));
    std::vector<std::uint32_t> group;
    std::size_t bytes = 0;
    result = client->Fetch(wanted, kFetchSize, [&](ImapMessage& m) {
      if (!group.empty() && bytes + m.size > state_->options.client.fetch_batch_bytes)
        return false;
      group.push_back(m.uid);
      bytes += m.size;
      return true;
    });
    if (!result.ok() && result.status != ImapStatus::kStopped)
      return kEFail;
    *covered = last;
    if (result.status == ImapStatus::kStopped)
      *covered = static_cast<std::size_t>(
          std::upper_bound(uids_.begin(), uids_.end(), group.back()) - uids_.begin());
    result =
        client->Fetch(group, kFetchFlags | kFetchInternalDate | kFetchContent, [&](ImapMessage& m) {
          batch_.push_back(std::move(m));
          return true;
        });
    return result.ok() ? kSOk : kEFail;
  }

  static constexpr std::size_t kSizesAtOnce = 500;

  StatePtr state_;
  FolderRef folder_;
  std::uint32_t validity_ = 0;
  std::vector<std::uint32_t> uids_;
  std::size_t next_ = 0;
  std::deque<ImapMessage> batch_;  // ascending UIDs
};

class ImapHostFolder final : public host::Folder {
 public:
  ImapHostFolder(StatePtr state, FolderRef ref) : state_(std::move(state)), ref_(std::move(ref)) {}

  const FolderRef& ref() const { return ref_; }
  const ImapStore::State* state() const { return state_.get(); }

  HResult Name(std::string* name) override {
    switch (ref_.kind) {
      case FolderRef::Kind::kStoreList:
        *name = "Accounts";
        break;
      case FolderRef::Kind::kAccount:
        *name = utf8::ToCodePage1252(state_->stores.front());
        break;
      case FolderRef::Kind::kMail:
        *name = ref_.spam ? "SpamFilter" : state_->DisplayName(ref_.wire);
        break;
    }
    return kSOk;
  }
  HResult DefaultItemType(std::int32_t* type) override {
    *type = host::kOlMailItem;
    return kSOk;
  }
  HResult GetFolders(std::unique_ptr<host::Folders>* folders) override {
    *folders = std::make_unique<ImapHostFolders>(state_, ref_);
    return kSOk;
  }
  HResult GetItems(std::unique_ptr<host::Items>* items) override {
    *items = std::make_unique<ImapHostItems>(state_, ref_);
    return kSOk;
  }
  HResult SetDescription(std::string_view) override { return kSOk; }
  bool IsSameFolder(const host::Folder& other) const override {
    const auto* folder = dynamic_cast<const ImapHostFolder*>(&other);
    if (folder == nullptr || folder->state_ != state_)
      return false;
    return folder->ref_ == ref_ ||
           (ref_.kind == FolderRef::Kind::kMail && folder->ref_.kind == FolderRef::Kind::kMail &&
            !WireOf(*state_, ref_).empty() &&
            WireOf(*state_, ref_) == WireOf(*state_, folder->ref_));
  }

 private:
  StatePtr state_;
  FolderRef ref_;
};

class ImapHostMessage final : public host::Message {
 public:
  ImapHostMessage(StatePtr state, std::shared_ptr<ImapMessageState> message)
      : state_(std::move(state)), message_(std::move(message)) {}

  HResult GetStringProperty(std::uint32_t tag, std::string* value) override {
    if (tag != host::kPrTransportMessageHeaders && tag != host::kPrBody &&
        tag != host::kPrNormalizedSubject)
      return kMapiENotFound;
    if (!message_->have_raw)
      return kMapiENotFound;
    if (tag == host::kPrTransportMessageHeaders) {
      const std::optional<std::string> headers =
          written_ ? written_
                   : mime::TransportHeaders(message_->raw, mime::FindHeaderBlock(message_->raw));
      if (!headers)
        return kMapiENotFound;
      *value = *headers;
      return kSOk;
    }
    if (!texts_) {
      try {
        texts_ = mime::ReadMimeTexts(message_->raw);
      } catch (...) {
        return kEOutOfMemory;
      }
    }
    *value = tag == host::kPrBody ? texts_->body : texts_->subject;
    return kSOk;
  }

  // Only the transport headers, and only by appending to them.
  HResult SetStringProperty(std::uint32_t tag, std::string_view value) override {
    if (tag != host::kPrTransportMessageHeaders)
      return kENotImpl;
    std::string current;
    if (const HResult hr = GetStringProperty(tag, &current); Failed(hr))
      return hr;
    if (!value.starts_with(current))
      return kEInvalidArg;
    if (!written_)
      read_ = current;
    written_ = std::string(value);
    return kSOk;
  }

  // The transport headers are the header block of the message appended.
  bool WritesHeaderFields() const override { return true; }

  HResult SaveChanges(std::uint32_t /*flags*/) override {
    if (!written_)
      return kSOk;
    const HResult hr = state_->Save(*message_, std::string_view(*written_).substr(read_.size()));
    if (Succeeded(hr)) {
      written_.reset();
      texts_.reset();
    }
    return hr;
  }

 private:
  StatePtr state_;
  std::shared_ptr<ImapMessageState> message_;
  std::string read_;
  std::optional<std::string> written_;
  std::optional<mime::MimeTexts> texts_;
};

class ImapHostMailItem final : public host::MailItem {
 public:
  ImapHostMailItem(StatePtr state, std::shared_ptr<ImapMessageState> message)
      : state_(std::move(state)), message_(std::move(message)) {}

  HResult MapiMessage(std::unique_ptr<host::Message>* message) override {
    message->reset();
    if (!message_->have_raw)
      return kMapiENotFound;
    *message = std::make_unique<ImapHostMessage>(state_, message_);
    return kSOk;
  }
  HResult Move(host::Folder& destination) override {
    // The spam folder of another store stands for this account's own:
    // mail is never moved out of its account.
    const auto* folder = dynamic_cast<const ImapHostFolder*>(&destination);
    std::string wire;
    if (folder != nullptr && folder->state() == state_.get()) {
      wire = WireOf(*state_, folder->ref());
    } else {
      std::string name;
      if (Succeeded(destination.Name(&name)) && code_page::EqualsIgnoreCase(name, "SpamFilter"))
        wire = state_->spam;
    }
    if (wire.empty())
      return kEInvalidArg;
    return state_->MoveMessage(*message_, wire);
  }
  HResult MarkRead() override { return state_->MarkRead(*message_); }
  HResult Identity(std::string* identity) override {
    *identity = ImapUnique(message_->folder, message_->validity, message_->uid);
    return kSOk;
  }

 private:
  StatePtr state_;
  std::shared_ptr<ImapMessageState> message_;
};

class ImapHostItem final : public host::Item {
 public:
  ImapHostItem(StatePtr state, std::shared_ptr<ImapMessageState> message)
      : state_(std::move(state)), message_(std::move(message)) {}
  HResult QueryMailItem(std::unique_ptr<host::MailItem>* mail) override {
    *mail = std::make_unique<ImapHostMailItem>(state_, message_);
    return kSOk;
  }

 private:
  StatePtr state_;
  std::shared_ptr<ImapMessageState> message_;
};

class ImapHostNameSpace final : public host::NameSpace {
 public:
  explicit ImapHostNameSpace(StatePtr state) : state_(std::move(state)) {}
  HResult GetFolders(std::unique_ptr<host::Folders>* roots) override {
    *roots = std::make_unique<ImapHostFolders>(state_,
                                               FolderRef{FolderRef::Kind::kStoreList, "", false});
    return kSOk;
  }

 private:
  StatePtr state_;
};

class ImapHostApplication final : public host::Application {
 public:
  explicit ImapHostApplication(StatePtr state) : state_(std::move(state)) {}
  HResult Session(std::unique_ptr<host::NameSpace>* name_space) override {
    *name_space = std::make_unique<ImapHostNameSpace>(state_);
    return kSOk;
  }

 private:
  StatePtr state_;
};

std::unique_ptr<host::Folder> MakeFolder(StatePtr state, FolderRef ref) {
  return std::make_unique<ImapHostFolder>(std::move(state), std::move(ref));
}

}  // namespace

std::string ImapUnique(const std::string& folder, std::uint32_t validity, std::uint32_t uid) {
  return std::to_string(validity) + '.' + std::to_string(uid) + '.' + folder;
}

std::unique_ptr<host::Application> MakeImapApplication(std::shared_ptr<ImapStore::State> state) {
  return std::make_unique<ImapHostApplication>(std::move(state));
}

std::unique_ptr<host::Item> MakeImapItem(std::shared_ptr<ImapStore::State> state,
                                         std::shared_ptr<ImapMessageState> message) {
  return std::make_unique<ImapHostItem>(std::move(state), std::move(message));
}

}  // namespace varnox
