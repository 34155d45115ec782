// The real DLL's add-in object connected to the stand-in Outlook: folders
// found and watched, the spam folder made, the toolbar built, new mail
// judged through MAPI, and every subscription cancelled at disconnection.
#include <windows.h>

#include <wrl/client.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "host/message.h"
#include "tests/win/addin_dll.h"
#include "tests/win/standin_world.h"
#include "win/com/com_ids.h"
#include "win/outlook/outlook_ids.h"

namespace varnox::win {
namespace {

using Microsoft::WRL::ComPtr;
using testing::Journal;
using testing::ObjectArg;
using testing::StandInMessage;
using testing::StandInOutlook;
using Strings = std::vector<std::string>;
using Held = testing::HeldStandIn;

class AddinEndToEndTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dll.loaded());
    // No settings key: no word database or list files are read or written.
    RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Varnox MSOutlook");
    ComPtr<IClassFactory> factory;
    ASSERT_EQ(dll.get_class_object(kClsidVnxAddin, IID_IClassFactory,
                                   reinterpret_cast<void**>(factory.GetAddressOf())),
              S_OK);
    ASSERT_EQ(
        factory->CreateInstance(nullptr, kIidIdtExtensibility2, reinterpret_cast<void**>(&addin)),
        S_OK);
  }

  testing::AddinDll dll;
  Journal journal;
  IDTExtensibility2* addin = nullptr;
};

TEST_F(AddinEndToEndTest, ConnectsJudgesAndDisconnects) {
  StandInOutlook outlook(&journal);
  SAFEARRAY* custom = nullptr;
  ASSERT_EQ(addin->OnConnection(outlook.application.Get(), kExtCmStartup, nullptr, &custom), S_OK);

  // The spam folder was missing: made in the store, described, and given a
  // shortcut; the inbox is watched, Drafts and the calendar are not.
  EXPECT_EQ(journal.Matching("Top.Add"), Strings{"Top.Add('SpamFilter', 6)"});
  EXPECT_EQ(journal.Matching("Spam.Description"),
            Strings{"Spam.Description = 'Folder Created by Varnox, All Spam mails come here by "
                    "default'"});
  EXPECT_EQ(journal.Matching("Shortcuts.Add"), Strings{"Shortcuts.Add(<Spam>, 'SpamFilter', 1)"});
  EXPECT_EQ(outlook.inbox_items->Connected(kDiidItemsEvents), 1u);
  EXPECT_EQ(outlook.top->Connected(kDiidFoldersEvents), 1u);
  EXPECT_EQ(outlook.spam_items->Connected(kDiidItemsEvents), 0u)
      << "the spam folder is not watched";

  // The toolbar, its ten buttons and their Click subscriptions.
  EXPECT_EQ(journal.Matching("CommandBars.Add"),
            Strings{"CommandBars.Add('Varnox', 1, <omitted>, short(-1))"});
  ASSERT_EQ(outlook.buttons.size(), 10u);
  Strings captions;
  for (const Held& button : outlook.buttons) {
    EXPECT_EQ(button->Connected(kDiidCommandBarButtonEvents), 1u) << button->name();
    std::string caption = testing::Render(button->Property("Caption"));
    captions.push_back(caption);
    EXPECT_EQ(testing::Render(button->Property("Tag")), caption);
  }
  EXPECT_EQ(captions,
            (Strings{"'Mark Spam'", "'Not Spam'", "'BlackList'", "'WhiteList'", "'Train Filter'",
                     "'Mail Header'", "'Settings'", "'Support'", "'Help'", "'About'"}));
  EXPECT_EQ(testing::Render(outlook.buttons[9]->Property("BeginGroup")), "true");
  EXPECT_EQ(journal.Matching("Bar.Visible"), Strings{"Bar.Visible = true"});

  // New mail in the inbox is judged and stamped through MAPI.
  ComPtr<StandInMessage> message;
  message.Attach(StandInMessage::Create());
  message->properties[host::kPrTransportMessageHeaders] = "From: friend@example.com\r\n";
  message->properties[host::kPrBody] = "see you at lunch tomorrow";
  message->properties[host::kPrNormalizedSubject] = "lunch";
  Held mail = testing::NewMail("Mail", message.Get(), &journal);
  outlook.inbox_items->Raise(kDiidItemsEvents, 0xF001, {ObjectArg(mail.Get())});
  const std::string& headers = message->properties[host::kPrTransportMessageHeaders];
  EXPECT_NE(headers.find("X-VNX-RESULT"), std::string::npos) << headers;
  EXPECT_EQ(message->saves, std::vector<ULONG>{4});

  // Disconnection cancels every subscription; the add-in then goes.
  ASSERT_EQ(addin->OnDisconnection(kExtDmHostShutdown, &custom), S_OK);
  for (const Held& button : outlook.buttons)
    EXPECT_EQ(button->Connected(kDiidCommandBarButtonEvents), 0u) << button->name();
  EXPECT_EQ(outlook.inbox_items->Connected(kDiidItemsEvents), 0u);
  EXPECT_EQ(outlook.top->Connected(kDiidFoldersEvents), 0u);
  EXPECT_EQ(addin->OnStartupComplete(&custom), E_NOTIMPL);
  addin->Release();
  addin = nullptr;
  EXPECT_EQ(dll.can_unload_now(), S_OK) << "nothing holds the module once the add-in is released";
}

}  // namespace
}  // namespace varnox::win
