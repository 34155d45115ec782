// The add-in object as the pipeline needs it: built with its lists loaded,
// holding a module lock count for its life, saving the word database when
// it goes.
#include "host/vnx_addin.h"

#include <gtest/gtest.h>

#include "tests/fakes/fake_host.h"
#include "tests/fakes/fake_platform.h"

namespace varnox {
namespace {

TEST(CVNXAddin, LoadsBothListsAndHoldsALockCountForItsLife) {
  testing::FakePlatform fakes;
  fakes.registry.CreateKey();
  fakes.registry.SetString(setting::kBlackListPath, "black.xml");
  fakes.registry.SetString(setting::kWhiteListPath, "white.xml");
  fakes.files.files["black.xml"] = "<L><MailID Name=\"b@x.example\"/><Domain Name=\"@y\"/></L>";
  fakes.files.files["white.xml"] = "<L><MailID Name=\"w@x.example\"/></L>";
  const long before = ModuleLockCount();
  {
    CVNXAddin addin(fakes.platform());
    EXPECT_EQ(ModuleLockCount(), before + 1);
    EXPECT_EQ(addin.blackList.addresses(), std::vector<std::string>{"b@x.example"});
    EXPECT_EQ(addin.blackList.domains(), std::vector<std::string>{"@y"});
    EXPECT_EQ(addin.whiteList.addresses(), std::vector<std::string>{"w@x.example"});
    EXPECT_EQ(addin.spamFolder, nullptr);
    EXPECT_TRUE(addin.folderSinks.empty());
  }
  EXPECT_EQ(ModuleLockCount(), before);
}

TEST(CVNXAddin, DestructionWritesTheWordDatabaseAndReleasesHostReferences) {
  testing::FakePlatform fakes;
  testing::FakeHost host;
  testing::FakeFolder& spam = host.AddStore("Store").AddFolder("SpamFilter");
  fakes.registry.CreateKey();
  fakes.registry.SetString(setting::kWordFilePath, "words.db");
  fakes.registry.SetString(setting::kIgnoreFilePath, "ignore.txt");
  {
    CVNXAddin addin(fakes.platform());
    addin.filter.Initialize();
    addin.spamFolder = host.FolderRef(spam);
    addin.application = host.ApplicationRef();
    addin.filter.Learn("remember these words", "subject", 1);
    fakes.files.files.erase("words.db");
  }
  EXPECT_EQ(fakes.files.files.count("words.db"), 1u);
  EXPECT_EQ(host.LiveReferences(), 0);
}

}  // namespace
}  // namespace varnox
