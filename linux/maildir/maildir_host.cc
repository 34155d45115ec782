#include "linux/maildir/maildir_host.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>

#include "linux/maildir/maildir_objects.h"
#include "linux/maildir/message_file.h"
#include "linux/maildir/message_file_name.h"
#include "platform/code_page.h"

namespace varnox::maildir {
namespace {

// The stamp that marks a message as judged.
constexpr std::string_view kVerdictHeader = "X-VNX-RESULT";
// How much of a message the start-up catch-up reads to find its headers.
constexpr std::size_t kCatchUpHeaderLimit = 1u << 20;

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
  state.delivering = MessageIdentity{MailFolderAt(dir).root, std::string(UniqueName(entry.name)),
                                     MessagePath(dir, where.entry)};
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
    CatchUpCandidate candidate{{store, std::string(UniqueName(entry.name)), {}},
                               MessagePath(dir, entry),
                               entry.subdir == "new"};
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

void CollectButtons(const std::vector<std::shared_ptr<ToolbarControl>>& controls,
                    std::vector<std::shared_ptr<ToolbarControl>>* buttons) {
  for (const auto& control : controls) {
    if (control->type == host::kMsoControlButton)
      buttons->push_back(control);
    CollectButtons(control->controls, buttons);
  }
}

std::vector<std::shared_ptr<ToolbarControl>> Buttons(const HostState& state) {
  std::vector<std::shared_ptr<ToolbarControl>> buttons;
  for (const auto& bar : state.bars)
    CollectButtons(bar->controls, &buttons);
  return buttons;
}

}  // namespace

bool IsUnstampedInNew(const CatchUpCandidate& candidate) {
  std::string headers;
  return candidate.in_new &&
         Succeeded(ReadHeaderBlock(candidate.path, kCatchUpHeaderLimit, &headers)) &&
         headers.find(kVerdictHeader) == std::string::npos;
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

void MaildirHost::SetCatchUpPolicy(CatchUpPolicy policy) {
  state_->catch_up_policy = policy ? std::move(policy) : IsUnstampedInNew;
}

const MessageIdentity* MaildirHost::Delivering() const {
  return state_->delivering ? &*state_->delivering : nullptr;
}

HResult MaildirHost::SetSelection(const std::vector<std::string>& message_paths,
                                  std::string* bad_path) {
  std::vector<ItemLocation> selection;
  for (const std::string& path : message_paths) {
    const std::string subdir_path = ParentDirectory(path);
    const std::string subdir = BaseName(subdir_path);
    const std::optional<std::string> dir = CanonicalDirectory(ParentDirectory(subdir_path));
    struct stat st;
    const bool is_message = (subdir == "new" || subdir == "cur") && dir && IsMaildir(*dir) &&
                            IsMessageFileName(BaseName(path)) && lstat(path.c_str(), &st) == 0 &&
                            S_ISREG(st.st_mode);
    if (!is_message) {
      if (bad_path != nullptr)
        *bad_path = path;
      return kEInvalidArg;
    }
    selection.push_back({*dir, {subdir, BaseName(path)}});
  }
  if (!selection.empty())
    state_->current_folder = MailFolderAt(selection.front().dir);
  state_->selection = std::move(selection);
  return kSOk;
}

HResult MaildirHost::SetCurrentFolder(const std::string& folder_dir) {
  const std::optional<std::string> dir = CanonicalDirectory(folder_dir);
  if (!dir || !IsMaildir(*dir))
    return kEInvalidArg;
  state_->current_folder = MailFolderAt(*dir);
  return kSOk;
}

int MaildirHost::ClickButton(std::string_view caption) {
  for (const auto& button : Buttons(*state_)) {
    if (!code_page::EqualsIgnoreCase(button->caption, caption))
      continue;
    std::unique_ptr<host::CommandBarButton> ref;
    MakeControl(state_, button)->QueryButton(&ref);
    const auto sinks = button->click_sinks;
    int called = 0;
    for (const auto& subscription : sinks) {
      const bool live = std::any_of(button->click_sinks.begin(), button->click_sinks.end(),
                                    [&](const auto& s) { return s.cookie == subscription.cookie; });
      if (!live)
        continue;
      std::int16_t cancel_default = 0;
      subscription.sink->OnClick(ref.get(), &cancel_default);
      ++called;
    }
    return called;
  }
  return -1;
}

std::vector<std::string> MaildirHost::ButtonCaptions() const {
  std::vector<std::string> captions;
  for (const auto& button : Buttons(*state_))
    captions.push_back(button->caption);
  return captions;
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
