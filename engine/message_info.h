// The record of one judged message: the new-mail pipeline creates it empty,
// sets `subject`, and hands it to BayesianFilter::Classify, which fills the
// rest.
#ifndef VARNOX_ENGINE_MESSAGE_INFO_H_
#define VARNOX_ENGINE_MESSAGE_INFO_H_

#include <cstdint>
#include <string>

#include "engine/tokenizer.h"

namespace varnox {

struct MessageInfo {
  std::string subject;      // set by the caller before Classify
  std::string verdictText;  // "Spam" or "Clean"
  // " word percent" for each selected word in word order, then "\r\n";
  // empty when no word was selected.
  std::string topWords;
  std::int32_t score = 0;       // 0 to 100
  std::int32_t isSpam = 0;      // 1 spam, 0 clean
  std::int32_t scored = 0;      // 1 once the words were scored
  std::int32_t nonEnglish = 0;  // 1 when the non-English rule decided
  // 1 when the chi-square judge (the setting SecondJudge) decided, 0 when
  // the classic judge or the non-English rule did.
  std::int32_t chiSquare = 0;
  // The message's words with their occurrences, as counted for judging;
  // WordCounts::AddTo makes the word map of them. Kept as counted rather
  // than as a map: nothing on the judging path reads the map, and making it
  // cost a sixth of a Classify.
  WordCounts words;
  // The transport headers, set by the caller when it has them; only the
  // chi-square judge reads them.
  std::string headers;
};

}  // namespace varnox

#endif  // VARNOX_ENGINE_MESSAGE_INFO_H_
