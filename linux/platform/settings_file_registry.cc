#include "linux/platform/settings_file_registry.h"

#include <sys/stat.h>

#include <cstring>

#include "platform/code_page.h"

namespace varnox {
namespace {

class SettingsFileKey final : public RegistryKey {
 public:
  SettingsFileKey(FileSystem& files, std::string path, SettingsFile snapshot)
      : files_(files), path_(std::move(path)), snapshot_(std::move(snapshot)) {}

  std::int32_t QueryValue(std::string_view name, RegistryType* type, void* data,
                          std::uint32_t* size) override {
    if (size == nullptr && data != nullptr)
      return kErrorInvalidParameter;
    const SettingsFile::Value* value = snapshot_.Find(name);
    if (value == nullptr)
      return kErrorFileNotFound;
    if (type != nullptr)
      *type = value->type;
    if (size == nullptr)
      return kErrorSuccess;  // only the type was asked for
    // The file is at most kMaxFileBytes long, so every value's size fits.
    const auto stored = static_cast<std::uint32_t>(value->data.size());
    if (data != nullptr && stored > *size) {
      *size = stored;
      return kErrorMoreData;
    }
    if (data != nullptr && stored > 0)
      std::memcpy(data, value->data.data(), stored);
    *size = stored;
    return kErrorSuccess;
  }

  std::int32_t SetValue(std::string_view name, RegistryType type, const void* data,
                        std::uint32_t size) override {
    if (data == nullptr && size != 0)
      return kErrorInvalidParameter;
    const std::string_view bytes(static_cast<const char*>(data), data == nullptr ? 0 : size);
    // Read afresh, so that a change made meanwhile by someone else (another
    // process, a person with an editor) to another line is kept. A file that
    // has gone away is a deleted key: it is not created again.
    SettingsFile current;
    const std::int32_t status = SettingsFileRegistry::Load(files_, path_, &current);
    if (status != kErrorSuccess)
      return status;
    if (!current.Set(name, type, bytes))
      return kErrorInvalidParameter;
    const std::string text = current.Text();
    // Never write what could not be read back.
    if (text.size() > SettingsFile::kMaxFileBytes)
      return kErrorInvalidData;
    if (!files_.ReplaceWholeFile(path_, text))
      return kErrorWriteFault;
    snapshot_ = std::move(current);
    return kErrorSuccess;
  }

 private:
  FileSystem& files_;
  const std::string path_;
  SettingsFile snapshot_;
};

}  // namespace

std::int32_t SettingsFileRegistry::Load(FileSystem& files, const std::string& path,
                                        SettingsFile* file) {
  // Look before reading: something at the path that is not a plain file of
  // sensible size (a device, a pipe, a huge file) is never read into memory.
  struct stat st;
  if (::stat(path.c_str(), &st) == 0 &&
      (!S_ISREG(st.st_mode) ||
       static_cast<std::uint64_t>(st.st_size) > SettingsFile::kMaxFileBytes))
    return S_ISDIR(st.st_mode) ? kErrorAccessDenied : kErrorInvalidData;
  std::string text;
  if (!files.ReadWholeFile(path, &text))
    return files.Exists(path) ? kErrorAccessDenied : kErrorFileNotFound;
  if (text.size() > SettingsFile::kMaxFileBytes)
    return kErrorInvalidData;
  *file = SettingsFile::Parse(text);
  return kErrorSuccess;
}

std::int32_t SettingsFileRegistry::OpenCurrentUserKey(std::string_view path,
                                                      std::unique_ptr<RegistryKey>* key) {
  if (!code_page::EqualsIgnoreCase(path, SettingsFile::kKeyPath))
    return kErrorFileNotFound;
  SettingsFile file;
  const std::int32_t status = Load(files_, path_, &file);
  if (status != kErrorSuccess)
    return status;
  *key = std::make_unique<SettingsFileKey>(files_, path_, std::move(file));
  return kErrorSuccess;
}

}  // namespace varnox
