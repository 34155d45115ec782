#include "linux/maildir/maildir_host.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>

#include "linux/maildir/maildir_objects.h"
#include "linux/maildir/message_file.h"
#include "linux/maildir/message_file_name.h"

namespace varnox::maildir {
namespace {

// The sinks subscribed to a folder's items, copied: a handler may cancel
// subscriptions while the event is delivered.
std::vector<HostState::ItemSink> ItemSinksOf(const HostState& state, const std::string& dir) {
  std::vector<HostState::ItemSink> sinks;
  for (const HostState::ItemSink& sink : state.item_sinks) {
    if (sink.dir == dir)
      sinks.push_back(sink);
  }
  return sinks;
}

bool StillSubscribed(const HostState& state, host::Cookie cookie) {
  return std::any_of(state.item_sinks.begin(), state.item_sinks.end(),
                     [&](const HostState::ItemSink& s) { return s.cookie == cookie; });
}

int DeliverItemAdd(HostState& state, const std::string& dir, const MessageEntry& entry) {
  // A message that a mail program took away since it arrived is not
  // offered; one it renamed is offered under its present name.
  ItemLocation where{dir, entry};
  if (!where.Resolve())
    return 0;
  state.delivering.emplace();
  state.delivering->store = MailFolderAt(dir).root;
  state.delivering->unique = UniqueName(entry.name);
  state.delivering->path = MessagePath(dir, where.entry);
  int delivered = 0;
  for (const HostState::ItemSink& sink : ItemSinksOf(state, dir)) {
    if (!StillSubscribed(state, sink.cookie))
      continue;
    sink.sink->OnItemAdd(MakeItem(std::make_shared<ItemLocation>(where)));
    ++delivered;
  }
  state.delivering.reset();
  return delivered;
}

// The folder's messages that the watcher knew when it started (later
// arrivals reach the add-in as events) and that the policy chooses.
int CatchUpFolder(HostState& state, const std::string& dir) {
  const std::string store = MailFolderAt(dir).root;
  int delivered = 0;
  for (const MessageEntry& entry : ListMessages(dir)) {
    host::CatchUpCandidate candidate;
    candidate.identity.store = store;
    candidate.identity.unique = UniqueName(entry.name);
    candidate.path = MessagePath(dir, entry);
    candidate.in_new = entry.subdir == "new";
    struct stat st;
    if (!state.watcher.IsKnown(dir, candidate.identity.unique) ||
        lstat(candidate.path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
      continue;
    candidate.modified_ns =
        static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec;
    if (state.catch_up_policy(candidate))
      delivered += DeliverItemAdd(state, dir, entry);
  }
  return delivered;
}

int Deliver(const std::shared_ptr<HostState>& shared,
            const std::vector<FolderWatcher::Event>& events) {
  HostState& state = *shared;
  int delivered = 0;
  for (const FolderWatcher::Event& event : events) {
    if (event.kind == FolderWatcher::Event::Kind::kMessageAdded) {
      delivered += DeliverItemAdd(state, event.dir, event.entry);
      continue;
    }
    std::vector<HostState::FolderSink> sinks;
    std::copy_if(state.folder_sinks.begin(), state.folder_sinks.end(), std::back_inserter(sinks),
                 [&](const HostState::FolderSink& s) { return s.root == event.root; });
    for (const HostState::FolderSink& sink : sinks) {
      const bool live =
          std::any_of(state.folder_sinks.begin(), state.folder_sinks.end(),
                      [&](const HostState::FolderSink& s) { return s.cookie == sink.cookie; });
      if (!live)
        continue;
      sink.sink->OnFolderAdd(MakeFolder(shared, MailFolderAt(event.dir)));
      ++delivered;
    }
    // Mail may have been delivered into the folder before it was watched.
    if (state.watcher.IsWatched(event.dir) && state.caught_up.insert(event.dir).second)
      delivered += CatchUpFolder(state, event.dir);
  }
  return delivered;
}

// Where the message file `path` is: a regular file with a message file
// name in the new/ or cur/ of a Maildir folder; nullopt when it is not one.
std::optional<ItemLocation> LocateMessageFile(const std::string& path) {
  const std::string subdir_path = ParentDirectory(path);
  const std::string subdir = BaseName(subdir_path);
  const std::optional<std::string> dir = CanonicalDirectory(ParentDirectory(subdir_path));
  struct stat st;
  if ((subdir != "new" && subdir != "cur") || !dir || !IsMaildir(*dir) ||
      !IsMessageFileName(BaseName(path)) || lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
    return std::nullopt;
  return ItemLocation{*dir, {subdir, BaseName(path)}};
}

// Message files named on a command line, as the items an operation takes.
class MessageFileList final : public host::ItemList {
 public:
  explicit MessageFileList(std::vector<ItemLocation> located) : located_(std::move(located)) {}
  HResult Count(std::int32_t* count) override {
    *count = static_cast<std::int32_t>(located_.size());
    return kSOk;
  }
  HResult GetItem(std::int32_t index, std::unique_ptr<host::Item>* item) override {
    item->reset();
    if (index < 1 || static_cast<std::size_t>(index) > located_.size())
      return kEInvalidArg;
    *item = MakeItem(std::make_shared<ItemLocation>(located_[static_cast<std::size_t>(index) - 1]));
    return kSOk;
  }

 private:
  std::vector<ItemLocation> located_;
};

}  // namespace

bool IsInNew(const host::CatchUpCandidate& candidate) {
  return candidate.in_new;
}

MaildirHost::MaildirHost() : state_(std::make_shared<HostState>()) {}

MaildirHost::~MaildirHost() = default;

HResult MaildirHost::AddStore(const std::string& path) {
  const std::optional<std::string> root = CanonicalDirectory(path);
  if (!root || !IsMaildir(*root))
    return kEInvalidArg;
  if (std::find(state_->stores.begin(), state_->stores.end(), *root) != state_->stores.end())
    return kCollision;
  state_->stores.push_back(*root);
  // Stamped copies that a killed rewrite left, in every folder of the store.
  RemoveAbandonedRewrites(*root);
  for (const std::string& name : ListFolderDirectories(*root))
    RemoveAbandonedRewrites(*root + "/" + name);
  return kSOk;
}

const std::vector<std::string>& MaildirHost::stores() const {
  return state_->stores;
}

std::unique_ptr<host::Application> MaildirHost::ApplicationRef() {
  return MakeApplication(state_);
}

int MaildirHost::Poll(int timeout_ms) {
  std::vector<FolderWatcher::Event> events;
  const HResult hr = state_->watcher.Poll(timeout_ms, &events);
  if (Failed(hr))
    return hr;
  return Deliver(state_, events);
}

int MaildirHost::WatchDescriptor() const {
  return state_->watcher.fd();
}

HResult MaildirHost::RunUntil(const std::atomic<bool>& stop, int tick_ms) {
  while (!stop.load()) {
    const int result = Poll(tick_ms);
    if (result < 0)
      return result;
  }
  return kSOk;
}

int MaildirHost::CatchUp() {
  state_->caught_up_once = true;
  std::vector<std::string> dirs;
  for (const HostState::ItemSink& sink : state_->item_sinks) {
    if (std::find(dirs.begin(), dirs.end(), sink.dir) == dirs.end())
      dirs.push_back(sink.dir);
  }
  int delivered = 0;
  for (const std::string& dir : dirs) {
    if (state_->caught_up.insert(dir).second)
      delivered += CatchUpFolder(*state_, dir);
  }
  return delivered;
}

void MaildirHost::SetCatchUpPolicy(host::CatchUpPolicy policy) {
  state_->catch_up_policy = policy ? std::move(policy) : IsInNew;
}

bool MaildirHost::CaughtUp(const std::string&) const {
  return state_->caught_up_once;
}

const host::MessageIdentity* MaildirHost::Delivering() const {
  return state_->delivering ? &*state_->delivering : nullptr;
}

HResult MaildirHost::MessageFiles(const std::vector<std::string>& message_paths,
                                  std::unique_ptr<host::ItemList>* items, std::string* bad_path) {
  items->reset();
  std::vector<ItemLocation> located;
  for (const std::string& path : message_paths) {
    std::optional<ItemLocation> where = LocateMessageFile(path);
    if (!where) {
      if (bad_path != nullptr)
        *bad_path = path;
      return kEInvalidArg;
    }
    located.push_back(std::move(*where));
  }
  *items = std::make_unique<MessageFileList>(std::move(located));
  return kSOk;
}

HResult MaildirHost::FolderOfMessageFile(const std::string& message_path,
                                         std::unique_ptr<host::Folder>* folder) {
  folder->reset();
  const std::optional<ItemLocation> where = LocateMessageFile(message_path);
  if (!where)
    return kEInvalidArg;
  *folder = MakeFolder(state_, MailFolderAt(where->dir));
  return kSOk;
}

HResult CreateStore(const std::string& path) {
  // Parent directories first, each 0700 where it is created.
  for (std::size_t slash = path.find('/', 1); slash != std::string::npos;
       slash = path.find('/', slash + 1)) {
    const std::string parent = path.substr(0, slash);
    if (mkdir(parent.c_str(), 0700) != 0 && errno != EEXIST)
      return StatusFromErrno(errno);
  }
  return CreateMaildir(path, /*folder_marker=*/false);
}

}  // namespace varnox::maildir
