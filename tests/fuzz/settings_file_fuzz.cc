// The settings file on arbitrary bytes. Parsing never fails; the text we
// write back parses to the same values; a value we set reads back exactly,
// whatever bytes it holds, and every other line survives the change.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <string>

#include "linux/platform/settings_file.h"
#include "linux/platform/settings_file_registry.h"
#include "settings/settings_store.h"
#include "tests/fakes/fake_platform.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

constexpr const char* kNames[] = {"WordFilePath", "BeepAtSpam", "NotSpamFolderName", "x"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace varnox;
  FuzzedDataProvider input(data, size);
  const std::string value = input.ConsumeRandomLengthString(64);
  const std::uint8_t choice = input.ConsumeIntegral<std::uint8_t>();
  const std::string text = input.ConsumeRemainingBytesAsString();

  const SettingsFile parsed = SettingsFile::Parse(text);
  const std::string written = parsed.Text();
  const SettingsFile again = SettingsFile::Parse(written);
  VARNOX_FUZZ_CHECK(again.Text() == written);
  for (const char* name : kNames) {
    const SettingsFile::Value* a = parsed.Find(name);
    const SettingsFile::Value* b = again.Find(name);
    VARNOX_FUZZ_CHECK((a == nullptr) == (b == nullptr));
    if (a != nullptr)
      VARNOX_FUZZ_CHECK(a->type == b->type && a->data == b->data);
  }

  // Setting a value: it reads back byte for byte after a round through the
  // text; the other names keep what they had.
  const char* name = kNames[choice % 4];
  const RegistryType type = (choice & 4) != 0 ? RegistryType::kDword : RegistryType::kString;
  std::string stored = value;
  if (type == RegistryType::kDword)
    stored.resize(4, '\0');
  else
    stored.push_back('\0');
  SettingsFile changed = parsed;
  VARNOX_FUZZ_CHECK(changed.Set(name, type, stored));
  const SettingsFile reread = SettingsFile::Parse(changed.Text());
  const SettingsFile::Value* found = reread.Find(name);
  VARNOX_FUZZ_CHECK(found != nullptr && found->type == type && found->data == stored);
  for (const char* other : kNames) {
    if (std::string_view(other) == name)
      continue;
    const SettingsFile::Value* before = parsed.Find(other);
    const SettingsFile::Value* after = reread.Find(other);
    VARNOX_FUZZ_CHECK((before == nullptr) == (after == nullptr));
    if (before != nullptr)
      VARNOX_FUZZ_CHECK(before->type == after->type && before->data == after->data);
  }

  // The same file through the registry seam.
  testing::FakeFileSystem files;
  files.files["settings.ini"] = text;
  SettingsFileRegistry registry(files, "settings.ini");
  std::unique_ptr<RegistryKey> key;
  if (registry.OpenCurrentUserKey(SettingsFile::kKeyPath, &key) == kErrorSuccess) {
    SettingsStore store(registry);
    std::string path;
    store.ReadStringSetting(setting::kWordFilePath, &path);
    store.BeepAtSpam();
  }
  return 0;
}
