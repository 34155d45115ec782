// SpamJudge: one way of telling spam from good mail, with what it has learned.
// There are two, side by side: the classic judge (BayesianCore, the fifteen
// most telling words) and the opt-in chi-square judge (ChiSquareJudge, every
// telling token). BayesianFilter runs both through this interface and
// chooses, in one place, which decides and which learn.
//
// A judge reads the tokens it needs of a message (MessageTokens, made once
// for all judges), keeps what it learned in storage of its own (a WordStore
// and its file) and never reaches another judge.
//
// Errors: Decide, Learn and Relearn throw std::bad_alloc when memory runs
// out (BayesianFilter catches it at its entries); Load and Save throw
// nothing, so that one judge's failure leaves the others be.
#ifndef VARNOX_ENGINE_SPAM_JUDGE_H_
#define VARNOX_ENGINE_SPAM_JUDGE_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/message_tokens.h"
#include "engine/word_entry.h"

namespace varnox {

// One token that weighed in a verdict.
struct Clue {
  std::string_view token;  // refers to the message's tokens
  double probability;      // its spam probability, 0..1
};

struct Verdict {
  std::int32_t score = 0;  // 0..100; above 90 exactly when spam
  bool spam = false;
  // The tokens that decided, at most fifteen, in byte-wise order.
  std::vector<Clue> clues;
};

class SpamJudge {
 public:
  virtual ~SpamJudge() = default;

  // The verdict on a message.
  virtual Verdict Decide(MessageTokens& tokens) = 0;
  // Learns the message on `side`. 1 when learned.
  virtual int Learn(MessageTokens& tokens, Side side) = 0;
  // Moves a message learned before on the other side to `side`. The number
  // of extra learning passes made so that the judge agrees (0 to 25).
  virtual int Relearn(MessageTokens& tokens, Side side) = 0;

  // Reads the judge's file, which lives at or beside the word database
  // `wordFilePath` (the setting WordFilePath; empty: no file is read or
  // written). 1 when it was read.
  virtual int Load(const std::string& wordFilePath) = 0;
  // Writes the judge's file whole, first aging the statistics when
  // `agingDue` (`now` is the save's time). 1 when the file holds what is in
  // memory.
  virtual int Save(bool agingDue, std::int32_t now) = 0;
  // Forgets every word; the message counts stay.
  virtual void ClearWords() = 0;
};

}  // namespace varnox

#endif  // VARNOX_ENGINE_SPAM_JUDGE_H_
