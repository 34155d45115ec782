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
using testing::Journal;
using testing::ObjectArg;
using testing::StandInMessage;
using testing::StandInObject;
using Strings = std::vector<std::string>;
using Held = ComPtr<StandInObject>;

Held Make(const std::string& name, Journal* journal) {
  Held held;
  held.Attach(StandInObject::Create(name, journal));
  return held;
}

VARIANT Result(IDispatch* object) {
  VARIANT v = ObjectArg(object);
  if (object != nullptr)
    object->AddRef();
  return v;
}

void Returns(StandInObject* owner, const std::string& name, IDispatch* object) {
  owner->On(name, [object](std::vector<VARIANT*>&, VARIANT* result) {
    *result = Result(object);
    return S_OK;
  });
}

void Iterates(StandInObject* collection, std::vector<IDispatch*> elements) {
  auto position = std::make_shared<std::size_t>(0);
  collection->On("GetFirst", [=](std::vector<VARIANT*>&, VARIANT* result) {
    *position = 0;
    if (!elements.empty())
      *result = Result(elements[(*position)++]);
    return S_OK;
  });
  collection->On("GetNext", [=](std::vector<VARIANT*>&, VARIANT* result) {
    if (*position < elements.size())
      *result = Result(elements[(*position)++]);
    return S_OK;
  });
}

// One store with an Inbox, a Drafts and a Calendar, an explorer with command
// bars and an Outlook Bar.
struct StandInOutlook {
  explicit StandInOutlook(Journal* j) : journal(j) {
    Returns(application.Get(), "Session", name_space.Get());
    Returns(application.Get(), "ActiveExplorer", explorer.Get());
    Returns(name_space.Get(), "Folders", roots.Get());
    Iterates(roots.Get(), {store.Get()});
    Returns(store.Get(), "Folders", top.Get());
    top->AddEvents(kDiidFoldersEvents);
    Iterates(top.Get(), {inbox.Get(), drafts.Get(), calendar.Get()});
    Returns(top.Get(), "Add", spam.Get());
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
    Returns(inbox.Get(), "Items", inbox_items.Get());
    inbox_items->AddEvents(kDiidItemsEvents);
    Returns(spam.Get(), "Items", spam_items.Get());
    spam_items->AddEvents(kDiidItemsEvents);
    Returns(explorer.Get(), "CommandBars", bars.Get());
    Returns(bars.Get(), "Add", bar.Get());
    bars->On("Item", [](std::vector<VARIANT*>&, VARIANT*) { return DISP_E_EXCEPTION; });
    Returns(bar.Get(), "Controls", bar_controls.Get());
    AddsControls(bar_controls.Get());
    Returns(explorer.Get(), "Panes", panes.Get());
    Returns(panes.Get(), "Item", pane.Get());
    Returns(pane.Get(), "Contents", contents.Get());
    Returns(contents.Get(), "Groups", groups.Get());
    Returns(groups.Get(), "Item", group.Get());
    Returns(group.Get(), "Shortcuts", shortcuts.Get());
    shortcuts->On("Add", [](std::vector<VARIANT*>&, VARIANT*) { return S_OK; });
  }

  // Controls.Add makes a button (type 1) or a pop-up (type 10).
  void AddsControls(StandInObject* controls) {
    controls->On("Add", [this](std::vector<VARIANT*>& args, VARIANT* result) {
      const bool popup = args[0]->vt == VT_I4 && args[0]->lVal == 10;
      Held control = Make((popup ? "Popup" : "Button") + std::to_string(made.size() + 1), journal);
      for (const char* property : {"Caption", "DescriptionText", "Visible", "Enabled",
                                   "TooltipText", "Tag", "BeginGroup", "Style", "Picture"}) {
        control->SetText(property, L"");
      }
      if (popup) {
        control->Answer(kIidCommandBarPopup);
        Held inner = Make("PopupControls", journal);
        AddsControls(inner.Get());
        Returns(control.Get(), "Controls", inner.Get());
        made.push_back(inner);
      } else {
        control->Answer(kIidCommandBarButton);
        control->AddEvents(kDiidCommandBarButtonEvents);
        control->On("PasteFace", [](std::vector<VARIANT*>&, VARIANT*) { return S_OK; });
        buttons.push_back(control);
      }
      made.push_back(control);
      *result = Result(control.Get());
      return S_OK;
    });
  }

  Journal* journal;
  Held application = Make("Application", journal), name_space = Make("NameSpace", journal),
       roots = Make("Roots", journal), store = Make("Store", journal), top = Make("Top", journal),
       inbox = Make("Inbox", journal), drafts = Make("Drafts", journal),
       calendar = Make("Calendar", journal), spam = Make("Spam", journal),
       inbox_items = Make("InboxItems", journal), spam_items = Make("SpamItems", journal),
       explorer = Make("Explorer", journal), bars = Make("CommandBars", journal),
       bar = Make("Bar", journal), bar_controls = Make("Controls", journal),
       panes = Make("Panes", journal), pane = Make("Pane", journal),
       contents = Make("Contents", journal), groups = Make("Groups", journal),
       group = Make("Group", journal), shortcuts = Make("Shortcuts", journal);
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
  Held mail = Make("Mail", &journal);
  mail->Answer(kIidMailItem);
  mail->On("MAPIOBJECT", [&](std::vector<VARIANT*>&, VARIANT* result) {
    result->vt = VT_UNKNOWN;
    result->punkVal = static_cast<IMessage*>(message.Get());
    message->AddRef();
    return S_OK;
  });
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
