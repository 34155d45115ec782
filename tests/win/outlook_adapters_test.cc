// The host seam over the stand-in Outlook: every call arrives by name with
// the arguments the object models expect, results come back through the
// seam, and events reach the core's sinks through the add-in's sinks.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "host/message.h"
#include "tests/addin/explorer_contract.h"
#include "tests/host/host_contract.h"
#include "tests/win/standin_message.h"
#include "tests/win/standin_outlook.h"
#include "tests/win/standin_world.h"
#include "win/com/com_ids.h"
#include "win/outlook/event_sink_set.h"
#include "win/outlook/mapi_message.h"
#include "win/outlook/outlook_ids.h"
#include "win/outlook/outlook_session.h"

namespace varnox::win {
namespace {

using testing::Access;
using testing::AnswerIteration;
using testing::AnswerObject;
using testing::Journal;
using testing::MakeStandIn;
using testing::ObjectArg;
using testing::ObjectResult;
using testing::StandInMessage;
using testing::StandInObject;
using varnox::testing::ExplorerContract;
using varnox::testing::HostContract;
using Strings = std::vector<std::string>;

using Held = testing::HeldStandIn;
class OutlookAdaptersTest : public ::testing::Test {
 protected:
  OutlookAdaptersTest() : session(std::make_shared<OutlookSession>(sinks, faces)) {}

  Journal journal;
  EventSinkSet sinks{nullptr};
  NoButtonFaces faces;
  std::shared_ptr<OutlookSession> session;
};

TEST_F(OutlookAdaptersTest, WalksStoresAndFoldersByName) {
  Held application = MakeStandIn("Application", &journal),
       name_space = MakeStandIn("NameSpace", &journal), roots = MakeStandIn("Roots", &journal),
       store = MakeStandIn("Store", &journal), top = MakeStandIn("Top", &journal),
       inbox = MakeStandIn("Inbox", &journal), calendar = MakeStandIn("Calendar", &journal),
       created = MakeStandIn("Created", &journal);
  AnswerObject(application.Get(), "Session", name_space.Get());
  AnswerObject(name_space.Get(), "Folders", roots.Get());
  AnswerIteration(roots.Get(), {store.Get()});
  AnswerObject(store.Get(), "Folders", top.Get());
  AnswerIteration(top.Get(), {inbox.Get(), calendar.Get()});
  inbox->SetText("Name", L"Bo\u00EEte de r\u00E9ception");
  inbox->SetInt("DefaultItemType", 0);
  calendar->SetText("Name", L"\u263A Calendar");  // not in code page 1252
  calendar->SetInt("DefaultItemType", 1);
  top->On("Add", [&](std::vector<VARIANT*>&, VARIANT* result) {
    *result = ObjectResult(created.Get());
    return S_OK;
  });
  created->SetText("Description", L"");

  auto app = session->WrapApplication(application.Get());
  std::unique_ptr<host::NameSpace> ns;
  ASSERT_EQ(app->Session(&ns), kSOk);
  std::unique_ptr<host::Folders> stores;
  ASSERT_EQ(ns->GetFolders(&stores), kSOk);
  std::unique_ptr<host::Folder> root, end;
  ASSERT_EQ(stores->GetFirst(&root), kSOk);
  ASSERT_NE(root, nullptr);
  ASSERT_EQ(stores->GetNext(&end), kSOk);
  EXPECT_EQ(end, nullptr) << "the end of an iteration is success and nothing";
  std::unique_ptr<host::Folders> folders;
  ASSERT_EQ(root->GetFolders(&folders), kSOk);
  std::unique_ptr<host::Folder> first, second;
  ASSERT_EQ(folders->GetFirst(&first), kSOk);
  ASSERT_EQ(folders->GetNext(&second), kSOk);
  std::string name;
  std::int32_t type = -1;
  ASSERT_EQ(first->Name(&name), kSOk);
  EXPECT_EQ(name,
            "Bo\xEEte de r\xE9"
            "ception")
      << "names arrive in code page 1252";
  ASSERT_EQ(first->DefaultItemType(&type), kSOk);
  EXPECT_EQ(type, 0);
  ASSERT_EQ(second->Name(&name), kSOk);
  EXPECT_EQ(name, "? Calendar");
  ASSERT_EQ(second->DefaultItemType(&type), kSOk);
  EXPECT_EQ(type, 1);

  std::unique_ptr<host::Folder> spam;
  ASSERT_EQ(folders->Add("SpamFilter", host::kOlFolderInbox, &spam), kSOk);
  ASSERT_NE(spam, nullptr);
  ASSERT_EQ(spam->SetDescription("Folder Created by Varnox, All Spam mails come here by default"),
            kSOk);
  EXPECT_EQ(journal.Matching("Top.Add"), Strings{"Top.Add('SpamFilter', 6)"});
  EXPECT_EQ(journal.Matching("Created."),
            Strings{"Created.Description = 'Folder Created by Varnox, All Spam mails come here by "
                    "default'"});
  EXPECT_EQ(journal.Matching("Application."), Strings{"Application.Session"});
  EXPECT_EQ(journal.Matching("Roots."), (Strings{"Roots.GetFirst()", "Roots.GetNext()"}));
}

TEST_F(OutlookAdaptersTest, FailuresComeBackAsTheHostsStatus) {
  Held application = MakeStandIn("Application", &journal), top = MakeStandIn("Top", &journal);
  application->On(
      "Session", [](std::vector<VARIANT*>&, VARIANT*) { return E_ACCESSDENIED; },
      Access::kPropertyGet);
  top->On("Add", [](std::vector<VARIANT*>&, VARIANT*) { return DISP_E_EXCEPTION; });
  auto app = session->WrapApplication(application.Get());
  std::unique_ptr<host::NameSpace> ns;
  EXPECT_EQ(app->Session(&ns), static_cast<HResult>(E_ACCESSDENIED));
  EXPECT_EQ(ns, nullptr);
  std::unique_ptr<outlook::Explorer> explorer;
  EXPECT_EQ(varnox::testing::WindowSide(*app).ActiveExplorer(&explorer),
            static_cast<HResult>(DISP_E_UNKNOWNNAME))
      << "a member the host does not have";
  auto folders = session->WrapFolders(DispatchObject(ComPtr<IDispatch>(top.Get())));
  std::unique_ptr<host::Folder> folder;
  EXPECT_EQ(folders->Add("SpamFilter", 6, &folder), kEFail) << "the exception's status";
  EXPECT_EQ(folder, nullptr);
}

TEST_F(OutlookAdaptersTest, BuildsCommandBarsWithTheAutomationArguments) {
  Held bars = MakeStandIn("CommandBars", &journal), bar = MakeStandIn("Bar", &journal),
       controls = MakeStandIn("Controls", &journal), button = MakeStandIn("Button", &journal),
       popup = MakeStandIn("Popup", &journal);
  AnswerObject(bars.Get(), "Add", bar.Get(), Access::kMethod);
  AnswerObject(bar.Get(), "Controls", controls.Get());
  button->Answer(kIidCommandBarButton);
  popup->Answer(kIidCommandBarPopup);
  auto next = std::make_shared<int>(0);
  controls->On("Add", [&, next](std::vector<VARIANT*>&, VARIANT* result) {
    *result = ObjectResult((*next)++ == 0 ? button.Get() : popup.Get());
    return S_OK;
  });
  for (const char* property : {"Caption", "DescriptionText", "Visible", "Enabled", "TooltipText",
                               "Tag", "BeginGroup", "Style"}) {
    button->SetText(property, L"");
    popup->SetText(property, L"");
  }
  bar->SetText("Visible", L"");
  button->On("PasteFace", [](std::vector<VARIANT*>&, VARIANT*) { return S_OK; });

  auto command_bars = session->WrapCommandBars(DispatchObject(ComPtr<IDispatch>(bars.Get())));
  std::unique_ptr<outlook::CommandBar> toolbar;
  ASSERT_EQ(command_bars->Add("Varnox", outlook::kMsoBarTop, true, &toolbar), kSOk);
  std::unique_ptr<outlook::CommandBarControls> toolbar_controls;
  ASSERT_EQ(toolbar->GetControls(&toolbar_controls), kSOk);
  std::unique_ptr<outlook::CommandBarControl> control;
  ASSERT_EQ(toolbar_controls->Add(outlook::kMsoControlButton, true, &control), kSOk);
  std::unique_ptr<outlook::CommandBarButton> as_button;
  ASSERT_EQ(control->QueryButton(&as_button), kSOk);
  std::unique_ptr<outlook::CommandBarPopup> as_popup;
  EXPECT_EQ(control->QueryPopup(&as_popup), kENoInterface);
  EXPECT_EQ(as_popup, nullptr);
  ASSERT_EQ(as_button->SetStyle(outlook::kMsoButtonIconAndCaption), kSOk);
  ASSERT_EQ(as_button->PasteFace(), kSOk);
  ASSERT_EQ(as_button->SetVisible(true), kSOk);
  ASSERT_EQ(as_button->SetCaption("Mark Spam"), kSOk);
  ASSERT_EQ(as_button->SetEnabled(true), kSOk);
  ASSERT_EQ(as_button->SetTooltipText("Select an email and Mark as Spam"), kSOk);
  ASSERT_EQ(as_button->SetTag("Mark Spam"), kSOk);
  struct OtherFace final : ButtonFace {
  } other_face;
  EXPECT_EQ(as_button->SetPicture(other_face), kENotImpl) << "only faces drawn here";

  ASSERT_EQ(toolbar_controls->Add(outlook::kMsoControlPopup, true, &control), kSOk);
  ASSERT_EQ(control->QueryPopup(&as_popup), kSOk);
  EXPECT_EQ(control->QueryButton(&as_button), kENoInterface);
  ASSERT_EQ(as_popup->SetCaption("Settings"), kSOk);
  ASSERT_EQ(as_popup->SetDescriptionText(""), kSOk);
  ASSERT_EQ(as_popup->SetBeginGroup(true), kSOk);
  ASSERT_EQ(toolbar->SetVisible(true), kSOk);

  EXPECT_EQ(journal.Matching("CommandBars."),
            Strings{"CommandBars.Add('Varnox', 1, <omitted>, short(-1))"});
  EXPECT_EQ(journal.Matching("Controls.Add"),
            (Strings{"Controls.Add(1, <omitted>, <omitted>, <omitted>, short(-1))",
                     "Controls.Add(10, <omitted>, <omitted>, <omitted>, short(-1))"}));
  EXPECT_EQ(journal.Matching("Button."),
            (Strings{"Button.Style = 3", "Button.PasteFace()", "Button.Visible = true",
                     "Button.Caption = 'Mark Spam'", "Button.Enabled = true",
                     "Button.TooltipText = 'Select an email and Mark as Spam'",
                     "Button.Tag = 'Mark Spam'"}));
  EXPECT_EQ(journal.Matching("Popup."),
            (Strings{"Popup.Caption = 'Settings'", "Popup.DescriptionText = ''",
                     "Popup.BeginGroup = true"}));
  EXPECT_EQ(journal.Matching("Bar."), (Strings{"Bar.Controls", "Bar.Visible = true"}));
}

TEST_F(OutlookAdaptersTest, FindsALeftoverBarByReadingItsItemProperty) {
  Held bars = MakeStandIn("CommandBars", &journal), bar = MakeStandIn("Bar", &journal);
  bars->On(
      "Item",
      [&](std::vector<VARIANT*>& args, VARIANT* result) {
        if (args.size() != 1 || args[0]->vt != VT_BSTR ||
            std::wstring(args[0]->bstrVal) != L"Varnox")
          return DISP_E_EXCEPTION;
        *result = ObjectResult(bar.Get());
        return S_OK;
      },
      Access::kPropertyGet);
  bar->On("Delete", [](std::vector<VARIANT*>&, VARIANT*) { return S_OK; });
  auto command_bars = session->WrapCommandBars(DispatchObject(ComPtr<IDispatch>(bars.Get())));

  std::unique_ptr<outlook::CommandBar> found;
  ASSERT_EQ(command_bars->FindBar("Varnox", &found), kSOk);
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(found->Delete(), kSOk);
  EXPECT_TRUE(Failed(command_bars->FindBar("Other", &found)));
  EXPECT_EQ(found, nullptr);
  // Office answers Item only as a read; asked as a method it finds nothing.
  std::vector<Variant> name;
  name.push_back(Variant::Text("Varnox"));
  DispatchObject as_method;
  EXPECT_EQ(DispatchObject(ComPtr<IDispatch>(bars.Get()))
                .CallForObject(L"Item", std::move(name), &as_method),
            static_cast<HResult>(DISP_E_MEMBERNOTFOUND));

  EXPECT_EQ(journal.calls,
            (Strings{"CommandBars.Item['Varnox']", "Bar.Delete()", "CommandBars.Item['Other']",
                     "CommandBars.Item refused as a method call"}));
}

// Sinks of the core that record what reaches them.
struct CoreSinks final : outlook::ButtonEventSink, host::ItemsEventSink, host::FoldersEventSink {
  void OnClick(outlook::CommandBarButton* button, std::int16_t* cancel_default) override {
    clicks.push_back(button != nullptr);
    last_cancel = cancel_default;
  }
  void OnItemAdd(std::unique_ptr<host::Item> item) override { items.push_back(std::move(item)); }
  void OnFolderAdd(std::unique_ptr<host::Folder> folder) override {
    folders.push_back(std::move(folder));
  }
  std::vector<bool> clicks;
  std::int16_t* last_cancel = nullptr;
  std::vector<std::unique_ptr<host::Item>> items;
  std::vector<std::unique_ptr<host::Folder>> folders;
};

TEST_F(OutlookAdaptersTest, ButtonClicksReachTheCoreUntilCancelled) {
  CoreSinks core;
  std::vector<Held> buttons;
  std::vector<std::unique_ptr<outlook::CommandBarButton>> adapters;
  std::vector<host::Cookie> cookies;
  for (int i = 0; i < 10; ++i) {
    buttons.push_back(MakeStandIn("Button" + std::to_string(i + 1), &journal));
    buttons.back()->Answer(kIidCommandBarButton);
    buttons.back()->AddEvents(kDiidCommandBarButtonEvents);
    auto control = session->WrapControl(DispatchObject(ComPtr<IDispatch>(buttons.back().Get())));
    std::unique_ptr<outlook::CommandBarButton> button;
    ASSERT_EQ(control->QueryButton(&button), kSOk);
    host::Cookie cookie = 0;
    ASSERT_EQ(button->Advise(&core, &cookie), kSOk);
    EXPECT_NE(cookie, 0u);
    EXPECT_EQ(sinks.ButtonSink(i + 1).cookie(), cookie) << "identities in subscription order";
    adapters.push_back(std::move(button));
    cookies.push_back(cookie);
  }
  // An eleventh button has no sink left.
  Held extra = MakeStandIn("Extra", &journal);
  extra->Answer(kIidCommandBarButton);
  extra->AddEvents(kDiidCommandBarButtonEvents);
  std::unique_ptr<outlook::CommandBarButton> extra_button;
  session->WrapControl(DispatchObject(ComPtr<IDispatch>(extra.Get())))->QueryButton(&extra_button);
  host::Cookie extra_cookie = 0;
  EXPECT_TRUE(Failed(extra_button->Advise(&core, &extra_cookie)));
  EXPECT_EQ(extra->Connected(kDiidCommandBarButtonEvents), 0u);

  VARIANT_BOOL cancel = VARIANT_FALSE;
  VARIANT cancel_arg;
  VariantInit(&cancel_arg);
  cancel_arg.vt = VT_BOOL | VT_BYREF;
  cancel_arg.pboolVal = &cancel;
  buttons[0]->Raise(kDiidCommandBarButtonEvents, kDispidClick,
                    {ObjectArg(buttons[0].Get()), cancel_arg});
  ASSERT_EQ(core.clicks, std::vector<bool>{true});
  EXPECT_EQ(core.last_cancel, reinterpret_cast<std::int16_t*>(&cancel));
  buttons[0]->Raise(kDiidCommandBarButtonEvents, 2, {ObjectArg(buttons[0].Get()), cancel_arg});
  EXPECT_EQ(core.clicks.size(), 1u) << "other events of a button run nothing";

  for (int i = 0; i < 10; ++i)
    ASSERT_EQ(adapters[i]->Unadvise(cookies[i]), kSOk);
  EXPECT_EQ(session->connection_count(), 0u);
  for (Held& button : buttons) {
    EXPECT_EQ(button->Connected(kDiidCommandBarButtonEvents), 0u);
    button->Raise(kDiidCommandBarButtonEvents, kDispidClick, {ObjectArg(button.Get()), cancel_arg});
  }
  EXPECT_EQ(core.clicks.size(), 1u) << "a cancelled button runs nothing";
  EXPECT_NE(sinks.TakeButtonSink(), nullptr) << "the sinks are free again";
}

TEST_F(OutlookAdaptersTest, NewItemsAndFoldersReachTheCore) {
  CoreSinks core;
  Held items = MakeStandIn("Items", &journal), folders = MakeStandIn("Folders", &journal),
       mail = MakeStandIn("Mail", &journal), added = MakeStandIn("Added", &journal);
  items->AddEvents(kDiidItemsEvents);
  folders->AddEvents(kDiidFoldersEvents);
  mail->Answer(kIidMailItem);
  auto items_adapter = session->WrapItems(DispatchObject(ComPtr<IDispatch>(items.Get())));
  auto folders_adapter = session->WrapFolders(DispatchObject(ComPtr<IDispatch>(folders.Get())));
  host::Cookie items_cookie = 0, folders_cookie = 0;
  ASSERT_EQ(items_adapter->Advise(&core, &items_cookie), kSOk);
  ASSERT_EQ(folders_adapter->Advise(&core, &folders_cookie), kSOk);
  EXPECT_EQ(sinks.items_sink_count(), 1u);

  items->Raise(kDiidItemsEvents, 0xF002, {ObjectArg(mail.Get())});  // ItemChange
  items->Raise(kDiidItemsEvents, kDispidItemAdd, {ObjectArg(mail.Get())});
  folders->Raise(kDiidFoldersEvents, 0xF003, {});  // FolderRemove
  folders->Raise(kDiidFoldersEvents, kDispidFolderAdd, {ObjectArg(added.Get())});
  ASSERT_EQ(core.items.size(), 1u);
  std::unique_ptr<host::MailItem> as_mail;
  EXPECT_EQ(core.items[0]->QueryMailItem(&as_mail), kSOk);
  ASSERT_EQ(core.folders.size(), 1u);

  ASSERT_EQ(items_adapter->Unadvise(items_cookie), kSOk);
  ASSERT_EQ(folders_adapter->Unadvise(folders_cookie), kSOk);
  EXPECT_EQ(sinks.items_sink_count(), 0u) << "the items sink goes with its subscription";
  items->Raise(kDiidItemsEvents, kDispidItemAdd, {ObjectArg(mail.Get())});
  EXPECT_EQ(core.items.size(), 1u);
  EXPECT_EQ(journal.Matching("Items.").size(), 2u) << "advise and unadvise";
}

TEST_F(OutlookAdaptersTest, ConnectionsOfTheAddinsSinksHoldTheAddin) {
  struct Counter final : IUnknown {
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++count; }
    ULONG STDMETHODCALLTYPE Release() override { return --count; }
    ULONG count = 1;
  } addin;
  EventSinkSet counted(&addin);
  auto counting_session = std::make_shared<OutlookSession>(counted, faces);
  CoreSinks core;
  Held button = MakeStandIn("Button", &journal), folders = MakeStandIn("Folders", &journal),
       items = MakeStandIn("Items", &journal);
  button->Answer(kIidCommandBarButton);
  button->AddEvents(kDiidCommandBarButtonEvents);
  folders->AddEvents(kDiidFoldersEvents);
  items->AddEvents(kDiidItemsEvents);
  std::unique_ptr<outlook::CommandBarButton> b;
  counting_session->WrapControl(DispatchObject(ComPtr<IDispatch>(button.Get())))->QueryButton(&b);
  auto f = counting_session->WrapFolders(DispatchObject(ComPtr<IDispatch>(folders.Get())));
  auto i = counting_session->WrapItems(DispatchObject(ComPtr<IDispatch>(items.Get())));
  host::Cookie cb = 0, cf = 0, ci = 0;
  ASSERT_EQ(b->Advise(&core, &cb), kSOk);
  ASSERT_EQ(f->Advise(&core, &cf), kSOk);
  ASSERT_EQ(i->Advise(&core, &ci), kSOk);
  EXPECT_EQ(addin.count, 3u) << "button and folder connections hold the add-in; items do not";
  b->Unadvise(cb);
  f->Unadvise(cf);
  i->Unadvise(ci);
  EXPECT_EQ(addin.count, 1u);
}

TEST_F(OutlookAdaptersTest, MailItemsReadStampSaveMoveAndMarkRead) {
  ASSERT_TRUE(MapiAvailable());
  ComPtr<StandInMessage> message;
  message.Attach(StandInMessage::Create());
  message->properties[host::kPrTransportMessageHeaders] = "From: a@x.com\r\nSubject: hi\r\n";
  message->properties[host::kPrBody] = "body \xE9";
  Held mail = MakeStandIn("Mail", &journal), spam = MakeStandIn("Spam", &journal);
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
  auto fail_move = std::make_shared<bool>(false);
  mail->On("Move", [fail_move](std::vector<VARIANT*>&, VARIANT*) {
    return *fail_move ? DISP_E_EXCEPTION : S_OK;
  });
  mail->SetText("UnRead", L"");
  mail->On("Save", [](std::vector<VARIANT*>&, VARIANT*) { return S_OK; });

  auto item = session->WrapItem(DispatchObject(ComPtr<IDispatch>(mail.Get())));
  std::unique_ptr<host::MailItem> as_mail;
  ASSERT_EQ(item->QueryMailItem(&as_mail), kSOk);
  std::unique_ptr<host::Message> mapi;
  ASSERT_EQ(as_mail->MapiMessage(&mapi), kSOk);
  std::string text = "unchanged";
  ASSERT_EQ(mapi->GetStringProperty(host::kPrTransportMessageHeaders, &text), kSOk);
  EXPECT_EQ(text, "From: a@x.com\r\nSubject: hi\r\n");
  ASSERT_EQ(mapi->GetStringProperty(host::kPrBody, &text), kSOk);
  EXPECT_EQ(text, "body \xE9");
  text = "unchanged";
  EXPECT_TRUE(Failed(mapi->GetStringProperty(host::kPrNormalizedSubject, &text)));
  EXPECT_EQ(text, "unchanged") << "a missing property leaves the value alone";
  ASSERT_EQ(mapi->SetStringProperty(host::kPrTransportMessageHeaders, "X-VNX-RESULT: SPAM\r\n"),
            kSOk);
  ASSERT_EQ(mapi->SaveChanges(host::kForceSave), kSOk);
  EXPECT_EQ(message->properties[host::kPrTransportMessageHeaders], "X-VNX-RESULT: SPAM\r\n");
  EXPECT_EQ(message->saves, std::vector<ULONG>{4});

  auto folder = session->WrapFolder(DispatchObject(ComPtr<IDispatch>(spam.Get())));
  ASSERT_EQ(as_mail->MarkRead(), kSOk);
  ASSERT_EQ(as_mail->Move(*folder), kSOk);
  *fail_move = true;
  EXPECT_TRUE(Failed(as_mail->Move(*folder))) << "a failed move is reported";
  EXPECT_EQ(journal.Matching("Mail."),
            (Strings{"Mail.MAPIOBJECT", "Mail.UnRead = false", "Mail.Save()", "Mail.Move(<Spam>)",
                     "Mail.Move(<Spam>)"}));
}

// A move may give the item a new EntryID; the moved item's is the one its
// new folder's ItemAdd will show, so that is the identity after the move.
TEST_F(OutlookAdaptersTest, MovedMailIsNamedByTheMovedItemsEntryId) {
  Held mail = MakeStandIn("Mail", &journal), moved = MakeStandIn("Moved", &journal),
       inbox = MakeStandIn("Inbox", &journal);
  mail->Answer(kIidMailItem);
  mail->SetText("EntryID", L"00000000AA01");
  moved->SetText("EntryID", L"00000000BB02");
  auto fail_move = std::make_shared<bool>(false);
  mail->On("Move", [&, fail_move](std::vector<VARIANT*>&, VARIANT* result) {
    if (*fail_move)
      return DISP_E_EXCEPTION;
    result->vt = VT_DISPATCH;
    result->pdispVal = moved.Get();
    moved->AddRef();
    return S_OK;
  });
  auto item = session->WrapItem(DispatchObject(ComPtr<IDispatch>(mail.Get())));
  std::unique_ptr<host::MailItem> as_mail;
  ASSERT_EQ(item->QueryMailItem(&as_mail), kSOk);
  auto folder = session->WrapFolder(DispatchObject(ComPtr<IDispatch>(inbox.Get())));

  std::string identity;
  ASSERT_EQ(as_mail->Identity(&identity), kSOk);
  EXPECT_EQ(identity, "00000000AA01");
  ASSERT_EQ(as_mail->Move(*folder), kSOk);
  ASSERT_EQ(as_mail->Identity(&identity), kSOk);
  EXPECT_EQ(identity, "00000000BB02");
  *fail_move = true;
  EXPECT_TRUE(Failed(as_mail->Move(*folder)));
  ASSERT_EQ(as_mail->Identity(&identity), kSOk);
  EXPECT_EQ(identity, "00000000AA01") << "no moved item: the item's own";
}

TEST_F(OutlookAdaptersTest, ItemsThatAreNotMailYieldNoMailItem) {
  Held meeting = MakeStandIn("Meeting", &journal);
  auto item = session->WrapItem(DispatchObject(ComPtr<IDispatch>(meeting.Get())));
  std::unique_ptr<host::MailItem> mail;
  EXPECT_EQ(item->QueryMailItem(&mail), kENoInterface);
  EXPECT_EQ(mail, nullptr);
  // A mail item without a MAPI message.
  Held bare = MakeStandIn("Bare", &journal);
  bare->Answer(kIidMailItem);
  bare->SetInt("MAPIOBJECT", 0);
  ASSERT_EQ(session->WrapItem(DispatchObject(ComPtr<IDispatch>(bare.Get())))->QueryMailItem(&mail),
            kSOk);
  std::unique_ptr<host::Message> message;
  EXPECT_TRUE(Failed(mail->MapiMessage(&message)));
  EXPECT_EQ(message, nullptr);
}

TEST_F(OutlookAdaptersTest, OutlookBarShortcutsAreTheFirstPanesFirstGroups) {
  Held explorer = MakeStandIn("Explorer", &journal), spam = MakeStandIn("Spam", &journal);
  testing::StandInOutlookBar outlook_bar(explorer.Get(), &journal);
  auto wrapped = session->WrapExplorer(DispatchObject(ComPtr<IDispatch>(explorer.Get())));

  std::unique_ptr<outlook::OutlookBarShortcuts> bar;
  ASSERT_EQ(wrapped->OutlookBarShortcuts(&bar), kSOk);
  auto folder = session->WrapFolder(DispatchObject(ComPtr<IDispatch>(spam.Get())));
  ASSERT_EQ(bar->Add(*folder, "SpamFilter", 1), kSOk);
  EXPECT_EQ(journal.Matching("Shortcuts."), Strings{"Shortcuts.Add(<Spam>, 'SpamFilter', 1)"});
  EXPECT_EQ(journal.Matching("Panes."), Strings{"Panes.Item(1)"});
  EXPECT_EQ(journal.Matching("Groups."), Strings{"Groups.Item(1)"});

  // A first pane that is not the Outlook Bar: no shortcuts, and a failure.
  Held other_pane = MakeStandIn("OtherPane", &journal);
  AnswerObject(outlook_bar.panes.Get(), "Item", other_pane.Get(), Access::kMethod);
  EXPECT_TRUE(Failed(wrapped->OutlookBarShortcuts(&bar)));
  EXPECT_EQ(bar, nullptr);
}

TEST_F(OutlookAdaptersTest, FoldersCompareByTheHostsIdentity) {
  Held a = MakeStandIn("A", &journal), a_again = MakeStandIn("AAgain", &journal),
       b = MakeStandIn("B", &journal), plain = MakeStandIn("Plain", &journal);
  for (auto [held, entry] :
       {std::pair{a.Get(), L"E1"}, std::pair{a_again.Get(), L"E1"}, std::pair{b.Get(), L"E2"}}) {
    held->SetText("EntryID", entry);
    held->SetText("StoreID", L"S");
  }
  auto fa = session->WrapFolder(DispatchObject(ComPtr<IDispatch>(a.Get())));
  auto fa2 = session->WrapFolder(DispatchObject(ComPtr<IDispatch>(a_again.Get())));
  auto fb = session->WrapFolder(DispatchObject(ComPtr<IDispatch>(b.Get())));
  auto fp = session->WrapFolder(DispatchObject(ComPtr<IDispatch>(plain.Get())));
  auto fp2 = session->WrapFolder(DispatchObject(ComPtr<IDispatch>(plain.Get())));
  EXPECT_TRUE(fa->IsSameFolder(*fa2)) << "two objects for one folder";
  EXPECT_FALSE(fa->IsSameFolder(*fb));
  EXPECT_TRUE(fp->IsSameFolder(*fp2)) << "no ids: the same object";
  EXPECT_FALSE(fp->IsSameFolder(*fa));
}

// The adapters under the contracts of the mail-store seam and of the
// explorer, over a stand-in Outlook whose
// one store keeps folders and mail as Outlook does: Folders.Add makes a
// folder (a taken name is an exception), new mail raises ItemAdd on its
// folder's Items, and Move takes the mail out of its folder and gives the
// item in the new one, with an EntryID of its own, whose ItemAdd comes when
// events are pumped.
class StandInHostUnderTest final : public varnox::testing::ExplorerUnderTest {
 public:
  StandInHostUnderTest() {
    AnswerObject(application_.Get(), "Session", name_space_.Get());
    AnswerObject(application_.Get(), "ActiveExplorer", explorer_.Get(), Access::kMethod);
    AnswerObject(name_space_.Get(), "Folders", roots_.Get());
    AnswerIteration(roots_.Get(), {store_.Get()});
    AnswerObject(store_.Get(), "Folders", top_.Get());
    AnswerObject(explorer_.Get(), "Selection", selection_.Get());
    AnswerIteration(top_.Get(), [this] {
      std::vector<IDispatch*> folders;
      for (const auto& folder : folders_)
        folders.push_back(folder->folder.Get());
      return folders;
    });
    top_->On("Add", [this](std::vector<VARIANT*>& args, VARIANT* result) {
      if (args.empty() || args[0]->vt != VT_BSTR)
        return DISP_E_TYPEMISMATCH;
      const std::wstring name = args[0]->bstrVal;
      for (const auto& folder : folders_) {
        if (_wcsicmp(folder->name.c_str(), name.c_str()) == 0)
          return DISP_E_EXCEPTION;  // Outlook: "Cannot create the folder."
      }
      *result = ObjectResult(MakeFolder(name).folder.Get());
      return S_OK;
    });
    MakeFolder(L"Inbox");
  }

  std::unique_ptr<host::Application> Application() override {
    return session_->WrapApplication(application_.Get());
  }
  void AddFolder(std::string_view name) override { MakeFolder(Wide(name)); }
  void Deliver(std::string_view folder, const varnox::testing::ArrivingMessage& arriving) override {
    ComPtr<StandInMessage> message;
    message.Attach(StandInMessage::Create());
    message->properties[host::kPrTransportMessageHeaders] = arriving.headers;
    message->properties[host::kPrBody] = arriving.body;
    message->properties[host::kPrNormalizedSubject] = arriving.subject;
    Folder& into = Find(folder);
    into.mails.push_back({NewMailItem(message), message});
    into.items->Raise(kDiidItemsEvents, kDispidItemAdd, {ObjectArg(into.mails.back().item.Get())});
  }
  void PumpEvents() override {
    std::vector<std::function<void()>> events;
    events.swap(pending_);
    for (auto& event : events)
      event();
  }
  std::vector<std::string> StoredHeaders(std::string_view folder) override {
    std::vector<std::string> headers;
    for (const Mail& mail : Find(folder).mails)
      headers.push_back(mail.message->properties[host::kPrTransportMessageHeaders]);
    return headers;
  }
  void SelectAll(std::string_view folder) override {
    Folder& viewed = Find(folder);
    AnswerObject(explorer_.Get(), "CurrentFolder", viewed.folder.Get());
    std::vector<Held> chosen;
    for (const Mail& mail : viewed.mails)
      chosen.push_back(mail.item);
    selection_->SetInt("Class", outlook::kOlSelection);
    selection_->SetInt("Count", static_cast<long>(chosen.size()));
    selection_->On("Item", [chosen](std::vector<VARIANT*>& args, VARIANT* result) {
      if (args.size() != 1 || args[0]->vt != VT_I4 || args[0]->lVal < 1 ||
          static_cast<std::size_t>(args[0]->lVal) > chosen.size())
        return DISP_E_EXCEPTION;  // Outlook: "Array index out of bounds."
      *result = ObjectResult(chosen[args[0]->lVal - 1].Get());
      return S_OK;
    });
  }

 private:
  struct Mail {
    Held item;
    ComPtr<StandInMessage> message;
  };
  struct Folder {
    std::wstring name;
    Held folder, items;
    std::vector<Mail> mails;
  };

  static std::wstring Wide(std::string_view ascii) { return {ascii.begin(), ascii.end()}; }

  Folder& MakeFolder(const std::wstring& name) {
    const std::string id = std::to_string(folders_.size() + 1);
    auto made = std::make_unique<Folder>();
    made->name = name;
    made->folder = MakeStandIn("Folder" + id, &journal_);
    made->items = MakeStandIn("Items" + id, &journal_);
    made->folder->SetText("Name", name);
    made->folder->SetInt("DefaultItemType", host::kOlMailItem);
    made->folder->SetText("EntryID", L"F" + Wide(id));
    made->folder->SetText("StoreID", L"S");
    made->folder->SetText("Description", L"");
    AnswerObject(made->folder.Get(), "Items", made->items.Get());
    made->items->AddEvents(kDiidItemsEvents);
    AnswerIteration(made->items.Get(), [in = made.get()] {
      std::vector<IDispatch*> mails;
      for (const Mail& mail : in->mails)
        mails.push_back(mail.item.Get());
      return mails;
    });
    folders_.push_back(std::move(made));
    return *folders_.back();
  }

  Folder& Find(std::string_view name) {
    for (auto& folder : folders_) {
      if (folder->name == Wide(name))
        return *folder;
    }
    ADD_FAILURE() << "no folder " << name;
    return *folders_.front();
  }

  // A mail item over `message` with a new EntryID; Move relocates it.
  Held NewMailItem(const ComPtr<StandInMessage>& message) {
    const std::string id = std::to_string(++mails_made_);
    Held mail = NewMail("Mail" + id, message.Get(), &journal_);
    mail->SetText("EntryID", L"M" + Wide(id));
    StandInObject* moving = mail.Get();
    mail->On("Move", [this, moving, message](std::vector<VARIANT*>& args, VARIANT* result) {
      Folder* destination = nullptr;
      for (auto& folder : folders_) {
        if (args.size() == 1 && args[0]->vt == VT_DISPATCH &&
            args[0]->pdispVal == static_cast<IDispatch*>(folder->folder.Get()))
          destination = folder.get();
      }
      if (destination == nullptr)
        return DISP_E_EXCEPTION;
      for (auto& folder : folders_) {
        std::erase_if(folder->mails, [moving](const Mail& m) { return m.item.Get() == moving; });
      }
      Held moved = NewMailItem(message);
      destination->mails.push_back({moved, message});
      *result = ObjectResult(moved.Get());
      pending_.push_back([items = destination->items, moved] {
        items->Raise(kDiidItemsEvents, kDispidItemAdd, {ObjectArg(moved.Get())});
      });
      return S_OK;
    });
    return mail;
  }

  Journal journal_;
  EventSinkSet sinks_{nullptr};
  NoButtonFaces faces_;
  std::shared_ptr<OutlookSession> session_ = std::make_shared<OutlookSession>(sinks_, faces_);
  Held application_ = MakeStandIn("Application", &journal_),
       name_space_ = MakeStandIn("NameSpace", &journal_), roots_ = MakeStandIn("Roots", &journal_),
       store_ = MakeStandIn("Store", &journal_), top_ = MakeStandIn("Top", &journal_),
       explorer_ = MakeStandIn("Explorer", &journal_),
       selection_ = MakeStandIn("Selection", &journal_);
  std::vector<std::unique_ptr<Folder>> folders_;
  std::vector<std::function<void()>> pending_;
  int mails_made_ = 0;
};

std::unique_ptr<varnox::testing::HostUnderTest> MakeStandInHost() {
  return std::make_unique<StandInHostUnderTest>();
}

std::unique_ptr<varnox::testing::ExplorerUnderTest> MakeStandInExplorer() {
  return std::make_unique<StandInHostUnderTest>();
}

INSTANTIATE_TEST_SUITE_P(StandInOutlook, HostContract, ::testing::Values(&MakeStandInHost),
                         varnox::testing::HostMakerName);
INSTANTIATE_TEST_SUITE_P(StandInOutlook, ExplorerContract, ::testing::Values(&MakeStandInExplorer),
                         varnox::testing::ExplorerMakerName);

}  // namespace
}  // namespace varnox::win
