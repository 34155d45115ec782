// The fake host is what the add-in's tests stand on: these check that it
// behaves like the host where the core relies on it.
#include "tests/fakes/fake_host.h"

#include <gtest/gtest.h>

#include "tests/addin/explorer_contract.h"
#include "tests/fakes/fake_platform.h"
#include "tests/host/host_contract.h"

namespace varnox::testing {
namespace {

struct RecordingItemsSink : host::ItemsEventSink {
  void OnItemAdd(std::unique_ptr<host::Item> item) override { items.push_back(std::move(item)); }
  std::vector<std::unique_ptr<host::Item>> items;
};

struct RecordingFoldersSink : host::FoldersEventSink {
  void OnFolderAdd(std::unique_ptr<host::Folder> folder) override {
    std::string name;
    folder->Name(&name);
    names.push_back(name);
  }
  std::vector<std::string> names;
};

struct CountingClickSink : outlook::ButtonEventSink {
  void OnClick(outlook::CommandBarButton* button, std::int16_t* cancel_default) override {
    ++clicks;
    saw_button = button != nullptr;
    saw_cancel = cancel_default;
  }
  int clicks = 0;
  bool saw_button = false;
  std::int16_t* saw_cancel = nullptr;
};

class FakeHostTest : public ::testing::Test {
 protected:
  FakeHost host;
  FakeFolder& store = host.AddStore("Personal Folders");
  FakeFolder& inbox = store.AddFolder("Inbox");
  FakeFolder& spam = store.AddFolder("SpamFilter");
};

TEST_F(FakeHostTest, ReferencesShareStateAndCompareByFolder) {
  auto a = host.FolderRef(inbox);
  auto b = host.FolderRef(inbox);
  auto c = host.FolderRef(spam);
  EXPECT_TRUE(a->IsSameFolder(*b));
  EXPECT_FALSE(a->IsSameFolder(*c));
  EXPECT_EQ(a->SetDescription("seen by both"), kSOk);
  EXPECT_EQ(inbox.description, "seen by both");
  EXPECT_EQ(host.FolderOf(*b), &inbox);
  EXPECT_EQ(inbox.references(), 2);
  EXPECT_EQ(host.LiveReferences(), 3);
  a.reset();
  EXPECT_EQ(inbox.references(), 1);
}

TEST_F(FakeHostTest, WalksStoresAndFoldersInOrderAndEndsWithNull) {
  host.AddStore("Archive");
  std::unique_ptr<host::NameSpace> ns;
  ASSERT_EQ(host.ApplicationRef()->Session(&ns), kSOk);
  std::unique_ptr<host::Folders> roots;
  ASSERT_EQ(ns->GetFolders(&roots), kSOk);
  std::vector<std::string> names;
  std::unique_ptr<host::Folder> folder;
  for (HResult hr = roots->GetFirst(&folder); Succeeded(hr) && folder;
       hr = roots->GetNext(&folder)) {
    std::string name;
    folder->Name(&name);
    names.push_back(name);
  }
  EXPECT_EQ(names, (std::vector<std::string>{"Personal Folders", "Archive"}));
  EXPECT_EQ(folder, nullptr);
}

TEST_F(FakeHostTest, FoldersAddRefusesATakenNameAndQueuesFolderAdd) {
  auto top = host.FoldersRef(store);
  RecordingFoldersSink sink;
  host::Cookie cookie = 0;
  ASSERT_EQ(top->Advise(&sink, &cookie), kSOk);
  std::unique_ptr<host::Folder> added;
  EXPECT_EQ(top->Add("INBOX", host::kOlFolderInbox, &added), kMapiECollision);
  ASSERT_EQ(top->Add("Receipts", host::kOlFolderInbox, &added), kSOk);
  std::int32_t type = -1;
  added->DefaultItemType(&type);
  EXPECT_EQ(type, host::kOlMailItem);
  EXPECT_TRUE(sink.names.empty()) << "delivered later, not inside the call";
  EXPECT_EQ(host.DeliverPendingEvents(), 1);
  EXPECT_EQ(sink.names, std::vector<std::string>{"Receipts"});
  EXPECT_EQ(top->Unadvise(cookie), kSOk);
  EXPECT_EQ(top->Unadvise(cookie), kConnectENoConnection);
  EXPECT_EQ(host.LiveSubscriptions(), 0);
}

TEST_F(FakeHostTest, PropertiesArePresentAbsentOrFailingAndSavesCommit) {
  FakeItem& mail = inbox.AddMail("H", "B", "S");
  mail.RemoveProperty(host::kPrBody);
  mail.FailProperty(host::kPrNormalizedSubject, kEAccessDenied);
  auto message = host.MessageRef(mail);
  std::string value = "untouched";
  EXPECT_EQ(message->GetStringProperty(host::kPrBody, &value), kMapiENotFound);
  EXPECT_EQ(message->GetStringProperty(host::kPrNormalizedSubject, &value), kEAccessDenied);
  EXPECT_EQ(value, "untouched");
  EXPECT_EQ(message->GetStringProperty(host::kPrTransportMessageHeaders, &value), kSOk);
  EXPECT_EQ(value, "H");

  std::string with_nul("a\0b", 3);
  message->SetStringProperty(host::kPrTransportMessageHeaders, with_nul);
  EXPECT_EQ(mail.Property(host::kPrTransportMessageHeaders), with_nul);
  EXPECT_EQ(mail.headers(), "H") << "not saved yet";
  message->SaveChanges(host::kForceSave);
  EXPECT_EQ(mail.headers(), with_nul);
  EXPECT_EQ(mail.save_flags, std::vector<std::uint32_t>{host::kForceSave});
}

TEST_F(FakeHostTest, MoveRelocatesAndQueuesItemAddUnlessToldToFail) {
  FakeItem& mail = inbox.AddMail("H", "B", "S");
  RecordingItemsSink sink;
  auto spam_items = host.ItemsRef(spam);
  host::Cookie cookie = 0;
  ASSERT_EQ(spam_items->Advise(&sink, &cookie), kSOk);
  auto destination = host.FolderRef(spam);

  mail.move_status = kEFail;
  EXPECT_EQ(host.MailItemRef(mail)->Move(*destination), kEFail);
  EXPECT_EQ(mail.folder(), &inbox);
  EXPECT_EQ(host.pending_events(), 0u);

  mail.move_status = kSOk;
  EXPECT_EQ(host.MailItemRef(mail)->Move(*destination), kSOk);
  EXPECT_EQ(mail.folder(), &spam);
  EXPECT_TRUE(inbox.items().empty());
  EXPECT_EQ(host.DeliverPendingEvents(), 1);
  EXPECT_EQ(sink.items.size(), 1u);
  spam_items->Unadvise(cookie);
}

TEST_F(FakeHostTest, FailureRulesSkipCountAndTarget) {
  FakeItem& first = inbox.AddMail("H", "B", "S");
  FakeItem& second = inbox.AddMail("H", "B", "S");
  FailureRule& rule = host.Fail("MailItem.MarkRead", kEAccessDenied, &second);
  rule.skip = 1;
  rule.times = 1;
  EXPECT_EQ(host.MailItemRef(first)->MarkRead(), kSOk);
  EXPECT_EQ(host.MailItemRef(second)->MarkRead(), kSOk);  // skipped
  EXPECT_EQ(host.MailItemRef(second)->MarkRead(), kEAccessDenied);
  EXPECT_EQ(host.MailItemRef(second)->MarkRead(), kSOk);  // used up
  EXPECT_EQ(second.mark_reads, 2);
  std::vector<FakeCall> calls = host.CallsTo("MailItem.MarkRead");
  ASSERT_EQ(calls.size(), 4u);
  EXPECT_EQ(calls[2].result, kEAccessDenied);
  EXPECT_EQ(calls[2].target, second.label());
}

TEST_F(FakeHostTest, NonMailItemsAndItemsWithoutMessageAnswerNoInterface) {
  FakeItem& other = inbox.AddOtherItem();
  std::unique_ptr<host::MailItem> mail;
  EXPECT_EQ(host.ItemRef(other)->QueryMailItem(&mail), kENoInterface);
  EXPECT_EQ(mail, nullptr);
  FakeItem& bare = inbox.AddBareMail();
  bare.has_message = false;
  std::unique_ptr<host::Message> message;
  EXPECT_EQ(host.MailItemRef(bare)->MapiMessage(&message), kENoInterface);
  EXPECT_EQ(message, nullptr);
}

TEST_F(FakeHostTest, ASinkThatCancelsDuringDeliveryIsNotCalledAgain) {
  struct CancellingSink : host::ItemsEventSink {
    void OnItemAdd(std::unique_ptr<host::Item>) override {
      ++calls;
      items->Unadvise(*other);
    }
    host::Items* items = nullptr;
    host::Cookie* other = nullptr;
    int calls = 0;
  };
  auto items = host.ItemsRef(inbox);
  CancellingSink first, second;
  host::Cookie c1 = 0, c2 = 0;
  items->Advise(&first, &c1);
  items->Advise(&second, &c2);
  first.items = second.items = items.get();
  first.other = &c2;
  second.other = &c1;
  EXPECT_EQ(host.FireItemAdd(inbox.AddMail("", "", "")), 1);
  EXPECT_EQ(second.calls, 0);
  EXPECT_EQ(host.LiveSubscriptions(), 1);
}

TEST_F(FakeHostTest, ToolbarCallsAreRecordedAndClicksReachLiveSinks) {
  host.on_control_added = [](FakeControl& c) {
    if (c.type == 99)
      c.answers_button = false;
  };
  std::unique_ptr<outlook::Explorer> explorer;
  ASSERT_EQ(WindowSide(*host.ApplicationRef()).ActiveExplorer(&explorer), kSOk);
  std::unique_ptr<outlook::CommandBars> bars;
  ASSERT_EQ(explorer->GetCommandBars(&bars), kSOk);
  std::unique_ptr<outlook::CommandBar> bar;
  ASSERT_EQ(bars->Add("Varnox", outlook::kMsoBarTop, true, &bar), kSOk);
  std::unique_ptr<outlook::CommandBarControls> controls;
  ASSERT_EQ(bar->GetControls(&controls), kSOk);
  std::unique_ptr<outlook::CommandBarControl> control;
  ASSERT_EQ(controls->Add(outlook::kMsoControlButton, true, &control), kSOk);
  std::unique_ptr<outlook::CommandBarButton> button;
  ASSERT_EQ(control->QueryButton(&button), kSOk);
  button->SetCaption("Mark Spam");
  button->SetTag("Mark Spam");
  FakeControl* fake = host.FindControl("Mark Spam");
  ASSERT_NE(fake, nullptr);
  EXPECT_EQ(fake->sets, (std::vector<std::string>{"Caption=Mark Spam", "Tag=Mark Spam"}));
  EXPECT_TRUE(fake->temporary);
  EXPECT_EQ(host.FindBar("Varnox")->controls.size(), 1u);

  CountingClickSink sink;
  host::Cookie cookie = 0;
  ASSERT_EQ(button->Advise(&sink, &cookie), kSOk);
  std::int16_t cancel = 0;
  EXPECT_EQ(fake->Click(&cancel), 1);
  EXPECT_TRUE(sink.saw_button);
  EXPECT_EQ(sink.saw_cancel, &cancel);
  ASSERT_EQ(button->Unadvise(cookie), kSOk);
  EXPECT_EQ(fake->Click(), 0);

  std::unique_ptr<outlook::CommandBarControl> odd;
  ASSERT_EQ(controls->Add(99, true, &odd), kSOk);
  std::unique_ptr<outlook::CommandBarButton> none;
  EXPECT_EQ(odd->QueryButton(&none), kENoInterface);
  EXPECT_EQ(none, nullptr);
}

TEST_F(FakeHostTest, ExplorerSelectionIsASnapshotAndMayBeAbsent) {
  FakeItem& mail = inbox.AddMail("", "", "");
  host.selection = {&mail};
  std::unique_ptr<outlook::Explorer> explorer;
  WindowSide(*host.ApplicationRef()).ActiveExplorer(&explorer);
  std::unique_ptr<outlook::Selection> selection;
  ASSERT_EQ(explorer->GetSelection(&selection), kSOk);
  host.selection.clear();
  std::int32_t count = 0;
  selection->Count(&count);
  EXPECT_EQ(count, 1);
  std::unique_ptr<host::Item> item;
  EXPECT_EQ(selection->GetItem(1, &item), kSOk);
  std::unique_ptr<host::Folder> current;
  EXPECT_EQ(explorer->CurrentFolder(&current), kSOk);
  EXPECT_EQ(current, nullptr) << "no folder viewed";

  host.has_outlook_bar = false;
  std::unique_ptr<outlook::OutlookBarShortcuts> shortcuts;
  EXPECT_EQ(explorer->OutlookBarShortcuts(&shortcuts), kENoInterface);
  host.has_explorer = false;
  std::unique_ptr<outlook::Explorer> none;
  EXPECT_EQ(WindowSide(*host.ApplicationRef()).ActiveExplorer(&none), kSOk);
  EXPECT_EQ(none, nullptr);
}

TEST_F(FakeHostTest, JournalingUserInterfaceKeepsOrderWithHostCalls) {
  FakePlatform fakes;
  auto ui = host.JournalingUserInterface(fakes.ui);
  FakeItem& mail = inbox.AddMail("", "", "");
  ui->Beep(kBeepExclamation);
  host.MailItemRef(mail)->MarkRead();
  ui->ShowMessage("text", "Caption", kMbOk);
  ASSERT_EQ(host.calls().size(), 3u);
  EXPECT_EQ(host.calls()[0].op, "ui.Beep");
  EXPECT_EQ(host.calls()[1].op, "MailItem.MarkRead");
  EXPECT_EQ(host.calls()[2].ToString(), "ui.ShowMessage [Caption] text");
  EXPECT_EQ(fakes.ui.beeps.size(), 1u);
  EXPECT_EQ(fakes.ui.messages.size(), 1u);
}

TEST(FakeHostWorld, TypicalStoreHasMailAndOtherFolders) {
  FakeHost host;
  FakeFolder& store = host.AddTypicalStore("Mailbox");
  ASSERT_EQ(store.folders().size(), 10u);
  EXPECT_EQ(store.folders()[1]->name, "Inbox");
  EXPECT_EQ(store.Find("Contacts")->default_item_type, 2);
  EXPECT_EQ(store.Find("Drafts")->default_item_type, host::kOlMailItem);
}

TEST(FakeHostLifetime, ReferencesMayOutliveTheHost) {
  std::unique_ptr<host::Folder> kept;
  {
    FakeHost host;
    kept = host.FolderRef(host.AddStore("Store"));
  }
  std::string name;
  EXPECT_EQ(kept->Name(&name), kSOk);
  EXPECT_EQ(name, "Store");
}

// The fake host under the contracts of the mail-store seam and of the
// explorer: a store "Personal Folders" whose folders are made and read as
// the tests above do.
class FakeHostUnderTest final : public ExplorerUnderTest {
 public:
  FakeHostUnderTest() { store_.AddFolder("Inbox"); }
  std::unique_ptr<host::Application> Application() override { return host_.ApplicationRef(); }
  void AddFolder(std::string_view name) override { store_.AddFolder(std::string(name)); }
  void Deliver(std::string_view folder, const ArrivingMessage& message) override {
    host_.DeliverMail(Folder(folder), message.headers, message.body, message.subject);
  }
  void PumpEvents() override { host_.DeliverPendingEvents(); }
  std::vector<std::string> StoredHeaders(std::string_view folder) override {
    std::vector<std::string> headers;
    for (const FakeItem* item : Folder(folder).items())
      headers.push_back(item->headers());
    return headers;
  }
  void SelectAll(std::string_view folder) override {
    host_.selection = Folder(folder).items();
    host_.current_folder = &Folder(folder);
  }

 private:
  FakeFolder& Folder(std::string_view name) {
    FakeFolder* folder = store_.Find(name);
    EXPECT_NE(folder, nullptr) << name;
    return folder != nullptr ? *folder : store_;
  }
  FakeHost host_;
  FakeFolder& store_ = host_.AddStore("Personal Folders");
};

std::unique_ptr<HostUnderTest> MakeFakeHost() {
  return std::make_unique<FakeHostUnderTest>();
}
std::unique_ptr<ExplorerUnderTest> MakeFakeExplorer() {
  return std::make_unique<FakeHostUnderTest>();
}

INSTANTIATE_TEST_SUITE_P(FakeHost, HostContract, ::testing::Values(&MakeFakeHost), HostMakerName);
INSTANTIATE_TEST_SUITE_P(FakeHost, ExplorerContract, ::testing::Values(&MakeFakeExplorer),
                         ExplorerMakerName);

}  // namespace
}  // namespace varnox::testing
