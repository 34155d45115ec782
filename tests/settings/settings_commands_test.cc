// Settings, Mail Header, About, Help and Support as the toolbar runs them on
// the add-in object, over the fake host.
#include "addin/settings_commands.h"

#include <gtest/gtest.h>

#include "addin/vnx_addin.h"
#include "platform/user_interface.h"
#include "settings/info_dialogs.h"
#include "settings/settings_dialog.h"
#include "tests/fakes/fake_host.h"
#include "tests/fakes/fake_platform.h"

namespace varnox {
namespace {

using testing::FakeItem;
using testing::ScriptedDialogView;

constexpr char kHeaders[] =
    "Received: from mx.example.org\r\nFrom: Ann <ann@example.org>\r\n"
    "Subject: hello\r\nX-VNX-LEARN:Spam\r\n";

class SettingsCommandsTest : public ::testing::Test {
 protected:
  void SetUp() override { addin.application = host.ApplicationRef(); }

  // Runs Mail Header, expecting its dialog; gives the text it showed.
  std::string ShownHeaders() {
    fake.dialogs.Expect(dialog_id::kMailHeaders, [](ScriptedDialogView& v) { v.Close(); });
    OnMailHeader(addin);
    EXPECT_EQ(fake.dialogs.Unplayed(), 0) << "no dialog";
    if (fake.dialogs.runs.empty())
      return "(no dialog)";
    return fake.dialogs.runs.back().texts[MailHeaderDialog::kIdHeaderText];
  }

  testing::FakePlatform fake;
  testing::FakeHost host;
  testing::FakeFolder& inbox = host.AddStore("Store").AddFolder("Inbox");
  CVNXAddin addin{fake.platform()};
};

TEST_F(SettingsCommandsTest, MailHeaderWithNothingSelectedDoesNothing) {
  OnMailHeader(addin);
  host.has_explorer = false;
  host.selection = {&inbox.AddMail(kHeaders, "b", "s")};
  OnMailHeader(addin);
  addin.application.reset();
  OnMailHeader(addin);
  EXPECT_TRUE(fake.dialogs.runs.empty());
  EXPECT_TRUE(fake.ui.messages.empty());
}

TEST_F(SettingsCommandsTest, MailHeaderWithSeveralSelectedAsksForOne) {
  for (int i = 0; i < 3; ++i)
    host.selection.push_back(&inbox.AddMail(kHeaders, "b", "s"));
  OnMailHeader(addin);
  EXPECT_TRUE(fake.dialogs.runs.empty());
  ASSERT_EQ(fake.ui.messages.size(), 1u);
  EXPECT_EQ(fake.ui.messages[0].text, "Please Select a single mail");
  EXPECT_EQ(fake.ui.messages[0].caption, "Varnox");
  EXPECT_EQ(fake.ui.messages[0].flags, kMbOk);
}

TEST_F(SettingsCommandsTest, MailHeaderShowsTheWholeHeadersOfTheOneSelected) {
  host.selection = {&inbox.AddMail(kHeaders, "body", "subject")};
  EXPECT_EQ(ShownHeaders(), kHeaders) << "the learning mark does not cut the text";
  EXPECT_TRUE(fake.ui.messages.empty());
  EXPECT_EQ(host.LiveReferences(), 1) << "only the add-in's application reference";
}

TEST_F(SettingsCommandsTest, MailHeaderOpensEmptyWhenThereAreNoHeaders) {
  struct Case {
    const char* what;
    FakeItem& item;
  };
  FakeItem& no_message = inbox.AddMail(kHeaders, "b", "s");
  no_message.has_message = false;
  FakeItem& failing = inbox.AddMail(kHeaders, "b", "s");
  failing.FailProperty(host::kPrTransportMessageHeaders, kEFail);
  const Case cases[] = {
      {"not a mail item", inbox.AddOtherItem()},
      {"composed locally", inbox.AddBareMail()},
      {"no MAPI message", no_message},
      {"headers unreadable", failing},
  };
  for (const Case& c : cases) {
    host.selection = {&c.item};
    EXPECT_EQ(ShownHeaders(), "") << c.what;
  }
  EXPECT_TRUE(fake.ui.messages.empty());
}

TEST_F(SettingsCommandsTest, SettingsRunsItsDialogOnTheAddinsFilter) {
  fake.registry.CreateKey();
  fake.dialogs.Expect(dialog_id::kSettings, [](ScriptedDialogView& v) {
    v.Tick(SettingsDialog::kIdBeep, true);
    v.Click(kIdOkButton);
  });
  addin.filter.Learn("several distinct words here", "subject", 1);
  OnSettings(addin);
  ASSERT_EQ(fake.dialogs.runs.size(), 1u);
  EXPECT_EQ(fake.dialogs.runs[0].texts[SettingsDialog::kIdWordCount],
            "Total Words in Bayesian Database : " + std::to_string(addin.filter.WordCount()));
  EXPECT_EQ(addin.settings.BeepAtSpam(), 1u);
}

TEST_F(SettingsCommandsTest, AboutHelpAndSupport) {
  fake.dialogs.Expect(dialog_id::kAbout, [](ScriptedDialogView& v) { v.Close(); });
  OnAbout(addin);
  EXPECT_EQ(fake.dialogs.Unplayed(), 0);
  OnHelp(addin);
  OnSupport(addin);
  EXPECT_EQ(fake.ui.opened,
            (std::vector<std::string>{std::string(kHelpPage), std::string(kSupportPage)}));
  EXPECT_NE(kHelpPage, kSupportPage);
  EXPECT_TRUE(fake.ui.messages.empty());
}

}  // namespace
}  // namespace varnox
