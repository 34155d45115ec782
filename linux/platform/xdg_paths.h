// Where Varnox keeps its files on Linux, after the XDG base directory rules:
// the settings file under $XDG_CONFIG_HOME/varnox/ (default ~/.config), the
// word database, ignore file and sender lists under $XDG_DATA_HOME/varnox/
// (default ~/.local/share). A variable that is unset, empty or not an absolute
// path is passed over, as the rules say.
#ifndef VARNOX_LINUX_PLATFORM_XDG_PATHS_H_
#define VARNOX_LINUX_PLATFORM_XDG_PATHS_H_

#include <functional>
#include <string>

namespace varnox {

struct XdgPaths {
  std::string config_folder;  // .../varnox
  std::string data_folder;    // .../varnox

  std::string SettingsFile() const { return config_folder + "/settings.ini"; }
  std::string WordFile() const { return data_folder + "/words.db"; }
  std::string IgnoreFile() const { return data_folder + "/ignore.txt"; }
  std::string BlackListFile() const { return data_folder + "/blacklist.xml"; }
  std::string WhiteListFile() const { return data_folder + "/whitelist.xml"; }
};

// Looks the variables up through `getenv` (null for an unset one). HOME, when
// it is needed and not usable, comes from the password database. False, with
// *error saying why, when no home folder can be found.
using EnvironmentLookup = std::function<const char*(const char* name)>;
bool FindXdgPaths(const EnvironmentLookup& getenv, XdgPaths* paths, std::string* error);

}  // namespace varnox

#endif  // VARNOX_LINUX_PLATFORM_XDG_PATHS_H_
