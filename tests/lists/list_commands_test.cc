// BlackList and WhiteList as the toolbar runs them on the add-in object.
#include "addin/list_commands.h"

#include <gtest/gtest.h>

#include "addin/vnx_addin.h"
#include "lists/list_dialog.h"
#include "tests/fakes/fake_platform.h"

namespace varnox {
namespace {

using testing::ScriptedDialogView;
using Entries = std::vector<std::string>;
using D = ListDialog;

// An add-in over fake services, with one entry in each list file.
struct World {
  World() {
    fake.registry.CreateKey();
    fake.registry.SetString(setting::kBlackListPath, "black.xml");
    fake.registry.SetString(setting::kWhiteListPath, "white.xml");
    fake.files.files["black.xml"] = "<L><MailID Name=\"b@x\"/></L>";
    fake.files.files["white.xml"] = "<L><MailID Name=\"w@x\"/></L>";
    addin = std::make_unique<CVNXAddin>(fake.platform());
  }

  // Another program adds an entry to the file while the dialog is open: it
  // reaches memory only if the command reloads the list.
  void AddBehindTheListsBack(const char* path) {
    fake.files.files[path] = "<L><MailID Name=\"outside@x\"/>" + fake.files.files[path].substr(3);
  }

  testing::FakePlatform fake;
  std::unique_ptr<CVNXAddin> addin;
};

class ListCommandsTest : public ::testing::Test, public World {};

TEST_F(ListCommandsTest, ClosingWithoutChangeDoesNotReload) {
  fake.dialogs.Expect(dialog_id::kBlackList, [&](ScriptedDialogView& v) {
    AddBehindTheListsBack("black.xml");
    v.Close();
  });
  OnBlackList(*addin);
  EXPECT_EQ(fake.dialogs.Unplayed(), 0);
  EXPECT_EQ(addin->blackList.addresses(), Entries{"b@x"});
}

TEST_F(ListCommandsTest, AChangeReloadsThatListOnly) {
  struct Case {
    const char* what;
    void (*command)(CVNXAddin&);
    int template_id;
    const char* path;
    bool black;
    Entries expected;
  };
  const Case cases[] = {
      {"BlackList",
       OnBlackList,
       dialog_id::kBlackList,
       "black.xml",
       true,
       {"outside@x", "b@x", "new@x"}},
      {"WhiteList",
       OnWhiteList,
       dialog_id::kWhiteList,
       "white.xml",
       false,
       {"outside@x", "w@x", "new@x"}},
  };
  for (const Case& c : cases) {
    World fresh;
    fresh.fake.dialogs.Expect(c.template_id, [&](ScriptedDialogView& v) {
      fresh.AddBehindTheListsBack(c.path);
      v.SelectCombo(D::kIdTypeBox, D::kTypeAddress);
      v.Type(D::kIdItemText, "new@x");
      v.Click(kIdOkButton);
      v.Close();
    });
    c.command(*fresh.addin);
    SenderList& changed = c.black ? fresh.addin->blackList : fresh.addin->whiteList;
    SenderList& other = c.black ? fresh.addin->whiteList : fresh.addin->blackList;
    EXPECT_EQ(changed.addresses(), c.expected) << c.what << ": memory holds the file";
    EXPECT_EQ(other.addresses().size(), 1u) << c.what;
  }
}

TEST_F(ListCommandsTest, AnEntryTheFileCouldNotTakeSurvivesTheCommand) {
  fake.files.unwritable.push_back("black.xml");
  fake.dialogs.Expect(dialog_id::kBlackList, [](ScriptedDialogView& v) {
    v.SelectCombo(D::kIdTypeBox, D::kTypeDomain);
    v.Type(D::kIdItemText, "@spam.example");
    v.Click(kIdOkButton);
    v.Close();
  });
  OnBlackList(*addin);
  EXPECT_TRUE(addin->blackList.ContainsDomain("@spam.example"));
}

}  // namespace
}  // namespace varnox
