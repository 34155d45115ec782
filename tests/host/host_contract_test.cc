// What the core relies on from every store: folders found by name and made,
// new mail announced while subscribed, moves, the message's string
// properties.
#include "tests/host/host_contract.h"

#include <algorithm>

#include "host/folder.h"
#include "host/item.h"
#include "host/message.h"

namespace varnox::testing {

// A message from the outside with a number of its own in "X-Id".
ArrivingMessage Arriving(int id) {
  const std::string n = std::to_string(id);
  return {
      "Received: from mx.example.org by mail.example.net; Mon, 1 Jan 2024\r\n"
      "From: Ann Example <ann@example.org>\r\nX-Id: " +
          n + "\r\nSubject: offer " + n + "\r\n",
      "body " + n + "\r\n", "offer " + n};
}

bool Contains(std::string_view text, std::string_view part) {
  return text.find(part) != std::string_view::npos;
}

// The X-Id numbers of headers, sorted.
std::vector<int> IdsIn(const std::vector<std::string>& headers) {
  std::vector<int> ids;
  for (const std::string& h : headers) {
    const std::size_t at = h.find("X-Id: ");
    ids.push_back(at == std::string::npos ? -1 : std::stoi(h.substr(at + 6)));
  }
  std::sort(ids.begin(), ids.end());
  return ids;
}

std::string Property(host::MailItem& mail, std::uint32_t tag) {
  std::unique_ptr<host::Message> message;
  std::string value;
  if (Failed(mail.MapiMessage(&message)) || Failed(message->GetStringProperty(tag, &value)))
    return "<unreadable>";
  return value;
}

std::unique_ptr<host::MailItem> AsMail(host::Item& item) {
  std::unique_ptr<host::MailItem> mail;
  EXPECT_EQ(item.QueryMailItem(&mail), kSOk);
  return mail;
}

std::unique_ptr<host::Folders> TopFolders(host::Application& application) {
  std::unique_ptr<host::NameSpace> name_space;
  std::unique_ptr<host::Folders> roots, top;
  std::unique_ptr<host::Folder> store;
  EXPECT_EQ(application.Session(&name_space), kSOk);
  if (name_space && Succeeded(name_space->GetFolders(&roots)) &&
      Succeeded(roots->GetFirst(&store)) && store) {
    EXPECT_EQ(store->GetFolders(&top), kSOk);
  }
  return top;
}

// The top-level folder with this name, looked up afresh; null when none.
std::unique_ptr<host::Folder> TopFolder(host::Application& application, std::string_view wanted) {
  std::unique_ptr<host::Folders> top = TopFolders(application);
  std::unique_ptr<host::Folder> folder;
  if (!top)
    return nullptr;
  for (top->GetFirst(&folder); folder; top->GetNext(&folder)) {
    std::string name;
    if (Succeeded(folder->Name(&name)) && name == wanted)
      return folder;
  }
  return nullptr;
}

// The folder's mail items through the seam, in the host's order.
std::vector<std::unique_ptr<host::MailItem>> Mails(host::Application& application,
                                                   std::string_view folder_name) {
  std::vector<std::unique_ptr<host::MailItem>> mails;
  std::unique_ptr<host::Folder> folder = TopFolder(application, folder_name);
  std::unique_ptr<host::Items> items;
  if (!folder || Failed(folder->GetItems(&items)))
    return mails;
  std::unique_ptr<host::Item> item;
  for (items->GetFirst(&item); item; items->GetNext(&item))
    mails.push_back(AsMail(*item));
  return mails;
}

std::vector<std::string> HeadersThroughTheSeam(host::Application& application,
                                               std::string_view folder_name) {
  std::vector<std::string> headers;
  for (auto& mail : Mails(application, folder_name))
    headers.push_back(Property(*mail, host::kPrTransportMessageHeaders));
  return headers;
}

namespace {

class RecordingSink : public host::ItemsEventSink {
 public:
  void OnItemAdd(std::unique_ptr<host::Item> item) override { items.push_back(std::move(item)); }
  std::vector<std::string> Headers() {
    std::vector<std::string> headers;
    for (auto& item : items) {
      auto mail = AsMail(*item);
      headers.push_back(mail ? Property(*mail, host::kPrTransportMessageHeaders) : "");
    }
    return headers;
  }
  std::vector<std::unique_ptr<host::Item>> items;
};

std::unique_ptr<host::Items> Subscribe(host::Application& application, std::string_view folder_name,
                                       RecordingSink* sink, host::Cookie* cookie) {
  std::unique_ptr<host::Folder> folder = TopFolder(application, folder_name);
  std::unique_ptr<host::Items> items;
  EXPECT_NE(folder, nullptr) << folder_name;
  if (folder && Succeeded(folder->GetItems(&items))) {
    EXPECT_EQ(items->Advise(sink, cookie), kSOk);
  }
  return items;
}

TEST_P(HostContract, TopLevelFoldersAreListedByTheirNames) {
  under_test->AddFolder("Archive");
  under_test->AddFolder("Receipts");
  std::unique_ptr<host::Folders> top = TopFolders(*application);
  ASSERT_NE(top, nullptr);
  std::vector<std::string> names;
  std::unique_ptr<host::Folder> folder;
  for (HResult hr = top->GetFirst(&folder); Succeeded(hr) && folder; hr = top->GetNext(&folder)) {
    std::string name;
    std::int32_t type = -1;
    ASSERT_EQ(folder->Name(&name), kSOk);
    ASSERT_EQ(folder->DefaultItemType(&type), kSOk);
    EXPECT_EQ(type, host::kOlMailItem) << name;
    names.push_back(name);
  }
  EXPECT_EQ(folder, nullptr) << "the end is success and nothing";
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"Archive", "Inbox", "Receipts"}));
}

TEST_P(HostContract, AddedFolderIsFoundAgainAndItsNameCannotBeTakenTwice) {
  std::unique_ptr<host::Folders> top = TopFolders(*application);
  ASSERT_NE(top, nullptr);
  std::unique_ptr<host::Folder> added;
  ASSERT_EQ(top->Add("SpamFilter", host::kOlFolderInbox, &added), kSOk);
  ASSERT_NE(added, nullptr);
  std::string name;
  ASSERT_EQ(added->Name(&name), kSOk);
  EXPECT_EQ(name, "SpamFilter");
  EXPECT_EQ(added->SetDescription("Folder for spam"), kSOk);

  std::unique_ptr<host::Folder> found = TopFolder(*application, "SpamFilter");
  ASSERT_NE(found, nullptr);
  EXPECT_TRUE(found->IsSameFolder(*added));
  EXPECT_TRUE(added->IsSameFolder(*found));
  EXPECT_FALSE(added->IsSameFolder(*TopFolder(*application, "Inbox")));

  std::unique_ptr<host::Folder> again;
  EXPECT_TRUE(Failed(TopFolders(*application)->Add("SpamFilter", host::kOlFolderInbox, &again)));
  EXPECT_EQ(again, nullptr);
}

TEST_P(HostContract, ItemAddFiresOncePerNewMailWhileSubscribed) {
  under_test->AddFolder("Archive");
  RecordingSink inbox_sink, archive_sink;
  host::Cookie inbox_cookie = 0, archive_cookie = 0;
  auto inbox = Subscribe(*application, "Inbox", &inbox_sink, &inbox_cookie);
  auto archive = Subscribe(*application, "Archive", &archive_sink, &archive_cookie);
  ASSERT_NE(inbox, nullptr);
  ASSERT_NE(archive, nullptr);

  under_test->Deliver("Inbox", Arriving(1));
  under_test->Deliver("Inbox", Arriving(2));
  EXPECT_EQ(IdsIn(inbox_sink.Headers()), (std::vector<int>{1, 2}));
  EXPECT_TRUE(archive_sink.items.empty()) << "another folder's mail";

  ASSERT_EQ(inbox->Unadvise(inbox_cookie), kSOk);
  EXPECT_TRUE(Failed(inbox->Unadvise(inbox_cookie))) << "a cookie is taken back once";
  EXPECT_TRUE(Failed(inbox->Unadvise(inbox_cookie + 1000))) << "a cookie never given";
  under_test->Deliver("Inbox", Arriving(3));
  EXPECT_EQ(inbox_sink.items.size(), 2u) << "nothing after the subscription ended";
  EXPECT_EQ(archive->Unadvise(archive_cookie), kSOk);
}

TEST_P(HostContract, MovedMailIsInItsNewFolderOnlyAndAnnouncedThereUnderItsIdentity) {
  under_test->AddFolder("Archive");
  under_test->Deliver("Inbox", Arriving(4));
  RecordingSink sink;
  host::Cookie cookie = 0;
  auto archive_items = Subscribe(*application, "Archive", &sink, &cookie);
  ASSERT_NE(archive_items, nullptr);
  auto mails = Mails(*application, "Inbox");
  ASSERT_EQ(mails.size(), 1u);
  std::unique_ptr<host::Folder> archive = TopFolder(*application, "Archive");
  ASSERT_NE(archive, nullptr);

  ASSERT_EQ(mails[0]->Move(*archive), kSOk);
  std::string identity;
  ASSERT_EQ(mails[0]->Identity(&identity), kSOk);
  under_test->PumpEvents();

  ASSERT_EQ(sink.items.size(), 1u);
  std::string announced;
  ASSERT_EQ(AsMail(*sink.items[0])->Identity(&announced), kSOk);
  EXPECT_EQ(announced, identity);
  EXPECT_TRUE(HeadersThroughTheSeam(*application, "Inbox").empty());
  EXPECT_EQ(IdsIn(HeadersThroughTheSeam(*application, "Archive")), std::vector<int>{4});
  EXPECT_TRUE(under_test->StoredHeaders("Inbox").empty());
  EXPECT_EQ(IdsIn(under_test->StoredHeaders("Archive")), std::vector<int>{4});
  EXPECT_EQ(archive_items->Unadvise(cookie), kSOk);
}

TEST_P(HostContract, PropertiesReadAsDeliveredAndAMissingOneLeavesTheValueAlone) {
  const ArrivingMessage sent = Arriving(5);
  under_test->Deliver("Inbox", sent);
  auto mails = Mails(*application, "Inbox");
  ASSERT_EQ(mails.size(), 1u);
  std::unique_ptr<host::Message> message;
  ASSERT_EQ(mails[0]->MapiMessage(&message), kSOk);
  struct Case {
    std::uint32_t tag;
    const std::string& expected;
  };
  for (const Case& c :
       {Case{host::kPrTransportMessageHeaders, sent.headers}, Case{host::kPrBody, sent.body},
        Case{host::kPrNormalizedSubject, sent.subject}}) {
    std::string value;
    EXPECT_EQ(message->GetStringProperty(c.tag, &value), kSOk) << std::hex << c.tag;
    EXPECT_EQ(value, c.expected) << std::hex << c.tag;
  }
  EXPECT_TRUE(Contains(Property(*mails[0], host::kPrTransportMessageHeaders),
                       "From: Ann Example <ann@example.org>\r\n"))
      << "the sender comes with the headers";
  std::string value = "unchanged";
  EXPECT_TRUE(Failed(message->GetStringProperty(0x0037001E /* PR_SUBJECT_A */, &value)));
  EXPECT_EQ(value, "unchanged");
}

TEST_P(HostContract, StampedHeadersAreSavedAndReadAgainAfterAFreshLookup) {
  const std::string reason = under_test->ReadOnlyReason(host::kPrTransportMessageHeaders);
  ASSERT_TRUE(reason.empty()) << "every host keeps the stamp: " << reason;
  under_test->Deliver("Inbox", Arriving(6));
  std::string stamped;
  {
    auto mails = Mails(*application, "Inbox");
    ASSERT_EQ(mails.size(), 1u);
    std::unique_ptr<host::Message> message;
    ASSERT_EQ(mails[0]->MapiMessage(&message), kSOk);
    ASSERT_EQ(message->GetStringProperty(host::kPrTransportMessageHeaders, &stamped), kSOk);
    stamped += "X-VNX-RESULT:Spam\r\nX-VNX-SCORE:97\r\n";
    ASSERT_EQ(message->SetStringProperty(host::kPrTransportMessageHeaders, stamped), kSOk);
    ASSERT_EQ(message->SaveChanges(host::kForceSave), kSOk);
  }
  EXPECT_EQ(HeadersThroughTheSeam(*application, "Inbox"), std::vector<std::string>{stamped});
  std::vector<std::string> stored = under_test->StoredHeaders("Inbox");
  ASSERT_EQ(stored.size(), 1u);
  EXPECT_TRUE(Contains(stored[0], "X-VNX-SCORE:97")) << stored[0];
}

TEST_P(HostContract, BodyAndSubjectAreSavedAndReadAgainAfterAFreshLookup) {
  for (std::uint32_t tag : {host::kPrBody, host::kPrNormalizedSubject}) {
    const std::string reason = under_test->ReadOnlyReason(tag);
    if (!reason.empty())
      GTEST_SKIP() << reason;
  }
  under_test->Deliver("Inbox", Arriving(7));
  {
    auto mails = Mails(*application, "Inbox");
    ASSERT_EQ(mails.size(), 1u);
    std::unique_ptr<host::Message> message;
    ASSERT_EQ(mails[0]->MapiMessage(&message), kSOk);
    ASSERT_EQ(message->SetStringProperty(host::kPrBody, "new body \xE9\r\n"), kSOk);
    ASSERT_EQ(message->SetStringProperty(host::kPrNormalizedSubject, "new subject"), kSOk);
    ASSERT_EQ(message->SaveChanges(host::kForceSave), kSOk);
  }
  auto again = Mails(*application, "Inbox");
  ASSERT_EQ(again.size(), 1u);
  EXPECT_EQ(Property(*again[0], host::kPrBody), "new body \xE9\r\n");
  EXPECT_EQ(Property(*again[0], host::kPrNormalizedSubject), "new subject");
}

}  // namespace
}  // namespace varnox::testing
