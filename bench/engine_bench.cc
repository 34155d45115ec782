// Engine benchmarks: tokenizer throughput, judging a 4 KB message against a
// million-word table, loading and saving a million words (time and memory),
// and learning against large tables. Run alone on a quiet machine:
//   build/release/bench/engine_bench --benchmark_repetitions=3
#include <benchmark/benchmark.h>

#include <malloc.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <string>

#include "bench/mail_text.h"
#include "engine/bayesian_filter.h"
#include "engine/message_info.h"
#include "platform/platform.h"

namespace varnox::bench {
namespace {

constexpr std::uint32_t kMillion = 1'000'000;

// In-memory services: the benchmarks measure the engine, not the disk.
class MemoryFiles final : public FileSystem {
 public:
  bool ReadWholeFile(const std::string& path, std::string* contents) override {
    const auto it = files.find(path);
    if (it == files.end())
      return false;
    *contents = it->second;
    return true;
  }
  bool ReplaceWholeFile(const std::string& path, std::string_view contents) override {
    files[path] = std::string(contents);
    return true;
  }
  bool Exists(const std::string& path) override { return files.count(path) != 0; }
  std::map<std::string, std::string> files;
};

class NoRegistry final : public Registry {
 public:
  std::int32_t OpenCurrentUserKey(std::string_view, std::unique_ptr<RegistryKey>*) override {
    return kErrorFileNotFound;
  }
};

class SilentInterface final : public UserInterface {
 public:
  int ShowMessage(std::string_view, std::string_view, std::uint32_t) override { return kIdOk; }
  void Beep(std::uint32_t) override {}
  void OpenPage(std::string_view) override {}
};

class NoDialogs final : public DialogRunner {
 public:
  int RunModal(DialogController&) override { return kIdCancel; }
};

class NoXml final : public XmlParser {
 public:
  std::unique_ptr<XmlDocument> NewDocument() override { return nullptr; }
};

struct BenchPlatform {
  NoRegistry registry;
  ManualClock clock;
  MemoryFiles files;
  SilentInterface ui;
  NoButtonFaces faces;
  NoDialogs dialogs;
  NoXml xml;
  Platform platform{registry, clock, files, ui, faces, dialogs, xml};
};

// A learned table of `words` vocabulary words with plausible counts.
void FillTable(BayesianCore& core, std::uint32_t words) {
  WordTable& table = core.mutable_words();
  table.reserve(words);
  std::mt19937 random(5);
  for (std::uint32_t i = 0; i < words; ++i) {
    const auto spam = static_cast<std::int32_t>(random() % 40);
    const auto clean = static_cast<std::int32_t>(random() % 40);
    table.Insert(VocabularyWord(i), WordEntry{spam, clean, 0.5f, 1'690'000'000});
  }
  core.set_messageCounts(4000, 6000);
  core.RecomputeProbabilities();
}

// A figure of /proc/self/status in bytes ("VmRSS", "VmHWM"), or 0.
std::size_t StatusBytes(const char* field) {
  std::size_t kib = 0;
  if (std::FILE* status = std::fopen("/proc/self/status", "r")) {
    char line[256];
    const std::size_t length = std::strlen(field);
    while (std::fgets(line, sizeof line, status) != nullptr) {
      if (std::strncmp(line, field, length) == 0 && line[length] == ':') {
        kib = std::strtoull(line + length + 1, nullptr, 10);
        break;
      }
    }
    std::fclose(status);
  }
  return kib * 1024;
}

// Resident memory with every free page the allocator holds given back, so
// that the difference of two readings is what was kept in between.
std::size_t TrimmedResidentBytes() {
  malloc_trim(0);
  return StatusBytes("VmRSS");
}

// Makes the peak resident figure (VmHWM) start again from the present one.
void ResetPeakResident() {
  if (std::FILE* clear = std::fopen("/proc/self/clear_refs", "w")) {
    std::fputs("5", clear);
    std::fclose(clear);
  }
}

void BM_Tokenize(benchmark::State& state) {
  BenchPlatform bench;
  BayesianCore core(bench.platform);
  MailText mail(50'000, 1);
  const std::string text = mail.Body(static_cast<std::size_t>(state.range(0)));
  std::size_t words = 0;
  for (auto _ : state) {
    WordTable map;
    words = core.Tokenize(text, map);
    benchmark::DoNotOptimize(map);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
  state.counters["distinct_words"] = static_cast<double>(words);
}
BENCHMARK(BM_Tokenize)->Arg(4 << 10)->Arg(64 << 10)->Arg(1 << 20);

// The whole Classify of a 4 KB message: tokenizing, scoring against the
// table, the top-words text and the record.
void BM_Classify4K(benchmark::State& state) {
  BenchPlatform bench;
  BayesianFilter filter(bench.platform);
  FillTable(filter.core(), static_cast<std::uint32_t>(state.range(0)));
  MailText mail(static_cast<std::uint32_t>(state.range(0)), 2);
  std::vector<std::pair<std::string, std::string>> messages;
  for (int i = 0; i < 64; ++i)
    messages.emplace_back(mail.Subject(), mail.Body(4096));
  std::size_t next = 0;
  std::int64_t spam = 0;
  for (auto _ : state) {
    const auto& [subject, body] = messages[next++ % messages.size()];
    MessageInfo info;
    info.subject = subject;
    spam += filter.Classify(body, info);
    benchmark::DoNotOptimize(info);
  }
  state.counters["spam"] = static_cast<double>(spam);
  state.counters["table_words"] = static_cast<double>(filter.WordCount());
}
BENCHMARK(BM_Classify4K)->Arg(kMillion)->Arg(100'000)->Unit(benchmark::kMicrosecond);

// The two halves of that Classify, over the same rotating messages:
// counting the words (range(0) = 0) and scoring counted words against the
// table (range(0) = 1).
void BM_Classify4KPart(benchmark::State& state) {
  BenchPlatform bench;
  BayesianFilter filter(bench.platform);
  BayesianCore& core = filter.core();
  FillTable(core, kMillion);
  MailText mail(kMillion, 2);
  std::vector<std::string> texts;
  std::vector<WordCounts> counted;
  for (int i = 0; i < 64; ++i) {
    texts.push_back(mail.Subject() + "\n\n" + mail.Body(4096));
    counted.push_back(core.CountWords(texts.back()));
  }
  std::size_t next = 0;
  std::vector<SelectedWord> selected;
  for (auto _ : state) {
    const std::size_t message = next++ % texts.size();
    if (state.range(0) == 0)
      benchmark::DoNotOptimize(core.CountWords(texts[message]));
    else
      benchmark::DoNotOptimize(core.ScoreWords(counted[message], &selected));
  }
}
BENCHMARK(BM_Classify4KPart)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// Time to load a million words, and their memory: the table's own arrays
// (table_bytes_per_word), the resident memory the loaded table keeps
// (rss_bytes_per_word) and the peak while loading, the file's text included
// (peak_rss_bytes_per_word). Resident figures are taken with the
// allocator's free pages given back, so that memory left from an earlier
// load cannot hide the growth.
void BM_LoadDatabase(benchmark::State& state) {
  BenchPlatform bench;
  {
    BayesianCore writer(bench.platform);
    writer.set_databasePath("/words.db");
    FillTable(writer, static_cast<std::uint32_t>(state.range(0)));
    writer.SaveDatabase();
  }
  double rss_per_word = 0;
  double peak_per_word = 0;
  double table_bytes_per_word = 0;
  for (auto _ : state) {
    state.PauseTiming();
    auto core = std::make_unique<BayesianCore>(bench.platform);
    core->set_databasePath("/words.db");
    core->set_imageUse(WordStore::ImageUse::kNone);  // the text parsed, as without an image
    const std::size_t before = TrimmedResidentBytes();
    ResetPeakResident();
    state.ResumeTiming();
    core->LoadDatabase();
    state.PauseTiming();
    const double words = static_cast<double>(core->wordCount());
    const std::size_t peak = StatusBytes("VmHWM");
    rss_per_word =
        (static_cast<double>(TrimmedResidentBytes()) - static_cast<double>(before)) / words;
    peak_per_word = (static_cast<double>(peak) - static_cast<double>(before)) / words;
    table_bytes_per_word = static_cast<double>(core->words().MemoryBytes()) / words;
    core.reset();
    state.ResumeTiming();
  }
  state.counters["rss_bytes_per_word"] = rss_per_word;
  state.counters["peak_rss_bytes_per_word"] = peak_per_word;
  state.counters["table_bytes_per_word"] = table_bytes_per_word;
  state.counters["file_mb"] = static_cast<double>(bench.files.files["/words.db"].size()) / 1e6;
}
BENCHMARK(BM_LoadDatabase)->Arg(kMillion)->Unit(benchmark::kMillisecond);

// A save of the text (the in-memory files have no stamps, so no image is
// made; BM_SaveAndLoadOnDisk writes both). A save with nothing changed
// writes nothing, so each one follows a change.
void BM_SaveDatabase(benchmark::State& state) {
  BenchPlatform bench;
  BayesianCore core(bench.platform);
  core.set_databasePath("/words.db");
  core.set_lastAgingTime(bench.clock.Now());
  FillTable(core, static_cast<std::uint32_t>(state.range(0)));
  core.SaveDatabase();  // the first save's purge, once
  for (auto _ : state) {
    state.PauseTiming();
    core.mutable_words();
    state.ResumeTiming();
    benchmark::DoNotOptimize(core.SaveDatabase());
  }
  state.counters["file_mb"] = static_cast<double>(bench.files.files["/words.db"].size()) / 1e6;
}
BENCHMARK(BM_SaveDatabase)->Arg(kMillion)->Unit(benchmark::kMillisecond);

#if VARNOX_BENCH_REAL_FILES
// The same against the real disk: range(0) = 0 a save after a change (the
// file and its image, each written beside, flushed and renamed); 1 a load
// through the image (mapped: its header read, nothing parsed); 2 a load of
// the text, as without an image.
void BM_SaveAndLoadOnDisk(benchmark::State& state) {
  BenchPlatform bench;
  Platform disk{bench.registry, bench.clock,   RealFileSystem(), bench.ui,
                bench.faces,    bench.dialogs, bench.xml};
  const std::string path = "/tmp/varnox-bench-words.db";
  BayesianCore core(disk);
  core.set_databasePath(path);
  core.set_lastAgingTime(bench.clock.Now());
  FillTable(core, kMillion);
  core.SaveDatabase();
  for (auto _ : state) {
    if (state.range(0) == 0) {
      state.PauseTiming();
      core.mutable_words();
      state.ResumeTiming();
      core.SaveDatabase();
    } else {
      BayesianCore loaded(disk);
      loaded.set_databasePath(path);
      if (state.range(0) == 2)
        loaded.set_imageUse(WordStore::ImageUse::kNone);
      benchmark::DoNotOptimize(loaded.LoadDatabase());
    }
  }
  std::remove(path.c_str());
  std::remove((path + ".image").c_str());
}
BENCHMARK(BM_SaveAndLoadOnDisk)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);
#endif

// LearnWords of one typical message (already tokenized) against a table of
// range(0) words; range(1) = 1 recomputes every probability after each step
// as the plain algorithm would, for comparison.
void BM_LearnWords(benchmark::State& state) {
  BenchPlatform bench;
  BayesianCore core(bench.platform);
  FillTable(core, static_cast<std::uint32_t>(state.range(0)));
  core.set_eagerRecompute(state.range(1) == 1);
  MailText mail(static_cast<std::uint32_t>(state.range(0)), 3);
  std::vector<WordTable> messages(64);
  for (WordTable& message : messages)
    core.Tokenize(mail.Subject() + "\n\n" + mail.Body(3000), message);
  std::size_t next = 0;
  for (auto _ : state) {
    const std::uint32_t score = next % 2 == 0 ? 100 : 0;
    core.LearnWords(messages[next++ % messages.size()], score);
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}
BENCHMARK(BM_LearnWords)
    ->Args({100'000, 0})
    ->Args({kMillion, 0})
    ->Args({100'000, 1})
    ->Args({kMillion, 1})
    ->Unit(benchmark::kMicrosecond);

// Training as the folder training does it: Learn(body, subject) per message,
// tokenizing included, on a table of about 100k words.
void BM_TrainMessages(benchmark::State& state) {
  BenchPlatform bench;
  BayesianFilter filter(bench.platform);
  FillTable(filter.core(), 100'000);
  MailText mail(100'000, 4);
  std::vector<std::pair<std::string, std::string>> messages;
  for (int i = 0; i < 256; ++i)
    messages.emplace_back(mail.Subject(), mail.Body(3000));
  std::size_t next = 0;
  for (auto _ : state) {
    const auto& [subject, body] = messages[next % messages.size()];
    filter.Learn(body, subject, static_cast<int>(next++ % 2));
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}
BENCHMARK(BM_TrainMessages)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace varnox::bench

BENCHMARK_MAIN();
