// BayesianFilter: the word-statistics spam filter as the rest of the add-in
// uses it. It judges a message from its subject and body, learns a message as
// spam or clean mail, moves a message learned before to the other side,
// empties the statistics and saves them.
//
// Calling order: construct, Initialize once, then anything, then destroy.
// Before Initialize the filter works on an empty table and saves nowhere.
// Texts are narrow, in code page 1252. Wherever a subject and a body are
// judged or learned together, the text is the subject, "\n\n", the body.
//
// No exception leaves these operations: when memory runs out they give their
// "nothing done" result (0; Classify: clean).
#ifndef VARNOX_ENGINE_BAYESIAN_FILTER_H_
#define VARNOX_ENGINE_BAYESIAN_FILTER_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/bayesian_core.h"
#include "engine/message_info.h"
#include "engine/second_judge.h"
#include "platform/platform.h"
#include "settings/word_table_controls.h"

namespace varnox {

class BayesianFilter : public WordTableControls {
 public:
  // `platform` (its services) must outlive the filter.
  explicit BayesianFilter(const Platform& platform);
  // Saves the word database, then the ignore list.
  virtual ~BayesianFilter();
  BayesianFilter(const BayesianFilter&) = delete;
  BayesianFilter& operator=(const BayesianFilter&) = delete;

  // Reads the settings WordFilePath and IgnoreFilePath, removes the
  // temporary copies that killed saves left beside both files, and loads
  // them; a database file that does not exist is created with the header
  // lines only. A database that exists but cannot be read whole, or that
  // ends early, is reported in a message box ("Bayesian Plugin Error").
  // Always 1.
  int Initialize();
  // Judges `info.subject` and `body` (and `info.headers`, which only the
  // second judge reads); fills `info`. 1 spam, 0 clean. A run of three bytes
  // above 0x7F in the subject or in the body makes the message spam at once
  // (info.nonEnglish = 1, nothing else in `info` written). The setting
  // SecondJudge chooses the judge; until either judge has learned spam and
  // good mail, the classic one decides.
  int Classify(std::string body, MessageInfo& info);
  // Learns the message on the spam side (asSpam non-zero) or the clean side,
  // for both judges (`headers`, the transport headers, only for the second).
  // 1 when learned.
  int Learn(std::string body, std::string subject, int asSpam, std::string_view headers = {});
  // Moves a message learned before to the side `asSpam` names and learns it
  // again until the filter agrees. The number of extra passes, 0 to 25. The
  // second judge moves its tokens once.
  int Relearn(std::string body, std::string subject, int asSpam, std::string_view headers = {});
  // Removes every word (the message counts stay) and saves. The `saved` flag
  // after the save.
  int Empty() override;
  std::size_t WordCount() const override;
  // Saves the word database (and the second judge's companion file) now, as
  // it is: the aging waits for Empty or teardown. The `saved` flag.
  int Save();
  std::int32_t SpamMessages() const { return core_.spamMessages(); }
  std::int32_t CleanMessages() const { return core_.cleanMessages(); }

  BayesianCore& core() { return core_; }
  const BayesianCore& core() const { return core_; }
  SecondJudge& secondJudge() { return judge_; }
  const SecondJudge& secondJudge() const { return judge_; }

  // Which judge decides: the setting SecondJudge, unless overridden (the
  // evaluation compares both on the same filter settings).
  enum class JudgeChoice { kSetting, kClassic, kSecond };
  void set_judgeChoice(JudgeChoice choice) { judgeChoice_ = choice; }

  // Three consecutive bytes above 0x7F.
  static bool HasNonEnglishRun(std::string_view text);

 private:
  bool SecondJudgeChosen() const;
  // The second judge learns once it was chosen (its file exists, or the
  // setting is on): a user who never chose it pays nothing for it. Chosen
  // over a database learned before, it starts from the classic counts.
  bool SecondJudgeLearns();
  bool SecondJudgeDecides();
  int ClassifyWithSecondJudge(const std::string& body, MessageInfo& info);
  // The companion file first: the core's save moves the aging clock on. It
  // ages with the word database, so only Empty and teardown pass kWhenDue.
  void SaveCompanion(Aging aging);
  // Shows the message of an unreadable or cut-short database, if any.
  void WarnIfDatabaseUnusable() const;

  Platform platform_;
  BayesianCore core_;
  SecondJudge judge_;
  JudgeChoice judgeChoice_ = JudgeChoice::kSetting;
};

}  // namespace varnox

#endif  // VARNOX_ENGINE_BAYESIAN_FILTER_H_
