// Watching real Maildirs end to end: what the host delivers as ItemAdd and
// FolderAdd, on the test's thread, from Poll().
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <thread>

#include "host/folder.h"
#include "host/item.h"
#include "host/message.h"
#include "linux/maildir/folder_watcher.h"
#include "linux/maildir/maildir_host.h"
#include "linux/watch/mail_session.h"
#include "tests/maildir/temp_maildir.h"

namespace varnox::maildir {
namespace {

using testing::TempMaildir;

std::string Message(int id, std::string_view extra_headers = "") {
  return "Received: from mx by mail\nX-Id: " + std::to_string(id) + "\n" +
         std::string(extra_headers) + "Subject: message " + std::to_string(id) + "\n\nbody\n";
}

// The X-Id of the message an event names, or -1 when it cannot be read.
int IdOf(host::Item& item) {
  std::unique_ptr<host::MailItem> mail;
  std::unique_ptr<host::Message> message;
  std::string headers;
  if (Failed(item.QueryMailItem(&mail)) || Failed(mail->MapiMessage(&message)) ||
      Failed(message->GetStringProperty(host::kPrTransportMessageHeaders, &headers)))
    return -1;
  const std::size_t at = headers.find("X-Id: ");
  return at == std::string::npos ? -1 : std::stoi(headers.substr(at + 6));
}

class RecordingItemSink : public host::ItemsEventSink {
 public:
  void OnItemAdd(std::unique_ptr<host::Item> item) override {
    const int id = IdOf(*item);
    ++seen[id];
    ++total;
    if (on_add)
      on_add(*item);
  }
  std::map<int, int> seen;  // id -> times added
  int total = 0;
  std::function<void(host::Item&)> on_add;
};

class RecordingFolderSink : public host::FoldersEventSink {
 public:
  void OnFolderAdd(std::unique_ptr<host::Folder> folder) override {
    std::string name;
    folder->Name(&name);
    names.push_back(name);
    if (on_add)
      on_add(*folder);
  }
  std::vector<std::string> names;
  std::function<void(host::Folder&)> on_add;
};

class MaildirWatchTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(host_.AddStore(store_.root()), kSOk); }
  void TearDown() override {
    for (auto& [items, cookie] : subscriptions_)
      EXPECT_EQ(items->Unadvise(cookie), kSOk);
    if (top_) {
      EXPECT_EQ(top_->Unadvise(top_cookie_), kSOk);
    }
  }

  host::Folders& Top() {
    if (!top_)
      top_ = testing::TopFolders(host_);
    return *top_;
  }

  std::unique_ptr<host::Folder> Folder(std::string_view wanted) {
    return testing::TopFolder(host_, wanted);
  }

  void Watch(host::Folder& folder, RecordingItemSink* sink) {
    std::unique_ptr<host::Items> items;
    ASSERT_EQ(folder.GetItems(&items), kSOk);
    host::Cookie cookie = 0;
    ASSERT_EQ(items->Advise(sink, &cookie), kSOk);
    subscriptions_.emplace_back(std::move(items), cookie);
  }

  void WatchTopLevel(RecordingFolderSink* sink) {
    ASSERT_EQ(Top().Advise(sink, &top_cookie_), kSOk);
  }

  // Polls until the host has been quiet for a few rounds; gives the events.
  int Drain() {
    int delivered = 0;
    for (int quiet = 0; quiet < 3;) {
      const int result = host_.Poll(30);
      EXPECT_GE(result, 0);
      delivered += std::max(result, 0);
      quiet = result == 0 ? quiet + 1 : 0;
    }
    return delivered;
  }

  TempMaildir store_;
  MaildirHost host_;
  std::vector<std::pair<std::unique_ptr<host::Items>, host::Cookie>> subscriptions_;
  std::unique_ptr<host::Folders> top_;
  host::Cookie top_cookie_ = 0;
};

TEST_F(MaildirWatchTest, DeliveryIntoNewIsAddedOnce) {
  TempMaildir::Deliver(store_.root(), "old", Message(0));  // there before: not added
  RecordingItemSink sink;
  Watch(*Folder("Inbox"), &sink);
  TempMaildir::Deliver(store_.root(), "1.a.host", Message(1));
  EXPECT_EQ(Drain(), 1);
  TempMaildir::Deliver(store_.root(), "2.a.host", Message(2));
  EXPECT_EQ(Drain(), 1);
  EXPECT_EQ(sink.seen, (std::map<int, int>{{1, 1}, {2, 1}}));
}

TEST_F(MaildirWatchTest, OurRewriteAndAMailProgramsRenamesAreNotAdditions) {
  RecordingItemSink sink;
  // Judge as the add-in does: stamp the headers, mark read.
  sink.on_add = [](host::Item& item) {
    std::unique_ptr<host::MailItem> mail;
    std::unique_ptr<host::Message> message;
    std::string headers;
    ASSERT_EQ(item.QueryMailItem(&mail), kSOk);
    ASSERT_EQ(mail->MapiMessage(&message), kSOk);
    ASSERT_EQ(message->GetStringProperty(host::kPrTransportMessageHeaders, &headers), kSOk);
    message->SetStringProperty(host::kPrTransportMessageHeaders,
                               headers + "X-VNX-RESULT:NotSpam\r\n");
    ASSERT_EQ(message->SaveChanges(host::kForceSave), kSOk);
    ASSERT_EQ(mail->MarkRead(), kSOk);
  };
  Watch(*Folder("Inbox"), &sink);
  TempMaildir::Deliver(store_.root(), "3.b.host", Message(3));
  EXPECT_EQ(Drain(), 1);
  // A mail program flags it and moves it back and forth between names.
  const std::string read = store_.root() + "/cur/3.b.host:2,S";
  const std::string flagged = store_.root() + "/cur/3.b.host:2,FS";
  ASSERT_EQ(rename(read.c_str(), flagged.c_str()), 0);
  ASSERT_EQ(rename(flagged.c_str(), read.c_str()), 0);
  EXPECT_EQ(Drain(), 0);
  EXPECT_EQ(sink.total, 1);
  EXPECT_NE(TempMaildir::Read(read).find("X-VNX-RESULT:NotSpam\n\nbody"), std::string::npos);
}

TEST_F(MaildirWatchTest, MessageMovedInIsAddedAndMovedOutIsForgotten) {
  const std::string other = store_.AddFolder(".Other");
  TempMaildir::PutInCur(other, "4.c.host:2,S", Message(4));
  RecordingItemSink sink;
  Watch(*Folder("Inbox"), &sink);
  std::unique_ptr<host::Items> items;
  Folder("Other")->GetItems(&items);
  std::unique_ptr<host::Item> item;
  items->GetFirst(&item);
  std::unique_ptr<host::MailItem> mail;
  item->QueryMailItem(&mail);
  auto inbox = Folder("Inbox");
  auto away = Folder("Other");
  ASSERT_EQ(mail->Move(*inbox), kSOk);
  EXPECT_EQ(Drain(), 1);
  ASSERT_EQ(mail->Move(*away), kSOk);
  EXPECT_EQ(Drain(), 0);
  ASSERT_EQ(mail->Move(*inbox), kSOk);  // back again: judged again
  EXPECT_EQ(Drain(), 1);
  EXPECT_EQ(sink.seen, (std::map<int, int>{{4, 2}}));
}

TEST_F(MaildirWatchTest, MessageTakenAwayBeforeItsEventIsNotOfferedAndARenamedOneIs) {
  RecordingItemSink sink;
  Watch(*Folder("Inbox"), &sink);
  const std::string gone = TempMaildir::Deliver(store_.root(), "13.f.host", Message(13));
  ASSERT_EQ(unlink(gone.c_str()), 0);
  const std::string read = TempMaildir::Deliver(store_.root(), "14.f.host", Message(14));
  ASSERT_EQ(rename(read.c_str(), (store_.root() + "/cur/14.f.host:2,S").c_str()), 0);
  EXPECT_EQ(Drain(), 1);
  EXPECT_EQ(sink.seen, (std::map<int, int>{{14, 1}}));
}

TEST_F(MaildirWatchTest, FileWrittenInPlaceIsAddedWhenItsWriterClosesIt) {
  RecordingItemSink sink;
  Watch(*Folder("Inbox"), &sink);
  const std::string path = store_.root() + "/new/5.d.host";
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
  ASSERT_GE(fd, 0);
  const std::string text = Message(5);
  ASSERT_EQ(write(fd, text.data(), 10), 10);
  EXPECT_EQ(Drain(), 0);
  ASSERT_EQ(write(fd, text.data() + 10, text.size() - 10), static_cast<ssize_t>(text.size() - 10));
  close(fd);
  EXPECT_EQ(Drain(), 1);
  EXPECT_EQ(sink.seen, (std::map<int, int>{{5, 1}}));

  // A hard link (how some agents deliver) is complete when it appears.
  const std::string staged = store_.root() + "/tmp/6.d.host";
  std::ofstream(staged) << Message(6);
  ASSERT_EQ(link(staged.c_str(), (store_.root() + "/new/6.d.host").c_str()), 0);
  unlink(staged.c_str());
  EXPECT_EQ(Drain(), 1);
  EXPECT_EQ(sink.seen, (std::map<int, int>{{5, 1}, {6, 1}}));
}

TEST_F(MaildirWatchTest, NewTopLevelFolderRaisesFolderAddOnceComplete) {
  RecordingFolderSink sink;
  WatchTopLevel(&sink);
  const std::string dir = store_.root() + "/.Lists";
  std::filesystem::create_directory(dir);
  EXPECT_EQ(Drain(), 0);  // not yet a Maildir
  for (const char* sub : {"/cur", "/new", "/tmp"})
    std::filesystem::create_directory(dir + sub);
  EXPECT_EQ(Drain(), 1);
  store_.AddFolder(".Lists.Sub");  // not top level
  std::filesystem::create_directory(store_.root() + "/plain");
  EXPECT_EQ(Drain(), 0);
  // A folder renamed in whole, and one the host's own Folders.Add made.
  TempMaildir elsewhere;
  std::filesystem::rename(elsewhere.root(), store_.root() + "/.Moved");
  std::filesystem::create_directory(elsewhere.root());  // for its destructor
  std::unique_ptr<host::Folder> added;
  ASSERT_EQ(Top().Add("SpamFilter", host::kOlFolderInbox, &added), kSOk);
  EXPECT_EQ(Drain(), 2);
  EXPECT_EQ(sink.names, (std::vector<std::string>{"Lists", "Moved", "SpamFilter"}));
}

TEST_F(MaildirWatchTest, FolderWatchedWhenAnnouncedHasItsEarlyMailCaughtUp) {
  RecordingFolderSink folders;
  RecordingItemSink items;
  folders.on_add = [&](host::Folder& folder) { Watch(folder, &items); };
  WatchTopLevel(&folders);
  const std::string dir = store_.root() + "/.Fresh";
  std::filesystem::create_directory(dir);
  std::filesystem::create_directory(dir + "/tmp");
  std::filesystem::create_directory(dir + "/cur");
  // Delivered before the folder is complete, so before anyone can watch it.
  std::filesystem::create_directory(dir + "/new");
  TempMaildir::Deliver(dir, "7.e.host", Message(7));
  Drain();
  TempMaildir::Deliver(dir, "8.e.host", Message(8));
  Drain();
  EXPECT_EQ(folders.names, std::vector<std::string>{"Fresh"});
  EXPECT_EQ(items.seen, (std::map<int, int>{{7, 1}, {8, 1}}));
}

TEST_F(MaildirWatchTest, CatchUpDeliversUnstampedNewMailOnce) {
  TempMaildir::Deliver(store_.root(), "a", Message(1));
  TempMaildir::Deliver(store_.root(), "b", Message(2, "X-VNX-RESULT:NotSpam\n"));
  TempMaildir::PutInCur(store_.root(), "c:2,S", Message(3));
  host_.SetCatchUpPolicy(watch::IsUnstampedInNew);
  RecordingItemSink sink;
  Watch(*Folder("Inbox"), &sink);
  EXPECT_EQ(host_.CatchUp(), 1);
  EXPECT_EQ(host_.CatchUp(), 0);
  EXPECT_EQ(Drain(), 0);
  EXPECT_EQ(sink.seen, (std::map<int, int>{{1, 1}}));
}

TEST_F(MaildirWatchTest, ACatchUpPolicyChoosesAmongNewAndCurAndTheItemIsNamedWhileDelivered) {
  TempMaildir::Deliver(store_.root(), "a", Message(1));
  TempMaildir::Deliver(store_.root(), "b", Message(2, "X-VNX-RESULT:NotSpam\n"));
  TempMaildir::PutInCur(store_.root(), "c:2,S", Message(3));
  std::vector<std::string> offered;
  std::string canonical_root;
  host_.SetCatchUpPolicy([&](const host::CatchUpCandidate& candidate) {
    offered.push_back(candidate.identity.unique + (candidate.in_new ? " new" : " cur"));
    canonical_root = candidate.identity.store;
    EXPECT_GT(candidate.modified_ns, 0);
    EXPECT_EQ(candidate.path.substr(candidate.path.size() - candidate.identity.unique.size() -
                                    (candidate.in_new ? 0 : 4)),
              candidate.identity.unique + (candidate.in_new ? "" : ":2,S"));
    return !candidate.in_new;  // only what a mail program took to cur/
  });
  RecordingItemSink sink;
  std::vector<std::string> named;
  sink.on_add = [&](host::Item&) {
    const host::MessageIdentity* identity = host_.Delivering();
    named.push_back(identity == nullptr ? "none" : identity->store + " " + identity->unique);
  };
  Watch(*Folder("Inbox"), &sink);
  EXPECT_EQ(host_.CatchUp(), 1);
  EXPECT_EQ(offered, (std::vector<std::string>{"a new", "b new", "c cur"}));
  EXPECT_EQ(sink.seen, (std::map<int, int>{{3, 1}}));
  EXPECT_EQ(named, std::vector<std::string>{canonical_root + " c"});
  EXPECT_EQ(host_.Delivering(), nullptr) << "only while delivered";

  // Live arrivals are named too.
  TempMaildir::Deliver(store_.root(), "d", Message(4));
  EXPECT_EQ(Drain(), 1);
  EXPECT_EQ(named.back(), canonical_root + " d");
}

TEST_F(MaildirWatchTest, WatchedFolderRemovedIsNoError) {
  const std::string dir = store_.AddFolder(".Gone");
  RecordingItemSink sink;
  Watch(*Folder("Gone"), &sink);
  std::filesystem::remove_all(dir);
  EXPECT_EQ(Drain(), 0);
  TempMaildir::Deliver(store_.root(), "10", Message(10));
  Watch(*Folder("Inbox"), &sink);
  TempMaildir::Deliver(store_.root(), "11", Message(11));
  EXPECT_EQ(Drain(), 1);
}

TEST_F(MaildirWatchTest, QueueOverflowRescansAndLosesNothing) {
  int queue_limit = 16384;
  std::ifstream("/proc/sys/fs/inotify/max_queued_events") >> queue_limit;
  if (queue_limit > 100000)
    GTEST_SKIP() << "the kernel's inotify queue is too long to overflow in a test";
  RecordingItemSink sink;
  Watch(*Folder("Inbox"), &sink);
  const int count = queue_limit + 500;
  for (int i = 0; i < count; ++i)
    TempMaildir::Deliver(store_.root(), std::string("o").append(std::to_string(i)), Message(i));
  Drain();
  EXPECT_EQ(sink.total, count);
  EXPECT_EQ(static_cast<int>(sink.seen.size()), count);
  EXPECT_EQ(sink.seen.count(-1), 0u);
}

// Our own header rewrite exchanges the file under its name; the watcher
// forgot such a message, so the rescan after an overflow added every
// message stamped before it a second time (and the pipeline stamped it
// twice).
TEST_F(MaildirWatchTest, OverflowAfterOurOwnRewritesAddsNothingAgain) {
  int queue_limit = 16384;
  std::ifstream("/proc/sys/fs/inotify/max_queued_events") >> queue_limit;
  if (queue_limit > 100000)
    GTEST_SKIP() << "the kernel's inotify queue is too long to overflow in a test";
  RecordingItemSink sink;
  sink.on_add = [](host::Item& item) {
    std::unique_ptr<host::MailItem> mail;
    std::unique_ptr<host::Message> message;
    std::string headers;
    ASSERT_EQ(item.QueryMailItem(&mail), kSOk);
    ASSERT_EQ(mail->MapiMessage(&message), kSOk);
    ASSERT_EQ(message->GetStringProperty(host::kPrTransportMessageHeaders, &headers), kSOk);
    ASSERT_EQ(message->SetStringProperty(host::kPrTransportMessageHeaders, headers + "X-A: 1\r\n"),
              kSOk);
    ASSERT_EQ(message->SaveChanges(0), kSOk);
  };
  Watch(*Folder("Inbox"), &sink);
  for (int i = 0; i < 20; ++i)
    TempMaildir::Deliver(store_.root(), "r" + std::to_string(i), Message(i));
  Drain();
  ASSERT_EQ(sink.total, 20);
  sink.on_add = nullptr;
  const int count = queue_limit + 500;
  for (int i = 100; i < 100 + count; ++i)
    TempMaildir::Deliver(store_.root(), "o" + std::to_string(i), Message(i));
  Drain();
  EXPECT_EQ(sink.total, 20 + count);
  for (const auto& [id, times] : sink.seen)
    ASSERT_EQ(times, 1) << id;
}

TEST_F(MaildirWatchTest, BurstOfDeliveriesEachAddedExactlyOnce) {
  RecordingItemSink sink;
  Watch(*Folder("Inbox"), &sink);
  constexpr int kCount = 2000;
  std::atomic<bool> done{false};
  std::thread agent([&] {
    for (int i = 0; i < kCount; ++i)
      TempMaildir::Deliver(store_.root(), "burst" + std::to_string(i), Message(i));
    done = true;
  });
  while (!done)
    host_.Poll(10);
  agent.join();
  Drain();
  EXPECT_EQ(sink.total, kCount);
  ASSERT_EQ(static_cast<int>(sink.seen.size()), kCount);
  for (const auto& [id, times] : sink.seen)
    EXPECT_EQ(times, 1) << id;
}

TEST_F(MaildirWatchTest, RunUntilReturnsWhenStopped) {
  RecordingItemSink sink;
  sink.on_add = [&](host::Item&) {};
  Watch(*Folder("Inbox"), &sink);
  std::atomic<bool> stop{false};
  sink.on_add = [&](host::Item&) { stop = true; };
  TempMaildir::Deliver(store_.root(), "12", Message(12));
  EXPECT_EQ(host_.RunUntil(stop, 20), kSOk);
  EXPECT_EQ(sink.total, 1);
}

}  // namespace
}  // namespace varnox::maildir

namespace varnox::maildir {
namespace {

TEST(FolderWatcherTest, FileWhoseWritersCloseWentUnseenIsAddedOnceQuiet) {
  TempMaildir store;
  FolderWatcher watcher;
  watcher.set_quiet_period(std::chrono::milliseconds(200));
  ASSERT_EQ(watcher.WatchFolder(store.root()), kSOk);
  // Linked in complete, then opened by a reader before we look: it looks
  // like a file someone is still writing.
  const std::string staged = store.root() + "/tmp/q";
  std::ofstream(staged) << Message(1);
  const std::string path = store.root() + "/new/q";
  ASSERT_EQ(link(staged.c_str(), path.c_str()), 0);
  close(open(path.c_str(), O_RDONLY));
  std::vector<FolderWatcher::Event> events;
  ASSERT_EQ(watcher.Poll(50, &events), kSOk);
  EXPECT_TRUE(events.empty());
  for (int i = 0; i < 50 && events.empty(); ++i)
    ASSERT_EQ(watcher.Poll(20, &events), kSOk);
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].entry, (MessageEntry{"new", "q"}));
  ASSERT_EQ(watcher.Poll(300, &events), kSOk);
  EXPECT_EQ(events.size(), 1u);
}

}  // namespace
}  // namespace varnox::maildir
