// The IMAP client against a real Dovecot on loopback (the test harness's):
//   build/release/bench/imap_client_bench
// BM_ImapCatchUp: finding and fetching 10,000 waiting messages of about
// 3 KB, whole with flags and internal date, as a start-up catch-up does.
// BM_ImapIdleNotice: from a message appended by another connection to the
// waiting client's IDLE hearing of it.
#include <benchmark/benchmark.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <memory>
#include <thread>

#include "linux/imap/imap_client.h"
#include "linux/imap/password_source.h"
#include "tests/imap/dovecot_server.h"

namespace varnox {
namespace {

constexpr int kWaiting = 10000;

testing::DovecotServer* Server() {
  static std::unique_ptr<testing::DovecotServer> server = [] {
    auto started = std::make_unique<testing::DovecotServer>();
    std::string why;
    if (!started->Start({}, &why))
      return std::unique_ptr<testing::DovecotServer>();
    // Delivered straight into the Maildir, as a delivery agent would.
    const std::string mail = started->folder() + "/mail/";
    for (const char* sub : {"cur", "new", "tmp"}) {
      const std::string dir = mail + sub;
      ::mkdir(dir.c_str(), 0700);
      if (::geteuid() == 0 && ::chown(dir.c_str(), 65534, 65534) != 0)
        return std::unique_ptr<testing::DovecotServer>();
    }
    const std::string cur = mail + "cur/";
    std::string body;
    while (body.size() < 3000)
      body += "Shall we meet at noon for lunch, and talk about the offer? ";
    for (int n = 0; n < kWaiting; ++n) {
      const std::string name = cur + "1700000000.M" + std::to_string(n) + "P1.bench:2,";
      std::ofstream(name) << "Received: by mx.example\nFrom: Ann <ann@example.org>\n"
                          << "Message-ID: <" << n << "@example.org>\nSubject: Message " << n
                          << "\n\n"
                          << body << "\n";
      if (::geteuid() == 0 && ::chown(name.c_str(), 65534, 65534) != 0)
        return std::unique_ptr<testing::DovecotServer>();
    }
    return started;
  }();
  return server.get();
}

bool Connect(ImapClient& client, benchmark::State& state) {
  testing::DovecotServer* server = Server();
  if (server == nullptr) {
    state.SkipWithError("Dovecot could not start");
    return false;
  }
  SecretText password;
  std::string error;
  if (!ReadAccountPassword(server->Account(), &password, &error) ||
      !client.Connect(server->Account(), password).ok()) {
    state.SkipWithError("cannot connect");
    return false;
  }
  return true;
}

void BM_ImapCatchUp(benchmark::State& state) {
  ImapClient client;
  if (!Connect(client, state))
    return;
  ImapFolderState folder;
  client.Select("INBOX", true, &folder);  // Dovecot indexes the Maildir once, here
  std::size_t bytes = 0;
  for (auto _ : state) {
    ImapFolderState selected;
    std::vector<std::uint32_t> uids;
    if (!client.Select("INBOX", true, &selected).ok() || !client.SearchUidsFrom(1, &uids).ok()) {
      state.SkipWithError("select or search failed");
      return;
    }
    std::size_t seen = 0;
    const ImapResult fetched =
        client.Fetch(uids, kFetchContent | kFetchFlags | kFetchInternalDate, [&](ImapMessage& m) {
          bytes += m.content.size();
          ++seen;
          return true;
        });
    if (!fetched.ok() || seen != kWaiting) {
      state.SkipWithError("the fetch failed");
      return;
    }
  }
  state.SetItemsProcessed(state.iterations() * kWaiting);
  state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
}
BENCHMARK(BM_ImapCatchUp)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_ImapIdleNotice(benchmark::State& state) {
  ImapClient waiting, delivering;
  if (!Connect(waiting, state) || !Connect(delivering, state))
    return;
  if (!waiting.HasCapability("IDLE")) {
    state.SkipWithError("no IDLE");
    return;
  }
  delivering.CreateFolder("Idle");
  ImapFolderState folder;
  waiting.Select("Idle", false, &folder);
  int wake[2];
  if (::pipe(wake) != 0)
    return;
  for (auto _ : state) {
    // The append happens while the other client waits: from another thread.
    std::uint32_t uid = 0;
    ImapWaitOutcome outcome = ImapWaitOutcome::kTimedOut;
    std::thread deliver([&] {
      delivering.Append("Idle", "Subject: ping\r\n\r\nping\r\n", {}, std::nullopt, &uid);
    });
    waiting.Wait(std::chrono::seconds(30), wake[0], &outcome);
    deliver.join();
    if (outcome != ImapWaitOutcome::kServerSpoke) {
      state.SkipWithError("IDLE did not tell");
      break;
    }
  }
  ::close(wake[0]);
  ::close(wake[1]);
}
BENCHMARK(BM_ImapIdleNotice)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(20);

}  // namespace
}  // namespace varnox

BENCHMARK_MAIN();
