// A burst of deliveries into a Maildir while `varnox watch` runs, with the
// kernel's event queue made to overflow on the way: the watcher is stopped
// (SIGSTOP), more events than the queue holds are raised in its folder, the
// rest of the burst is delivered while it cannot read (those events are
// dropped), and it is let go (SIGCONT). The rescan after the overflow must
// find what the events missed: every message judged exactly once, none lost.
//
// VARNOX_BURST_MESSAGES sets the burst (default 1000; the long run uses
// 10000, see docs/proof.md). Prints messages per second.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "tests/linux/varnox_command_fixture.h"

namespace varnox {
namespace {

namespace fs = std::filesystem;

std::size_t Count(const std::string& text, std::string_view what) {
  std::size_t count = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
    ++count;
  return count;
}

int QueueLimit() {
  std::ifstream in("/proc/sys/fs/inotify/max_queued_events");
  int limit = 16384;
  in >> limit;
  return limit;
}

// Bytes waiting in the watcher's inotify queue, read through a copy of its
// descriptor (pidfd_getfd); -1 when that cannot be had here.
long QueuedBytes(pid_t pid) {
#if defined(SYS_pidfd_open) && defined(SYS_pidfd_getfd)
  const fs::path fds = "/proc/" + std::to_string(pid) + "/fd";
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(fds, error)) {
    if (fs::read_symlink(entry.path(), error).string() != "anon_inode:inotify")
      continue;
    const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    if (pidfd < 0)
      return -1;
    const int fd = static_cast<int>(
        ::syscall(SYS_pidfd_getfd, pidfd, std::stoi(entry.path().filename().string()), 0));
    ::close(pidfd);
    if (fd < 0)
      return -1;
    int bytes = -1;
    const int status = ::ioctl(fd, FIONREAD, &bytes);
    ::close(fd);
    return status == 0 ? bytes : -1;
  }
#else
  (void)pid;
#endif
  return -1;
}

class BurstTest : public testing::VarnoxCommandTest {
 protected:
  void SetUp() override {
    VarnoxCommandTest::SetUp();
    ASSERT_EQ(Varnox({"init"}).status, 0);
    maildir = home / "Maildir";
    for (const char* sub : {"cur", "new", "tmp"})
      fs::create_directories(maildir / sub);
  }

  void Deliver(int i) {
    const std::string name = std::to_string(1700000000 + i) + ".M" + std::to_string(i) + ".burst";
    std::ofstream(maildir / "tmp" / name, std::ios::binary)
        << "Received: from mx.example by mail.example\nFrom: Ann <ann" << i % 97
        << "@example.org>\nSubject: Note " << i << "\n\nWords for message " << i
        << ", the budget meeting and the offer " << i % 13 << ".\n";
    fs::rename(maildir / "tmp" / name, maildir / "new" / name);
  }

  fs::path maildir;
};

TEST_F(BurstTest, EveryMessageIsJudgedOnceThroughAQueueOverflow) {
  const char* wanted = std::getenv("VARNOX_BURST_MESSAGES");
  const int messages = wanted != nullptr && std::atoi(wanted) > 0 ? std::atoi(wanted) : 1000;
  const pid_t watcher = Start({"watch", "--quiet", maildir.string()});
  ASSERT_GT(watcher, 0);
  ASSERT_TRUE(WaitFor([&] { return fs::exists(maildir / ".SpamFilter/new"); }));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));  // its watches are set

  const auto start = std::chrono::steady_clock::now();
  // The first half arrives while it reads.
  for (int i = 0; i < messages / 2; ++i)
    Deliver(i);

  // Stopped, it reads nothing: opening two files of its folder in turn (names
  // with a dot are not mail) raises an event each time, past the queue's
  // limit; the kernel then drops every event after and notes the overflow.
  ASSERT_EQ(::kill(watcher, SIGSTOP), 0);
  for (const char* noise : {".noise-a", ".noise-b"})
    std::ofstream(maildir / "new" / noise) << "x";
  const int limit = QueueLimit();
  for (int i = 0; i <= limit; ++i) {
    const int fd = ::open((maildir / "new" / (i % 2 == 0 ? ".noise-a" : ".noise-b")).c_str(),
                          O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ::close(fd);
  }
  for (int i = messages / 2; i < messages; ++i)
    Deliver(i);  // their events are dropped: only a rescan finds them
  const long queued = QueuedBytes(watcher);
  ASSERT_EQ(::kill(watcher, SIGCONT), 0);

  const fs::path judged_folder = maildir / "new";
  auto stamped = [&] {
    int count = 0;
    for (const auto& entry : fs::directory_iterator(judged_folder))
      if (entry.path().filename().string()[0] != '.')
        count += Count(testing::Slurp(entry.path()), "X-VNX-RESULT:") > 0 ? 1 : 0;
    return count;
  };
  ASSERT_TRUE(WaitFor(
      [&] {
        return stamped() + static_cast<int>(
                               std::distance(fs::directory_iterator(maildir / ".SpamFilter/new"),
                                             fs::directory_iterator())) >=
               messages;
      },
      600))
      << stamped() << " of " << messages << " judged";
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::this_thread::sleep_for(std::chrono::milliseconds(500));  // nothing more comes
  const testing::Outcome run = Stop();
  ASSERT_EQ(run.status, 0) << run.err;

  // Every message once, in new/ or moved to SpamFilter, stamped once.
  std::vector<std::string> names;
  int stamped_once = 0;
  for (const fs::path& dir : {maildir / "new", maildir / ".SpamFilter/new"}) {
    for (const auto& entry : fs::directory_iterator(dir)) {
      const std::string name = entry.path().filename().string();
      if (name[0] == '.')
        continue;
      names.push_back(name);
      const std::size_t stamps = Count(testing::Slurp(entry.path()), "X-VNX-RESULT:");
      stamped_once += stamps == 1 ? 1 : 0;
      EXPECT_EQ(stamps, 1u) << dir << "/" << name;
    }
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(std::adjacent_find(names.begin(), names.end()), names.end()) << "a message twice";
  EXPECT_EQ(names.size(), static_cast<std::size_t>(messages)) << "messages lost or added";
  EXPECT_EQ(stamped_once, messages);
  EXPECT_TRUE(fs::is_empty(maildir / "tmp")) << "no rewrite left behind";
  EXPECT_NE(run.err.find("Judged " + std::to_string(messages) + " messages"), std::string::npos)
      << run.err;

  std::cout << "[ burst    ] " << messages << " messages judged once in " << seconds << " s ("
            << messages / seconds << " messages/s); queue at SIGCONT: "
            << (queued < 0 ? std::string("not measurable here") : std::to_string(queued) + " bytes")
            << " (limit " << limit << " events)\n";
  RecordProperty("messages_per_second", static_cast<int>(messages / seconds));
}

}  // namespace
}  // namespace varnox
