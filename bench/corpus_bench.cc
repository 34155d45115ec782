// The public corpus (bench/corpus.sh fetches it) read and judged piece by
// piece, to see where the time of `varnox eval` goes: reading the files
// alone, reading them into the filter's texts (MIME, HTML, charsets) folder
// by folder, and the engine alone, learning the training half and judging
// the test half from texts already in memory, with either judge (argument
// 0 the classic judge, 1 the chi-square judge), and the chi-square judge's
// mail tokens alone.
//
//   bash bench/corpus.sh --fetch-only
//   build/release/bench/corpus_bench [--benchmark_repetitions=3]
//
// VARNOX_CORPUS names the corpus's data folder (the one holding easy-ham-1
// and the others); by default the one corpus.sh unpacks into build/corpus.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "addin/vnx_addin.h"
#include "bench/corpus_folders.h"
#include "engine/mail_tokens.h"
#include "engine/message_info.h"
#include "linux/eval/isolated_platform.h"
#include "linux/eval/message_source.h"
#include "linux/eval/texts_message.h"
#include "linux/maildir/message_file.h"
#include "mail/message_learning.h"

namespace varnox::eval {
namespace {

using Folder = bench::CorpusFolder;
constexpr const auto& kFolders = bench::kCorpusFolders;

std::string CorpusDir() {
  const char* dir = std::getenv("VARNOX_CORPUS");
  return dir != nullptr ? dir : VARNOX_DEFAULT_CORPUS;
}

std::vector<std::string> FilesOf(std::size_t folder) {
  std::vector<std::string> files;
  std::string error;
  ListMessageFiles(CorpusDir() + "/" + kFolders[folder].name, &files, &error);
  return files;
}

std::vector<std::string> AllFiles() {
  std::vector<std::string> all;
  for (std::size_t folder = 0; folder < std::size(kFolders); ++folder) {
    for (std::string& file : FilesOf(folder))
      all.push_back(std::move(file));
  }
  return all;
}

bool SkipWithoutCorpus(benchmark::State& state, const std::vector<std::string>& files) {
  if (!files.empty())
    return false;
  state.SkipWithError(("no corpus in " + CorpusDir() + ": run bench/corpus.sh").c_str());
  return true;
}

void BM_CorpusReadFiles(benchmark::State& state) {
  const std::vector<std::string> files = AllFiles();
  if (SkipWithoutCorpus(state, files))
    return;
  std::size_t bytes = 0, next = 0;
  std::string raw;
  for (auto _ : state) {
    maildir::ReadMessageFile(files[next++ % files.size()], maildir::kMaxMessageRead, &raw, nullptr);
    bytes += raw.size();
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
  state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
}
BENCHMARK(BM_CorpusReadFiles);

// Reading into texts, one folder (by its place in kFolders) or all (-1).
void BM_CorpusReadTexts(benchmark::State& state) {
  const std::vector<std::string> files =
      state.range(0) < 0 ? AllFiles() : FilesOf(static_cast<std::size_t>(state.range(0)));
  if (SkipWithoutCorpus(state, files))
    return;
  state.SetLabel(state.range(0) < 0 ? "all" : kFolders[state.range(0)].name);
  std::vector<std::size_t> sizes;
  for (const std::string& file : files)
    sizes.push_back(std::filesystem::file_size(file));
  std::size_t bytes = 0, next = 0;
  mime::MimeTexts texts;
  for (auto _ : state) {
    const std::size_t i = next++ % files.size();
    ReadTextsOfFile(files[i], &texts);
    bytes += sizes[i];
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
  state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
}
BENCHMARK(BM_CorpusReadTexts)->DenseRange(-1, static_cast<int>(std::size(kFolders)) - 1);

// The corpus's even-odd split read into memory: even positions of each
// folder train, odd positions are judged.
struct SplitTexts {
  std::vector<std::pair<mime::MimeTexts, int>> train;  // texts, spam flag
  std::vector<mime::MimeTexts> judge;
};

const SplitTexts& CorpusTexts() {
  static const SplitTexts split = [] {
    SplitTexts texts;
    // Good folders first, then spam: Train Filter's order.
    for (bool spam : {false, true}) {
      for (std::size_t folder = 0; folder < std::size(kFolders); ++folder) {
        if (kFolders[folder].spam != spam)
          continue;
        const std::vector<std::string> files = FilesOf(folder);
        for (std::size_t i = 0; i < files.size(); ++i) {
          mime::MimeTexts read;
          ReadTextsOfFile(files[i], &read);
          if (i % 2 == 0)
            texts.train.emplace_back(std::move(read), spam ? 1 : 0);
          else
            texts.judge.push_back(std::move(read));
        }
      }
    }
    return texts;
  }();
  return split;
}

const char* JudgeLabel(benchmark::State& state) {
  return state.range(0) != 0 ? "chi-square judge" : "classic judge";
}

void ChooseJudge(CVNXAddin& addin, benchmark::State& state) {
  addin.filter.set_judgeChoice(state.range(0) != 0 ? BayesianFilter::JudgeChoice::kChiSquare
                                                   : BayesianFilter::JudgeChoice::kClassic);
  state.SetLabel(JudgeLabel(state));
}

void TrainOn(CVNXAddin& addin, const SplitTexts& texts) {
  for (const auto& [read, spam] : texts.train) {
    TextsMessage message(read);
    LearnOrRelearn(addin, message, spam);
  }
}

// Learning the training half into a fresh filter, as varnox eval does.
void BM_CorpusLearn(benchmark::State& state) {
  const SplitTexts& texts = CorpusTexts();
  if (texts.train.empty()) {
    state.SkipWithError("no corpus: run bench/corpus.sh");
    return;
  }
  for (auto _ : state) {
    IsolatedPlatform isolated;
    CVNXAddin addin(isolated.platform());
    ChooseJudge(addin, state);
    TrainOn(addin, texts);
    benchmark::DoNotOptimize(addin.filter.WordCount());
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * texts.train.size()));
}
BENCHMARK(BM_CorpusLearn)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// Judging the test half with the filter trained on the other.
void BM_CorpusClassify(benchmark::State& state) {
  const SplitTexts& texts = CorpusTexts();
  if (texts.judge.empty()) {
    state.SkipWithError("no corpus: run bench/corpus.sh");
    return;
  }
  IsolatedPlatform isolated;
  CVNXAddin addin(isolated.platform());
  ChooseJudge(addin, state);
  TrainOn(addin, texts);
  for (auto _ : state) {
    for (const mime::MimeTexts& read : texts.judge) {
      MessageInfo info;
      info.subject = read.subject;
      info.headers = read.headers.value_or(std::string());
      benchmark::DoNotOptimize(addin.filter.Classify(read.body, info));
    }
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * texts.judge.size()));
}
BENCHMARK(BM_CorpusClassify)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The chi-square judge's mail tokens (headers, subject, links) of the test half:
// the part of its judging the classic judge does not do.
void BM_CorpusMailTokens(benchmark::State& state) {
  const SplitTexts& texts = CorpusTexts();
  if (texts.judge.empty()) {
    state.SkipWithError("no corpus: run bench/corpus.sh");
    return;
  }
  std::size_t tokens = 0;
  for (auto _ : state) {
    for (const mime::MimeTexts& read : texts.judge) {
      TokenSet mail;
      mail_tokens::AddMailTokens(
          read.headers ? std::string_view(*read.headers) : std::string_view(), read.subject,
          read.body, &mail);
      tokens += mail.size();
    }
  }
  const auto messages = static_cast<std::int64_t>(state.iterations() * texts.judge.size());
  state.SetItemsProcessed(messages);
  state.counters["tokens_per_message"] =
      static_cast<double>(tokens) / static_cast<double>(std::max<std::int64_t>(messages, 1));
}
BENCHMARK(BM_CorpusMailTokens)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace varnox::eval

BENCHMARK_MAIN();
