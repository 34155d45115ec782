#include "linux/eval/evaluation.h"

#include <sys/resource.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <exception>
#include <filesystem>
#include <map>
#include <memory>
#include <utility>

#include "addin/vnx_addin.h"
#include "engine/message_info.h"
#include "linux/eval/isolated_platform.h"
#include "linux/eval/message_source.h"
#include "linux/eval/read_ahead.h"
#include "linux/eval/texts_message.h"
#include "mail/message_learning.h"
#include "mail/message_texts.h"

namespace varnox::eval {
namespace {

struct ListedMessage {
  std::string path;
  MailKind kind;
  int fold;
};

double CpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

std::int64_t PeakMemoryBytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<std::int64_t>(usage.ru_maxrss) * 1024;  // Linux gives KiB
}

// Measures one phase of one round and adds it to a PhaseTime.
class PhaseClock {
 public:
  explicit PhaseClock(PhaseTime* time)
      : time_(time), wall_(std::chrono::steady_clock::now()), cpu_(CpuSeconds()) {}
  ~PhaseClock() {
    time_->seconds +=
        std::chrono::duration<double>(std::chrono::steady_clock::now() - wall_).count();
    time_->cpuSeconds += CpuSeconds() - cpu_;
  }
  PhaseClock(const PhaseClock&) = delete;
  PhaseClock& operator=(const PhaseClock&) = delete;

 private:
  PhaseTime* time_;
  std::chrono::steady_clock::time_point wall_;
  double cpu_;
};

// A folder given both as spam and as good mail (however it is written): its
// messages would teach and test both ways at once. With given halves, any
// folder given twice: in both halves it would judge what it taught, and
// twice in one half it would count its messages twice. Empty when none.
std::string FolderGivenTwice(const std::vector<Source>& sources, bool givenHalves) {
  std::map<std::string, const Source*> seen;
  for (const Source& source : sources) {
    std::error_code failed;
    const std::string key = std::filesystem::weakly_canonical(source.dir, failed).string();
    const auto [it, added] = seen.emplace(failed ? source.dir : key, &source);
    if (added)
      continue;
    if (it->second->kind != source.kind)
      return source.dir + " is given both as spam and as good mail";
    if (givenHalves)
      return source.dir + " is given twice";
  }
  return {};
}

int FoldOf(const Source& source, std::size_t position, int folds) {
  switch (source.half) {
    case Half::kTraining:
      return 0;
    case Half::kTest:
      return 1;
    case Half::kDealt:
      break;
  }
  return static_cast<int>(position % static_cast<std::size_t>(folds));
}

// Good folders first, then spam folders, each in the order given: the order
// in which Train Filter teaches them.
bool ListSources(const EvalOptions& options, EvalResults* results,
                 std::vector<ListedMessage>* messages, std::string* error) {
  if (std::string twice = FolderGivenTwice(options.sources, options.split.givenHalves);
      !twice.empty()) {
    *error = std::move(twice);
    return false;
  }
  for (MailKind kind : {MailKind::kGood, MailKind::kSpam}) {
    for (const Source& source : options.sources) {
      if (source.kind != kind)
        continue;
      std::vector<std::string> files;
      if (!ListMessageFiles(source.dir, &files, error))
        return false;
      results->sources.push_back({source.dir, kind, files.size(), source.half});
      for (std::size_t i = 0; i < files.size(); ++i)
        messages->push_back({std::move(files[i]), kind, FoldOf(source, i, options.split.folds)});
    }
  }
  return true;
}

int JudgedFold(const Split& split, int round) {
  return split.judgeAllFolds ? round : 1;
}

// The new-mail pipeline's road up to its verdict, without the lists: the
// same reads in the same order, the same reasons to leave a message alone.
bool JudgeLikePipeline(BayesianFilter& filter, host::Message& message, MessageInfo* info, int* spam,
                       NotJudged* why) {
  std::string mark;
  if (FindLearnMark(message, &mark, false) == 1) {
    *why = NotJudged::kLearningMark;
    return false;
  }
  MessageTexts texts;
  if (!ReadMessageTexts(message, {MessageText::kHeaders}, &texts)) {
    *why = NotJudged::kNoTransportHeaders;
    return false;
  }
  if (texts.headers->find(kLearnMarkPrefix) != std::string::npos) {
    *why = NotJudged::kLearningMark;
    return false;
  }
  if (!ReadMessageTexts(message, {MessageText::kBody, MessageText::kSubject}, &texts)) {
    *why = NotJudged::kNoBodyOrSubject;
    return false;
  }
  info->subject = std::move(*texts.subject);
  info->headers = std::move(*texts.headers);
  *spam = filter.Classify(std::move(*texts.body), *info);
  return true;
}

class Evaluation {
 public:
  Evaluation(const EvalOptions& options, const ProgressFunction& progress, EvalResults* results)
      : options_(options), progress_(progress), results_(results) {}

  bool Run(std::string* error) {
    std::vector<ListedMessage> messages;
    if (!ListSources(options_, results_, &messages, error))
      return false;
    if (options_.split.judgeAllFolds &&
        static_cast<std::size_t>(options_.split.folds) > messages.size()) {
      *error = "--folds " + std::to_string(options_.split.folds) + " is more than the " +
               std::to_string(messages.size()) + " messages in the folders";
      return false;
    }
    if (options_.split.givenHalves) {
      for (const auto& [fold, name] : {std::pair{0, "training"}, std::pair{1, "test"}}) {
        if (std::none_of(messages.begin(), messages.end(),
                         [fold](const ListedMessage& m) { return m.fold == fold; })) {
          *error = std::string("the ") + name + " half holds no message";
          return false;
        }
      }
    }
    const int rounds = options_.split.Rounds();
    const bool anything_to_judge =
        std::any_of(messages.begin(), messages.end(), [&](const ListedMessage& m) {
          return options_.split.judgeAllFolds || m.fold == JudgedFold(options_.split, 0);
        });
    if (!anything_to_judge) {
      *error = "there is no message to judge: each folder needs at least two messages";
      return false;
    }
    for (int round = 0; round < rounds; ++round)
      RunRound(messages, round);
    return true;
  }

 private:
  void RunRound(const std::vector<ListedMessage>& messages, int round) {
    const int judged_fold = JudgedFold(options_.split, round);
    std::vector<const ListedMessage*> train, judge;
    for (const ListedMessage& message : messages)
      (message.fold == judged_fold ? judge : train).push_back(&message);

    // A fresh filter for each round, on a platform without settings or
    // files: it starts empty and can save nowhere.
    IsolatedPlatform isolated;
    auto addin = std::make_unique<CVNXAddin>(isolated.platform());
    addin->filter.set_judgeChoice(options_.secondJudge ? BayesianFilter::JudgeChoice::kChiSquare
                                                       : BayesianFilter::JudgeChoice::kClassic);
    Train(*addin, train, round);
    results_->wordsPerRound.push_back(addin->filter.WordCount());
    Judge(addin->filter, judge, round);
    addin.reset();
    results_->messagesShown += isolated.messagesShown();
  }

  unsigned Readers() const {
    return options_.readers < 0 ? ReadAhead::DefaultReaders()
                                : static_cast<unsigned>(options_.readers);
  }

  static std::vector<const std::string*> PathsOf(const std::vector<const ListedMessage*>& list) {
    std::vector<const std::string*> paths;
    paths.reserve(list.size());
    for (const ListedMessage* message : list)
      paths.push_back(&message->path);
    return paths;
  }

  void Train(CVNXAddin& addin, const std::vector<const ListedMessage*>& train, int round) {
    PhaseClock clock(&results_->training);
    const std::vector<const std::string*> paths = PathsOf(train);
    ReadAhead reading(paths, Readers());
    mime::MimeTexts texts;
    for (std::size_t i = 0; i < train.size(); ++i) {
      const ListedMessage& message = *train[i];
      ++results_->training.messages;
      if (!reading.Next(&texts)) {
        ++results_->trainingUnreadable;
      } else {
        TextsMessage host_message(texts);
        const int spam = message.kind == MailKind::kSpam ? 1 : 0;
        ++(LearnOrRelearn(addin, host_message, spam) == 1 ? results_->learned
                                                          : results_->notLearned);
      }
      Report(round, Phase::kTraining, i + 1, train.size());
    }
  }

  void Judge(BayesianFilter& filter, const std::vector<const ListedMessage*>& judge, int round) {
    PhaseClock clock(&results_->judging);
    const std::vector<const std::string*> paths = PathsOf(judge);
    ReadAhead reading(paths, Readers());
    mime::MimeTexts texts;
    for (std::size_t i = 0; i < judge.size(); ++i) {
      const ListedMessage& message = *judge[i];
      ++results_->judging.messages;
      if (!reading.Next(&texts)) {
        results_->notJudged.push_back({message.path, message.kind, NotJudged::kUnreadable});
      } else {
        TextsMessage host_message(texts);
        MessageInfo info;
        int spam = 0;
        NotJudged why = NotJudged::kUnreadable;
        if (JudgeLikePipeline(filter, host_message, &info, &spam, &why))
          Record(message, info, spam);
        else
          results_->notJudged.push_back({message.path, message.kind, why});
      }
      Report(round, Phase::kJudging, i + 1, judge.size());
    }
  }

  void Record(const ListedMessage& message, const MessageInfo& info, int spam) {
    KindVerdicts& verdicts = message.kind == MailKind::kGood ? results_->good : results_->spam;
    ++verdicts.judged;
    if (spam != 0)
      ++verdicts.judgedSpam;
    if (info.nonEnglish != 0)
      ++verdicts.nonEnglish;
    else
      ++verdicts.scores[static_cast<std::size_t>(std::clamp(info.score, 0, 100))];
    const bool wrong = (spam != 0) == (message.kind == MailKind::kGood);
    if (wrong) {
      auto& list =
          message.kind == MailKind::kGood ? results_->falsePositives : results_->falseNegatives;
      list.push_back({message.path, info.score, info.nonEnglish != 0});
    }
  }

  void Report(int round, Phase phase, std::size_t done, std::size_t total) {
    if (progress_)
      progress_(Progress{round, options_.split.Rounds(), phase, done, total});
  }

  const EvalOptions& options_;
  const ProgressFunction& progress_;
  EvalResults* results_;
};

}  // namespace

std::size_t EvalResults::NotJudgedFor(NotJudged reason) const {
  return static_cast<std::size_t>(
      std::count_if(notJudged.begin(), notJudged.end(),
                    [reason](const SkippedMessage& skipped) { return skipped.reason == reason; }));
}

bool RunEvaluation(const EvalOptions& options, const ProgressFunction& progress,
                   EvalResults* results, std::string* error) {
  *results = EvalResults{};
  results->split = options.split;
  results->secondJudge = options.secondJudge;
  try {
    if (!Evaluation(options, progress, results).Run(error))
      return false;
  } catch (const std::exception& e) {
    *error = std::string("the evaluation stopped: ") + e.what();
    return false;
  }
  results->peakMemoryBytes = PeakMemoryBytes();
  return true;
}

}  // namespace varnox::eval
