// Commands given while `varnox watch` runs, end to end: the watch holds the
// word database and performs them for the command (request_channel.h).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "linux/watch/request_channel.h"
#include "tests/linux/console_test_support.h"
#include "tests/linux/varnox_command_fixture.h"
#include "tests/watch/request_test_support.h"

namespace varnox {
namespace {

using testing::Outcome;
using testing::Slurp;
namespace fs = std::filesystem;

std::string Mail(const std::string& subject, const std::string& body) {
  return "Received: from mx.example by mail.example\nFrom: Ann <ann@example.org>\n"
         "To: me@example.org\nSubject: " +
         subject + "\n\n" + body;
}

std::size_t Count(const std::string& text, std::string_view what) {
  std::size_t count = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
    ++count;
  return count;
}

class VarnoxRequestTest : public testing::VarnoxCommandTest {
 protected:
  void SetUp() override {
    VarnoxCommandTest::SetUp();
    ASSERT_EQ(Varnox({"init"}).status, 0);
    maildir = home / "Maildir";
    for (const fs::path& folder : {maildir, maildir / ".SpamFilter", home / "other"}) {
      for (const char* sub : {"cur", "new", "tmp"})
        fs::create_directories(folder / sub);
    }
  }

  static void Deliver(const fs::path& folder, const std::string& name, const std::string& text) {
    std::ofstream(folder / "tmp" / name, std::ios::binary) << text;
    fs::rename(folder / "tmp" / name, folder / "new" / name);
  }
  // Starts watch and waits until it listens.
  void StartWatch() {
    ASSERT_GT(Start({"watch", maildir.string()}), 0);
    ASSERT_TRUE(WaitFor([&] {
      const int fd = testing::ConnectChannel(Socket());
      if (fd >= 0)
        ::close(fd);  // the watch drops a client that says nothing
      return fd >= 0;
    }));
  }
  // The socket in the runtime folder; empty when there is none.
  std::string Socket() const {
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(home / "varnox", error)) {
      if (entry.path().extension() == ".sock")
        return entry.path().string();
    }
    return {};
  }
  bool StatsSay(std::string_view text) {
    return Varnox({"stats"}).out.find(text) != std::string::npos;
  }
  fs::path Spam() const { return maildir / ".SpamFilter"; }

  fs::path maildir;
};

TEST_F(VarnoxRequestTest, MarkSpamAndNotSpamAreDoneByTheRunningWatch) {
  StartWatch();
  struct stat st;
  ASSERT_EQ(::stat((home / "varnox").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  ASSERT_EQ(::stat(Socket().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);

  Deliver(maildir, "1.host", Mail("Offer", "cheap pills\n"));
  ASSERT_TRUE(WaitFor([&] { return BackgroundOutput().find("Inbox: ") != std::string::npos; }));
  cwd = maildir;  // relative paths mean what they mean to the command
  Outcome run = Varnox({"mark-spam", "new/1.host"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.err.find("Marked 1 of 1 messages as spam"), std::string::npos) << run.err;
  EXPECT_TRUE(fs::exists(Spam() / "new/1.host"));
  EXPECT_TRUE(StatsSay("Spam messages   1\n")) << "saved at once";

  run = Varnox({"not-spam", "--to", "Inbox", ".SpamFilter/new/1.host"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.err.find("Moved 1 message out of SpamFilter."), std::string::npos) << run.err;
  EXPECT_TRUE(fs::exists(maildir / "new/1.host"));
  EXPECT_TRUE(StatsSay("Good messages   1\n"));
  EXPECT_EQ(Count(Slurp(maildir / "new/1.host"), "X-VNX-RESULT:"), 1u)
      << "the watch remembers Not Spam's move: not judged again";

  Deliver(home / "other", "2.host", Mail("Offer", "pills\n"));
  run = Varnox({"mark-spam", (home / "other/new/2.host").string()});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("is not in a Maildir store that the running varnox watch watches"),
            std::string::npos)
      << run.err;
  EXPECT_EQ(Stop().status, 0);
  EXPECT_FALSE(fs::exists(Socket())) << "removed at the stop";
}

TEST_F(VarnoxRequestTest, LearnTrainAndEmptyAreDoneByTheRunningWatch) {
  StartWatch();
  std::ofstream(home / "pills.eml") << Mail("Offer", "cheap pills\n");
  cwd = home;
  Outcome run = Varnox({"learn", "--spam", "pills.eml"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("Learned 1 message as spam."), std::string::npos) << run.out;
  input = Mail("Lunch", "at noon\n");
  run = Varnox({"learn", "--good", "-"});
  input.clear();
  EXPECT_EQ(run.status, 0) << run.err << "the standard input is the command's";
  EXPECT_TRUE(StatsSay("Spam messages   1\nGood messages   1\n"));

  Deliver(Spam(), "s.host", Mail("Offer", "pills\n"));
  run = Varnox({"train", "--spam", "SpamFilter", maildir.string()});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.err.find("1 of 1 learned"), std::string::npos) << run.err;
  EXPECT_TRUE(StatsSay("Spam messages   2\n"));

  run = Varnox({"settings", "empty"});
  EXPECT_EQ(run.status, 1) << "nobody to ask: No";
  EXPECT_NE(run.err.find("not asked: the input is not a terminal"), std::string::npos) << run.err;
  EXPECT_FALSE(StatsSay("Words           0\n"));
  EXPECT_EQ(Varnox({"--yes", "settings", "empty"}).status, 0);
  EXPECT_TRUE(StatsSay("Words           0\n"));
  EXPECT_EQ(Stop().status, 0);
}

TEST_F(VarnoxRequestTest, RequestsThatCannotBeServedSayWhatTheCommandAloneSays) {
  std::ofstream(home / "saved.eml") << Mail("Offer", "pills\n");
  const std::vector<std::vector<std::string>> commands = {
      {"learn", "--spam", (home / "missing").string()},
      {"mark-spam", (home / "saved.eml").string()},
      {"not-spam", "--to", "Inbox"},
      {"train", "--spam", "Nowhere", maildir.string()},
      {"learn"},
  };
  StartWatch();
  std::vector<Outcome> served;
  for (const auto& command : commands)
    served.push_back(Varnox(command));
  EXPECT_EQ(Stop().status, 0);
  for (std::size_t i = 0; i < commands.size(); ++i) {
    const Outcome alone = Varnox(commands[i]);
    EXPECT_EQ(served[i].status, alone.status) << commands[i][0];
    EXPECT_EQ(served[i].err, alone.err) << commands[i][0];
    EXPECT_NE(alone.status, 0) << commands[i][0];
  }
}

TEST_F(VarnoxRequestTest, ASocketLeftByAKilledWatchIsPassedOverAndReplaced) {
  StartWatch();
  const std::string left = Socket();
  Stop(SIGKILL);
  ASSERT_TRUE(fs::exists(left));
  Deliver(maildir, "1.host", Mail("Offer", "pills\n"));
  Outcome run = Varnox({"mark-spam", (maildir / "new/1.host").string()});
  EXPECT_EQ(run.status, 0) << run.err << "nobody listens: done here";
  StartWatch();
  Deliver(maildir, "2.host", Mail("Offer", "more pills\n"));
  run = Varnox({"mark-spam", (maildir / "new/2.host").string()});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(StatsSay("Spam messages   2\n"));
  EXPECT_EQ(Stop().status, 0);
}

TEST_F(VarnoxRequestTest, ClientsAtOnceAreServedInTurnAndNothingIsLost) {
  StartWatch();
  std::vector<std::vector<std::string>> runs;
  for (int i = 0; i < 4; ++i) {
    const fs::path file = home / ("m" + std::to_string(i));
    std::ofstream(file) << Mail("Offer " + std::to_string(i), "pills\n");
    runs.push_back({"learn", "--spam", file.string()});
  }
  for (const Outcome& run : VarnoxTogether(runs))
    EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(StatsSay("Spam messages   4\n"));
  EXPECT_EQ(Stop().status, 0);
  EXPECT_TRUE(StatsSay("Spam messages   4\n")) << "and the stop saved them too";
}

TEST_F(VarnoxRequestTest, HugeMalformedAndAbandonedRequestsLeaveTheWatchWhole) {
  StartWatch();
  for (const std::string& bytes :
       {std::string(watch::kMaxRequestBytes * 2, 'x'), std::string("varnox-request-1\0\0\0", 19)}) {
    const int fd = testing::ConnectChannel(Socket());
    testing::SendWithNull(fd, bytes);
    std::string message;
    EXPECT_EQ(testing::ReadReply(fd, &message), 1);
    EXPECT_NE(message.find("varnox watch refused it"), std::string::npos) << message;
    ::close(fd);
  }
  // Relative paths would mean something else without the command's folder.
  const int nowhere = testing::ConnectChannel(Socket());
  testing::SendWithNull(nowhere, watch::EncodeRequest({false, "", {"learn", "--spam", "m"}}));
  EXPECT_EQ(testing::ReadReply(nowhere), 1);
  ::close(nowhere);
  // A client killed as soon as it asked: the lesson is learned and saved.
  Deliver(maildir, "1.host", Mail("Offer", "pills\n"));
  const int fd = testing::ConnectChannel(Socket());
  const int null = ::open("/dev/null", O_RDWR), folder = ::open(home.c_str(), O_PATH);
  testing::SendPacket(fd, watch::EncodeRequest({false, "", {"mark-spam", "Maildir/new/1.host"}}),
                      {null, null, null, folder});
  for (const int opened : {fd, null, folder})
    ::close(opened);
  EXPECT_TRUE(WaitFor([&] { return fs::exists(Spam() / "new/1.host"); }));
  EXPECT_TRUE(WaitFor([&] { return StatsSay("Spam messages   1\n"); }));
  // A real client killed at any moment: all or nothing, and the watch goes on.
  std::ofstream(home / "m.eml") << Mail("Offer", "pills\n");
  ASSERT_EQ(Stop(SIGINT).status, 0);
  StartWatch();
  const pid_t client = ::fork();
  if (client == 0) {
    ::execl(VARNOX_BINARY, VARNOX_BINARY, "learn", "--spam", (home / "m.eml").c_str(), nullptr);
    ::_exit(127);
  }
  ::usleep(20000);
  ::kill(client, SIGKILL);
  ::waitpid(client, nullptr, 0);
  const Outcome run = Varnox({"learn", "--spam", (home / "m.eml").string()});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(StatsSay("Spam messages   2\n") || StatsSay("Spam messages   3\n"));
  EXPECT_EQ(Stop().status, 0);
}

TEST_F(VarnoxRequestTest, MailDeliveredDuringARequestIsJudgedOnceAfterIt) {
  StartWatch();
  // `settings empty` asks on the command's terminal and the watch waits.
  testing::Terminal terminal;
  const int output = ::open((home / "request.out").c_str(), O_WRONLY | O_CREAT, 0600);
  const int folder = ::open(home.c_str(), O_PATH | O_DIRECTORY);
  const int fd = testing::ConnectChannel(Socket());
  testing::SendPacket(fd, watch::EncodeRequest({false, "", {"settings", "empty"}}),
                      {terminal.slave, output, output, folder});
  ASSERT_TRUE(
      WaitFor([&] { return Slurp(home / "request.out").find("[y/N]") != std::string::npos; }));
  for (int i = 0; i < 5; ++i)
    Deliver(maildir, std::to_string(i) + ".host", Mail("Hello " + std::to_string(i), "words\n"));
  ::usleep(300000);
  EXPECT_EQ(Count(BackgroundOutput(), "Inbox: "), 0u) << "not while the request is served";
  terminal.Type("y\n");
  EXPECT_EQ(testing::ReadReply(fd), 0);
  EXPECT_NE(Slurp(home / "request.out").find("Database Empty"), std::string::npos);
  EXPECT_TRUE(WaitFor([&] { return Count(BackgroundOutput(), "Inbox: ") >= 5; }));
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(Count(Slurp(maildir / "new" / (std::to_string(i) + ".host")), "X-VNX-RESULT:"), 1u)
        << i;
  }
  for (const int opened : {fd, folder, output})
    ::close(opened);
  const Outcome watch = Stop();
  EXPECT_EQ(watch.status, 0);
  EXPECT_EQ(Count(watch.out, "Inbox: "), 5u) << watch.out;
}

}  // namespace
}  // namespace varnox
