// ChiSquareJudge: the opt-in judge beside the classic one. It keeps a table
// of its own (in how many spam and good messages each token appeared) and
// judges every token of a message that tells anything, not only fifteen of
// them:
//
//   per token   p = (s / NS) / (s / NS + w c / NC), from the token's spam
//               and good message counts s, c and the message counts NS, NC;
//               w > 1 weighs good mail more, against false positives;
//               f = (strength * unknown + n * p) / (strength + n), n = s + c,
//               so a rarely seen token stays near `unknown`.
//   message     the tokens seen in at least minMessages messages with
//               |f - 0.5| >= minDeviation (at most maxClues, the farthest
//               first) are combined by Fisher's method: S and H are the
//               chi-square probabilities of -2 sum ln(1 - f) and -2 sum ln f
//               with 2k degrees of freedom; the indicator is (1 + S - H) / 2,
//               spam above `cutoff`, which lies well above 0.5: evidence
//               that is balanced (S and H alike) or weak (a few rare tokens)
//               is not spam.
//   score       how sure the judge is (ScoreOf): 50 without evidence,
//               91..100 for spam by the order of magnitude of the doubt
//               1 - indicator, so that a stricter line than 90 trades missed
//               spam for fewer false positives step by step.
//
// Tokens: the tokenizer's words of the subject and the body, and the mail
// tokens of the headers, the subject and the links (mail_tokens.h); each
// counts once, however often it occurs. The two never share a token, as
// every mail token holds ":".
//
// The table lives in its own file beside the word database (words.db.second,
// format: TokenFileFormat), which the classic judge never reads. Aging is
// the word database's: the filter decides when it is due.
//
// Threads: every operation holds the judge's own lock.
#ifndef VARNOX_ENGINE_CHI_SQUARE_JUDGE_H_
#define VARNOX_ENGINE_CHI_SQUARE_JUDGE_H_

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/spam_judge.h"
#include "engine/token_file_format.h"
#include "engine/word_store.h"
#include "engine/word_table.h"
#include "platform/platform.h"

namespace varnox {

// Fixed in code; chosen by validation inside a training set that mail
// unlike what was learned is judged against (bench/judge_tune.cc,
// docs/eval.md), with two rules that hold for any parameters: no evidence
// (0.5) and the evidence of a handful of tokens each seen once are never
// spam.
struct ChiSquareParameters {
  double goodWeight = 1.0;
  double strength = 2.0;
  double unknown = 0.5;
  double minDeviation = 0.1;
  double cutoff = 0.799;
  // Every token far enough from 0.5 counts.
  std::size_t maxClues = 100000;
  // A token seen in fewer messages than this in all is no clue.
  std::int32_t minMessages = 1;
  // The spam score's scale: a doubt (1 - indicator) just under the
  // cutoff's scores 91, one of `sureDoubt` or less 100, logarithmically in
  // between.
  double sureDoubt = 1e-6;
};

struct ChiSquareVerdict {
  double indicator = 0.5;  // Fisher's combined indicator, 0..1
  Verdict verdict;         // at most 15 clues, the farthest
};

class ChiSquareJudge final : public SpamJudge {
 public:
  static constexpr std::size_t kTopWords = 15;

  // `platform` (files, clock) must outlive the judge.
  explicit ChiSquareJudge(const Platform& platform) : platform_(platform) {}

  // --- As a judge -------------------------------------------------------------

  Verdict Decide(MessageTokens& tokens) override;
  int Learn(MessageTokens& tokens, Side side) override;
  // The message's tokens leave the other side (never below 0) and join
  // `side`, once: 0 extra passes.
  int Relearn(MessageTokens& tokens, Side side) override;
  // Removes the copies that killed saves left beside the file, then reads
  // it. A file that exists but cannot be read whole, or is not of the
  // format, is never overwritten afterwards.
  int Load(const std::string& wordFilePath) override;
  // When `agingDue`, every token not learned for more than ten days first
  // loses one from each count, and goes at 0 and 0. 1 when written, 0 when
  // not (no path, unreadable file kept, write failed); on failure the table
  // stays as it was.
  int Save(bool agingDue, std::int32_t now) override;
  void ClearWords() override;

  // Path of the judge's file beside a word database; none without one.
  static std::string FilePath(const std::string& wordFilePath) {
    return wordFilePath.empty() ? std::string() : wordFilePath + ".second";
  }
  // True once the file was found (read or not) or written.
  bool onDisk() const;
  // The file exists but was not read whole, or is not of the format: it is
  // never replaced, so nothing learned here reaches it.
  bool unreadable() const;
  // The judge can tell anything once it has learned spam and good mail.
  bool Ready() const;
  // A judge switched on for the first time over a word database learned
  // before it existed starts from the classic counts (`classic`'s table and
  // messages): each word's occurrences, at most the side's message count,
  // stand in for the messages it appeared in. Only when this judge has
  // learned nothing itself; a no-op otherwise, which reads nothing.
  void StartFrom(const WordStore& classic);

  // --- The steps, for tests and tuning --------------------------------------

  // `words` and `mail` are the keys of distinct tokens (WordCounts::keys,
  // TokenSet::keys); the verdict's clues refer to them.
  ChiSquareVerdict Weigh(std::span<const WordKey> words, std::span<const WordKey> mail,
                         const ChiSquareParameters& parameters = {}) const;
  void LearnTokens(std::span<const WordKey> words, std::span<const WordKey> mail, Side side,
                   std::int32_t now);
  void MoveTokens(std::span<const WordKey> words, std::span<const WordKey> mail, Side target,
                  std::int32_t now);
  // f of a token seen in s spam and c good messages of NS and NC.
  static double TokenProbability(std::int32_t s, std::int32_t c, std::int32_t ns, std::int32_t nc,
                                 const ChiSquareParameters& parameters);
  // Fisher's indicator of the clues' probabilities (0.5 with none).
  static double Combine(std::span<const double> probabilities);
  // Score 0..100 of an indicator, which says how sure the judge is: 50 for
  // no evidence either way (0.5); 0..50 below that; 50..90 from 0.5 to the
  // cutoff; above the cutoff, 91..100 by the logarithm of the doubt
  // 1 - indicator, 100 only once the doubt is at most `sureDoubt`.
  static std::int32_t ScoreOf(double indicator, const ChiSquareParameters& parameters);

  const std::string& path() const { return store_.path(); }
  // How a matching image of the judge's file is used (WordStore::ImageUse).
  void set_imageUse(WordStore::ImageUse use) { store_.set_imageUse(use); }
  // The tokens' table; the reference lasts as long as the judge, its
  // contents until the next change.
  const WordTable& table() const { return store_.table(); }
  std::int32_t spamMessages() const;
  std::int32_t cleanMessages() const;

 private:
  // A token that tells something, by its position in the message's keys.
  struct Candidate {
    double distance;  // |f - 0.5|
    double probability;
    std::uint32_t position;
  };

  Platform platform_;
  mutable std::recursive_mutex lock_;
  TokenFileFormat format_;
  WordStore store_{platform_, format_};
  // Weigh's buffers, kept from one message to the next.
  mutable std::vector<Candidate> kept_;
  mutable std::vector<double> probabilities_;
};

inline double ChiSquareJudge::TokenProbability(std::int32_t s, std::int32_t c, std::int32_t ns,
                                               std::int32_t nc,
                                               const ChiSquareParameters& parameters) {
  // p = (s / ns) / (s / ns + w c / nc) = s nc / (s nc + w c ns), and f over
  // the common denominator: one division per token, which Weigh does for
  // every token of a message.
  const double spam = std::max(s, 0);
  const double good = std::max(c, 0);
  const double spam_weight = spam * std::max(nc, 1);
  const double total = spam_weight + parameters.goodWeight * good * std::max(ns, 1);
  const double n = spam + good;
  const double prior = parameters.strength * parameters.unknown;
  const double f = total > 0
                       ? (prior * total + n * spam_weight) / ((parameters.strength + n) * total)
                       : (prior + n * 0.5) / (parameters.strength + n);
  // A token seen on one side only, with no strength, would be 0 or 1 and
  // decide alone; keep it just inside.
  return std::clamp(f, 1e-6, 1.0 - 1e-6);
}

}  // namespace varnox

#endif  // VARNOX_ENGINE_CHI_SQUARE_JUDGE_H_
