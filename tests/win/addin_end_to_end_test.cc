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
#include "tests/win/standin_message.h"
#include "tests/win/standin_outlook.h"
#include "win/com_ids.h"

namespace varnox::win {
namespace {

using Microsoft::WRL::ComPtr;
using testing::Access;
using testing::AnswerIteration;
using testing::AnswerObject;
using testing::Journal;
using testing::MakeStandIn;
using testing::ObjectArg;
using testing::ObjectResult;
using testing::StandInMessage;
using testing::StandInObject;
using Strings = std::vector<std::string>;
using Held = testing::HeldStandIn;

// One store with an Inbox, a Drafts and a Calendar, an explorer with command
// bars and an Outlook Bar.
struct StandInOutlook {
  explicit StandInOutlook(Journal* j) : journal(j) {
    AnswerObject(application.Get(), "Session", name_space.Get());
    AnswerObject(application.Get(), "ActiveExplorer", explorer.Get(), Access::kMethod);
    AnswerObject(name_space.Get(), "Folders", roots.Get());
    AnswerIteration(roots.Get(), {store.Get()});
    AnswerObject(store.Get(), "Folders", top.Get());
    top->AddEvents(kDiidFoldersEvents);
    AnswerIteration(top.Get(), {inbox.Get(), drafts.Get(), calendar.Get()});
    AnswerObject(top.Get(), "Add", spam.Get(), Access::kMethod);
    long id = 0;
    for (auto [folder, name, type] :
         {std::tuple{inbox.Get(), L"Inbox", 0}, std::tuple{drafts.Get(), L"dRAFTS", 0},
          std::tuple{calendar.Get(), L"Calendar", 1}, std::tuple{spam.Get(), L"SpamFilter", 0}}) {
      folder->SetText("Name", name);
      folder->SetInt("DefaultItemType", type);
      folder->SetText("EntryID", std::to_wstring(++id));
      folder->SetText("StoreID", L"S");
    }
    spam->SetText("Description", L"");
    bar->SetText("Visible", L"");
    AnswerObject(inbox.Get(), "Items", inbox_items.Get());
    inbox_items->AddEvents(kDiidItemsEvents);
    AnswerObject(spam.Get(), "Items", spam_items.Get());
    spam_items->AddEvents(kDiidItemsEvents);
    AnswerObject(explorer.Get(), "CommandBars", bars.Get());
    AnswerObject(bars.Get(), "Add", bar.Get(), Access::kMethod);
    bars->On(
        "Item", [](std::vector<VARIANT*>&, VARIANT*) { return DISP_E_EXCEPTION; },
        Access::kPropertyGet);
    AnswerObject(bar.Get(), "Controls", bar_controls.Get());
    AddsControls(bar_controls.Get());
    AnswerObject(explorer.Get(), "Panes", panes.Get());
    AnswerObject(panes.Get(), "Item", pane.Get(), Access::kMethod);
    AnswerObject(pane.Get(), "Contents", contents.Get());
    AnswerObject(contents.Get(), "Groups", groups.Get());
    AnswerObject(groups.Get(), "Item", group.Get(), Access::kMethod);
    AnswerObject(group.Get(), "Shortcuts", shortcuts.Get());
    shortcuts->On("Add", [](std::vector<VARIANT*>&, VARIANT*) { return S_OK; });
  }

  // Controls.Add makes a button (type 1) or a pop-up (type 10).
  void AddsControls(StandInObject* controls) {
    controls->On("Add", [this](std::vector<VARIANT*>& args, VARIANT* result) {
      const bool popup = args[0]->vt == VT_I4 && args[0]->lVal == 10;
      Held control =
          MakeStandIn((popup ? "Popup" : "Button") + std::to_string(made.size() + 1), journal);
      for (const char* property : {"Caption", "DescriptionText", "Visible", "Enabled",
                                   "TooltipText", "Tag", "BeginGroup", "Style", "Picture"}) {
        control->SetText(property, L"");
      }
      if (popup) {
        control->Answer(kIidCommandBarPopup);
        Held inner = MakeStandIn("PopupControls", journal);
        AddsControls(inner.Get());
        AnswerObject(control.Get(), "Controls", inner.Get());
        made.push_back(inner);
      } else {
        control->Answer(kIidCommandBarButton);
        control->AddEvents(kDiidCommandBarButtonEvents);
        control->On("PasteFace", [](std::vector<VARIANT*>&, VARIANT*) { return S_OK; });
        buttons.push_back(control);
      }
      made.push_back(control);
      *result = ObjectResult(control.Get());
      return S_OK;
    });
  }

  Journal* journal;
  Held application = MakeStandIn("Application", journal),
       name_space = MakeStandIn("NameSpace", journal), roots = MakeStandIn("Roots", journal),
       store = MakeStandIn("Store", journal), top = MakeStandIn("Top", journal),
       inbox = MakeStandIn("Inbox", journal), drafts = MakeStandIn("Drafts", journal),
       calendar = MakeStandIn("Calendar", journal), spam = MakeStandIn("Spam", journal),
       inbox_items = MakeStandIn("InboxItems", journal),
       spam_items = MakeStandIn("SpamItems", journal), explorer = MakeStandIn("Explorer", journal),
       bars = MakeStandIn("CommandBars", journal), bar = MakeStandIn("Bar", journal),
       bar_controls = MakeStandIn("Controls", journal), panes = MakeStandIn("Panes", journal),
       pane = MakeStandIn("Pane", journal), contents = MakeStandIn("Contents", journal),
       groups = MakeStandIn("Groups", journal), group = MakeStandIn("Group", journal),
       shortcuts = MakeStandIn("Shortcuts", journal);
  std::vector<Held> made;
  std::vector<Held> buttons;
};

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
  Held mail = MakeStandIn("Mail", &journal);
  mail->Answer(kIidMailItem);
  mail->On(
      "MAPIOBJECT",
      [&](std::vector<VARIANT*>&, VARIANT* result) {
        result->vt = VT_UNKNOWN;
        result->punkVal = static_cast<IMessage*>(message.Get());
        message->AddRef();
        return S_OK;
      },
      Access::kPropertyGet);
  mail->On("Move", [](std::vector<VARIANT*>&, VARIANT*) { return S_OK; });
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
