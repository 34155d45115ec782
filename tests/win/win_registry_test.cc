// The registry seam over the real Win32 registry (Wine's, in the test
// prefix), alone and under the settings store.
#include "win/win_registry.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "settings/settings_store.h"

namespace varnox {
namespace {

class WinRegistryTest : public ::testing::Test {
 protected:
  void SetUp() override { DeleteKey(); }
  void TearDown() override { DeleteKey(); }

  static void DeleteKey() { RegDeleteTreeA(HKEY_CURRENT_USER, SettingsStore::kKeyPath); }
  static void CreateKey() {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, SettingsStore::kKeyPath, 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
  }
  static bool KeyExists() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, SettingsStore::kKeyPath, 0, KEY_READ, &key) !=
        ERROR_SUCCESS) {
      return false;
    }
    RegCloseKey(key);
    return true;
  }
  static void SetRaw(const char* name, DWORD type, const std::string& data) {
    ASSERT_EQ(RegSetKeyValueA(HKEY_CURRENT_USER, SettingsStore::kKeyPath, name, type, data.data(),
                              static_cast<DWORD>(data.size())),
              ERROR_SUCCESS);
  }

  WinRegistry registry;
};

TEST_F(WinRegistryTest, AbsentKeyIsNeverCreated) {
  std::unique_ptr<RegistryKey> key;
  EXPECT_EQ(registry.OpenCurrentUserKey(SettingsStore::kKeyPath, &key), kErrorFileNotFound);
  EXPECT_EQ(key, nullptr);
  EXPECT_FALSE(KeyExists());

  SettingsStore store(registry);
  EXPECT_EQ(store.SetBeepAtSpam(1), kErrorFileNotFound);
  EXPECT_EQ(store.SetNotSpamFolderName("Inbox"), kErrorFileNotFound);
  EXPECT_EQ(store.BeepAtSpam(), 0u);
  EXPECT_FALSE(KeyExists()) << "writers must not create the key";
}

TEST_F(WinRegistryTest, WritesAndReadsTypedValues) {
  CreateKey();
  std::unique_ptr<RegistryKey> key;
  ASSERT_EQ(registry.OpenCurrentUserKey(SettingsStore::kKeyPath, &key), kErrorSuccess);
  const std::uint32_t number = 0x01020304;
  ASSERT_EQ(key->SetValue("Number", RegistryType::kDword, &number, 4), kErrorSuccess);
  ASSERT_EQ(key->SetValue("Text", RegistryType::kString, "abc", 4), kErrorSuccess);

  RegistryType type = RegistryType::kNone;
  std::uint32_t read = 0;
  std::uint32_t size = sizeof read;
  ASSERT_EQ(key->QueryValue("Number", &type, &read, &size), kErrorSuccess);
  EXPECT_EQ(type, RegistryType::kDword);
  EXPECT_EQ(size, 4u);
  EXPECT_EQ(read, number);

  char text[8] = {};
  size = sizeof text;
  ASSERT_EQ(key->QueryValue("Text", &type, text, &size), kErrorSuccess);
  EXPECT_EQ(type, RegistryType::kString);
  EXPECT_EQ(size, 4u);
  EXPECT_STREQ(text, "abc");

  size = 0;
  EXPECT_EQ(key->QueryValue("Text", nullptr, nullptr, &size), kErrorSuccess);
  EXPECT_EQ(size, 4u) << "a null buffer asks for the size";
  EXPECT_EQ(key->QueryValue("Absent", nullptr, text, &size), kErrorFileNotFound);
}

TEST_F(WinRegistryTest, TooSmallBufferIsLeftUntouched) {
  CreateKey();
  SetRaw("Long", REG_BINARY, std::string(16, 'x'));
  std::unique_ptr<RegistryKey> key;
  ASSERT_EQ(registry.OpenCurrentUserKey(SettingsStore::kKeyPath, &key), kErrorSuccess);
  struct Case {
    std::uint32_t capacity;
  };
  for (const Case c : {Case{0}, Case{4}, Case{15}}) {
    char buffer[16];
    std::memset(buffer, 0xAA, sizeof buffer);
    std::uint32_t size = c.capacity;
    EXPECT_EQ(key->QueryValue("Long", nullptr, buffer, &size), kErrorMoreData)
        << "capacity " << c.capacity;
    EXPECT_EQ(size, 16u) << "capacity " << c.capacity;
    for (unsigned char byte : buffer)
      ASSERT_EQ(byte, 0xAA) << "capacity " << c.capacity;
  }
}

// The settings store's reading rules hold over the real registry as over
// the in-memory one.
TEST_F(WinRegistryTest, SettingsStoreReadsAsStored) {
  CreateKey();
  SettingsStore store(registry);
  const std::string s259(259, 'p');
  struct Case {
    const char* what;
    DWORD type;
    std::string stored;
    bool found;
    std::string expected;
  };
  const Case cases[] = {
      {"with terminator", REG_SZ, std::string("Inbox\0", 6), true, "Inbox"},
      {"without terminator", REG_SZ, "Inbox", true, "Inbox"},
      {"accented, code page 1252", REG_SZ, std::string("Bo\xEEte\0", 6), true, "Bo\xEEte"},
      {"259 with terminator", REG_SZ, s259 + '\0', true, s259},
      {"259 without terminator", REG_SZ, s259, true, s259},
      {"260 with terminator", REG_SZ, s259 + "p" + '\0', false, "keep"},
      {"much longer", REG_SZ, std::string(5000, 'x'), false, "keep"},
  };
  for (const Case& c : cases) {
    SetRaw(setting::kWordFilePath, c.type, c.stored);
    std::string path = "keep";
    EXPECT_EQ(store.WordFilePath(&path), c.found) << c.what;
    EXPECT_EQ(path, c.expected) << c.what;
  }
}

TEST_F(WinRegistryTest, SettingsStoreReadsDwordsAsStored) {
  CreateKey();
  SettingsStore store(registry);
  struct Case {
    const char* what;
    DWORD type;
    std::string data;
    std::uint32_t expected;
  };
  const Case cases[] = {
      {"five from another tool", REG_DWORD, std::string("\x05\0\0\0", 4), 5},
      {"longer than four bytes", REG_BINARY, std::string(8, '\x01'), 0},
      {"two bytes", REG_BINARY, std::string("\x02\x01", 2), 0x0102},
  };
  for (const Case& c : cases) {
    SetRaw(setting::kBeepAtSpam, c.type, c.data);
    EXPECT_EQ(store.BeepAtSpam(), c.expected) << c.what;
  }
  EXPECT_EQ(store.LearnFromWhiteListed(), 0u) << "absent value";
}

TEST_F(WinRegistryTest, SettingsStoreWritesWhatItReads) {
  CreateKey();
  SettingsStore store(registry);
  EXPECT_EQ(store.SetLearnFromBlackListed(1), kErrorSuccess);
  EXPECT_EQ(store.SetNotSpamFolderName("Bo\xEEte de r\xE9"
                                       "ception"),
            kErrorSuccess);
  EXPECT_EQ(store.LearnFromBlackListed(), 1u);
  std::string name;
  ASSERT_TRUE(store.NotSpamFolderName(&name));
  EXPECT_EQ(name,
            "Bo\xEEte de r\xE9"
            "ception");

  DWORD type = 0, size = 0;
  ASSERT_EQ(RegGetValueA(HKEY_CURRENT_USER, SettingsStore::kKeyPath, setting::kNotSpamFolderName,
                         RRF_RT_ANY | RRF_NOEXPAND, &type, nullptr, &size),
            ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(size, 19u) << "18 characters and the terminator";
}

}  // namespace
}  // namespace varnox
