#include "linux/maildir/maildir_folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <memory>

#include "linux/maildir/message_file_name.h"

namespace varnox::maildir {
namespace {

bool IsDirectory(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

HResult MakeDirectory(const std::string& path) {
  if (mkdir(path.c_str(), 0700) == 0 || (errno == EEXIST && IsDirectory(path)))
    return kSOk;
  return StatusFromErrno(errno);
}

struct DirCloser {
  void operator()(DIR* dir) const { closedir(dir); }
};

// The names in `dir` that `keep` accepts, sorted.
template <typename Keep>
std::vector<std::string> DirectoryNames(const std::string& dir, Keep keep) {
  std::vector<std::string> names;
  std::unique_ptr<DIR, DirCloser> handle(opendir(dir.c_str()));
  if (!handle)
    return names;
  while (const dirent* entry = readdir(handle.get())) {
    const std::string_view name = entry->d_name;
    if (keep(name, entry->d_type))
      names.emplace_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

HResult StatusFromErrno(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR:
      return kMapiENotFound;
    case EACCES:
    case EPERM:
    case EROFS:
      return kEAccessDenied;
    case EEXIST:
    case ENOTEMPTY:
      return kCollision;
    case ENOMEM:
      return kEOutOfMemory;
    default:
      return kEFail;
  }
}

std::string MessagePath(const std::string& dir, const MessageEntry& entry) {
  return dir + "/" + entry.subdir + "/" + entry.name;
}

bool IsMaildir(const std::string& dir) {
  return IsDirectory(dir + "/cur") && IsDirectory(dir + "/new");
}

HResult CreateMaildir(const std::string& dir, bool folder_marker) {
  for (const std::string& path : {dir, dir + "/cur", dir + "/new", dir + "/tmp"}) {
    const HResult hr = MakeDirectory(path);
    if (Failed(hr))
      return hr;
  }
  if (folder_marker) {
    const int fd =
        open((dir + "/maildirfolder").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
      return StatusFromErrno(errno);
    close(fd);
  }
  return kSOk;
}

std::vector<MessageEntry> ListMessages(const std::string& dir, std::string_view subdir) {
  std::vector<MessageEntry> entries;
  const std::string path = dir + "/" + std::string(subdir);
  for (std::string& name : DirectoryNames(path, [](std::string_view name, unsigned char type) {
         return IsMessageFileName(name) && type != DT_DIR;
       }))
    entries.push_back({std::string(subdir), std::move(name)});
  return entries;
}

std::vector<MessageEntry> ListMessages(const std::string& dir) {
  std::vector<MessageEntry> entries = ListMessages(dir, "new");
  std::vector<MessageEntry> cur = ListMessages(dir, "cur");
  entries.insert(entries.end(), std::make_move_iterator(cur.begin()),
                 std::make_move_iterator(cur.end()));
  return entries;
}

std::optional<MessageEntry> FindMessage(const std::string& dir, std::string_view unique,
                                        const MessageEntry* hint) {
  struct stat st;
  if (hint != nullptr && UniqueName(hint->name) == unique &&
      lstat(MessagePath(dir, *hint).c_str(), &st) == 0)
    return *hint;
  for (const char* subdir : {"new", "cur"}) {
    for (MessageEntry& entry : ListMessages(dir, subdir)) {
      if (UniqueName(entry.name) == unique)
        return std::move(entry);
    }
  }
  return std::nullopt;
}

std::vector<std::string> ListFolderDirectories(const std::string& store_root) {
  std::vector<std::string> names =
      DirectoryNames(store_root, [](std::string_view name, unsigned char type) {
        return name.size() > 1 && name[0] == '.' && name != ".." &&
               (type == DT_DIR || type == DT_UNKNOWN || type == DT_LNK);
      });
  std::erase_if(names,
                [&](const std::string& name) { return !IsMaildir(store_root + "/" + name); });
  return names;
}

std::string ParentDirectory(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos)
    return ".";
  return slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::string BaseName(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::optional<std::string> CanonicalDirectory(const std::string& path) {
  std::unique_ptr<char, decltype(&std::free)> resolved(realpath(path.c_str(), nullptr), &std::free);
  if (!resolved || !IsDirectory(resolved.get()))
    return std::nullopt;
  return std::string(resolved.get());
}

}  // namespace varnox::maildir
