// The new-mail pipeline on one message of growing size (body and headers),
// through the fake host and the real filter: the time must grow in
// proportion to the size (reported as the fitted complexity).
//
//   build/release/bench/process_new_item_bench --benchmark_repetitions=3
#include <benchmark/benchmark.h>

#include <string>

#include "addin/vnx_addin.h"
#include "mail/process_new_item.h"
#include "tests/fakes/fake_host.h"
#include "tests/fakes/fake_platform.h"

namespace varnox {
namespace {

// About `bytes` of ordinary text with a vocabulary of a few thousand words.
std::string Text(std::size_t bytes) {
  std::string text;
  text.reserve(bytes + 64);
  for (unsigned i = 0; text.size() < bytes; ++i)
    text.append("word").append(std::to_string(i % 4096)).append(" and some filler text\r\n");
  return text;
}

void BM_ProcessNewItem(benchmark::State& state) {
  const std::size_t bytes = static_cast<std::size_t>(state.range(0)) << 20;
  testing::FakePlatform fakes;
  testing::FakeHost host;
  testing::FakeFolder& inbox = host.AddStore("Store").AddFolder("Inbox");
  testing::FakeFolder& spam = host.AddStore("Other").AddFolder("SpamFilter");
  CVNXAddin addin(fakes.platform());
  addin.spamFolder = host.FolderRef(spam);
  const std::string headers = "From: Sender <sender@example.com>\r\n" + Text(bytes / 8);
  const std::string body = Text(bytes);
  for (auto _ : state) {
    state.PauseTiming();
    testing::FakeItem& mail = inbox.AddMail(headers, body, "subject line");
    state.ResumeTiming();
    ProcessNewItem(addin, *host.ItemRef(mail));
    state.PauseTiming();
    mail.set_body("");
    mail.set_headers("");
    state.ResumeTiming();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(bytes + headers.size()));
  state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_ProcessNewItem)
    ->Arg(1)
    ->Arg(5)
    ->Arg(10)
    ->Arg(25)
    ->Arg(50)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

}  // namespace
}  // namespace varnox

BENCHMARK_MAIN();
