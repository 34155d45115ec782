// The request channel's wire form and the watch's end of it, on a socket in
// a temporary folder, with a performer that only counts.
#include "linux/watch/request_channel.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "linux/watch/request_server.h"
#include "tests/watch/request_test_support.h"

namespace varnox::watch {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

TEST(RequestWireTest, ARequestComesBackAsItWasSent) {
  const Request sent{true, "/home/ann/Mail", {"not-spam", "--to", "Inbox", "new/1:2,S", ""}};
  Request got;
  ASSERT_TRUE(DecodeRequest(EncodeRequest(sent), &got));
  EXPECT_EQ(got.yes, true);
  EXPECT_EQ(got.maildir, sent.maildir);
  EXPECT_EQ(got.words, sent.words);
}

TEST(RequestWireTest, BytesThatAreNoRequestAreRefused) {
  const std::string good = EncodeRequest({false, "", {"learn"}});
  for (const std::string& bytes :
       {""s, "varnox-request-1"s, good.substr(0, good.size() - 1), "varnox-request-2\0\0\0learn\0"s,
        "varnox-request-1\0maybe\0\0learn\0"s, "varnox-request-1\0\0\0"s,
        "varnox-request-1\0\0\0\0"s}) {
    Request request;
    EXPECT_FALSE(DecodeRequest(bytes, &request)) << bytes.size();
  }
  EXPECT_EQ(EncodeRequest({false, "", {"learn", std::string(kMaxRequestBytes, 'x')}}), "")
      << "too large to send";
}

TEST(RequestWireTest, RepliesCarryAStatusFrom0To255) {
  int status = -1;
  std::string message;
  ASSERT_TRUE(DecodeReply(EncodeReply(3, "why"), &status, &message));
  EXPECT_EQ(status, 3);
  EXPECT_EQ(message, "why");
  for (const std::string& bytes : {"varnox-reply-1\0"
                                   "256\0\0"s,
                                   "varnox-reply-1\0-1\0\0"s, "varnox-reply-1\0\0\0"s,
                                   "varnox-reply-1\0"
                                   "1x\0\0"s,
                                   "varnox-reply-1\0"
                                   "1\0"s})
    EXPECT_FALSE(DecodeReply(bytes, &status, &message)) << bytes;
}

TEST(RequestWireTest, EachWordDatabaseHasItsOwnSocket) {
  EXPECT_NE(ChannelPath("/a/words.db"), ChannelPath("/b/words.db"));
  EXPECT_EQ(ChannelPath("/a/words.db"), ChannelPath("/a/../a/words.db"));
  EXPECT_EQ(fs::path(ChannelPath("/a/words.db")).parent_path(), ChannelFolder());
}

class RequestServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "varnox-channel-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    folder = pattern;
    path = (folder / "words.sock").string();
  }
  void TearDown() override { fs::remove_all(folder); }

  std::unique_ptr<RequestServer> Listen(uid_t user = ::geteuid()) {
    std::string error;
    auto server = RequestServer::Listen(path, user, &error, /*request_wait_ms=*/300);
    EXPECT_NE(server, nullptr) << error;
    return server;
  }
  int Connect() const {
    const int fd = testing::ConnectChannel(path);
    EXPECT_GE(fd, 0);
    return fd;
  }
  static void Send(int fd, const std::string& bytes, int fd_count = kRequestDescriptors) {
    testing::SendWithNull(fd, bytes, fd_count);
  }
  static int Answer(int fd, std::string* message = nullptr) {
    return testing::ReadReply(fd, message);
  }
  // Serves what waits; the number of requests performed.
  int Serve(RequestServer& server) {
    return server.ServeWaiting([this](const Request& request, std::span<const int> fds) {
      performed.push_back(request.words);
      EXPECT_EQ(fds.size(), static_cast<std::size_t>(kRequestDescriptors));
      return 7;
    });
  }

  fs::path folder;
  std::string path;
  std::vector<std::vector<std::string>> performed;
};

TEST_F(RequestServerTest, ClientsWaitingAtOnceAreServedInTurn) {
  auto server = Listen();
  struct stat st;
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  const int first = Connect(), second = Connect();
  Send(first, EncodeRequest({false, "", {"learn", "a"}}));
  Send(second, EncodeRequest({false, "", {"learn", "b"}}));
  EXPECT_TRUE(server->Wait(-1, 1000));
  EXPECT_EQ(Serve(*server), 2);
  EXPECT_EQ(Answer(first), 7);
  EXPECT_EQ(Answer(second), 7);
  EXPECT_EQ(performed, (std::vector<std::vector<std::string>>{{"learn", "a"}, {"learn", "b"}}));
  ::close(first);
  ::close(second);
}

TEST_F(RequestServerTest, BadRequestsGetAnErrorAndAreNotPerformed) {
  auto server = Listen();
  const std::string good = EncodeRequest({false, "", {"learn"}});
  struct Case {
    std::string bytes;
    int fds;
    std::string_view says;
  } cases[] = {
      {std::string(kMaxRequestBytes + 100, 'x'), kRequestDescriptors, "larger than 64 KiB"},
      {"varnox-request-1\0\0"s, kRequestDescriptors, "not in the form"},
      {good, 2, "not in the form"},
      {good, 0, "not in the form"},
      {good, kRequestDescriptors + 3, "not in the form"},
  };
  for (const Case& c : cases) {
    const int fd = Connect();
    Send(fd, c.bytes, c.fds);
    Serve(*server);
    std::string message;
    EXPECT_EQ(Answer(fd, &message), 1) << c.says;
    EXPECT_NE(message.find(c.says), std::string::npos) << message;
    ::close(fd);
  }
  EXPECT_TRUE(performed.empty());
  // A client that says nothing is dropped after the wait; one that leaves
  // after sending has its request performed all the same.
  const int silent = Connect();
  Serve(*server);
  EXPECT_EQ(Answer(silent), -1);
  ::close(silent);
  const int gone = Connect();
  Send(gone, good);
  ::close(gone);
  EXPECT_EQ(Serve(*server), 1);
}

TEST_F(RequestServerTest, APeerOfAnotherUserIsRefused) {
  {  // The check, as a server for another user sees this process.
    auto server = Listen(::geteuid() + 1);
    const int fd = Connect();
    Send(fd, EncodeRequest({false, "", {"learn"}}));
    Serve(*server);
    std::string message;
    EXPECT_EQ(Answer(fd, &message), 1);
    EXPECT_NE(message.find("its own user only"), std::string::npos) << message;
    ::close(fd);
  }
  if (::geteuid() != 0)
    GTEST_SKIP() << "a real peer of another user needs root to become one";
  // A real one: a child that becomes nobody, with the folder and socket
  // opened to it (a watch keeps them closed).
  auto server = Listen();
  ASSERT_EQ(::chmod(folder.c_str(), 0755), 0);
  ASSERT_EQ(::chmod(path.c_str(), 0666), 0);
  const pid_t child = ::fork();
  if (child == 0) {
    if (::setgid(65534) != 0 || ::setuid(65534) != 0)
      ::_exit(10);
    const int fd = Connect();
    Send(fd, EncodeRequest({false, "", {"learn"}}));
    ::_exit(Answer(fd));
  }
  ASSERT_TRUE(server->Wait(-1, 5000));
  Serve(*server);
  int status = 0;
  ::waitpid(child, &status, 0);
  EXPECT_EQ(WEXITSTATUS(status), 1);
  EXPECT_TRUE(performed.empty());
}

TEST_F(RequestServerTest, ASocketLeftBehindIsReplacedButNothingElse) {
  // A killed watch leaves its socket file: bind it by hand and drop it.
  const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET, 0);
  sockaddr_un address = {};
  address.sun_family = AF_UNIX;
  std::strcpy(address.sun_path, path.c_str());
  ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ::close(fd);
  ASSERT_TRUE(fs::exists(path));
  auto server = Listen();
  const int client = Connect();
  Send(client, EncodeRequest({false, "", {"learn"}}));
  EXPECT_EQ(Serve(*server), 1);
  ::close(client);
  server.reset();
  EXPECT_FALSE(fs::exists(path)) << "removed at the stop";

  std::ofstream(path) << "a file of the user's";
  std::string error;
  EXPECT_EQ(RequestServer::Listen(path, ::geteuid(), &error), nullptr);
  EXPECT_NE(error.find("in the way"), std::string::npos) << error;
}

TEST_F(RequestServerTest, TheFolderIsClosedToOthersOrRefused) {
  const std::string runtime = (folder / "varnox").string();
  std::string error;
  ASSERT_TRUE(PrepareChannelFolder(runtime, &error)) << error;
  ASSERT_EQ(::chmod(runtime.c_str(), 0777), 0);
  ASSERT_TRUE(PrepareChannelFolder(runtime, &error)) << error;
  struct stat st;
  ASSERT_EQ(::stat(runtime.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  fs::create_directory_symlink(runtime, folder / "link");
  EXPECT_FALSE(PrepareChannelFolder((folder / "link").string(), &error));
  if (::geteuid() == 0) {
    ASSERT_EQ(::chown(runtime.c_str(), 65534, 65534), 0);
    EXPECT_FALSE(PrepareChannelFolder(runtime, &error)) << "another user's folder";
  }
}

}  // namespace
}  // namespace varnox::watch
