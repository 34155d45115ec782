// In-memory fakes of the platform seam for tests: a registry whose key can be
// absent, hold raw typed values, or refuse writes; a file system that keeps
// files in memory and can be told to fail; a user interface that records
// every message box and beep and answers from a script; a dialog runner
// that plays the scripts a test queued (tests/fakes/scripted_dialog.h).
#ifndef VARNOX_TESTS_FAKES_FAKE_PLATFORM_H_
#define VARNOX_TESTS_FAKES_FAKE_PLATFORM_H_

#include <deque>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"
#include "tests/fakes/scripted_dialog.h"

namespace varnox::testing {

class FakeRegistry final : public Registry {
 public:
  struct Value {
    RegistryType type = RegistryType::kNone;
    std::string data;  // raw bytes as stored
  };
  // Value names compare as the registry compares them: in any letter case.
  struct NameLess {
    bool operator()(std::string_view a, std::string_view b) const;
    using is_transparent = void;
  };
  using Values = std::map<std::string, Value, NameLess>;

  std::int32_t OpenCurrentUserKey(std::string_view path,
                                  std::unique_ptr<RegistryKey>* key) override;

  // The key "Software\Varnox MSOutlook" exists once created; it starts absent.
  void CreateKey() { key_exists_ = true; }
  void DeleteKey() {
    key_exists_ = false;
    values_.clear();
  }
  bool key_exists() const { return key_exists_; }
  // Path of the one key this registry holds.
  std::string key_path = "Software\\Varnox MSOutlook";

  void SetRaw(const std::string& name, RegistryType type, std::string data) {
    values_[name] = Value{type, std::move(data)};
  }
  void SetDword(const std::string& name, std::uint32_t v);
  // Stored with the terminator counted, as the system writes strings.
  void SetString(const std::string& name, std::string_view text);
  const Value* Find(const std::string& name) const;
  const Values& values() const { return values_; }
  int writes() const { return writes_; }
  // Names of the values set, in the order of the writes.
  const std::vector<std::string>& written() const { return written_; }
  // When set, SetValue fails with kErrorWriteFault.
  bool fail_writes = false;

 private:
  friend class FakeRegistryKey;
  bool key_exists_ = false;
  Values values_;
  int writes_ = 0;
  std::vector<std::string> written_;
};

class FakeFileSystem final : public FileSystem {
 public:
  bool ReadWholeFile(const std::string& path, std::string* contents) override;
  bool ReplaceWholeFile(const std::string& path, std::string_view contents) override;
  bool Exists(const std::string& path) override { return files.count(path) != 0; }
  // A stamp made from the bytes, so that any change a test makes to a file
  // in `files` shows; `stamp_bump` adds to it (a file put back as it was).
  bool Stamp(const std::string& path, FileStamp* stamp) override;
  // A copy of the file as it is now, "mapped" where it lies in memory.
  std::unique_ptr<ReadOnlyFile> OpenReadOnly(const std::string& path) override;
  // Records the path; the fake's writes leave no copies.
  int RemoveAbandonedCopies(const std::string& path) override {
    cleaned.push_back(path);
    return 0;
  }

  std::map<std::string, std::string> files;
  // Paths that cannot be read / replaced (the file stays as it is).
  std::vector<std::string> unreadable;
  std::vector<std::string> unwritable;
  bool fail_all_writes = false;
  int replace_calls = 0;
  std::map<std::string, std::int64_t> stamp_bump;
  // The paths given to RemoveAbandonedCopies, in order.
  std::vector<std::string> cleaned;
};

class FakeUserInterface final : public UserInterface {
 public:
  struct Shown {
    std::string text;
    std::string caption;
    std::uint32_t flags;
  };

  int ShowMessage(std::string_view text, std::string_view caption, std::uint32_t flags) override;
  void Beep(std::uint32_t type) override { beeps.push_back(type); }
  void OpenPage(std::string_view page) override { opened.emplace_back(page); }

  std::vector<Shown> messages;
  std::vector<std::uint32_t> beeps;
  std::vector<std::string> opened;
  // Answers for the next message boxes, in order; when empty, kIdOk for an OK
  // box and kIdNo for a Yes/No box.
  std::deque<int> answers;
};

// A Platform over fresh fakes, owned together.
class FakePlatform {
 public:
  FakePlatform() : platform_{registry, clock, files, ui, faces, dialogs, xml} {}
  FakePlatform(const FakePlatform&) = delete;
  FakePlatform& operator=(const FakePlatform&) = delete;

  const Platform& platform() const { return platform_; }
  operator const Platform&() const { return platform_; }

  FakeRegistry registry;
  ManualClock clock;
  FakeFileSystem files;
  FakeUserInterface ui;
  NoButtonFaces faces;
  ScriptedDialogRunner dialogs;
  // The real XML library of the shell the tests are built for.
  XmlParser& xml = SystemXmlParser();

 private:
  Platform platform_;
};

}  // namespace varnox::testing

#endif  // VARNOX_TESTS_FAKES_FAKE_PLATFORM_H_
