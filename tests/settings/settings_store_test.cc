#include "settings/settings_store.h"

#include <gtest/gtest.h>

#include <cstring>

#include "tests/fakes/fake_platform.h"
#include "tests/platform/registry_contract.h"

namespace varnox {
namespace {

using testing::FakeRegistry;
using testing::RegistryContract;

class FakeRegistryUnderTest final : public testing::RegistryUnderTest {
 public:
  Registry& registry() override { return fake_; }
  void CreateKey() override { fake_.CreateKey(); }
  bool KeyExists() override { return fake_.key_exists(); }
  void SetRaw(std::string_view name, RegistryType type, std::string_view data) override {
    fake_.SetRaw(std::string(name), type, std::string(data));
  }

 private:
  FakeRegistry fake_;
};

std::unique_ptr<testing::RegistryUnderTest> MakeFakeRegistry() {
  return std::make_unique<FakeRegistryUnderTest>();
}
INSTANTIATE_TEST_SUITE_P(Fake, RegistryContract, ::testing::Values(&MakeFakeRegistry),
                         testing::RegistryMakerName);

class SettingsStoreTest : public ::testing::Test {
 protected:
  FakeRegistry registry;
  SettingsStore store{registry};
};

TEST_F(SettingsStoreTest, AbsentKeyGivesDefaultsAndWritesNothing) {
  EXPECT_EQ(store.BeepAtSpam(), 0u);
  std::string name = "unchanged";
  EXPECT_FALSE(store.NotSpamFolderName(&name));
  EXPECT_EQ(name, "unchanged");
  EXPECT_NE(store.SetBeepAtSpam(1), kErrorSuccess);
  EXPECT_NE(store.SetNotSpamFolderName("Inbox"), kErrorSuccess);
  EXPECT_FALSE(registry.key_exists());  // the store never creates its key
  EXPECT_EQ(registry.writes(), 0);
}

TEST_F(SettingsStoreTest, ReadsDwordsAsStored) {
  registry.CreateKey();
  struct Case {
    const char* what;
    std::string data;
    std::uint32_t expected;
  };
  const Case cases[] = {
      {"one", std::string("\x01\0\0\0", 4), 1},
      {"five from another tool", std::string("\x05\0\0\0", 4), 5},
      {"all bits", std::string("\xFF\xFF\xFF\xFF", 4), 0xFFFFFFFFu},
      {"longer than four bytes", std::string("\x01\0\0\0\0\0\0\0", 8), 0},
      {"two bytes", std::string("\x02\x01", 2), 0x0102},
      {"empty", std::string(), 0},
  };
  for (const Case& c : cases) {
    registry.SetRaw(setting::kBeepAtSpam, RegistryType::kDword, c.data);
    EXPECT_EQ(store.BeepAtSpam(), c.expected) << c.what;
  }
  registry.DeleteKey();
  registry.CreateKey();
  EXPECT_EQ(store.LearnFromWhiteListed(), 0u) << "absent value";
}

TEST_F(SettingsStoreTest, ReadsStringsUpTo259Bytes) {
  registry.CreateKey();
  struct Case {
    const char* what;
    std::string stored;
    bool found;
    std::string expected;
  };
  const std::string s259(259, 'p');
  const Case cases[] = {
      {"with terminator", std::string("Inbox\0", 6), true, "Inbox"},
      {"without terminator", "Inbox", true, "Inbox"},
      {"empty with terminator", std::string("\0", 1), true, ""},
      {"empty data", "", true, ""},
      {"259 with terminator", s259 + '\0', true, s259},
      {"259 without terminator", s259, true, s259},
      {"260 without terminator", s259 + "p", false, "keep"},
      {"260 with terminator", s259 + "p" + '\0', false, "keep"},
      {"much longer", std::string(5000, 'x'), false, "keep"},
  };
  for (const Case& c : cases) {
    registry.SetRaw(setting::kWordFilePath, RegistryType::kString, c.stored);
    std::string path = "keep";
    EXPECT_EQ(store.WordFilePath(&path), c.found) << c.what;
    EXPECT_EQ(path, c.expected) << c.what;
  }
}

TEST_F(SettingsStoreTest, ReadStringLeavesTheBufferAloneWhenItDoesNotFit) {
  registry.CreateKey();
  registry.SetRaw("Name", RegistryType::kString, "abcd");
  char buffer[4];
  std::memcpy(buffer, "xyz", 4);
  EXPECT_FALSE(store.ReadString("Name", buffer, sizeof buffer));
  EXPECT_STREQ(buffer, "xyz");
  char big[5];
  EXPECT_TRUE(store.ReadString("Name", big, sizeof big));
  EXPECT_STREQ(big, "abcd");
}

TEST_F(SettingsStoreTest, WritesTypedValues) {
  registry.CreateKey();
  EXPECT_EQ(store.SetLearnFromBlackListed(1), kErrorSuccess);
  EXPECT_EQ(store.SetNotSpamFolderName("Inbox"), kErrorSuccess);
  EXPECT_EQ(store.SetNotSpamFolderName(""), kErrorSuccess);
  const FakeRegistry::Value* dword = registry.Find(setting::kLearnFromBlackListed);
  ASSERT_NE(dword, nullptr);
  EXPECT_EQ(dword->type, RegistryType::kDword);
  EXPECT_EQ(dword->data, std::string("\x01\0\0\0", 4));
  const FakeRegistry::Value* text = registry.Find(setting::kNotSpamFolderName);
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(text->type, RegistryType::kString);
  EXPECT_EQ(text->data, std::string("\0", 1));
  EXPECT_EQ(store.LearnFromBlackListed(), 1u);
}

TEST_F(SettingsStoreTest, FailedSetIsNotReported) {
  registry.CreateKey();
  registry.fail_writes = true;
  EXPECT_EQ(store.SetBeepAtSpam(1), kErrorSuccess);
  EXPECT_EQ(store.BeepAtSpam(), 0u);
}

}  // namespace
}  // namespace varnox
