#include "linux/maildir/maildir_host.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>

#include "host/folder.h"
#include "host/item.h"
#include "host/message.h"
#include "linux/maildir/maildir_folder.h"
#include "linux/maildir/message_file.h"
#include "tests/host/host_contract.h"
#include "tests/maildir/temp_maildir.h"

namespace varnox::maildir {
namespace {

using testing::HostContract;
using testing::TempMaildir;
using testing::TransportMessage;

class MaildirHostTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(host_.AddStore(store_.root()), kSOk); }

  // The store's top-level folders by name, in the host's order.
  std::vector<std::string> TopFolderNames() {
    std::vector<std::string> names;
    std::unique_ptr<host::Folders> top = TopFolders();
    std::unique_ptr<host::Folder> folder;
    for (top->GetFirst(&folder); folder; top->GetNext(&folder)) {
      std::string name;
      EXPECT_EQ(folder->Name(&name), kSOk);
      names.push_back(name);
    }
    return names;
  }

  std::unique_ptr<host::Folders> TopFolders() { return testing::TopFolders(host_); }
  std::unique_ptr<host::Folder> TopFolder(std::string_view wanted) {
    return testing::TopFolder(host_, wanted);
  }

  // The first item of the folder as a mail item.
  std::unique_ptr<host::MailItem> FirstMail(host::Folder& folder) {
    std::unique_ptr<host::Items> items;
    EXPECT_EQ(folder.GetItems(&items), kSOk);
    std::unique_ptr<host::Item> item;
    EXPECT_EQ(items->GetFirst(&item), kSOk);
    if (!item)
      return nullptr;
    std::unique_ptr<host::MailItem> mail;
    EXPECT_EQ(item->QueryMailItem(&mail), kSOk);
    return mail;
  }

  std::unique_ptr<host::Message> MessageOf(host::MailItem& mail) {
    std::unique_ptr<host::Message> message;
    EXPECT_EQ(mail.MapiMessage(&message), kSOk);
    return message;
  }

  // The normalized subject of an item's message.
  std::string Subject(host::Item& item) {
    std::unique_ptr<host::MailItem> mail;
    EXPECT_EQ(item.QueryMailItem(&mail), kSOk);
    std::string subject;
    if (mail != nullptr) {
      EXPECT_EQ(MessageOf(*mail)->GetStringProperty(host::kPrNormalizedSubject, &subject), kSOk);
    }
    return subject;
  }

  TempMaildir store_;
  MaildirHost host_;
};

TEST_F(MaildirHostTest, RefusesWhatIsNotAMaildirAndDuplicates) {
  EXPECT_EQ(host_.AddStore(store_.root() + "/new"), kEInvalidArg);
  EXPECT_EQ(host_.AddStore(store_.root() + "/nowhere"), kEInvalidArg);
  EXPECT_EQ(host_.AddStore(store_.root() + "/"), kCollision);
}

TEST_F(MaildirHostTest, TopLevelIsTheInboxThenTheFoldersWithTheHostsNames) {
  store_.AddFolder(".Trash");
  store_.AddFolder(".Sent");
  store_.AddFolder(".Drafts");
  store_.AddFolder(".Archive");
  store_.AddFolder(".Archive.2023");  // a sub-folder: not top level
  std::filesystem::create_directory(store_.root() + "/.NotAMaildir");
  EXPECT_EQ(TopFolderNames(), (std::vector<std::string>{"Inbox", "Archive", "Drafts", "Sent Items",
                                                        "Deleted Items"}));

  std::unique_ptr<host::Folders> sub;
  ASSERT_EQ(TopFolder("Archive")->GetFolders(&sub), kSOk);
  std::unique_ptr<host::Folder> child;
  ASSERT_EQ(sub->GetFirst(&child), kSOk);
  ASSERT_NE(child, nullptr);
  std::string name;
  child->Name(&name);
  EXPECT_EQ(name, "2023");
  sub->GetNext(&child);
  EXPECT_EQ(child, nullptr);
}

TEST_F(MaildirHostTest, FoldersAddCreatesAMaildirPlusPlusFolderPrivately) {
  std::unique_ptr<host::Folder> added;
  ASSERT_EQ(TopFolders()->Add("SpamFilter", host::kOlFolderInbox, &added), kSOk);
  ASSERT_NE(added, nullptr);
  const std::string dir = store_.root() + "/.SpamFilter";
  for (const char* sub : {"", "/cur", "/new", "/tmp"})
    EXPECT_EQ(TempMaildir::Mode(dir + sub), 0700u) << sub;
  EXPECT_EQ(TempMaildir::Mode(dir + "/maildirfolder"), 0600u);

  std::unique_ptr<host::Folder> again;
  EXPECT_EQ(TopFolders()->Add("SpamFilter", host::kOlFolderInbox, &again), kCollision);
  EXPECT_EQ(TopFolders()->Add("a/b", host::kOlFolderInbox, &again), kEInvalidArg);
  EXPECT_EQ(TopFolders()->Add("Calendar", 9, &again), kEInvalidArg);
  EXPECT_EQ(again, nullptr);
}

TEST_F(MaildirHostTest, ReadsTheThreePropertiesOfAFile) {
  TempMaildir::Deliver(store_.root(), "1.a.host",
                       TransportMessage("A <a@example.org>", "Re: cheap pills", "buy now\n"));
  auto mail = FirstMail(*TopFolder("Inbox"));
  ASSERT_NE(mail, nullptr);
  auto message = MessageOf(*mail);
  std::string headers, body, subject;
  EXPECT_EQ(message->GetStringProperty(host::kPrTransportMessageHeaders, &headers), kSOk);
  EXPECT_EQ(message->GetStringProperty(host::kPrBody, &body), kSOk);
  EXPECT_EQ(message->GetStringProperty(host::kPrNormalizedSubject, &subject), kSOk);
  EXPECT_EQ(headers,
            "Received: from mx.example.org by mail.example.net; Mon, 1 Jan 2024\r\n"
            "From: A <a@example.org>\r\nSubject: Re: cheap pills\r\n");
  EXPECT_EQ(body, "buy now\r\n");
  EXPECT_EQ(subject, "cheap pills");
  std::string other;
  EXPECT_EQ(message->GetStringProperty(0x0037001E, &other), kMapiENotFound);
}

TEST_F(MaildirHostTest, SentCopyHasNoTransportHeaders) {
  TempMaildir::PutInCur(store_.root(), "2.b.host:2,S", "From: me\nSubject: s\n\nhi\n");
  auto message = MessageOf(*FirstMail(*TopFolder("Inbox")));
  std::string headers = "unchanged";
  EXPECT_EQ(message->GetStringProperty(host::kPrTransportMessageHeaders, &headers), kMapiENotFound);
  EXPECT_EQ(headers, "unchanged");
}

struct RewriteCase {
  const char* name;
  std::string file;
  std::string appended;
  std::string expected;
};

class RewriteTest : public MaildirHostTest, public ::testing::WithParamInterface<RewriteCase> {};

TEST_P(RewriteTest, AppendsToTheHeaderBlockInTheFilesConventionAndKeepsTheRest) {
  const std::string path = TempMaildir::Deliver(store_.root(), "3.c.host", GetParam().file);
  auto message = MessageOf(*FirstMail(*TopFolder("Inbox")));
  std::string headers;
  ASSERT_EQ(message->GetStringProperty(host::kPrTransportMessageHeaders, &headers), kSOk);
  ASSERT_EQ(
      message->SetStringProperty(host::kPrTransportMessageHeaders, headers + GetParam().appended),
      kSOk);
  ASSERT_EQ(message->SaveChanges(host::kForceSave), kSOk);
  EXPECT_EQ(TempMaildir::Read(path), GetParam().expected);
  EXPECT_EQ(TempMaildir::Mode(path), 0600u);
  EXPECT_TRUE(TempMaildir::Names(store_.root(), "tmp").empty());
  // Read again, the message has the new headers.
  std::string again;
  ASSERT_EQ(message->GetStringProperty(host::kPrTransportMessageHeaders, &again), kSOk);
  EXPECT_EQ(again.substr(0, headers.size()), headers);
}

const std::string kStamp = "X-VNX-RESULT:Spam\r\nX-VNX-SCORE:97\r\nX-VNX-TOP-WORDS:";

INSTANTIATE_TEST_SUITE_P(
    Files, RewriteTest,
    ::testing::Values(
        RewriteCase{"lf", "Received: r\nSubject: s\n\nbody\r\nbytes\0kept\n" + std::string(1, '\0'),
                    kStamp,
                    "Received: r\nSubject: s\nX-VNX-RESULT:Spam\nX-VNX-SCORE:97\n"
                    "X-VNX-TOP-WORDS:\n\nbody\r\nbytes\0kept\n" +
                        std::string(1, '\0')},
        RewriteCase{"crlf", "Received: r\r\n\r\nbody\r\n", "X-VNX-RESULT:NotSpam\r\n",
                    "Received: r\r\nX-VNX-RESULT:NotSpam\r\n\r\nbody\r\n"},
        RewriteCase{"cr_only", "Received: r\r\rbody\r", "note", "Received: r\rnote\r\rbody\r"},
        RewriteCase{"headers_only_no_line_end", "Received: r", "a is in BlackList",
                    "Received: r\na is in BlackList\n"},
        RewriteCase{"mbox_envelope_line_stays_first", "From a@b  Mon Jun  3\nReceived: r\n\nbody\n",
                    "note", "From a@b  Mon Jun  3\nReceived: r\nnote\n\nbody\n"}),
    [](const ::testing::TestParamInfo<RewriteCase>& info) { return std::string(info.param.name); });

TEST_F(MaildirHostTest, RefusesAHeaderWriteThatWouldDropHeaders) {
  const std::string contents = TransportMessage("a", "s", "b\n");
  const std::string path = TempMaildir::Deliver(store_.root(), "4.d.host", contents);
  auto message = MessageOf(*FirstMail(*TopFolder("Inbox")));
  EXPECT_EQ(message->SetStringProperty(host::kPrTransportMessageHeaders, "X: only\r\n"),
            kEInvalidArg);
  EXPECT_EQ(message->SetStringProperty(host::kPrBody, "new body"), kENotImpl);
  EXPECT_EQ(message->SaveChanges(host::kForceSave), kSOk);
  EXPECT_EQ(TempMaildir::Read(path), contents);
}

TEST_F(MaildirHostTest, RewriteFollowsARenameAndSkipsADeletedOrRewrittenFile) {
  const std::string path =
      TempMaildir::Deliver(store_.root(), "5.e.host", TransportMessage("a", "s", "b\n"));
  auto mail = FirstMail(*TopFolder("Inbox"));
  auto message = MessageOf(*mail);
  std::string headers;
  ASSERT_EQ(message->GetStringProperty(host::kPrTransportMessageHeaders, &headers), kSOk);
  // A mail program reads it: new/ to cur/ with the seen flag.
  const std::string seen = store_.root() + "/cur/5.e.host:2,S";
  ASSERT_EQ(rename(path.c_str(), seen.c_str()), 0);
  ASSERT_EQ(message->SetStringProperty(host::kPrTransportMessageHeaders, headers + "X: 1\r\n"),
            kSOk);
  ASSERT_EQ(message->SaveChanges(host::kForceSave), kSOk);
  EXPECT_NE(TempMaildir::Read(seen).find("X: 1\n"), std::string::npos);
  EXPECT_EQ(TempMaildir::Names(store_.root(), "cur"), std::vector<std::string>{"5.e.host:2,S"});
  EXPECT_TRUE(TempMaildir::Names(store_.root(), "new").empty());

  // Rewritten by someone else since it was read: left alone.
  ASSERT_EQ(message->GetStringProperty(host::kPrTransportMessageHeaders, &headers), kSOk);
  const std::string theirs = TransportMessage("a", "their edit", "b\n");
  TempMaildir::PutInCur(store_.root(), "5.e.host:2,S", theirs);
  ASSERT_EQ(message->SetStringProperty(host::kPrTransportMessageHeaders, headers + "Y: 2\r\n"),
            kSOk);
  EXPECT_LT(message->SaveChanges(host::kForceSave), 0);
  EXPECT_EQ(TempMaildir::Read(seen), theirs);

  // Deleted: every operation fails, nothing comes back.
  ASSERT_EQ(unlink(seen.c_str()), 0);
  EXPECT_EQ(message->SaveChanges(host::kForceSave), kMapiENotFound);
  std::unique_ptr<host::Message> gone;
  EXPECT_EQ(mail->MapiMessage(&gone), kMapiENotFound);
  EXPECT_EQ(gone, nullptr);
  EXPECT_EQ(mail->Move(*TopFolder("Inbox")), kMapiENotFound);
  EXPECT_TRUE(TempMaildir::Names(store_.root(), "cur").empty());
  EXPECT_TRUE(TempMaildir::Names(store_.root(), "new").empty());
}

TEST_F(MaildirHostTest, MoveRenamesKeepingNameAndFlagsAndNeverReplaces) {
  const std::string spam = store_.AddFolder(".SpamFilter");
  TempMaildir::PutInCur(store_.root(), "6.f.host:2,FS", TransportMessage("a", "s", "b\n"));
  auto mail = FirstMail(*TopFolder("Inbox"));
  auto destination = TopFolder("SpamFilter");
  ASSERT_EQ(mail->Move(*destination), kSOk);
  EXPECT_EQ(TempMaildir::Names(spam, "cur"), std::vector<std::string>{"6.f.host:2,FS"});
  EXPECT_TRUE(TempMaildir::Names(store_.root(), "cur").empty());

  // The same name already in the destination: the move fails, both stay.
  TempMaildir::PutInCur(store_.root(), "6.f.host:2,FS", "another message");
  auto other = FirstMail(*TopFolder("Inbox"));
  EXPECT_EQ(other->Move(*destination), kCollision);
  EXPECT_EQ(TempMaildir::Read(store_.root() + "/cur/6.f.host:2,FS"), "another message");
  EXPECT_NE(TempMaildir::Read(spam + "/cur/6.f.host:2,FS"), "another message");
}

TEST_F(MaildirHostTest, MarkReadSetsTheSeenFlag) {
  TempMaildir::Deliver(store_.root(), "7.g.host", TransportMessage("a", "s", "b\n"));
  auto mail = FirstMail(*TopFolder("Inbox"));
  ASSERT_EQ(mail->MarkRead(), kSOk);
  EXPECT_TRUE(TempMaildir::Names(store_.root(), "new").empty());
  EXPECT_EQ(TempMaildir::Names(store_.root(), "cur"), std::vector<std::string>{"7.g.host:2,S"});
  // The item follows its file: marking again changes nothing, moving works.
  EXPECT_EQ(mail->MarkRead(), kSOk);
  store_.AddFolder(".Other");
  EXPECT_EQ(mail->Move(*TopFolder("Other")), kSOk);
  EXPECT_EQ(TempMaildir::Names(store_.root() + "/.Other", "cur"),
            std::vector<std::string>{"7.g.host:2,S"});
}

TEST_F(MaildirHostTest, ItemsListNewThenCurSkippingHiddenFiles) {
  TempMaildir::PutInCur(store_.root(), "b:2,S", "x");
  TempMaildir::PutInCur(store_.root(), ".hidden", "x");
  TempMaildir::Deliver(store_.root(), "a", "x");
  std::unique_ptr<host::Items> items;
  ASSERT_EQ(TopFolder("Inbox")->GetItems(&items), kSOk);
  int count = 0;
  std::unique_ptr<host::Item> item;
  for (items->GetFirst(&item); item; items->GetNext(&item))
    ++count;
  EXPECT_EQ(count, 2);
}

TEST_F(MaildirHostTest, MessageFilesAreTheItemsOfTheFilesGivenAndTheirFolderIsFound) {
  const std::string spam = store_.AddFolder(".SpamFilter");
  const std::string a = TempMaildir::PutInCur(spam, "a:2,S", TransportMessage("a", "s", "b\n"));
  const std::string b = TempMaildir::Deliver(spam, "b", TransportMessage("a", "t", "c\n"));
  std::unique_ptr<host::ItemList> items;
  std::string bad;
  for (const std::string& not_a_message :
       {store_.root() + "/tmp", store_.root() + "/new/missing", spam + "/tmp/x"}) {
    EXPECT_EQ(host_.MessageFiles({a, not_a_message}, &items, &bad), kEInvalidArg) << not_a_message;
    EXPECT_EQ(bad, not_a_message);
    EXPECT_EQ(items, nullptr);
    std::unique_ptr<host::Folder> folder;
    EXPECT_EQ(host_.FolderOfMessageFile(not_a_message, &folder), kEInvalidArg);
    EXPECT_EQ(folder, nullptr);
  }
  ASSERT_EQ(host_.MessageFiles({b, a}, &items), kSOk);
  std::int32_t count = 0;
  ASSERT_EQ(items->Count(&count), kSOk);
  ASSERT_EQ(count, 2) << "any files, not a whole folder";
  std::vector<std::string> subjects;
  for (std::int32_t index = 1; index <= count; ++index) {
    std::unique_ptr<host::Item> item;
    ASSERT_EQ(items->GetItem(index, &item), kSOk);
    subjects.push_back(Subject(*item));
  }
  EXPECT_EQ(subjects, (std::vector<std::string>{"t", "s"})) << "in the order given";
  for (std::int32_t outside : {0, count + 1}) {
    std::unique_ptr<host::Item> item;
    EXPECT_EQ(items->GetItem(outside, &item), kEInvalidArg) << outside;
    EXPECT_EQ(item, nullptr);
  }

  std::unique_ptr<host::Folder> folder;
  ASSERT_EQ(host_.FolderOfMessageFile(a, &folder), kSOk);
  EXPECT_TRUE(folder->IsSameFolder(*TopFolder("SpamFilter")));
}

TEST(CreateStoreTest, MakesTheStoreAndItsParentsPrivate) {
  TempMaildir base;
  const std::string path = base.root() + "/home/Maildir";
  ASSERT_EQ(CreateStore(path), kSOk);
  EXPECT_EQ(TempMaildir::Mode(base.root() + "/home"), 0700u);
  for (const char* sub : {"", "/cur", "/new", "/tmp"})
    EXPECT_EQ(TempMaildir::Mode(path + sub), 0700u) << sub;
  EXPECT_FALSE(std::filesystem::exists(path + "/maildirfolder"));
  MaildirHost host;
  EXPECT_EQ(host.AddStore(path), kSOk);
}

TEST(RewriteCopyTest, TheWriterIsReadBackFromTheNameOnly) {
  EXPECT_EQ(RewriteCopyWriter(RewriteCopyName(4242, 7)), 4242u);
  EXPECT_TRUE(RewriteCopyName(4242, 7).ends_with(".vnx4242_7.rewrite"));
  for (const char* other :
       {"1700000000.M1P2.host", "1.vnx12_3.rewrite.x", "1.vnx_3.rewrite", "1.vnx12x_3.rewrite",
        "x.vnx12_3.rewrite", "1.vnx12_.rewrite", "1.vnx1234567890_3.rewrite", ".vnx12_3.rewrite"})
    EXPECT_EQ(RewriteCopyWriter(other), 0u) << other;
}

// A child process that has ended, or lives until the test ends.
class Children {
 public:
  ~Children() {
    for (const pid_t child : live_) {
      ::kill(child, SIGKILL);
      ::waitpid(child, nullptr, 0);
    }
  }
  unsigned long Ended() {
    const pid_t child = ::fork();
    if (child == 0)
      ::_exit(0);
    ::waitpid(child, nullptr, 0);
    return static_cast<unsigned long>(child);
  }
  unsigned long Live() {
    const pid_t child = ::fork();
    if (child == 0) {
      ::pause();
      ::_exit(0);
    }
    live_.push_back(child);
    return static_cast<unsigned long>(child);
  }

 private:
  std::vector<pid_t> live_;
};

// A stamped copy that a killed rewrite left in tmp/ goes when the store is
// next opened, by the rule of the copies beside the user's data files.
TEST(RewriteCopyTest, AddingAStoreRemovesTheCopiesWhoseWriterIsGone) {
  TempMaildir store;
  const std::string work = store.AddFolder(".Work");
  Children children;
  const auto put = [](const std::string& folder, const std::string& name, int age_seconds) {
    const std::string path = folder + "/tmp/" + name;
    std::ofstream(path) << "Received: x\nX-VNX-RESULT:Spam\n";
    const std::filesystem::file_time_type when =
        std::filesystem::file_time_type::clock::now() - std::chrono::seconds(age_seconds);
    std::filesystem::last_write_time(path, when);
    return name;
  };
  constexpr int kHourAgo = 3600;
  const std::string gone = put(store.root(), RewriteCopyName(children.Ended(), 0), kHourAgo);
  const std::string reused = put(work, RewriteCopyName(children.Live(), 1), kHourAgo);
  const std::vector<std::string> kept = {
      put(store.root(), RewriteCopyName(children.Live(), 2), 0),  // may be at work
      put(store.root(), RewriteCopyName(static_cast<unsigned long>(::getpid()), 3), kHourAgo),
      put(store.root(), "1700000000.M1P2.host", kHourAgo),  // a delivery agent's
  };
  MaildirHost host;
  ASSERT_EQ(host.AddStore(store.root()), kSOk);
  std::vector<std::string> expected = kept;
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(TempMaildir::Names(store.root(), "tmp"), expected) << gone << " is gone";
  EXPECT_TRUE(TempMaildir::Names(work, "tmp").empty()) << reused << ": its id was reused";
}

// The Maildir host under the host seam's contract: a temporary store whose
// root is the Inbox; mail arrives as a delivery agent leaves it and is
// announced by polling until the host is quiet.
class MaildirHostUnderTest final : public testing::HostUnderTest {
 public:
  MaildirHostUnderTest() { EXPECT_EQ(host_.AddStore(store_.root()), kSOk); }
  std::unique_ptr<host::Application> Application() override { return host_.ApplicationRef(); }
  void AddFolder(std::string_view name) override { store_.AddFolder("." + std::string(name)); }
  void Deliver(std::string_view folder, const testing::ArrivingMessage& message) override {
    TempMaildir::Deliver(Dir(folder), std::to_string(++delivered_) + ".contract.host",
                         message.headers + "\r\n" + message.body);
    PumpEvents();
  }
  void PumpEvents() override {
    for (int quiet = 0; quiet < 3;) {
      const int result = host_.Poll(30);
      EXPECT_GE(result, 0);
      quiet = result == 0 ? quiet + 1 : 0;
    }
  }
  std::vector<std::string> StoredHeaders(std::string_view folder) override {
    std::vector<std::string> headers;
    for (const std::string& path : Files(folder)) {
      const std::string text = TempMaildir::Read(path);
      headers.push_back(text.substr(0, text.find("\r\n\r\n")));
    }
    return headers;
  }
  std::string ReadOnlyReason(std::uint32_t tag) const override {
    return tag == host::kPrTransportMessageHeaders
               ? ""
               : "a Maildir message's body and subject stay as delivered; only its header block "
                 "is written";
  }

 private:
  std::string Dir(std::string_view folder) const {
    return folder == "Inbox" ? store_.root() : store_.root() + "/." + std::string(folder);
  }
  // The folder's message files, new/ then cur/, as its items list them.
  std::vector<std::string> Files(std::string_view folder) const {
    std::vector<std::string> paths;
    for (const char* sub : {"new", "cur"}) {
      for (const std::string& name : TempMaildir::Names(Dir(folder), sub))
        paths.push_back(Dir(folder) + "/" + sub + "/" + name);
    }
    return paths;
  }
  TempMaildir store_;
  MaildirHost host_;
  int delivered_ = 0;
};

std::unique_ptr<testing::HostUnderTest> MakeMaildirHost() {
  return std::make_unique<MaildirHostUnderTest>();
}

INSTANTIATE_TEST_SUITE_P(Maildir, HostContract, ::testing::Values(&MakeMaildirHost),
                         testing::HostMakerName);

}  // namespace
}  // namespace varnox::maildir
