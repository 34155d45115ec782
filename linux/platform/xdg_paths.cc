#include "linux/platform/xdg_paths.h"

#include <pwd.h>
#include <unistd.h>

#include <vector>

namespace varnox {
namespace {

bool IsAbsolute(const char* path) {
  return path != nullptr && path[0] == '/';
}

std::string WithoutTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/')
    path.pop_back();
  return path;
}

bool FindHome(const EnvironmentLookup& getenv, std::string* home) {
  if (const char* from_env = getenv("HOME"); IsAbsolute(from_env)) {
    *home = WithoutTrailingSlashes(from_env);
    return true;
  }
  long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
  struct passwd entry;
  struct passwd* found = nullptr;
  if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 ||
      found == nullptr || !IsAbsolute(found->pw_dir)) {
    return false;
  }
  *home = WithoutTrailingSlashes(found->pw_dir);
  return true;
}

// base + "/varnox", without doubling a slash.
std::string VarnoxFolderIn(const std::string& base) {
  std::string folder = WithoutTrailingSlashes(base);
  if (folder == "/")
    folder.clear();
  return folder + "/varnox";
}

}  // namespace

bool FindXdgPaths(const EnvironmentLookup& getenv, XdgPaths* paths, std::string* error) {
  const char* config = getenv("XDG_CONFIG_HOME");
  const char* data = getenv("XDG_DATA_HOME");
  std::string home;
  if ((!IsAbsolute(config) || !IsAbsolute(data)) && !FindHome(getenv, &home)) {
    *error = "cannot find the home folder: set HOME (or XDG_CONFIG_HOME and XDG_DATA_HOME)";
    return false;
  }
  const std::string config_home = IsAbsolute(config) ? std::string(config) : home + "/.config";
  const std::string data_home = IsAbsolute(data) ? std::string(data) : home + "/.local/share";
  paths->config_folder = VarnoxFolderIn(config_home);
  paths->data_folder = VarnoxFolderIn(data_home);
  return true;
}

}  // namespace varnox
