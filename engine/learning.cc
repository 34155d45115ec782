// BayesianCore's learning and correction. Changes stay in memory until the
// next SaveDatabase.
#include "engine/bayesian_core.h"

namespace varnox {

int BayesianCore::LearnWords(const WordTable& messageWords, std::uint32_t learnScore) {
  std::lock_guard<std::recursive_mutex> hold(lock_);
  Side side;
  if (learnScore >= kLearnSpamThreshold)
    side = Side::kSpam;
  else if (learnScore < kSpamThreshold)
    side = Side::kClean;
  else
    return 0;  // between the thresholds: not learned

  if (!messageWords.empty()) {
    const std::int32_t now = Now();
    messageWords.ForEachUnordered([&](std::string_view word, const WordEntry& occurrences) {
      WordEntry& entry = *table().Insert(word, WordEntry{0, 0, 0.5f, 0}).first;
      entry.lastSeen = now;
      if (side == Side::kSpam)
        entry.spamCount = AddCounts(entry.spamCount, occurrences.spamCount);
      else
        entry.cleanCount = AddCounts(entry.cleanCount, occurrences.cleanCount);
    });
  }
  std::int32_t& messages = store_.mutable_messages().of(side);
  messages = AddCounts(messages, 1);
  ProbabilitiesChanged();
  return 1;
}

void BayesianCore::MoveWords(const WordTable& messageWords, Side target) {
  std::lock_guard<std::recursive_mutex> hold(lock_);
  const std::int32_t now = Now();
  const bool to_spam = target == Side::kSpam;
  messageWords.ForEachUnordered([&](std::string_view word, const WordEntry& occurrences) {
    WordEntry& entry = *table().Insert(word, WordEntry{0, 0, 0.5f, 0}).first;
    entry.lastSeen = now;
    std::int32_t& gaining = to_spam ? entry.spamCount : entry.cleanCount;
    std::int32_t& losing = to_spam ? entry.cleanCount : entry.spamCount;
    const std::int32_t count = to_spam ? occurrences.spamCount : occurrences.cleanCount;
    gaining = AddCounts(gaining, count);
    // Never below 0.
    losing = losing > count ? losing - count : 0;
  });
  std::int32_t& gaining_messages = store_.mutable_messages().of(target);
  std::int32_t& losing_messages = store_.mutable_messages().of(OtherSide(target));
  gaining_messages = AddCounts(gaining_messages, 1);
  if (losing_messages > 0)
    --losing_messages;
  ProbabilitiesChanged();
}

int BayesianCore::Retrain(const WordTable& messageWords, Side target) {
  MoveWords(messageWords, target);
  int passes = 0;
  std::vector<SelectedWord> selected;
  for (std::uint32_t round = 0; round < kMaxRetrainPasses; ++round) {
    const auto score = static_cast<std::uint32_t>(ScoreWords(messageWords, &selected));
    const bool agrees =
        target == Side::kSpam ? score > kSpamThreshold : score <= kSpamThreshold / 2;
    if (agrees)
      break;
    ++passes;
    LearnWords(messageWords, target == Side::kSpam ? 100 : 0);
  }
  return passes;
}

}  // namespace varnox
