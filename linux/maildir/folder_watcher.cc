#include "linux/maildir/folder_watcher.h"

#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>

#include "linux/maildir/message_file_name.h"

namespace varnox::maildir {
namespace {

constexpr std::uint32_t kFolderMask = IN_CREATE | IN_MOVED_TO | IN_MOVED_FROM | IN_DELETE |
                                      IN_OPEN | IN_CLOSE_WRITE | IN_ONLYDIR | IN_EXCL_UNLINK;
constexpr std::uint32_t kDirectoryMask = IN_CREATE | IN_MOVED_TO | IN_ONLYDIR;

// ".NAME" with no further dot: a folder at a store's top level.
bool IsTopLevelFolderName(std::string_view name) {
  return name.size() > 1 && name[0] == '.' && name.find('.', 1) == std::string_view::npos;
}

}  // namespace

FolderWatcher::FolderWatcher() : fd_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {}

FolderWatcher::~FolderWatcher() {
  if (fd_ >= 0)
    close(fd_);
}

HResult FolderWatcher::WatchFolder(const std::string& dir) {
  if (fd_ < 0)
    return kEFail;
  Folder& folder = folders_[dir];
  if (folder.refs++ > 0)
    return kSOk;
  folder.dir = dir;
  // Watch first, then read what is there: a message arriving in between is
  // then seen twice (known, not added) rather than not at all.
  folder.wd_new = inotify_add_watch(fd_, (dir + "/new").c_str(), kFolderMask);
  folder.wd_cur = inotify_add_watch(fd_, (dir + "/cur").c_str(), kFolderMask);
  if (folder.wd_new < 0 || folder.wd_cur < 0) {
    const HResult hr = StatusFromErrno(errno);
    folder.refs = 1;
    UnwatchFolder(dir);
    return hr;
  }
  watches_[folder.wd_new] = {Watch::Kind::kNew, dir};
  watches_[folder.wd_cur] = {Watch::Kind::kCur, dir};
  Seed(folder, nullptr);
  return kSOk;
}

void FolderWatcher::UnwatchFolder(const std::string& dir) {
  const auto it = folders_.find(dir);
  if (it == folders_.end() || --it->second.refs > 0)
    return;
  for (const int wd : {it->second.wd_new, it->second.wd_cur}) {
    if (wd >= 0) {
      inotify_rm_watch(fd_, wd);
      watches_.erase(wd);
    }
  }
  folders_.erase(it);
}

bool FolderWatcher::IsWatched(const std::string& dir) const {
  return folders_.count(dir) != 0;
}

bool FolderWatcher::IsKnown(const std::string& dir, const std::string& unique) const {
  const auto folder = folders_.find(dir);
  if (folder == folders_.end())
    return false;
  const auto files = folder->second.names.find(unique);
  return files != folder->second.names.end() && !files->second.empty();
}

HResult FolderWatcher::WatchStore(const std::string& root) {
  if (fd_ < 0)
    return kEFail;
  Store& store = stores_[root];
  if (store.refs++ > 0)
    return kSOk;
  store.root = root;
  store.wd = inotify_add_watch(fd_, root.c_str(), kDirectoryMask);
  if (store.wd < 0) {
    const HResult hr = StatusFromErrno(errno);
    stores_.erase(root);
    return hr;
  }
  watches_[store.wd] = {Watch::Kind::kStoreRoot, root};
  SeedStore(store, nullptr);
  return kSOk;
}

void FolderWatcher::UnwatchStore(const std::string& root) {
  const auto it = stores_.find(root);
  if (it == stores_.end() || --it->second.refs > 0)
    return;
  inotify_rm_watch(fd_, it->second.wd);
  watches_.erase(it->second.wd);
  for (const auto& [wd, name] : it->second.incomplete) {
    inotify_rm_watch(fd_, wd);
    watches_.erase(wd);
  }
  stores_.erase(it);
}

void FolderWatcher::Seed(Folder& folder, std::vector<Event>* additions) {
  std::unordered_map<std::string, std::unordered_set<std::string>> names;
  std::vector<MessageEntry> entries = ListMessages(folder.dir);
  for (MessageEntry& entry : entries) {
    const std::string unique(UniqueName(entry.name));
    auto& files = names[unique];
    files.insert(entry.subdir + "/" + entry.name);
    const bool known = folder.names.count(unique) != 0 && !folder.names[unique].empty();
    const bool unfinished = folder.writing.count(unique) != 0;
    if (additions != nullptr && (!known || unfinished) && files.size() == 1)
      additions->push_back({Event::Kind::kMessageAdded, folder.dir, {}, std::move(entry)});
  }
  folder.names = std::move(names);
  folder.writing.clear();
}

void FolderWatcher::SeedStore(Store& store, std::vector<Event>* additions) {
  for (const std::string& name : ListFolderDirectories(store.root)) {
    if (!IsTopLevelFolderName(name))
      continue;
    if (store.folders.insert(name).second && additions != nullptr)
      additions->push_back({Event::Kind::kFolderAdded, store.root + "/" + name, store.root, {}});
  }
  for (auto it = store.incomplete.begin(); it != store.incomplete.end();) {
    if (store.folders.count(it->second) != 0) {
      inotify_rm_watch(fd_, it->first);
      watches_.erase(it->first);
      it = store.incomplete.erase(it);
    } else {
      ++it;
    }
  }
}

void FolderWatcher::Rescan(std::vector<Event>* events) {
  for (auto& [dir, folder] : folders_)
    Seed(folder, events);
  for (auto& [root, store] : stores_)
    SeedStore(store, events);
  touched_.clear();
}

HResult FolderWatcher::Poll(int timeout_ms, std::vector<Event>* events) {
  if (fd_ < 0)
    return kEFail;
  pollfd p{fd_, POLLIN, 0};
  const int ready = poll(&p, 1, timeout_ms);
  if (ready < 0 && errno != EINTR)
    return StatusFromErrno(errno);
  bool overflow = false;
  if (ready > 0)
    ReadEvents(events, &overflow);
  AddFinishedFiles(events);
  DropEmptyNames();
  if (overflow)
    Rescan(events);
  return kSOk;
}

// A file created in place is complete when its writer closes it (see
// OnFolderEvent). One that no writer opened is a hard link of a complete
// message, unless it is empty. One whose writer's close went unseen is
// taken once its size has stayed the same for the quiet period.
void FolderWatcher::AddFinishedFiles(std::vector<Event>* events) {
  const auto now = std::chrono::steady_clock::now();
  for (auto& [dir, folder] : folders_) {
    for (auto it = folder.writing.begin(); it != folder.writing.end();) {
      Unfinished& file = it->second;
      struct stat st;
      if (lstat(MessagePath(dir, file.entry).c_str(), &st) != 0) {
        ++it;  // renamed or gone: its own events tell
        continue;
      }
      if (st.st_size != file.size) {
        file.size = st.st_size;
        file.unchanged_since = now;
      }
      const bool complete =
          st.st_size > 0 && (!file.opened || now - file.unchanged_since >= quiet_period_);
      if (!complete) {
        ++it;
        continue;
      }
      events->push_back({Event::Kind::kMessageAdded, dir, {}, file.entry});
      it = folder.writing.erase(it);
    }
  }
}

void FolderWatcher::ReadEvents(std::vector<Event>* events, bool* overflow) {
  alignas(inotify_event) std::array<char, 64 * 1024> buffer;
  for (;;) {
    const ssize_t length = read(fd_, buffer.data(), buffer.size());
    if (length < 0 && errno == EINTR)
      continue;
    if (length <= 0)
      return;  // EAGAIN: the queue is drained
    for (ssize_t at = 0; at < length;) {
      inotify_event header;
      std::memcpy(&header, buffer.data() + at, sizeof header);
      const char* name_start = buffer.data() + at + sizeof header;
      const std::string name(name_start, strnlen(name_start, header.len));
      at += static_cast<ssize_t>(sizeof header + header.len);
      if (header.mask & IN_Q_OVERFLOW) {
        *overflow = true;
        continue;
      }
      const auto watch = watches_.find(header.wd);
      if (watch == watches_.end())
        continue;
      if (header.mask & IN_IGNORED) {
        watches_.erase(watch);  // the directory is gone
        continue;
      }
      const Watch::Kind kind = watch->second.kind;
      const std::string key = watch->second.key;
      if (kind == Watch::Kind::kNew || kind == Watch::Kind::kCur) {
        const auto folder = folders_.find(key);
        if (folder != folders_.end() && !(header.mask & IN_ISDIR))
          OnFolderEvent(folder->second, kind == Watch::Kind::kNew ? "new" : "cur", header.mask,
                        name, events);
        continue;
      }
      const auto store = stores_.find(key);
      if (store == stores_.end() || !(header.mask & IN_ISDIR))
        continue;
      if (kind == Watch::Kind::kStoreRoot)
        OnStoreEvent(store->second, name, events);
      else
        CheckIncomplete(store->second, header.wd, events);
    }
  }
}

void FolderWatcher::OnFolderEvent(Folder& folder, const char* subdir, std::uint32_t mask,
                                  const std::string& name, std::vector<Event>* events) {
  if (!IsMessageFileName(name))
    return;
  const std::string unique(UniqueName(name));
  const std::string file = std::string(subdir) + "/" + name;
  MessageEntry entry{subdir, name};
  if (mask & (IN_CREATE | IN_MOVED_TO)) {
    // A name emptied earlier in this drain is the far half of a rename
    // within the folder, not an addition.
    const auto found = folder.names.find(unique);
    const bool added = found == folder.names.end();
    (added ? folder.names[unique] : found->second).insert(file);
    const auto writing = folder.writing.find(unique);
    if (writing != folder.writing.end()) {
      // A file being written was renamed: complete when moved.
      if (mask & IN_MOVED_TO) {
        events->push_back({Event::Kind::kMessageAdded, folder.dir, {}, std::move(entry)});
        folder.writing.erase(writing);
      } else {
        writing->second.entry = entry;
      }
    } else if (added) {
      if (mask & IN_MOVED_TO)
        events->push_back({Event::Kind::kMessageAdded, folder.dir, {}, std::move(entry)});
      else
        folder.writing[unique] = {entry, false, -1, {}};  // a link, or a writer's open()
    }
    return;
  }
  if (mask & IN_OPEN) {
    // open() right after the create: the file is being written.
    const auto writing = folder.writing.find(unique);
    if (writing != folder.writing.end() && writing->second.entry.name == name)
      writing->second.opened = true;
    return;
  }
  if (mask & IN_CLOSE_WRITE) {
    const auto writing = folder.writing.find(unique);
    if (writing != folder.writing.end() && writing->second.entry.name == name) {
      events->push_back({Event::Kind::kMessageAdded, folder.dir, {}, std::move(entry)});
      folder.writing.erase(writing);
    }
    return;
  }
  if (mask & (IN_MOVED_FROM | IN_DELETE)) {
    // An exchange (our own header rewrite) reports the name moved in, then
    // moved out, while the file stays: it is still there and still known.
    // Forgotten, the next rescan would add the message again.
    struct stat st;
    if ((mask & IN_MOVED_FROM) && lstat(MessagePath(folder.dir, entry).c_str(), &st) == 0)
      return;
    const auto files = folder.names.find(unique);
    if (files != folder.names.end()) {
      files->second.erase(file);
      if (files->second.empty())
        touched_.insert(folder.dir);
    }
  }
}

void FolderWatcher::DropEmptyNames() {
  for (const std::string& dir : touched_) {
    const auto folder = folders_.find(dir);
    if (folder == folders_.end())
      continue;
    for (auto it = folder->second.names.begin(); it != folder->second.names.end();) {
      if (it->second.empty()) {
        folder->second.writing.erase(it->first);
        it = folder->second.names.erase(it);
      } else {
        ++it;
      }
    }
  }
  touched_.clear();
}

void FolderWatcher::OnStoreEvent(Store& store, const std::string& name,
                                 std::vector<Event>* events) {
  if (!IsTopLevelFolderName(name) || store.folders.count(name) != 0)
    return;
  const std::string dir = store.root + "/" + name;
  if (IsMaildir(dir)) {
    store.folders.insert(name);
    events->push_back({Event::Kind::kFolderAdded, dir, store.root, {}});
    return;
  }
  // Created empty: announced once its cur/ and new/ exist. Check again after
  // watching, in case they were made in between.
  const int wd = inotify_add_watch(fd_, dir.c_str(), kDirectoryMask);
  if (wd < 0)
    return;
  watches_[wd] = {Watch::Kind::kIncompleteFolder, store.root};
  store.incomplete[wd] = name;
  CheckIncomplete(store, wd, events);
}

void FolderWatcher::CheckIncomplete(Store& store, int wd, std::vector<Event>* events) {
  const auto it = store.incomplete.find(wd);
  if (it == store.incomplete.end())
    return;
  const std::string name = it->second;
  const std::string dir = store.root + "/" + name;
  if (!IsMaildir(dir))
    return;
  inotify_rm_watch(fd_, wd);
  watches_.erase(wd);
  store.incomplete.erase(it);
  if (store.folders.insert(name).second)
    events->push_back({Event::Kind::kFolderAdded, dir, store.root, {}});
}

}  // namespace varnox::maildir
