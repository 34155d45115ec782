// What every registry must do alike (registry_contract.h says how a test
// program runs it against its implementation): the settings store reads and
// writes the same on every host because of these.
#include "tests/platform/registry_contract.h"

#include <cstring>
#include <string>

#include "settings/settings_store.h"

namespace varnox::testing {
namespace {

std::unique_ptr<RegistryKey> OpenSettingsKey(Registry& registry) {
  std::unique_ptr<RegistryKey> key;
  EXPECT_EQ(registry.OpenCurrentUserKey(SettingsStore::kKeyPath, &key), kErrorSuccess);
  return key;
}

TEST_P(RegistryContract, AnAbsentKeyIsNeverCreated) {
  std::unique_ptr<RegistryKey> key;
  EXPECT_EQ(under_test->registry().OpenCurrentUserKey(SettingsStore::kKeyPath, &key),
            kErrorFileNotFound);
  EXPECT_EQ(key, nullptr);

  SettingsStore store(under_test->registry());
  EXPECT_NE(store.SetBeepAtSpam(1), kErrorSuccess);
  EXPECT_NE(store.SetNotSpamFolderName("Inbox"), kErrorSuccess);
  EXPECT_EQ(store.BeepAtSpam(), 0u);
  EXPECT_FALSE(under_test->KeyExists()) << "writers must not create the key";
}

TEST_P(RegistryContract, WritesAndReadsTypedValues) {
  under_test->CreateKey();
  auto key = OpenSettingsKey(under_test->registry());
  ASSERT_NE(key, nullptr);
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
  EXPECT_EQ(key->QueryValue("text", nullptr, nullptr, &size), kErrorSuccess)
      << "names in any letter case";
  EXPECT_EQ(size, 4u) << "a null buffer asks for the size";
  size = sizeof text;
  EXPECT_EQ(key->QueryValue("Absent", nullptr, text, &size), kErrorFileNotFound);
}

TEST_P(RegistryContract, ATooSmallBufferIsLeftUntouched) {
  under_test->CreateKey();
  under_test->SetRaw("Long", RegistryType::kBinary, std::string(16, 'x'));
  auto key = OpenSettingsKey(under_test->registry());
  ASSERT_NE(key, nullptr);
  for (std::uint32_t capacity : {0u, 4u, 15u}) {
    char buffer[16];
    std::memset(buffer, 0xAA, sizeof buffer);
    std::uint32_t size = capacity;
    EXPECT_EQ(key->QueryValue("Long", nullptr, buffer, &size), kErrorMoreData)
        << "capacity " << capacity;
    EXPECT_EQ(size, 16u) << "the size needed, capacity " << capacity;
    for (unsigned char byte : buffer)
      ASSERT_EQ(byte, 0xAA) << "capacity " << capacity;
  }
}

// The settings store's read rules over values another program stored.
TEST_P(RegistryContract, TheSettingsStoreReadsWhatOthersStored) {
  under_test->CreateKey();
  SettingsStore store(under_test->registry());
  const std::string s259(259, 'p');
  struct Text {
    const char* what;
    std::string stored;
    bool found;
    std::string expected;
  };
  const Text texts[] = {
      {"with terminator", std::string("Inbox\0", 6), true, "Inbox"},
      {"without terminator", "Inbox", true, "Inbox"},
      {"accented, code page 1252", std::string("Bo\xEEte\0", 6), true, "Bo\xEEte"},
      {"259 with terminator", s259 + '\0', true, s259},
      {"259 without terminator", s259, true, s259},
      {"260 with terminator", s259 + "p" + '\0', false, "keep"},
      {"much longer", std::string(5000, 'x'), false, "keep"},
  };
  for (const Text& c : texts) {
    under_test->SetRaw(setting::kWordFilePath, RegistryType::kString, c.stored);
    std::string path = "keep";
    EXPECT_EQ(store.WordFilePath(&path), c.found) << c.what;
    EXPECT_EQ(path, c.expected) << c.what;
  }
  struct Number {
    const char* what;
    RegistryType type;
    std::string data;
    std::uint32_t expected;
  };
  const Number numbers[] = {
      {"five", RegistryType::kDword, std::string("\x05\0\0\0", 4), 5},
      {"longer than four bytes", RegistryType::kBinary, std::string(8, '\x01'), 0},
      {"two bytes", RegistryType::kBinary, std::string("\x02\x01", 2), 0x0102},
  };
  for (const Number& c : numbers) {
    under_test->SetRaw(setting::kBeepAtSpam, c.type, c.data);
    EXPECT_EQ(store.BeepAtSpam(), c.expected) << c.what;
  }
  EXPECT_EQ(store.LearnFromWhiteListed(), 0u) << "absent value";
}

TEST_P(RegistryContract, TheSettingsStoreReadsWhatItWrote) {
  under_test->CreateKey();
  SettingsStore store(under_test->registry());
  const std::string folder =
      "Bo\xEEte de r\xE9"
      "ception";
  EXPECT_EQ(store.SetLearnFromBlackListed(1), kErrorSuccess);
  EXPECT_EQ(store.SetNotSpamFolderName(folder), kErrorSuccess);
  EXPECT_EQ(store.LearnFromBlackListed(), 1u);
  std::string name;
  ASSERT_TRUE(store.NotSpamFolderName(&name));
  EXPECT_EQ(name, folder);

  auto key = OpenSettingsKey(under_test->registry());
  ASSERT_NE(key, nullptr);
  RegistryType type = RegistryType::kNone;
  std::uint32_t size = 0;
  ASSERT_EQ(key->QueryValue(setting::kNotSpamFolderName, &type, nullptr, &size), kErrorSuccess);
  EXPECT_EQ(type, RegistryType::kString);
  EXPECT_EQ(size, 19u) << "18 characters and the terminator";
}

}  // namespace
}  // namespace varnox::testing
