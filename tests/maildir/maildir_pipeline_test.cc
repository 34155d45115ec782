// The add-in's new-mail pipeline on real Maildirs: a delivery is judged once,
// stamped in its file and, when spam, moved to .SpamFilter under its name.
#include <gtest/gtest.h>

#include <cstdio>

#include "addin/vnx_addin.h"
#include "linux/maildir/maildir_host.h"
#include "mail/mark_commands.h"
#include "settings/settings_store.h"
#include "tests/fakes/fake_platform.h"
#include "tests/maildir/temp_maildir.h"

namespace varnox {
namespace {

using testing::TempMaildir;

std::size_t Count(const std::string& text, std::string_view what) {
  std::size_t count = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
    ++count;
  return count;
}

class MaildirPipelineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fakes_.registry.CreateKey();
    fakes_.registry.SetDword(setting::kMarkReadBeforeMoving, 1);
    spam_dir_ = store_.AddFolder(".SpamFilter");
    ASSERT_EQ(host_.AddStore(store_.root()), kSOk);
    addin_ = std::make_unique<CVNXAddin>(platform_);
    addin_->spamFolder = testing::TopFolder(host_, "SpamFilter");
    ASSERT_NE(addin_->spamFolder, nullptr);
    // Watch the Inbox as the add-in does: its own sink runs the pipeline.
    auto sink = std::make_unique<FolderItemsSink>();
    sink->addin = addin_.get();
    sink->folder = testing::TopFolder(host_, "Inbox");
    ASSERT_EQ(sink->folder->GetItems(&sink->items), kSOk);
    ASSERT_EQ(sink->items->Advise(sink.get(), &sink->cookie), kSOk);
    addin_->folderSinks.push_back(std::move(sink));
  }
  void TearDown() override {
    for (auto& sink : addin_->folderSinks)
      EXPECT_EQ(sink->items->Unadvise(sink->cookie), kSOk);
  }

  void Drain() {
    for (int quiet = 0; quiet < 3;)
      quiet = host_.Poll(30) == 0 ? quiet + 1 : 0;
  }

  testing::FakePlatform fakes_;
  Platform platform_ = fakes_.platform();
  TempMaildir store_;
  std::string spam_dir_;
  maildir::MaildirHost host_;
  std::unique_ptr<CVNXAddin> addin_;
};

TEST_F(MaildirPipelineTest, DeliveryIsJudgedStampedAndSpamMovedOnce) {
  TempMaildir::Deliver(store_.root(), "1.a.host",
                       testing::TransportMessage("Ann <ann@example.org>", "Lunch tomorrow",
                                                 "Shall we meet at noon?\n"));
  TempMaildir::Deliver(store_.root(), "2.a.host",
                       testing::TransportMessage("Ivan <ivan@example.ru>",
                                                 "=?utf-8?B?0L/RgNC40LLQtdGC?=", "plain words\n"));
  Drain();
  Drain();  // our own rewrites and moves bring nothing new

  const std::string clean = TempMaildir::Read(store_.root() + "/new/1.a.host");
  EXPECT_EQ(Count(clean, "X-VNX-RESULT:NotSpam\nX-VNX-SCORE:"), 1u) << clean;
  EXPECT_NE(clean.find("\nX-VNX-TOP-WORDS:"), std::string::npos);
  EXPECT_NE(clean.find("\n\nShall we meet at noon?\n"), std::string::npos);

  // Non-English subject: spam, marked read first, moved under its name.
  EXPECT_EQ(TempMaildir::Names(spam_dir_, "cur"), std::vector<std::string>{"2.a.host:2,S"});
  const std::string spam = TempMaildir::Read(spam_dir_ + "/cur/2.a.host:2,S");
  EXPECT_EQ(Count(spam, "X-VNX-RESULT:Non English Spam\n"), 1u) << spam;
  EXPECT_EQ(TempMaildir::Names(store_.root(), "new"), std::vector<std::string>{"1.a.host"});
  EXPECT_TRUE(TempMaildir::Names(store_.root(), "cur").empty());
}

// What Python's standard mail parser reads in a message file: its defects
// (none for a well-formed header block), then each field asked for.
std::string AsAMailParserReadsIt(const std::string& path, const std::string& fields) {
  const std::string command =
      "python3 -c 'import email, email.policy, sys\n"
      "m = email.message_from_binary_file(open(sys.argv[1], \"rb\"), "
      "policy=email.policy.compat32)\n"
      "print(m.defects)\n"
      "for name in sys.argv[2:]: print(name, m.get_all(name))\n"
      "print(repr(m.get_payload()))' " +
      path + " " + fields;
  std::string out;
  if (FILE* pipe = ::popen(command.c_str(), "r")) {
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
      out.append(buffer, n);
    ::pclose(pipe);
  }
  return out;
}

TEST_F(MaildirPipelineTest, BlackListedSenderGetsTheNoteAsAFieldAndGoesToSpam) {
  addin_->blackList.AddAddress("bad@example.org");
  TempMaildir::Deliver(store_.root(), "3.b.host",
                       testing::TransportMessage("Bad <bad@example.org>", "hello", "hi\n"));
  Drain();
  const std::string moved = spam_dir_ + "/cur/3.b.host:2,S";
  EXPECT_NE(
      TempMaildir::Read(moved).find("\nX-VNX-BLACKLIST:bad@example.org is in BlackList\n\nhi\n"),
      std::string::npos)
      << TempMaildir::Read(moved);
  // A line without a field name would end the header block for a reader.
  EXPECT_EQ(AsAMailParserReadsIt(moved, "X-VNX-BLACKLIST Subject"),
            "[]\nX-VNX-BLACKLIST ['bad@example.org is in BlackList']\nSubject ['hello']\n"
            "'hi\\n'\n");
}

// A sender may write our fields himself; a reader that takes the first
// X-VNX-RESULT must find ours, so his are gone from the file we write.
TEST_F(MaildirPipelineTest, VerdictFieldsTheSenderWroteAreGoneFromTheStampedFile) {
  addin_->blackList.AddDomain("@spam.example");
  TempMaildir::Deliver(store_.root(), "5.d.host",
                       "Received: by mx\nX-VNX-RESULT: NotSpam\nFrom: ann@example.org\n"
                       "x-vnx-top-words: lunch 0\n meeting 0\nSubject: Lunch\n\nat noon\n");
  TempMaildir::Deliver(store_.root(), "6.d.host",
                       "Received: by mx\nX-VNX-BLACKLIST: none\nX-VNX-RESULT:NotSpam\n"
                       "From: joe@spam.example\nSubject: Deal\n\nbuy\n");
  Drain();
  const std::string judged = store_.root() + "/new/5.d.host";
  const std::string noted = spam_dir_ + "/cur/6.d.host:2,S";
  const std::string parsed = AsAMailParserReadsIt(judged, "X-VNX-RESULT X-VNX-TOP-WORDS");
  EXPECT_EQ(parsed.find("[]\nX-VNX-RESULT ['NotSpam']\nX-VNX-TOP-WORDS ["), 0u) << parsed;
  EXPECT_EQ(TempMaildir::Read(judged).find("lunch 0"), std::string::npos)
      << "the folded line went with its field";
  EXPECT_EQ(AsAMailParserReadsIt(noted, "X-VNX-RESULT X-VNX-BLACKLIST"),
            "[]\nX-VNX-RESULT None\n"
            "X-VNX-BLACKLIST ['joe@spam.example Domain is in BlackList']\n'buy\\n'\n");
}

TEST_F(MaildirPipelineTest, MessageMovedBackToTheInboxIsJudgedAgain) {
  TempMaildir::Deliver(
      store_.root(), "4.c.host",
      testing::TransportMessage("Ivan <ivan@example.ru>", "=?utf-8?B?0L/RgNC40LLQtdGC?=", "x\n"));
  Drain();
  ASSERT_EQ(TempMaildir::Names(spam_dir_, "cur"), std::vector<std::string>{"4.c.host:2,S"});
  // Not Spam's move: back into the watched Inbox.
  ASSERT_EQ(rename((spam_dir_ + "/cur/4.c.host:2,S").c_str(),
                   (store_.root() + "/cur/4.c.host:2,S").c_str()),
            0);
  Drain();
  // Back in SpamFilter: judged again, the new stamp in place of the old.
  const std::string again = TempMaildir::Read(spam_dir_ + "/cur/4.c.host:2,S");
  EXPECT_EQ(Count(again, "X-VNX-RESULT:Non English Spam\n"), 1u) << again;
  EXPECT_TRUE(TempMaildir::Names(store_.root(), "cur").empty());
}

}  // namespace
}  // namespace varnox

namespace varnox {
namespace {

// The add-in started on the Maildir host as `varnox watch` starts it.
TEST(MaildirAddinTest, ConnectedAddinJudgesNewMailInWatchedFoldersOnly) {
  testing::FakePlatform fakes;
  fakes.registry.CreateKey();
  fakes.registry.SetString(setting::kWordFilePath, "words.txt");
  fakes.registry.SetString(setting::kIgnoreFilePath, "ignore.txt");
  const Platform platform = fakes.platform();
  TempMaildir store;
  const std::string drafts = store.AddFolder(".Drafts");
  const std::string trash = store.AddFolder(".Trash");
  // Arrived while nothing watched.
  TempMaildir::Deliver(store.root(), "0.old.host",
                       testing::TransportMessage("Ann <ann@example.org>", "earlier", "hello\n"));
  maildir::MaildirHost host;
  ASSERT_EQ(host.AddStore(store.root()), kSOk);
  const auto drain = [&] {
    for (int quiet = 0; quiet < 3;)
      quiet = host.Poll(30) == 0 ? quiet + 1 : 0;
  };

  CVNXAddin addin(platform);
  ASSERT_EQ(addin.OnConnection(host.ApplicationRef()), kSOk);
  const std::string spam_dir = store.root() + "/.SpamFilter";
  EXPECT_EQ(TempMaildir::Mode(spam_dir + "/new"), 0700u);  // made by the add-in
  EXPECT_EQ(addin.buttons[0], nullptr) << "a store without windows has no toolbar";
  EXPECT_EQ(host.CatchUp(), 1);

  TempMaildir::Deliver(store.root(), "1.a.host",
                       testing::TransportMessage("Ann <ann@example.org>", "lunch", "noon?\n"));
  TempMaildir::Deliver(
      store.root(), "2.a.host",
      testing::TransportMessage("Ivan <ivan@example.ru>", "=?utf-8?B?0L/RgNC40LLQtdGC?=", "x\n"));
  TempMaildir::Deliver(drafts, "3.a.host", testing::TransportMessage("me", "draft", "d\n"));
  TempMaildir::Deliver(trash, "4.a.host", testing::TransportMessage("me", "gone", "d\n"));
  drain();
  // A folder made at the top level later is watched at once.
  const std::string lists = store.AddFolder(".Lists");
  drain();
  TempMaildir::Deliver(lists, "5.a.host",
                       testing::TransportMessage("List <l@example.org>", "digest", "news\n"));
  drain();

  for (const std::string& path :
       {store.root() + "/new/0.old.host", store.root() + "/new/1.a.host", lists + "/new/5.a.host"})
    EXPECT_EQ(Count(TempMaildir::Read(path), "X-VNX-RESULT:NotSpam\n"), 1u) << path;
  EXPECT_EQ(Count(TempMaildir::Read(spam_dir + "/new/2.a.host"), "X-VNX-RESULT:Non English Spam\n"),
            1u);
  EXPECT_EQ(Count(TempMaildir::Read(drafts + "/new/3.a.host"), "X-VNX-RESULT"), 0u);
  EXPECT_EQ(Count(TempMaildir::Read(trash + "/new/4.a.host"), "X-VNX-RESULT"), 0u);

  ASSERT_EQ(addin.OnDisconnection(), kSOk);
  TempMaildir::Deliver(store.root(), "6.a.host", testing::TransportMessage("Ann", "late", "l\n"));
  drain();
  EXPECT_EQ(Count(TempMaildir::Read(store.root() + "/new/6.a.host"), "X-VNX-RESULT"), 0u);
}

// Not Spam from the toolbar while the add-in watches: the message goes back
// to the Inbox and stays there with the one stamp it had.
TEST(MaildirAddinTest, NotSpamCorrectionIsNotUndoneByTheWatcher) {
  testing::FakePlatform fakes;
  fakes.registry.CreateKey();
  fakes.registry.SetString(setting::kWordFilePath, "words.txt");
  fakes.registry.SetString(setting::kIgnoreFilePath, "ignore.txt");
  fakes.registry.SetString(setting::kNotSpamFolderName, "Inbox");
  const Platform platform = fakes.platform();
  TempMaildir store;
  maildir::MaildirHost host;
  ASSERT_EQ(host.AddStore(store.root()), kSOk);
  const auto drain = [&] {
    for (int quiet = 0; quiet < 3;)
      quiet = host.Poll(30) == 0 ? quiet + 1 : 0;
  };
  CVNXAddin addin(platform);
  ASSERT_EQ(addin.OnConnection(host.ApplicationRef()), kSOk);
  const std::string spam_dir = store.root() + "/.SpamFilter";
  TempMaildir::Deliver(
      store.root(), "1.n.host",
      testing::TransportMessage("Ivan <ivan@example.ru>", "=?utf-8?B?0L/RgNC40LLQtdGC?=", "x\n"));
  drain();
  ASSERT_EQ(TempMaildir::Names(spam_dir, "new"), std::vector<std::string>{"1.n.host"});

  std::unique_ptr<host::ItemList> files;
  ASSERT_EQ(host.MessageFiles({spam_dir + "/new/1.n.host"}, &files), kSOk);
  EXPECT_EQ(NotSpam(addin, *files, /*fromSpamFolder=*/true, nullptr).moved, 1);
  drain();

  EXPECT_TRUE(TempMaildir::Names(spam_dir, "new").empty());
  ASSERT_EQ(TempMaildir::Names(store.root(), "new"), std::vector<std::string>{"1.n.host"});
  EXPECT_EQ(Count(TempMaildir::Read(store.root() + "/new/1.n.host"), "X-VNX-RESULT:"), 1u);
  EXPECT_TRUE(addin.notSpamMoves.empty());
  EXPECT_EQ(addin.filter.CleanMessages(), 1);
  ASSERT_EQ(addin.OnDisconnection(), kSOk);
}

}  // namespace
}  // namespace varnox
