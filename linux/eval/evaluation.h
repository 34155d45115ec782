// The evaluation behind `varnox eval`: how well the filter does on the
// user's own mail, and how fast, without touching their word database or
// their messages.
//
// Each folder's messages are dealt by position into folds (position i, in
// the folder's list order, goes to fold i mod K). A round trains a fresh
// in-memory filter on every fold but one, exactly as Train Filter does (good
// folders first, then spam folders, each message through LearnOrRelearn),
// then judges the held-out fold exactly as the new-mail pipeline's filter
// step does: a message whose headers carry a learning mark, or that has no
// transport headers, body or subject, is not judged; any other is judged by
// Classify on its body with its subject, without the sender lists.
//
// The even-odd split is two folds with one round: even positions train, odd
// positions are judged. K folds run K rounds, so every message is judged once.
// Given halves are one round too: every message of the folders given to
// train trains, every message of those given to test is judged ("trained on
// last year, how does it do on this month?").
//
// Messages are read from disk in every round, as Train Filter and the
// pipeline would read them; nothing is kept between rounds but the results.
// Reading runs ahead on worker threads; the filter sees the messages in
// order on the calling thread.
#ifndef VARNOX_LINUX_EVAL_EVALUATION_H_
#define VARNOX_LINUX_EVAL_EVALUATION_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace varnox::eval {

enum class MailKind { kGood, kSpam };

// Where a folder's messages go: dealt into folds by position, or all of
// them to one half.
enum class Half { kDealt, kTraining, kTest };

struct Source {
  std::string dir;  // a directory of message files or a Maildir
  MailKind kind = MailKind::kGood;
  Half half = Half::kDealt;  // kTraining or kTest exactly when the split is GivenHalves
};

struct Split {
  int folds = 2;               // K, at least 2
  bool judgeAllFolds = false;  // false: one round that judges fold 1 (even-odd)
  bool givenHalves = false;    // the sources say which half they are (fold 0 trains)

  static Split EvenOdd() { return {2, false, false}; }
  static Split Folds(int folds) { return {folds, true, false}; }
  static Split GivenHalves() { return {2, false, true}; }
  int Rounds() const { return judgeAllFolds ? folds : 1; }
};

struct EvalOptions {
  std::vector<Source> sources;
  Split split;
  // Threads that read messages ahead of the filter (read_ahead.h): -1 one a
  // processor, 0 none (each message is read when the filter wants it). The
  // results do not depend on it; the speed does.
  int readers = -1;
  // The judge that decides: the second judge, or the classic one.
  bool secondJudge = false;
};

enum class Phase { kTraining, kJudging };

struct Progress {
  int round = 0;  // 0-based
  int rounds = 1;
  Phase phase = Phase::kTraining;
  std::size_t done = 0;  // messages of this phase handled so far
  std::size_t total = 0;
};

// Time spent on a phase, reading and MIME decoding included.
struct PhaseTime {
  std::size_t messages = 0;  // messages handled (every message read, or found unreadable)
  double seconds = 0;        // wall-clock time
  double cpuSeconds = 0;     // processor time of the whole process

  double PerSecond() const { return seconds > 0 ? static_cast<double>(messages) / seconds : 0; }
  double PerCpuSecond() const {
    return cpuSeconds > 0 ? static_cast<double>(messages) / cpuSeconds : 0;
  }
};

// Verdicts on the judged messages of one kind.
struct KindVerdicts {
  static constexpr int kScores = 101;  // scores 0 to 100

  std::size_t judged = 0;
  std::size_t judgedSpam = 0;  // of those judged, how many were judged spam
  std::size_t nonEnglish = 0;  // judged spam by the non-English rule (they have no score)
  std::array<std::size_t, kScores> scores{};  // the others, by score

  // Good mail judged spam, or spam judged good, for the kind `kind`.
  std::size_t Wrong(MailKind kind) const {
    return kind == MailKind::kGood ? judgedSpam : judged - judgedSpam;
  }
  // The same, leaving out the non-English rule's verdicts (which come before
  // any judge): what the judge itself got wrong.
  std::size_t JudgeWrong(MailKind kind) const {
    return kind == MailKind::kGood ? judgedSpam - nonEnglish : judged - judgedSpam;
  }
  double WrongRate(MailKind kind) const {
    return judged > 0 ? static_cast<double>(Wrong(kind)) / static_cast<double>(judged) : 0;
  }
};

struct Misjudged {
  std::string path;
  int score = 0;  // meaningless when nonEnglish
  bool nonEnglish = false;
};

// Why a message to be judged was not.
enum class NotJudged { kUnreadable, kNoTransportHeaders, kNoBodyOrSubject, kLearningMark };

struct SkippedMessage {
  std::string path;
  MailKind kind = MailKind::kGood;
  NotJudged reason = NotJudged::kUnreadable;
};

struct SourceSummary {
  std::string dir;
  MailKind kind = MailKind::kGood;
  std::size_t messages = 0;  // message files listed
  Half half = Half::kDealt;
};

struct EvalResults {
  Split split;
  bool secondJudge = false;
  std::vector<SourceSummary> sources;

  // Training, over all rounds (with K folds each message is learned K - 1
  // times and counted each time).
  PhaseTime training;
  std::size_t learned = 0;
  // Read, but LearnOrRelearn taught nothing: no transport headers and no
  // learning mark, as with sent mail.
  std::size_t notLearned = 0;
  std::size_t trainingUnreadable = 0;
  std::vector<std::size_t> wordsPerRound;  // words the filter knew after training

  // Judging, over all rounds (each held-out message once).
  PhaseTime judging;
  KindVerdicts good;
  KindVerdicts spam;
  std::vector<Misjudged> falsePositives;  // good mail judged spam
  std::vector<Misjudged> falseNegatives;  // spam judged good
  std::vector<SkippedMessage> notJudged;

  std::int64_t peakMemoryBytes = 0;  // the process's peak resident memory
  int messagesShown = 0;             // messages or beeps the engine attempted: 0 in a sound run

  const KindVerdicts& Of(MailKind kind) const { return kind == MailKind::kGood ? good : spam; }
  std::size_t NotJudgedFor(NotJudged reason) const;
};

using ProgressFunction = std::function<void(const Progress&)>;

// Lists every source, then runs the rounds. False, with *error saying why
// (in UTF-8, naming the folder), when a source cannot be listed, when a
// folder is given both as spam and as good mail (with given halves: when a
// folder is given twice at all), when no message falls in a fold to be
// judged (with given halves: when either half holds no message), or when
// memory runs out; *results is then incomplete. `progress` (may be empty) is called after every
// message.
bool RunEvaluation(const EvalOptions& options, const ProgressFunction& progress,
                   EvalResults* results, std::string* error);

}  // namespace varnox::eval

#endif  // VARNOX_LINUX_EVAL_EVALUATION_H_
