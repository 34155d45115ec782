// How the chi-square judge's parameters and cutoff were chosen: validation
// inside a tuning set that the evaluated splits train on, never on a message
// any of them judges but for 10 folds, where every message is judged once.
//
// The tuning set is by default the messages at even positions of easy-ham-2
// and spam-2: what both `varnox eval --split even-odd` (even positions) and
// the shift split (easy-ham-2 and spam-2) train on. Inside it the validation
// simulates mail unlike what was learned, two ways, and counts both:
//   time     each kind is cut at its median time of arrival (the date of the
//            top Received line): the earlier half judged by counts learned
//            from the later one, and the later from the earlier;
//   senders  five folds by the sender's domain (the From address's last two
//            labels), so that every judged message comes from senders the
//            counts never saw.
// For every combination of the parameters the cutoff of least cost is found
// (cost: kFalsePositiveCost per false positive plus one per false negative,
// over both validations), then the combination of least cost.
// The messages the evaluations judge are never read.
//
//   build/release/bench/judge_tune [--folders A,B,...] [--positions even|all]
//                                  [--fp-cost C] [--show N] DATA_DIR
//   build/release/bench/judge_tune --tokens MESSAGE_FILE   (what it sees)
//   build/release/bench/judge_tune --explain MESSAGE_FILE DATA_DIR
//                                  (its clues, learned from the rest of the
//                                   tuning set, with the parameters in code)
//   --scores: the indicators of the validation's spam and good mail with the
//   parameters in the code, as deciles, to set the score's scale.
//
// DATA_DIR holds the corpus folders (bench/corpus.sh unpacks them into
// build/corpus/package/data).
#include <time.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "bench/corpus_folders.h"
#include "engine/bayesian_core.h"
#include "engine/chi_square_judge.h"
#include "engine/mail_tokens.h"
#include "linux/eval/isolated_platform.h"
#include "linux/eval/message_source.h"
#include "platform/ascii_case.h"

namespace varnox::eval {
namespace {

struct Message {
  std::string path;
  std::vector<std::uint32_t> tokens;
  std::vector<std::string> names;  // only for --explain
  bool spam = false;
  std::int64_t arrived = 0;  // Unix time of the top Received line; 0 unknown
  std::string sender;        // the From address's domain, last two labels
};

struct Options {
  std::string data;
  std::vector<std::string> folders = {"easy-ham-2", "spam-2"};
  bool evenOnly = true;
  double fpCost = 10.0;
  std::size_t show = 15;
  // Tokens beginning with one of these are left out (to weigh a kind).
  std::vector<std::string> drop;
  bool smallGrid = false;
};

// The value of the first header field `name` (with its colon), unfolded.
std::string FieldValue(std::string_view headers, std::string_view name) {
  std::size_t start = 0;
  while (start < headers.size()) {
    std::size_t end = headers.find('\n', start);
    if (end == std::string_view::npos)
      end = headers.size();
    const std::string_view line = headers.substr(start, end - start);
    start = end + 1;
    if (line.size() < name.size() || !ascii::EqualsIgnoreCase(line.substr(0, name.size()), name))
      continue;
    std::string value(line.substr(name.size()));
    while (start < headers.size() && (headers[start] == ' ' || headers[start] == '\t')) {
      end = headers.find('\n', start);
      if (end == std::string_view::npos)
        end = headers.size();
      value += ' ';
      value.append(headers.substr(start, end - start));
      start = end + 1;
    }
    return value;
  }
  return {};
}

// When the user's server received it: the date after the top Received
// line's last ";". 0 when it does not read as a date.
std::int64_t ArrivalTime(std::string_view headers) {
  const std::string received = FieldValue(headers, "received:");
  const std::size_t semicolon = received.rfind(';');
  if (semicolon == std::string::npos)
    return 0;
  std::string date = received.substr(semicolon + 1);
  for (const char* format : {" %a, %d %b %Y %H:%M:%S %z", " %d %b %Y %H:%M:%S %z"}) {
    tm fields{};
    if (::strptime(date.c_str(), format, &fields) != nullptr)
      return static_cast<std::int64_t>(::timegm(&fields)) - fields.tm_gmtoff;
  }
  return 0;
}

// The sender's domain as the validation groups senders: its last two labels.
std::string SenderDomain(std::string_view headers) {
  std::string from = FieldValue(headers, "from:");
  const std::size_t at = from.rfind('@');
  if (at == std::string::npos)
    return "(none)";
  std::size_t end = at + 1;
  while (end < from.size() && from[end] != '>' && from[end] != ' ' && from[end] != ')' &&
         from[end] != '\r')
    ++end;
  std::string domain = from.substr(at + 1, end - at - 1);
  for (char& byte : domain)
    byte = ascii::ToLower(byte);
  const std::size_t last = domain.rfind('.');
  if (last != std::string::npos && last > 0) {
    const std::size_t before = domain.rfind('.', last - 1);
    if (before != std::string::npos)
      domain = domain.substr(before + 1);
  }
  return domain;
}

bool IsSpamFolder(const std::string& name) {
  for (const bench::CorpusFolder& folder : bench::kCorpusFolders) {
    if (name == folder.name)
      return folder.spam;
  }
  std::fprintf(stderr, "judge_tune: %s is not a folder of the corpus\n", name.c_str());
  std::exit(1);
}

// The tokens the judge sees of a message, as the judge makes them.
void Tokens(BayesianCore& core, const mime::MimeTexts& texts,
            const std::function<void(std::string_view)>& add) {
  WordTable words;
  TokenSet mail;
  core.Tokenize(texts.subject + "\n\n" + texts.body, words);
  mail_tokens::AddMailTokens(texts.headers.value_or(std::string()), texts.subject, texts.body,
                             &mail);
  words.ForEachUnordered([&](std::string_view token, const WordEntry&) { add(token); });
  for (const WordKey& key : mail.keys())
    add(key.word());
}

std::vector<Message> ReadTuningSet(const Options& options, std::size_t* token_count,
                                   bool keep_names = false) {
  IsolatedPlatform isolated;
  BayesianCore core(isolated.platform());
  std::unordered_map<std::string, std::uint32_t> ids;
  std::vector<Message> messages;
  for (const std::string& folder : options.folders) {
    std::vector<std::string> files;
    std::string error;
    if (!ListMessageFiles(options.data + "/" + folder, &files, &error)) {
      std::fprintf(stderr, "judge_tune: %s\n", error.c_str());
      std::exit(1);
    }
    for (std::size_t i = 0; i < files.size(); ++i) {
      if (options.evenOnly && i % 2 != 0)
        continue;
      mime::MimeTexts texts;
      // As training does: a message without transport headers teaches nothing.
      if (!ReadTextsOfFile(files[i], &texts) || !texts.headers)
        continue;
      Message message;
      message.path = files[i];
      message.spam = IsSpamFolder(folder);
      message.arrived = ArrivalTime(*texts.headers);
      message.sender = SenderDomain(*texts.headers);
      Tokens(core, texts, [&](std::string_view token) {
        for (const std::string& prefix : options.drop) {
          if (token.starts_with(prefix))
            return;
        }
        auto [at, inserted] =
            ids.emplace(std::string(token), static_cast<std::uint32_t>(ids.size()));
        message.tokens.push_back(at->second);
        if (keep_names)
          message.names.emplace_back(token);
      });
      messages.push_back(std::move(message));
    }
  }
  *token_count = ids.size();
  return messages;
}

// One way of dealing the tuning set into folds; each fold is judged by counts
// learned from the others.
struct Validation {
  const char* name;
  int folds;
  std::vector<int> foldOf;  // by message
};

// Each kind cut at its median arrival: fold 0 the earlier half, 1 the later.
Validation ByTime(const std::vector<Message>& messages) {
  Validation v{"time", 2, std::vector<int>(messages.size())};
  for (bool spam : {false, true}) {
    std::vector<std::size_t> order;
    for (std::size_t i = 0; i < messages.size(); ++i) {
      if (messages[i].spam == spam)
        order.push_back(i);
    }
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
      return messages[a].arrived < messages[b].arrived;
    });
    for (std::size_t rank = 0; rank < order.size(); ++rank)
      v.foldOf[order[rank]] = rank * 2 < order.size() ? 0 : 1;
  }
  return v;
}

// Five folds by the sender's domain, so that no judged sender was learned.
Validation BySender(const std::vector<Message>& messages) {
  Validation v{"senders", 5, std::vector<int>(messages.size())};
  for (std::size_t i = 0; i < messages.size(); ++i)
    v.foldOf[i] = static_cast<int>(std::hash<std::string>()(messages[i].sender) % 5);
  return v;
}

// For each message judged in a validation: the counts of its tokens learned
// from the other folds, and the message counts.
struct Judged {
  const Message* message;
  std::vector<std::pair<std::int32_t, std::int32_t>> counts;
  std::int32_t ns, nc;
};

std::vector<Judged> CountsOf(const std::vector<Message>& messages, std::size_t tokens,
                             const Validation& validation) {
  std::vector<Judged> judged;
  for (int fold = 0; fold < validation.folds; ++fold) {
    std::vector<std::int32_t> spam(tokens), good(tokens);
    std::int32_t ns = 0, nc = 0;
    for (std::size_t i = 0; i < messages.size(); ++i) {
      if (validation.foldOf[i] == fold)
        continue;
      for (std::uint32_t id : messages[i].tokens)
        ++(messages[i].spam ? spam : good)[id];
      ++(messages[i].spam ? ns : nc);
    }
    for (std::size_t i = 0; i < messages.size(); ++i) {
      if (validation.foldOf[i] != fold)
        continue;
      Judged j{&messages[i], {}, ns, nc};
      for (std::uint32_t id : messages[i].tokens) {
        if (spam[id] + good[id] > 0)
          j.counts.emplace_back(spam[id], good[id]);
      }
      judged.push_back(std::move(j));
    }
  }
  return judged;
}

// The judge's indicator of a message from its tokens' counts, as Weigh
// finds it.
double Indicator(const Judged& j, const ChiSquareParameters& p) {
  std::vector<double> clues;
  for (auto [s, c] : j.counts) {
    if (s + c < p.minMessages)
      continue;
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
  std::sort(clues.begin(), clues.end());
  return ChiSquareJudge::Combine(clues);
}

// No evidence either way (0.5) is never spam: the cutoff lies above it.
double kLeastCutoff = 0.5;

// Nor is the evidence of a handful of tokens each seen once, in spam: the
// indicator of a message whose only clues are kHandful such tokens.
constexpr int kHandful = 5;
double HandfulIndicator(const ChiSquareParameters& p) {
  if (p.minMessages > 1)
    return 0.5;
  const double f = ChiSquareJudge::TokenProbability(1, 0, 1000, 1000, p);
  if (!(std::fabs(f - 0.5) >= p.minDeviation))
    return 0.5;
  return ChiSquareJudge::Combine(std::vector<double>(kHandful, f));
}

struct Outcome {
  ChiSquareParameters parameters;
  int fp = 0, fn = 0;
  double cost = 1e18;
  int good = 0, spam = 0;
};

// The cutoff of least cost for one combination: the indicators sorted, every
// cutoff between two neighbours tried; among equally good cutoffs the
// middle of the widest gap, which leaves the most room on both sides.
Outcome BestCutoff(const std::vector<Judged>& judged, ChiSquareParameters p, double fp_cost) {
  std::vector<std::pair<double, bool>> all;  // indicator, spam
  all.reserve(judged.size());
  for (const Judged& j : judged)
    all.emplace_back(Indicator(j, p), j.message->spam);
  std::sort(all.begin(), all.end());
  Outcome best;
  for (const auto& [indicator, spam] : all)
    ++(spam ? best.spam : best.good);
  const double least = std::max(kLeastCutoff, HandfulIndicator(p));
  // Cutoff below every indicator: every good message is a false positive.
  int fp = best.good, fn = 0;
  double best_gap = -1;
  for (std::size_t i = 0; i <= all.size(); ++i) {
    // The cutoff lies between all[i - 1] and all[i].
    const double low = i == 0 ? 0.0 : all[i - 1].first;
    const double high = i == all.size() ? 1.0 : all[i].first;
    if ((i == all.size() || high > low) && high > least) {
      const double cost = fp_cost * fp + fn;
      const double gap = high - low;
      if (cost < best.cost || (cost == best.cost && gap > best_gap)) {
        best.cost = cost;
        best.fp = fp;
        best.fn = fn;
        best.parameters = p;
        best.parameters.cutoff = (std::max(low, least) + high) / 2;
        best_gap = gap;
      }
    }
    // Above all[i]: a spam message there is let through, a good one no
    // longer caught.
    if (i < all.size())
      all[i].second ? ++fn : --fp;
  }
  return best;
}

// Prints the tokens of one message file, one a line: what the judge sees.
int PrintTokens(const std::string& path) {
  mime::MimeTexts texts;
  if (!ReadTextsOfFile(path, &texts)) {
    std::fprintf(stderr, "judge_tune: cannot read %s\n", path.c_str());
    return 1;
  }
  IsolatedPlatform isolated;
  BayesianCore core(isolated.platform());
  std::vector<std::string> tokens;
  Tokens(core, texts, [&](std::string_view token) { tokens.emplace_back(token); });
  std::sort(tokens.begin(), tokens.end());
  for (const std::string& token : tokens)
    std::printf("%s\n", token.c_str());
  return 0;
}

// Why one message of the tuning set is judged as it is: its clues, from
// counts learned from every other message of the set, with the parameters
// in the code.
int Explain(const Options& options, const std::string& path) {
  std::size_t token_count = 0;
  const std::vector<Message> messages = ReadTuningSet(options, &token_count, true);
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
    std::fprintf(stderr, "judge_tune: %s is not in the tuning set\n", path.c_str());
    return 1;
  }
  const ChiSquareParameters p;
  std::vector<std::pair<double, std::string>> clues;
  Judged j{target, {}, ns, nc};
  for (std::size_t i = 0; i < target->tokens.size(); ++i) {
    const std::uint32_t id = target->tokens[i];
    if (spam[id] + good[id] == 0)
      continue;
    j.counts.emplace_back(spam[id], good[id]);
    const double f = ChiSquareJudge::TokenProbability(spam[id], good[id], ns, nc, p);
    if (spam[id] + good[id] >= p.minMessages && std::fabs(f - 0.5) >= p.minDeviation)
      clues.emplace_back(
          f, target->names[i] + " " + std::to_string(spam[id]) + "/" + std::to_string(good[id]));
  }
  std::sort(clues.begin(), clues.end(), [](const auto& a, const auto& b) {
    return std::fabs(a.first - 0.5) > std::fabs(b.first - 0.5);
  });
  std::printf("indicator %.6f (cutoff %.3f), %zu clues\n", Indicator(j, p), p.cutoff, clues.size());
  for (const auto& [f, name] : clues)
    std::printf("%.4f %s\n", f, name.c_str());
  return 0;
}

struct TuningData {
  std::vector<Message> messages;
  std::vector<Judged> judged;  // every validation's, one after the other
};

TuningData Prepare(const Options& options) {
  TuningData data;
  std::size_t tokens = 0;
  data.messages = ReadTuningSet(options, &tokens);
  std::size_t timed = 0;
  for (const Message& m : data.messages)
    timed += m.arrived != 0 ? 1 : 0;
  std::printf("tuning set: %zu messages (%zu with a time of arrival), %zu tokens\n",
              data.messages.size(), timed, tokens);
  for (const Validation& v : {ByTime(data.messages), BySender(data.messages)}) {
    std::vector<Judged> judged = CountsOf(data.messages, tokens, v);
    std::printf("validation %s: %zu judged in %d folds\n", v.name, judged.size(), v.folds);
    for (Judged& j : judged)
      data.judged.push_back(std::move(j));
  }
  return data;
}

// Deciles of the indicators with the code's parameters: where spam and good
// mail lie, on the scale the score is drawn from.
int PrintScores(const Options& options) {
  const TuningData data = Prepare(options);
  const ChiSquareParameters p;
  for (bool spam : {false, true}) {
    std::vector<double> doubt;  // -log10(1 - indicator) for spam, -log10(indicator) for good
    int above = 0;
    for (const Judged& j : data.judged) {
      if (j.message->spam != spam)
        continue;
      const double indicator = Indicator(j, p);
      above += indicator > p.cutoff ? 1 : 0;
      doubt.push_back(indicator);
    }
    std::sort(doubt.begin(), doubt.end());
    std::printf("%s: %zu judged, %d above the cutoff; indicator at deciles:",
                spam ? "spam" : "good", doubt.size(), above);
    for (int decile = 0; decile <= 10; ++decile) {
      const std::size_t at = std::min(doubt.size() - 1, doubt.size() * decile / 10);
      std::printf(" %.6g", doubt[at]);
    }
    std::printf("\n");
    std::printf("  scores:");
    std::vector<int> scores(101);
    for (const Judged& j : data.judged) {
      if (j.message->spam == spam)
        ++scores[static_cast<std::size_t>(ChiSquareJudge::ScoreOf(Indicator(j, p), p))];
    }
    for (int score = 0; score <= 100; ++score) {
      if (scores[static_cast<std::size_t>(score)] > 0)
        std::printf(" %d:%d", score, scores[static_cast<std::size_t>(score)]);
    }
    std::printf("\n");
  }
  return 0;
}

int Run(const Options& options) {
  const TuningData data = Prepare(options);
  std::vector<Outcome> outcomes;
  const bool small = options.smallGrid;
  for (double weight : small ? std::vector<double>{1.0} : std::vector<double>{1.0, 1.5, 2.0})
    for (double strength : small ? std::vector<double>{0.45, 1.0, 2.0, 3.0}
                                 : std::vector<double>{0.25, 0.45, 1.0, 2.0, 3.0, 5.0})
      for (double unknown : {0.4, 0.45, 0.5})
        for (double deviation :
             small ? std::vector<double>{0.0, 0.1} : std::vector<double>{0.0, 0.1, 0.2, 0.3})
          for (std::size_t clues : small ? std::vector<std::size_t>{150, 100000}
                                         : std::vector<std::size_t>{15, 30, 50, 150, 100000})
            for (std::int32_t least :
                 small ? std::vector<std::int32_t>{1} : std::vector<std::int32_t>{1, 2}) {
              ChiSquareParameters p;
              p.goodWeight = weight;
              p.strength = strength;
              p.unknown = unknown;
              p.minDeviation = deviation;
              p.maxClues = clues;
              p.minMessages = least;
              outcomes.push_back(BestCutoff(data.judged, p, options.fpCost));
            }
  std::stable_sort(outcomes.begin(), outcomes.end(),
                   [](const Outcome& a, const Outcome& b) { return a.cost < b.cost; });
  std::printf("%d good and %d spam judged; a false positive costs %.0f\n", outcomes[0].good,
              outcomes[0].spam, options.fpCost);
  std::printf(
      "good-weight strength unknown min-deviation max-clues min-messages cutoff | FP FN "
      "cost\n");
  for (std::size_t i = 0; i < std::min(options.show, outcomes.size()); ++i) {
    const Outcome& o = outcomes[i];
    std::printf("%.1f %.2f %.2f %.2f %zu %d %.6f | %d %d %.0f\n", o.parameters.goodWeight,
                o.parameters.strength, o.parameters.unknown, o.parameters.minDeviation,
                o.parameters.maxClues, o.parameters.minMessages, o.parameters.cutoff, o.fp, o.fn,
                o.cost);
  }
  // The code's own parameters, on the same validation.
  const ChiSquareParameters code;
  int fp = 0, fn = 0;
  for (const Judged& j : data.judged) {
    const bool judged_spam = Indicator(j, code) > code.cutoff;
    fp += !j.message->spam && judged_spam ? 1 : 0;
    fn += j.message->spam && !judged_spam ? 1 : 0;
  }
  std::printf("in the code: %.1f %.2f %.2f %.2f %zu %d %.6f | %d %d %.0f\n", code.goodWeight,
              code.strength, code.unknown, code.minDeviation, code.maxClues, code.minMessages,
              code.cutoff, fp, fn, options.fpCost * fp + fn);
  if (std::getenv("VNX_WRONG") != nullptr) {
    for (const Judged& j : data.judged) {
      const double indicator = Indicator(j, code);
      if ((indicator > code.cutoff) != j.message->spam)
        std::printf("%s %.6f %s\n", j.message->spam ? "FN" : "FP", indicator,
                    j.message->path.c_str());
    }
  }
  return 0;
}

std::vector<std::string> SplitAtCommas(const std::string& text) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= text.size()) {
    const std::size_t comma = std::min(text.find(',', start), text.size());
    parts.push_back(text.substr(start, comma - start));
    start = comma + 1;
  }
  return parts;
}

}  // namespace
}  // namespace varnox::eval

int main(int argc, char** argv) {
  varnox::eval::Options options;
  std::string explain;
  bool scores = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (i + 1 < argc && arg == "--tokens")
      return varnox::eval::PrintTokens(argv[i + 1]);
    if (i + 1 < argc && arg == "--explain")
      explain = argv[++i];
    else if (i + 1 < argc && arg == "--folders")
      options.folders = varnox::eval::SplitAtCommas(argv[++i]);
    else if (i + 1 < argc && arg == "--positions")
      options.evenOnly = std::string(argv[++i]) == "even";
    else if (i + 1 < argc && arg == "--fp-cost")
      options.fpCost = std::atof(argv[++i]);
    else if (i + 1 < argc && arg == "--show")
      options.show = static_cast<std::size_t>(std::atoi(argv[++i]));
    else if (i + 1 < argc && arg == "--drop")
      options.drop = varnox::eval::SplitAtCommas(argv[++i]);
    else if (i + 1 < argc && arg == "--least-cutoff")
      varnox::eval::kLeastCutoff = std::atof(argv[++i]);
    else if (arg == "--small-grid")
      options.smallGrid = true;
    else if (arg == "--scores")
      scores = true;
    else
      options.data = arg;
  }
  if (options.data.empty()) {
    std::fprintf(stderr,
                 "usage: judge_tune [--folders A,B] [--positions even|all] [--fp-cost C] "
                 "[--scores] DATA_DIR\n");
    return 1;
  }
  if (!explain.empty())
    return varnox::eval::Explain(options, explain);
  if (scores)
    return varnox::eval::PrintScores(options);
  return varnox::eval::Run(options);
}
