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

bool IsEmptyFile(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0 && st.st_size == 0;
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
  if (ready < 0)
    return errno == EINTR ? kSOk : StatusFromErrno(errno);
  if (ready == 0)
    return kSOk;
  bool overflow = false;
  ReadEvents(events, &overflow);
  // Files that were created and never opened for writing are hard links of
  // complete messages; an empty one is still being written by someone.
  for (auto& [dir, folder] : folders_) {
    for (auto it = folder.writing.begin(); it != folder.writing.end();) {
      const std::string path = MessagePath(dir, it->second);
      if (it->second.subdir.empty() || IsEmptyFile(path)) {
        ++it;
        continue;
      }
      events->push_back({Event::Kind::kMessageAdded, dir, {}, it->second});
      it = folder.writing.erase(it);
    }
  }
  DropEmptyNames();
  if (overflow)
    Rescan(events);
  return kSOk;
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
      // A message being written was renamed: it is complete when moved.
      writing->second = entry;
      if (mask & IN_MOVED_TO) {
        events->push_back({Event::Kind::kMessageAdded, folder.dir, {}, std::move(entry)});
        folder.writing.erase(writing);
      }
    } else if (added) {
      if (mask & IN_MOVED_TO)
        events->push_back({Event::Kind::kMessageAdded, folder.dir, {}, std::move(entry)});
      else
        folder.writing[unique] = entry;  // a link, or a writer's open(): see Poll
    }
    return;
  }
  if (mask & IN_OPEN) {
    // open() right after the create: the file is being written. An empty
    // subdir marks "wait for the writer to close it".
    const auto writing = folder.writing.find(unique);
    if (writing != folder.writing.end() && writing->second.name == name)
      writing->second.subdir.clear();
    return;
  }
  if (mask & IN_CLOSE_WRITE) {
    const auto writing = folder.writing.find(unique);
    if (writing != folder.writing.end() && writing->second.name == name) {
      events->push_back({Event::Kind::kMessageAdded, folder.dir, {}, std::move(entry)});
      folder.writing.erase(writing);
    }
    return;
  }
  if (mask & (IN_MOVED_FROM | IN_DELETE)) {
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
