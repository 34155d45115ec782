// How the chi-square judge's parameters were chosen: cross-validation inside a
// training set only. The messages of the training set (by default the even
// positions of each folder, the half that `varnox eval --split even-odd`
// trains on) are dealt into inner folds; each inner fold is judged by counts
// learned from the others, for every combination of the parameters below,
// and for each combination the best cutoff is found. False positives first:
// among the cutoffs with at most 0.05 % of the good messages judged spam
// (1 of the about 2,000 of the even half), the one with the lowest cost
// (10 x false positives + false negatives) wins, then the combination with
// the lowest cost.
// The messages the evaluation judges are never read.
//
//   build/release/bench/judge_tune [--outer-folds K --outer-fold F]
//                                  [--inner-folds 5] DATA_DIR
//   build/release/bench/judge_tune --tokens MESSAGE_FILE   (what it sees)
//   build/release/bench/judge_tune --explain MESSAGE_FILE DATA_DIR
//                                  (its clues, learned from the rest of the
//                                   training set)
// --max-fp N allows N false positives instead; --fp-cost C weighs each C.
//
// DATA_DIR holds easy-ham-1, easy-ham-2, hard-ham-1, spam-1 and spam-2
// (bench/corpus.sh unpacks them into build/corpus/package/data). With
// --outer-folds K --outer-fold F the training set is every message whose
// position i in its folder has i mod K != F (the training set of round F of
// `varnox eval --folds K`), to see whether each round would choose the same.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unordered_map>
#include <vector>

#include "bench/corpus_folders.h"
#include "engine/bayesian_core.h"
#include "engine/chi_square_judge.h"
#include "engine/mail_tokens.h"
#include "linux/eval/isolated_platform.h"
#include "linux/eval/message_source.h"

namespace varnox::eval {
namespace {

using Folder = bench::CorpusFolder;
constexpr const auto& kFolders = bench::kCorpusFolders;

struct Message {
  std::string path;
  std::vector<std::uint32_t> tokens;
  std::vector<std::string> names;  // only for --explain
  bool spam;
  int innerFold;
};

struct Options {
  std::string data;
  int outerFolds = 2;
  int outerFold = 1;  // judged by the evaluation; never read here
  int innerFolds = 5;
};

// Tokens of every training message, as ids.
std::vector<Message> ReadTrainingSet(const Options& options, std::size_t* token_count,
                                     bool keep_names = false) {
  IsolatedPlatform isolated;
  BayesianCore core(isolated.platform());
  std::unordered_map<std::string, std::uint32_t> ids;
  std::vector<Message> messages;
  for (const Folder& folder : kFolders) {
    std::vector<std::string> files;
    std::string error;
    if (!ListMessageFiles(options.data + "/" + folder.name, &files, &error)) {
      std::fprintf(stderr, "judge_tune: %s\n", error.c_str());
      std::exit(1);
    }
    int taken = 0;
    for (std::size_t i = 0; i < files.size(); ++i) {
      if (static_cast<int>(i % static_cast<std::size_t>(options.outerFolds)) == options.outerFold)
        continue;
      mime::MimeTexts texts;
      // As training does: a message without transport headers teaches nothing.
      if (!ReadTextsOfFile(files[i], &texts) || !texts.headers)
        continue;
      WordTable words;
      TokenSet mail;
      core.Tokenize(texts.subject + "\n\n" + texts.body, words);
      mail_tokens::AddMailTokens(*texts.headers, texts.subject, texts.body, &mail);
      Message message{files[i], {}, {}, folder.spam, taken++ % options.innerFolds};
      const auto add = [&](std::string_view token) {
        auto [at, inserted] =
            ids.emplace(std::string(token), static_cast<std::uint32_t>(ids.size()));
        message.tokens.push_back(at->second);
        if (keep_names)
          message.names.emplace_back(token);
      };
      words.ForEachUnordered([&](std::string_view token, const WordEntry&) { add(token); });
      for (const WordKey& key : mail.keys())
        add(key.word());
      messages.push_back(std::move(message));
    }
  }
  *token_count = ids.size();
  return messages;
}

// For each message judged in its inner fold: the counts of its tokens
// learned from the other inner folds, and the message counts.
struct Judged {
  const std::string* path;
  std::vector<std::pair<std::int32_t, std::int32_t>> counts;
  std::int32_t ns, nc;
  bool spam;
};

std::vector<Judged> InnerCounts(const std::vector<Message>& messages, std::size_t tokens,
                                int inner_folds) {
  std::vector<Judged> judged;
  for (int fold = 0; fold < inner_folds; ++fold) {
    std::vector<std::int32_t> spam(tokens), good(tokens);
    std::int32_t ns = 0, nc = 0;
    for (const Message& m : messages) {
      if (m.innerFold == fold)
        continue;
      for (std::uint32_t id : m.tokens)
        ++(m.spam ? spam : good)[id];
      ++(m.spam ? ns : nc);
    }
    for (const Message& m : messages) {
      if (m.innerFold != fold)
        continue;
      Judged j{&m.path, {}, ns, nc, m.spam};
      for (std::uint32_t id : m.tokens) {
        if (spam[id] + good[id] > 0)
          j.counts.emplace_back(spam[id], good[id]);
      }
      judged.push_back(std::move(j));
    }
  }
  return judged;
}

double Indicator(const Judged& j, const ChiSquareParameters& p) {
  std::vector<double> clues;
  for (auto [s, c] : j.counts) {
    const double f = ChiSquareJudge::TokenProbability(s, c, j.ns, j.nc, p);
    if (std::fabs(f - 0.5) >= p.minDeviation)
      clues.push_back(f);
  }
  if (clues.size() > p.maxClues) {
    std::nth_element(clues.begin(), clues.begin() + static_cast<std::ptrdiff_t>(p.maxClues),
                     clues.end(),
                     [](double a, double b) { return std::fabs(a - 0.5) > std::fabs(b - 0.5); });
    clues.resize(p.maxClues);
  }
  return ChiSquareJudge::Combine(clues);
}

// What a false positive costs, in false negatives.
double kFalsePositiveCost = 10.0;
// A cutoff with more false positives is never chosen: by default 0.05 % of
// the good messages judged, rounded down; --max-fp N sets it.
constexpr double kMaxFalsePositiveRate = 0.0005;
int kMaxFalsePositives = -1;

struct Outcome {
  ChiSquareParameters parameters;
  int fp = 0, fn = 0;
  double cost = 1e18;
};

// The cutoff of least cost for one parameter combination; on a tie the
// middle of the run of equally good cutoffs, which leaves the most room on
// both sides.
Outcome BestCutoff(const std::vector<Judged>& judged, ChiSquareParameters p) {
  std::vector<double> good, spam;
  for (const Judged& j : judged)
    (j.spam ? spam : good).push_back(Indicator(j, p));
  const int max_fp =
      kMaxFalsePositives >= 0
          ? kMaxFalsePositives
          : static_cast<int>(kMaxFalsePositiveRate * static_cast<double>(good.size()));
  Outcome best;
  std::vector<double> tied;
  for (int step = 1; step <= 999; ++step) {
    const double cutoff = step / 1000.0;
    const int fp = static_cast<int>(
        std::count_if(good.begin(), good.end(), [&](double i) { return i > cutoff; }));
    const int fn = static_cast<int>(
        std::count_if(spam.begin(), spam.end(), [&](double i) { return !(i > cutoff); }));
    const double cost = (fp > max_fp ? 1e6 * fp : kFalsePositiveCost * fp) + fn;
    if (cost < best.cost) {
      best = {p, fp, fn, cost};
      tied.clear();
    }
    if (cost == best.cost)
      tied.push_back(cutoff);
  }
  best.parameters.cutoff = tied[tied.size() / 2];
  return best;
}

// The tokens of one message file, one a line: what the judge sees of it.
int PrintTokens(const std::string& path) {
  mime::MimeTexts texts;
  if (!ReadTextsOfFile(path, &texts)) {
    std::fprintf(stderr, "judge_tune: cannot read %s\n", path.c_str());
    return 1;
  }
  IsolatedPlatform isolated;
  BayesianCore core(isolated.platform());
  WordTable words;
  TokenSet mail;
  core.Tokenize(texts.subject + "\n\n" + texts.body, words);
  mail_tokens::AddMailTokens(texts.headers.value_or(std::string()), texts.subject, texts.body,
                             &mail);
  std::vector<std::string_view> tokens;
  for (const WordKey& key : mail.keys())
    tokens.push_back(key.word());
  std::sort(tokens.begin(), tokens.end());  // in byte-wise order, as the words
  for (const auto [token, entry] : words)
    tokens.push_back(token);
  for (std::string_view token : tokens)
    std::printf("%.*s\n", static_cast<int>(token.size()), token.data());
  return 0;
}

// Why one message of the training set is judged as it is: its clues, from
// counts learned from every other training message, with the parameters in
// the code.
int Explain(const Options& options, const std::string& path) {
  std::size_t token_count = 0;
  const std::vector<Message> messages = ReadTrainingSet(options, &token_count, true);
  std::vector<std::int32_t> spam(token_count), good(token_count);
  std::int32_t ns = 0, nc = 0;
  const Message* target = nullptr;
  for (const Message& m : messages) {
    if (m.path == path) {
      target = &m;
      continue;
    }
    for (std::uint32_t id : m.tokens)
      ++(m.spam ? spam : good)[id];
    ++(m.spam ? ns : nc);
  }
  if (target == nullptr) {
    std::fprintf(stderr, "judge_tune: %s is not in the training set\n", path.c_str());
    return 1;
  }
  const ChiSquareParameters p;
  std::vector<std::pair<double, std::string>> clues;
  Judged j{&target->path, {}, ns, nc, target->spam};
  for (std::size_t i = 0; i < target->tokens.size(); ++i) {
    const std::uint32_t id = target->tokens[i];
    if (spam[id] + good[id] == 0)
      continue;
    j.counts.emplace_back(spam[id], good[id]);
    const double f = ChiSquareJudge::TokenProbability(spam[id], good[id], ns, nc, p);
    if (std::fabs(f - 0.5) >= p.minDeviation)
      clues.emplace_back(
          f, target->names[i] + " " + std::to_string(spam[id]) + "/" + std::to_string(good[id]));
  }
  std::sort(clues.begin(), clues.end(), [](const auto& a, const auto& b) {
    return std::fabs(a.first - 0.5) > std::fabs(b.first - 0.5);
  });
  std::printf("indicator %.3f (cutoff %.3f), %zu clues\n", Indicator(j, p), p.cutoff, clues.size());
  for (const auto& [f, name] : clues)
    std::printf("%.4f %s\n", f, name.c_str());
  return 0;
}

int Run(const Options& options) {
  std::size_t tokens = 0;
  const std::vector<Message> messages = ReadTrainingSet(options, &tokens);
  const std::vector<Judged> judged = InnerCounts(messages, tokens, options.innerFolds);
  std::printf("training set: %zu messages, %zu tokens, %d inner folds\n", messages.size(), tokens,
              options.innerFolds);
  std::vector<Outcome> outcomes;
  for (double weight : {1.0, 1.5, 2.0, 3.0})
    for (double strength : {0.03, 0.1, 0.25, 0.45, 1.0})
      for (double unknown : {0.4, 0.45, 0.5})
        for (double deviation : {0.0, 0.2, 0.3, 0.4, 0.45})
          for (std::size_t clues :
               {std::size_t{10}, std::size_t{15}, std::size_t{20}, std::size_t{30}, std::size_t{50},
                std::size_t{150}, std::size_t{100000}}) {
            ChiSquareParameters p;
            p.goodWeight = weight;
            p.strength = strength;
            p.unknown = unknown;
            p.minDeviation = deviation;
            p.maxClues = clues;
            outcomes.push_back(BestCutoff(judged, p));
          }
  std::stable_sort(outcomes.begin(), outcomes.end(),
                   [](const Outcome& a, const Outcome& b) { return a.cost < b.cost; });
  std::printf("good-weight strength unknown min-deviation max-clues cutoff | FP FN cost\n");
  for (std::size_t i = 0; i < std::min<std::size_t>(15, outcomes.size()); ++i) {
    const Outcome& o = outcomes[i];
    std::printf("%.1f %.2f %.2f %.2f %zu %.3f | %d %d %.0f\n", o.parameters.goodWeight,
                o.parameters.strength, o.parameters.unknown, o.parameters.minDeviation,
                o.parameters.maxClues, o.parameters.cutoff, o.fp, o.fn, o.cost);
  }
  if (std::getenv("VNX_WRONG") != nullptr) {
    for (const Judged& j : judged) {
      const double indicator = Indicator(j, outcomes[0].parameters);
      if ((indicator > outcomes[0].parameters.cutoff) != j.spam)
        std::printf("%s %.3f %s\n", j.spam ? "FN" : "FP", indicator, j.path->c_str());
    }
  }
  return 0;
}

}  // namespace
}  // namespace varnox::eval

int main(int argc, char** argv) {
  varnox::eval::Options options;
  std::string explain;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (i + 1 < argc && arg == "--outer-folds")
      options.outerFolds = std::atoi(argv[++i]);
    else if (i + 1 < argc && arg == "--outer-fold")
      options.outerFold = std::atoi(argv[++i]);
    else if (i + 1 < argc && arg == "--tokens")
      return varnox::eval::PrintTokens(argv[i + 1]);
    else if (i + 1 < argc && arg == "--max-fp")
      varnox::eval::kMaxFalsePositives = std::atoi(argv[++i]);
    else if (i + 1 < argc && arg == "--explain")
      explain = argv[++i];
    else if (i + 1 < argc && arg == "--fp-cost")
      varnox::eval::kFalsePositiveCost = std::atof(argv[++i]);
    else if (i + 1 < argc && arg == "--inner-folds")
      options.innerFolds = std::atoi(argv[++i]);
    else
      options.data = arg;
  }
  if (options.data.empty() || options.outerFolds < 2 || options.innerFolds < 2 ||
      options.outerFold < 0 || options.outerFold >= options.outerFolds) {
    std::fprintf(stderr,
                 "usage: judge_tune [--outer-folds K --outer-fold F] [--inner-folds N] DATA_DIR\n");
    return 1;
  }
  if (!explain.empty())
    return varnox::eval::Explain(options, explain);
  return varnox::eval::Run(options);
}
