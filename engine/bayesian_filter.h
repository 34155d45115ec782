// BayesianFilter: the word-statistics spam filter as the rest of the add-in
// uses it. It judges a message from its subject and body, learns a message as
// spam or clean mail, moves a message learned before to the other side,
// empties the statistics and saves them.
//
// It runs two judges side by side through one interface (spam_judge.h): the
// classic one (BayesianCore) and the opt-in chi-square one
// (ChiSquareJudge). Here, and nowhere else, the setting SecondJudge chooses
// which decides; the chi-square judge learns, and its file is kept, from
// the moment it was first chosen, so that switching back and forth loses
// nothing. A message's tokens are made once for every judge that reads them
// (MessageTokens).
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

#include "engine/aging.h"
#include "engine/bayesian_core.h"
#include "engine/chi_square_judge.h"
#include "engine/message_info.h"
#include "engine/spam_judge.h"
#include "platform/platform.h"
#include "settings/word_table_controls.h"

namespace varnox {

class BayesianFilter : public WordTableControls {
 public:
  // `platform` (its services) must outlive the filter.
  explicit BayesianFilter(const Platform& platform);
  // Saves every judge's file (the aging when due), then the ignore list.
  virtual ~BayesianFilter();
  BayesianFilter(const BayesianFilter&) = delete;
  BayesianFilter& operator=(const BayesianFilter&) = delete;

  // Reads the settings WordFilePath and IgnoreFilePath, removes the
  // temporary copies that killed saves left beside the files, and loads
  // them: the word database (a database file that does not exist is created
  // with the header lines only), the chi-square judge's file beside it, the
  // ignore list. A database that exists but cannot be read whole, or that
  // ends early, and a chi-square judge's file that exists but cannot be read
  // whole or is somebody else's, are reported in a message box ("Bayesian
  // Plugin Error"), once.
  // Always 1.
  int Initialize();
  // Judges `info.subject` and `body` (and `info.headers`, which only the
  // chi-square judge reads); fills `info`. 1 spam, 0 clean. A run of three
  // bytes above 0x7F in the subject or in the body makes the message spam at
  // once (info.nonEnglish = 1, nothing else in `info` written). The setting
  // SecondJudge chooses the judge; until the chi-square judge has learned
  // spam and good mail, the classic one decides.
  int Classify(std::string body, MessageInfo& info);
  // Learns the message on the spam side (asSpam non-zero) or the clean side,
  // for every judge that learns (`headers`, the transport headers, only for
  // the chi-square judge). 1 when learned.
  int Learn(std::string body, std::string subject, int asSpam, std::string_view headers = {});
  // Moves a message learned before to the side `asSpam` names and learns it
  // again until the classic judge agrees. The number of extra passes, 0 to
  // 25. The chi-square judge moves its tokens once.
  int Relearn(std::string body, std::string subject, int asSpam, std::string_view headers = {});
  // Removes every word of every judge (the message counts stay) and saves.
  // The `saved` flag after the save.
  int Empty() override;
  std::size_t WordCount() const override;
  // Saves every judge's file now, as it is: the aging waits for Empty or
  // teardown. The `saved` flag.
  int Save();
  std::int32_t SpamMessages() const { return core_.spamMessages(); }
  std::int32_t CleanMessages() const { return core_.cleanMessages(); }

  BayesianCore& core() { return core_; }
  const BayesianCore& core() const { return core_; }
  ChiSquareJudge& chiSquareJudge() { return chiSquare_; }
  const ChiSquareJudge& chiSquareJudge() const { return chiSquare_; }

  // How the judges use the images of their files (WordStore::ImageUse), set
  // before Initialize: mapped (the default, for a process that judges many
  // messages), read a lookup at a time (one that judges one message and
  // ends), or not at all.
  void set_imageUse(WordStore::ImageUse use) {
    core_.set_imageUse(use);
    chiSquare_.set_imageUse(use);
  }

  // Which judge decides: the setting SecondJudge, unless overridden (the
  // evaluation compares both on the same filter settings).
  enum class JudgeChoice { kSetting, kClassic, kChiSquare };
  void set_judgeChoice(JudgeChoice choice) { judgeChoice_ = choice; }

  // Three consecutive bytes above 0x7F.
  static bool HasNonEnglishRun(std::string_view text);

 private:
  // --- The choice of judges: nowhere else ----------------------------------
  bool ChiSquareChosen() const;
  // Chosen over a database learned before, with nothing learned itself, the
  // chi-square judge starts from the classic counts (ChiSquareJudge::
  // StartFrom), so that it is useful at once and nothing learned is lost.
  void StartChiSquareFromClassic();
  // The chi-square judge learns once it was chosen (its file exists, or it
  // is chosen now): a user who never chose it pays nothing for it. Not
  // chosen, it learns only for a file it can replace.
  bool ChiSquareLearns();
  // It decides when chosen, once it has learned spam and good mail.
  bool ChiSquareDecides();
  // Its file is written beside the word database, and only with it: when
  // the judge is chosen, its file exists, or it holds statistics (learned
  // while it was chosen). A filter whose word database has no path (a
  // command that only reads) writes neither.
  bool ChiSquareSaves() const;
  // Runs `step` (a function of SpamJudge&) on the chi-square judge when
  // `withChiSquare`, then on the classic judge, and gives the classic
  // judge's answer: the word database is the record of what the filter has
  // learned.
  template <class Step>
  int RunJudges(bool withChiSquare, Step&& step);

  // Every judge's save; only Empty and teardown pass kWhenDue. The aging
  // clock is the word database's.
  int SaveJudges(Aging aging);
  // Shows the message of an unreadable or cut-short database, and of a file
  // of the chi-square judge that cannot be read, if any.
  void WarnIfFilesUnusable() const;

  Platform platform_;
  BayesianCore core_;
  ChiSquareJudge chiSquare_;
  JudgeChoice judgeChoice_ = JudgeChoice::kSetting;
};

}  // namespace varnox

#endif  // VARNOX_ENGINE_BAYESIAN_FILTER_H_
