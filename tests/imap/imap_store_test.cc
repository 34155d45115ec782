// The IMAP store against a real Dovecot, driven as the watch service drives
// it, with a stand-in for the pipeline that stamps every message as spam
// and moves it: a connection cut at any instant of the stamping is finished
// at the next connection, leaving one stamped message and no duplicate.
#include "linux/imap/imap_store.h"

#include <gtest/gtest.h>

#include <map>

#include "host/application.h"
#include "host/events.h"
#include "host/folder.h"
#include "host/item.h"
#include "host/message.h"
#include "linux/imap/password_source.h"
#include "linux/imap/stamp_note.h"
#include "tests/imap/cutting_proxy.h"
#include "tests/imap/dovecot_server.h"

namespace varnox {
namespace {

using testing::CuttingProxy;
using testing::DovecotServer;

class MemoryJournal final : public ImapJournal {
 public:
  const std::map<std::string, std::string, std::less<>>& Notes() const override { return notes; }
  bool SetNote(std::string_view key, std::string_view value) override {
    if (value.empty())
      notes.erase(std::string(key));
    else
      notes[std::string(key)] = std::string(value);
    return true;
  }
  std::optional<std::int64_t> Watermark() const override { return std::nullopt; }
  bool Stamping() const {
    return std::any_of(notes.begin(), notes.end(),
                       [](const auto& note) { return IsStampNoteKey(note.first); });
  }
  std::map<std::string, std::string, std::less<>> notes;
};

constexpr char kStamp[] = "X-VNX-RESULT:Spam\r\n";

// What the pipeline does to spam: the stamp saved, then the move.
class SpamSink final : public host::ItemsEventSink {
 public:
  void OnItemAdd(std::unique_ptr<host::Item> item) override {
    ++judged;
    std::unique_ptr<host::MailItem> mail;
    std::unique_ptr<host::Message> message;
    std::string headers;
    if (Failed(item->QueryMailItem(&mail)) || Failed(mail->MapiMessage(&message)) ||
        Failed(message->GetStringProperty(host::kPrTransportMessageHeaders, &headers)) ||
        Failed(message->SetStringProperty(host::kPrTransportMessageHeaders, headers + kStamp)) ||
        Failed(message->SaveChanges(host::kForceSave)))
      return;
    mail->Move(*spam);
  }
  host::Folder* spam = nullptr;
  int judged = 0;
};

// The store's top-level folder called `name`.
std::unique_ptr<host::Folder> TopFolder(host::Application& application, std::string_view name) {
  std::unique_ptr<host::NameSpace> name_space;
  std::unique_ptr<host::Folders> roots, top;
  std::unique_ptr<host::Folder> account, folder;
  if (Failed(application.Session(&name_space)) || Failed(name_space->GetFolders(&roots)) ||
      Failed(roots->GetFirst(&account)) || account == nullptr || Failed(account->GetFolders(&top)))
    return nullptr;
  for (top->GetFirst(&folder); folder != nullptr; top->GetNext(&folder)) {
    std::string shown;
    if (Succeeded(folder->Name(&shown)) && shown == name)
      return folder;
  }
  return nullptr;
}

class ImapStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string why;
    if (!server_.Start({}, &why))
      GTEST_SKIP() << why;
    std::string error;
    ASSERT_TRUE(ReadAccountPassword(server_.Account(), &password_, &error)) << error;
    ASSERT_TRUE(checker_.Connect(server_.Account(), password_).ok());
  }

  // Runs a watching store on `account` until `done` holds (or it gave up
  // after many rounds); the sink's count of judgements.
  int Watch(const ImapAccount& account, const std::function<bool(ImapStore&)>& done) {
    ImapStoreOptions options;
    options.watch = true;
    options.journal = &journal_;
    options.reconnect_first = std::chrono::milliseconds(10);
    options.reconnect_cap = std::chrono::milliseconds(10);
    options.verdict_of = [](std::string_view) { return ImapVerdict::kSpam; };
    ImapStore store(account, options);
    store.SetCatchUpPolicy([](const host::CatchUpCandidate& candidate) {
      return candidate.arrived_since.value_or(candidate.in_new);
    });
    std::unique_ptr<host::Application> application = store.ApplicationRef();
    std::unique_ptr<host::Folder> inbox = TopFolder(*application, "Inbox");
    std::unique_ptr<host::Folder> spam = TopFolder(*application, "SpamFilter");
    std::unique_ptr<host::Items> items;
    host::Cookie cookie = 0;
    SpamSink sink;
    sink.spam = spam.get();
    EXPECT_TRUE(inbox != nullptr && spam != nullptr);
    if (inbox == nullptr || spam == nullptr || Failed(inbox->GetItems(&items)) ||
        Failed(items->Advise(&sink, &cookie)))
      return -1;
    store.CatchUp();
    for (int round = 0; round < 2000 && !done(store); ++round)
      store.Poll(20);
    items->Unadvise(cookie);
    return sink.judged;
  }

  // The messages of a folder whose content holds `marker`.
  std::vector<std::string> Holding(const std::string& folder, const std::string& marker) {
    ImapFolderState state;
    std::vector<std::uint32_t> uids;
    std::vector<std::string> found;
    EXPECT_TRUE(checker_.Select(folder, true, &state).ok());
    EXPECT_TRUE(checker_.SearchUidsFrom(1, &uids).ok());
    checker_.Fetch(uids, kFetchContent, [&](ImapMessage& m) {
      if (m.content.find(marker) != std::string::npos)
        found.push_back(m.content);
      return true;
    });
    return found;
  }

  DovecotServer server_;
  SecretText password_;
  ImapClient checker_;
  MemoryJournal journal_;
};

TEST_F(ImapStoreTest, ACutAtAnyInstantOfAStampingLeavesOneStampedMessage) {
  CuttingProxy proxy(server_.imap_port());
  ImapAccount account = server_.Account(ImapSecurity::kPlain);
  account.port = proxy.port();
  // A first watch makes the spam folder and notes how far the Inbox was read.
  Watch(account, [](ImapStore& store) { return store.CaughtUp("imap:test"); });
  int cut_in_the_middle = 0;
  // Cuts after as many bytes from the client, or from the server: from the
  // login to past the end of the stamping (less than 1,500 bytes sent, 3,000
  // received).
  std::vector<std::pair<std::size_t, std::size_t>> cuts;
  for (std::size_t sent = 150; sent <= 1500; sent += 60)
    cuts.push_back({sent, 0});
  for (std::size_t received = 300; received <= 3000; received += 120)
    cuts.push_back({0, received});
  for (const auto& [sent, received] : cuts) {
    const std::string cut = std::to_string(sent) + "/" + std::to_string(received);
    const std::string marker =
        "<cut" + std::to_string(sent) + "-" + std::to_string(received) + "@example.org>";
    std::uint32_t uid = 0;
    ASSERT_TRUE(checker_
                    .Append("INBOX",
                            "Received: by mx.example\r\nMessage-ID: " + marker +
                                "\r\nSubject: Offer\r\n\r\nCheap pills\r\n",
                            {"\\Flagged"}, std::nullopt, &uid)
                    .ok());
    proxy.CutAfter(sent, received);
    const int before = proxy.cuts();
    int judged = Watch(account, [&](ImapStore& store) {
      return proxy.cuts() > before ||
             (store.CaughtUp("imap:test") && Holding("INBOX", marker).empty());
    });
    const bool cut_happened = proxy.cuts() > before;
    proxy.CutAfter(0, 0);
    if (cut_happened) {
      cut_in_the_middle += journal_.Stamping() ? 1 : 0;
      judged += Watch(account, [&](ImapStore& store) {
        return store.CaughtUp("imap:test") && !journal_.Stamping();
      });
    }
    EXPECT_TRUE(Holding("INBOX", marker).empty()) << "cut after " << cut;
    const std::vector<std::string> spam = Holding("SpamFilter", marker);
    ASSERT_EQ(spam.size(), 1u) << "cut after " << cut;
    EXPECT_EQ(spam.front().find(kStamp), spam.front().rfind(kStamp)) << spam.front();
    EXPECT_NE(spam.front().find(kStamp), std::string::npos) << spam.front();
    EXPECT_LE(judged, 2) << "cut after " << cut;
  }
  EXPECT_GE(cut_in_the_middle, 3) << "cuts with a stamping under way";
}

}  // namespace
}  // namespace varnox
