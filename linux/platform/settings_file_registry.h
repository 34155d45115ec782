// The registry seam on Linux. One settings file stands in for the current
// user's key "Software\Varnox MSOutlook"; linux/platform/settings_file.h holds its
// format.
//
// The file is the key: when it is absent, the key is absent, so opening fails
// and the settings store gives defaults and writes nothing. Nothing here ever
// creates the file (`varnox init` lays it down). A file that cannot be read,
// or is larger than SettingsFile::kMaxFileBytes, also opens as no key, and is
// never rewritten.
//
// Keys behave as RegQueryValueExA / RegSetValueExA do: exact byte counts,
// kErrorMoreData when the data does not fit, value names compared ignoring
// letter case. An open key reads the values as they were when it was opened,
// plus its own writes; every write reads the file afresh, changes one line and
// replaces the whole file atomically (FileSystem::ReplaceWholeFile), so the
// rest of the file, comments included, survives. Two processes writing at the
// same instant can lose one of the two writes, as with any plain file.
#ifndef VARNOX_LINUX_PLATFORM_SETTINGS_FILE_REGISTRY_H_
#define VARNOX_LINUX_PLATFORM_SETTINGS_FILE_REGISTRY_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "linux/platform/settings_file.h"
#include "platform/file_system.h"
#include "platform/registry.h"

namespace varnox {

// ERROR_INVALID_PARAMETER, for a query with data but no size.
inline constexpr std::int32_t kErrorInvalidParameter = 87;

class SettingsFileRegistry final : public Registry {
 public:
  // `files` must outlive the registry and every key opened from it.
  SettingsFileRegistry(FileSystem& files, std::string path)
      : files_(files), path_(std::move(path)) {}

  // Only SettingsFile::kKeyPath exists (any letter case), and only while the
  // file can be read: kErrorFileNotFound when it is absent, kErrorAccessDenied
  // when it is there but cannot be read (or is a folder), kErrorInvalidData
  // when it is too large to be a settings file or not a plain file at all.
  std::int32_t OpenCurrentUserKey(std::string_view path,
                                  std::unique_ptr<RegistryKey>* key) override;

  const std::string& path() const { return path_; }

  // Reads and parses the file; a status as for OpenCurrentUserKey.
  static std::int32_t Load(FileSystem& files, const std::string& path, SettingsFile* file);

 private:
  FileSystem& files_;
  std::string path_;
};

}  // namespace varnox

#endif  // VARNOX_LINUX_PLATFORM_SETTINGS_FILE_REGISTRY_H_
