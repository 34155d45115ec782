#include "linux/platform/settings_file_registry.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "settings/settings_store.h"
#include "tests/fakes/fake_platform.h"
#include "tests/platform/registry_contract.h"

namespace varnox {
namespace {

namespace fs = std::filesystem;
using testing::RegistryContract;

// A settings file in a folder of its own; another program's value is a
// line written by the file's own writer.
class SettingsFileUnderTest final : public testing::RegistryUnderTest {
 public:
  SettingsFileUnderTest() {
    std::string pattern = (fs::temp_directory_path() / "varnox-contract-XXXXXX").string();
    EXPECT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    path_ = (dir_ / "settings.ini").string();
    registry_ = std::make_unique<SettingsFileRegistry>(RealFileSystem(), path_);
  }
  ~SettingsFileUnderTest() override { fs::remove_all(dir_); }

  Registry& registry() override { return *registry_; }
  void CreateKey() override { ASSERT_TRUE(RealFileSystem().ReplaceWholeFile(path_, "")); }
  bool KeyExists() override { return fs::exists(path_); }
  void SetRaw(std::string_view name, RegistryType type, std::string_view data) override {
    std::unique_ptr<RegistryKey> key;
    ASSERT_EQ(registry_->OpenCurrentUserKey(SettingsStore::kKeyPath, &key), kErrorSuccess);
    ASSERT_EQ(key->SetValue(name, type, data.data(), static_cast<std::uint32_t>(data.size())),
              kErrorSuccess);
  }

 private:
  fs::path dir_;
  std::string path_;
  std::unique_ptr<SettingsFileRegistry> registry_;
};

std::unique_ptr<testing::RegistryUnderTest> MakeSettingsFile() {
  return std::make_unique<SettingsFileUnderTest>();
}
INSTANTIATE_TEST_SUITE_P(SettingsFile, RegistryContract, ::testing::Values(&MakeSettingsFile),
                         testing::RegistryMakerName);

class SettingsFileRegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "varnox-settings-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir = pattern;
    path = (dir / "settings.ini").string();
    registry = std::make_unique<SettingsFileRegistry>(files, path);
  }
  void TearDown() override { fs::remove_all(dir); }

  void WriteFile(const std::string& text) { ASSERT_TRUE(files.ReplaceWholeFile(path, text)); }
  std::string ReadFile() {
    std::string text;
    files.ReadWholeFile(path, &text);
    return text;
  }
  int EntriesInFolder() {
    int entries = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir))
      ++entries;
    return entries;
  }
  std::unique_ptr<RegistryKey> OpenKey() {
    std::unique_ptr<RegistryKey> key;
    EXPECT_EQ(registry->OpenCurrentUserKey(SettingsStore::kKeyPath, &key), kErrorSuccess);
    return key;
  }

  fs::path dir;
  FileSystem& files = RealFileSystem();
  std::string path;
  std::unique_ptr<SettingsFileRegistry> registry;
};

TEST_F(SettingsFileRegistryTest, OnlyTheOneKeyExists) {
  WriteFile("");
  std::unique_ptr<RegistryKey> key;
  EXPECT_EQ(registry->OpenCurrentUserKey("Software\\Other", &key), kErrorFileNotFound);
  EXPECT_EQ(registry->OpenCurrentUserKey("SOFTWARE\\varnox msoutlook", &key), kErrorSuccess);
}

TEST_F(SettingsFileRegistryTest, QueriesCountBytesExactly) {
  WriteFile("\"S\"=\"abc\"\n\"D\"=dword:0000002a\n\"E\"=hex:\n");
  auto key = OpenKey();
  ASSERT_NE(key, nullptr);
  char buffer[8] = "-------";
  RegistryType type = RegistryType::kNone;
  std::uint32_t size = 4;
  EXPECT_EQ(key->QueryValue("S", &type, buffer, &size), kErrorSuccess);
  EXPECT_EQ(size, 4u);
  EXPECT_EQ(std::string(buffer, 5), std::string("abc\0-", 5));
  EXPECT_EQ(type, RegistryType::kString);

  size = 3;
  std::memcpy(buffer, "-------", 8);
  EXPECT_EQ(key->QueryValue("S", &type, buffer, &size), kErrorMoreData);
  EXPECT_EQ(size, 4u) << "the size needed";
  EXPECT_EQ(std::string(buffer), "-------") << "nothing copied";

  size = 0;
  EXPECT_EQ(key->QueryValue("d", &type, nullptr, &size), kErrorSuccess);
  EXPECT_EQ(size, 4u);
  EXPECT_EQ(type, RegistryType::kDword);
  EXPECT_EQ(key->QueryValue("D", &type, nullptr, nullptr), kErrorSuccess);
  EXPECT_EQ(key->QueryValue("D", nullptr, buffer, nullptr), kErrorInvalidParameter);

  size = 8;
  EXPECT_EQ(key->QueryValue("E", &type, buffer, &size), kErrorSuccess);
  EXPECT_EQ(size, 0u);
  EXPECT_EQ(type, RegistryType::kBinary);
  size = 8;
  EXPECT_EQ(key->QueryValue("Absent", &type, buffer, &size), kErrorFileNotFound);
  EXPECT_EQ(size, 8u);
}

TEST_F(SettingsFileRegistryTest, WritesReplaceOneLineAtomically) {
  WriteFile("; my notes\n[Software\\Varnox MSOutlook]\n\"BeepAtSpam\"=dword:00000000\n");
  SettingsStore store(*registry);
  EXPECT_EQ(store.SetBeepAtSpam(1), kErrorSuccess);
  EXPECT_EQ(store.SetNotSpamFolderName("Bo\xEEte"), kErrorSuccess);
  EXPECT_EQ(ReadFile(),
            "; my notes\n[Software\\Varnox MSOutlook]\n\"BeepAtSpam\"=dword:00000001\n"
            "\"NotSpamFolderName\"=\"Bo\xC3\xAEte\"\n");
  EXPECT_EQ(EntriesInFolder(), 1) << "nothing is left beside the file";
  struct stat st;
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  std::string folder;
  EXPECT_TRUE(store.NotSpamFolderName(&folder));
  EXPECT_EQ(folder, "Bo\xEEte");
}

TEST_F(SettingsFileRegistryTest, AWriteKeepsWhatOthersChangedMeanwhile) {
  WriteFile("\"A\"=dword:1\n");
  auto key = OpenKey();
  ASSERT_NE(key, nullptr);
  WriteFile("\"A\"=dword:1\n\"Other\"=dword:2\n");  // another process
  const unsigned char one[4] = {1, 0, 0, 0};
  ASSERT_EQ(key->SetValue("B", RegistryType::kDword, one, 4), kErrorSuccess);
  EXPECT_EQ(ReadFile(), "\"A\"=dword:1\n\"Other\"=dword:2\n\"B\"=dword:00000001\n");
  std::uint32_t size = 4;
  unsigned char data[4];
  EXPECT_EQ(key->QueryValue("B", nullptr, data, &size), kErrorSuccess) << "sees its own write";
}

TEST_F(SettingsFileRegistryTest, AFileRemovedWhileOpenIsNotMadeAgain) {
  WriteFile("");
  auto key = OpenKey();
  ASSERT_NE(key, nullptr);
  fs::remove(path);
  const unsigned char one[4] = {1, 0, 0, 0};
  EXPECT_EQ(key->SetValue("B", RegistryType::kDword, one, 4), kErrorFileNotFound);
  EXPECT_FALSE(fs::exists(path));
}

TEST_F(SettingsFileRegistryTest, UnusableFilesOpenAsNoKeyAndAreNeverRewritten) {
  const std::string huge(SettingsFile::kMaxFileBytes + 1, 'x');
  WriteFile(huge);
  std::unique_ptr<RegistryKey> key;
  EXPECT_EQ(registry->OpenCurrentUserKey(SettingsStore::kKeyPath, &key), kErrorInvalidData);
  SettingsStore store(*registry);
  EXPECT_NE(store.SetBeepAtSpam(1), kErrorSuccess);
  EXPECT_EQ(ReadFile(), huge);

  // Neither a pipe (which would block a reader) nor a folder is read.
  fs::remove(path);
  ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
  EXPECT_EQ(registry->OpenCurrentUserKey(SettingsStore::kKeyPath, &key), kErrorInvalidData);
  fs::remove(path);
  fs::create_directory(path);
  EXPECT_EQ(registry->OpenCurrentUserKey(SettingsStore::kKeyPath, &key), kErrorAccessDenied);
  EXPECT_EQ(key, nullptr);
}

TEST_F(SettingsFileRegistryTest, AWriteThatWouldPassTheSizeLimitIsRefused) {
  WriteFile("\"A\"=dword:1\n");
  auto key = OpenKey();
  ASSERT_NE(key, nullptr);
  const std::string big(SettingsFile::kMaxFileBytes / 3 + 1, 'x');
  EXPECT_EQ(key->SetValue("Big", RegistryType::kBinary, big.data(),
                          static_cast<std::uint32_t>(big.size())),
            kErrorInvalidData);
  EXPECT_EQ(ReadFile(), "\"A\"=dword:1\n");
}

TEST(SettingsFileRegistryFakeTest, AFailedReplaceIsReportedAndChangesNothing) {
  testing::FakeFileSystem files;
  files.files["/cfg/settings.ini"] = "\"A\"=dword:1\n";
  files.unwritable.push_back("/cfg/settings.ini");
  SettingsFileRegistry registry(files, "/cfg/settings.ini");
  std::unique_ptr<RegistryKey> key;
  ASSERT_EQ(registry.OpenCurrentUserKey(SettingsStore::kKeyPath, &key), kErrorSuccess);
  const unsigned char two[4] = {2, 0, 0, 0};
  EXPECT_EQ(key->SetValue("A", RegistryType::kDword, two, 4), kErrorWriteFault);
  unsigned char data[4] = {};
  std::uint32_t size = 4;
  ASSERT_EQ(key->QueryValue("A", nullptr, data, &size), kErrorSuccess);
  EXPECT_EQ(data[0], 1) << "the key still reads what the file holds";
  EXPECT_EQ(files.files["/cfg/settings.ini"], "\"A\"=dword:1\n");
}

// The settings store's read rules, end to end through the file's text.
TEST_F(SettingsFileRegistryTest, SettingsStoreReadsTheFileAsItReadsTheRegistry) {
  const std::string p259(259, 'p');
  const std::string e259 = [] {
    std::string s;
    for (int i = 0; i < 259; ++i)
      s += "\xC3\xA9";  // one 1252 byte each
    return s;
  }();
  struct Case {
    const char* what;
    std::string line;
    bool found;
    std::string text;
  };
  const Case cases[] = {
      {"259 characters are read", "\"WordFilePath\"=\"" + p259 + "\"", true, p259},
      {"260 characters read as absent", "\"WordFilePath\"=\"" + p259 + "p\"", false, ""},
      {"259 two-byte UTF-8 characters are 259 bytes", "\"WordFilePath\"=\"" + e259 + "\"", true,
       std::string(259, '\xE9')},
      {"without terminator", "\"WordFilePath\"=hex(1):61,62", true, "ab"},
      {"with terminator", "\"WordFilePath\"=hex(1):61,62,00", true, "ab"},
      {"260 bytes without terminator",
       "\"WordFilePath\"=hex(1):" +
           [] {
             std::string h = "61";
             for (int i = 1; i < 260; ++i)
               h += ",61";
             return h;
           }(),
       false, ""},
      {"a character 1252 lacks", "\"WordFilePath\"=\"\xE2\x86\x92\"", true, "?"},
      {"a damaged line", "\"WordFilePath\"=\"bad\\x\"", false, ""},
  };
  SettingsStore store(*registry);
  for (const Case& c : cases) {
    WriteFile("[Software\\Varnox MSOutlook]\n" + c.line + "\n");
    std::string text;
    EXPECT_EQ(store.WordFilePath(&text), c.found) << c.what;
    EXPECT_EQ(text, c.text) << c.what;
  }
  const struct {
    const char* line;
    std::uint32_t value;
  } dwords[] = {
      {"\"BeepAtSpam\"=dword:00000005", 5},
      {"\"BeepAtSpam\"=hex(4):01,00,00,00,00,00,00,00", 0},
      {"\"BeepAtSpam\"=hex(4):02", 2},
      {"\"BeepAtSpam\"=\"1\"", 0x31},
  };
  for (const auto& d : dwords) {
    WriteFile(std::string(d.line) + "\n");
    EXPECT_EQ(store.BeepAtSpam(), d.value) << d.line;
  }
}

}  // namespace
}  // namespace varnox
