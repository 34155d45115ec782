// SecondJudge: the opt-in judge beside the classic one. It keeps a table of
// its own (in how many spam and good messages each token appeared) and judges
// every token of a message that tells anything, not only fifteen of them:
//
//   per token   p = (s / NS) / (s / NS + w c / NC), from the token's spam
//               and good message counts s, c and the message counts NS, NC;
//               w > 1 weighs good mail more, against false positives;
//               f = (strength * unknown + n * p) / (strength + n), n = s + c,
//               so a rarely seen token stays near `unknown`.
//   message     the tokens with |f - 0.5| >= minDeviation (at most maxClues,
//               the farthest first) are combined by Fisher's method: S and H
//               are the chi-square probabilities of -2 sum ln(1 - f) and
//               -2 sum ln f with 2k degrees of freedom; the indicator is
//               (1 + S - H) / 2, spam above `cutoff`.
//
// Tokens: the classic tokenizer's words of the subject and the body, and
// tokens of their own kind from the subject, the sender's address and
// domain, the Received hosts and addresses, Content-Type, X-Mailer and
// User-Agent, To, Message-ID, Return-Path, Date, Content-Transfer-Encoding,
// and the hosts of links in the body (judge_tokens.h).
//
// The table lives in a companion file beside the word database (format:
// docs/word-database.md), which the classic judge never reads. Once the
// second judge was chosen, it learns whichever judge decides and its file is
// kept, so switching back and forth loses nothing; chosen for the first time,
// it starts from the classic counts. A user who never chooses it finds no
// new file and pays nothing for it.
//
// Not thread-safe: BayesianFilter holds the core's lock around every call.
#ifndef VARNOX_ENGINE_SECOND_JUDGE_H_
#define VARNOX_ENGINE_SECOND_JUDGE_H_

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/bayesian_core.h"  // Side, aging constants
#include "engine/token_set.h"
#include "engine/word_table.h"
#include "platform/platform.h"

namespace varnox {

// Fixed in code; chosen by 5-fold cross-validation inside the training half
// of the public corpus only (bench/judge_tune.cc, docs/eval.md).
struct JudgeParameters {
  double goodWeight = 1.5;
  double strength = 0.25;
  double unknown = 0.5;
  double minDeviation = 0.3;
  double cutoff = 0.472;
  std::size_t maxClues = 15;
};

// One token's weight in a verdict.
struct Clue {
  std::string_view token;  // refers to the message's token keys
  double probability;      // f, 0..1
};

struct JudgeVerdict {
  double indicator = 0.5;  // Fisher's combined indicator, 0..1
  std::int32_t score = 0;  // 0..100; above 90 exactly when spam
  bool spam = false;
  std::vector<Clue> top;  // at most 15 deciding tokens, in byte-wise order
};

// How many messages each token appeared in, per side, and when it was last
// learned (WordEntry's spamCount, cleanCount, lastSeen; probability unused).
class SecondJudge {
 public:
  static constexpr std::size_t kTopWords = 15;

  // `platform` (files, clock) must outlive the judge.
  explicit SecondJudge(const Platform& platform) : platform_(platform) {}

  // --- Tokens, learning, judging ---------------------------------------------

  // A message's tokens are the classic tokenizer's words of its subject and
  // body (`words`) and the tokens only this judge uses (`extra`, made here);
  // the two never share a token, as every extra token holds ":". Each token
  // counts once, however often it occurs.
  static void ExtraTokens(std::string_view headers, std::string_view subject, std::string_view body,
                          TokenSet* extra);
  void Learn(const WordTable& words, const TokenSet& extra, Side side, std::int32_t now);
  // A message learned before on the other side: its tokens leave that side
  // (never below 0) and join `target`.
  void Move(const WordTable& words, const TokenSet& extra, Side target, std::int32_t now);
  // `words` and `extra` are the keys of distinct tokens (WordCounts::keys,
  // TokenSet::keys); the verdict's clues refer to them.
  JudgeVerdict Judge(std::span<const WordKey> words, std::span<const WordKey> extra,
                     const JudgeParameters& parameters = {}) const;
  // A judge switched on for the first time over a word database learned
  // before it existed starts from the classic counts: each word's
  // occurrences, at most the side's message count, stand in for the
  // messages it appeared in. Only when this judge has learned nothing
  // itself; a no-op otherwise.
  void StartFrom(const BayesianCore& core);
  // The judge can tell anything once it has learned spam and good mail.
  bool Ready() const { return spamMessages_ > 0 && cleanMessages_ > 0; }

  // f of a token seen in s spam and c good messages of NS and NC.
  static double TokenProbability(std::int32_t s, std::int32_t c, std::int32_t ns, std::int32_t nc,
                                 const JudgeParameters& parameters);
  // Fisher's indicator of the clues' probabilities (0.5 with none).
  static double Combine(std::span<const double> probabilities);
  // Score 0..100 of an indicator: [0, cutoff] maps onto 0..90 and
  // (cutoff, 1] onto 91..100.
  static std::int32_t ScoreOf(double indicator, double cutoff);

  // --- Companion file -------------------------------------------------------

  // Path of the companion file of a word database.
  static std::string CompanionPath(const std::string& databasePath) {
    return databasePath + ".second";
  }
  void set_path(std::string path) { path_ = std::move(path); }
  // True once the file was read or written (or exists but is unreadable).
  bool onDisk() const { return onDisk_; }
  const std::string& path() const { return path_; }
  // 1 when the file was read (the table and counts are replaced); 0 when the
  // path is empty or the file cannot be read. A file that exists but cannot
  // be read is never overwritten afterwards.
  int Load();
  // Replaces the file whole (masked, written beside, renamed). With
  // `agingDue`, every token not learned for more than ten days first loses
  // one from each count, and goes at 0 and 0. 1 when written, 0 when not
  // (empty path, unreadable file kept, write failed); on failure the table
  // stays as it was.
  int Save(bool agingDue, std::int32_t now);
  // Forgets every token (the message counts stay, as the classic Empty).
  void ClearTokens() { table_.clear(); }

  const WordTable& table() const { return table_; }
  std::int32_t spamMessages() const { return spamMessages_; }
  std::int32_t cleanMessages() const { return cleanMessages_; }

 private:
  // A token that tells something, by its position in the message's keys.
  struct Candidate {
    double distance;  // |f - 0.5|
    double probability;
    std::uint32_t position;
  };
  Platform platform_;
  WordTable table_;
  std::int32_t spamMessages_ = 0;
  std::int32_t cleanMessages_ = 0;
  std::string path_;
  bool unreadable_ = false;
  bool onDisk_ = false;
  // Judge's buffer, kept from one message to the next.
  mutable std::vector<Candidate> kept_;
};

inline double SecondJudge::TokenProbability(std::int32_t s, std::int32_t c, std::int32_t ns,
                                            std::int32_t nc, const JudgeParameters& parameters) {
  // p = (s / ns) / (s / ns + w c / nc) = s nc / (s nc + w c ns), and f over
  // the common denominator: one division per token, which Judge does for
  // every token of a message.
  const double spam = std::max(s, 0);
  const double good = std::max(c, 0);
  const double spam_weight = spam * std::max(nc, 1);
  const double total = spam_weight + parameters.goodWeight * good * std::max(ns, 1);
  const double n = spam + good;
  const double prior = parameters.strength * parameters.unknown;
  const double f = total > 0 ? (prior * total + n * spam_weight) / ((parameters.strength + n) * total)
                             : (prior + n * 0.5) / (parameters.strength + n);
  // A token seen on one side only, with no strength, would be 0 or 1 and
  // decide alone; keep it just inside.
  return std::clamp(f, 1e-6, 1.0 - 1e-6);
}

}  // namespace varnox

#endif  // VARNOX_ENGINE_SECOND_JUDGE_H_
