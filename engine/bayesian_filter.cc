#include "engine/bayesian_filter.h"

#include <cstring>
#include <new>
#include <vector>

#include "settings/settings_store.h"

namespace varnox {
namespace {

// " %s %d" of a word with its probability as a percentage, computed in
// single precision like the classic score, clamped to 0..100.
void AppendTopWord(std::string_view word, float probability, std::string* text) {
  float percent = probability * 100.0f;
  if (!(percent >= 0.0f))
    percent = 0.0f;
  if (percent > 100.0f)
    percent = 100.0f;
  text->push_back(' ');
  text->append(word);
  text->push_back(' ');
  text->append(std::to_string(static_cast<int>(percent)));
}

// The top-words text: each clue with its percentage, then "\r\n".
std::string FormatTopWords(const std::vector<Clue>& clues) {
  std::string text;
  if (clues.empty())
    return text;
  for (const Clue& clue : clues)
    AppendTopWord(clue.token, static_cast<float>(clue.probability), &text);
  text.append("\r\n");
  return text;
}

Side SideOf(int asSpam) {
  return asSpam != 0 ? Side::kSpam : Side::kClean;
}

}  // namespace

template <class Step>
int BayesianFilter::RunJudges(bool withChiSquare, Step&& step) {
  if (withChiSquare)
    step(static_cast<SpamJudge&>(chiSquare_));
  return step(static_cast<SpamJudge&>(core_));
}

BayesianFilter::BayesianFilter(const Platform& platform)
    : platform_(platform), core_(platform_), chiSquare_(platform_) {}

BayesianFilter::~BayesianFilter() {
  try {
    SaveJudges(Aging::kWhenDue);
    core_.SaveIgnoreList();
  } catch (...) {
    // Teardown must not throw; what was not written is lost.
  }
}

int BayesianFilter::Initialize() {
  try {
    core_.set_lastAgingTime(core_.Now());
    const SettingsStore settings(platform_.registry);
    std::string path;
    if (settings.WordFilePath(&path)) {
      // Each judge reads its own file; one that fails leaves the others be.
      RunJudges(true, [&](SpamJudge& judge) { return judge.Load(path); });
    }
    std::string ignore_path;
    if (settings.IgnoreFilePath(&ignore_path)) {
      platform_.files.RemoveAbandonedCopies(ignore_path);
      core_.LoadIgnoreList(ignore_path);
    }
  } catch (const std::bad_alloc&) {
    // Starts with what could be loaded.
  }
  WarnIfFilesUnusable();
  return 1;
}

void BayesianFilter::WarnIfFilesUnusable() const {
  constexpr std::uint32_t kFlags = kMbOk | kMbIconWarning | kMbSetForeground | kMbTopmost;
  constexpr std::string_view kCaption = "Bayesian Plugin Error";
  const auto warn = [&](std::string_view what, const std::string& path, std::string_view rest) {
    std::string text;
    try {
      text = std::string(what) + " (" + path + "). " + std::string(rest);
    } catch (const std::bad_alloc&) {
      platform_.ui.ShowMessage(what, kCaption, kFlags);
      return;
    }
    platform_.ui.ShowMessage(text, kCaption, kFlags);
  };
  if (core_.databaseUnreadable()) {
    warn("Cannot read database", core_.databasePath(),
         "Mail is judged without what the filter has learned, and the file is left as it is.");
  } else if (core_.databaseCutShort()) {
    warn(core_.databaseForeign() ? "Not a word database" : "Database cut short",
         core_.databasePath(), "The filter uses the words it could read; the rest may be lost.");
  }
  // Said once, at the start, whether the judge is chosen or not: the file
  // holds what the user taught it.
  if (chiSquare_.unreadable()) {
    warn("Cannot read the second judge's file", chiSquare_.path(),
         "The file is left as it is, and what the second judge learns is not saved.");
  }
}

bool BayesianFilter::HasNonEnglishRun(std::string_view text) {
  int run = 0;
  std::size_t i = 0;
  // Mail is mostly ASCII: skip 8 bytes at a time while none is above 0x7F.
  while (true) {
    if (run == 0) {
      while (i + 8 <= text.size()) {
        std::uint64_t bytes;
        std::memcpy(&bytes, text.data() + i, sizeof bytes);
        if ((bytes & 0x8080808080808080ull) != 0)
          break;
        i += 8;
      }
    }
    if (i == text.size())
      return false;
    if (static_cast<unsigned char>(text[i++]) > 0x7F) {
      if (run >= 2)
        return true;
      ++run;
    } else {
      run = 0;
    }
  }
}

bool BayesianFilter::ChiSquareChosen() const {
  if (judgeChoice_ != JudgeChoice::kSetting)
    return judgeChoice_ == JudgeChoice::kChiSquare;
  return SettingsStore(platform_.registry).SecondJudge() != 0;
}

void BayesianFilter::StartChiSquareFromClassic() {
  std::lock_guard<std::recursive_mutex> hold(core_.lock());
  chiSquare_.StartFrom(core_.store());
}

bool BayesianFilter::ChiSquareLearns() {
  // Not chosen, it only keeps its file current: one it cannot replace (not
  // read whole, or somebody else's) is left alone, and nothing is copied or
  // learned for it.
  if (!ChiSquareChosen() && (!chiSquare_.onDisk() || chiSquare_.unreadable()))
    return false;
  StartChiSquareFromClassic();
  return true;
}

bool BayesianFilter::ChiSquareDecides() {
  if (!ChiSquareChosen())
    return false;
  StartChiSquareFromClassic();
  return chiSquare_.Ready();
}

bool BayesianFilter::ChiSquareSaves() const {
  if (core_.databasePath().empty())
    return false;
  // Until the chi-square judge is first chosen, nothing new appears on disk.
  return chiSquare_.onDisk() || chiSquare_.Ready() || ChiSquareChosen();
}

int BayesianFilter::Classify(std::string body, MessageInfo& info) {
  if (HasNonEnglishRun(info.subject) || HasNonEnglishRun(body)) {
    info.nonEnglish = 1;
    return 1;
  }
  info.nonEnglish = 0;
  try {
    const bool chi_square = ChiSquareDecides();
    SpamJudge& judge = chi_square ? static_cast<SpamJudge&>(chiSquare_) : core_;
    MessageTokens tokens(info.subject, body, info.headers, core_.tokenizer());
    const Verdict verdict = judge.Decide(tokens);
    info.score = verdict.score;
    info.isSpam = verdict.spam ? 1 : 0;
    info.scored = 1;
    info.chiSquare = chi_square ? 1 : 0;
    info.verdictText = verdict.spam ? "Spam" : "Clean";
    info.topWords = FormatTopWords(verdict.clues);
    // The counted words become the record's, once the top words made from
    // views of them are done.
    info.words = tokens.TakeWords();
    return info.isSpam;
  } catch (const std::bad_alloc&) {
    return 0;
  }
}

int BayesianFilter::Learn(std::string body, std::string subject, int asSpam,
                          std::string_view headers) {
  try {
    MessageTokens tokens(subject, body, headers, core_.tokenizer());
    return RunJudges(ChiSquareLearns(),
                     [&](SpamJudge& judge) { return judge.Learn(tokens, SideOf(asSpam)); });
  } catch (const std::bad_alloc&) {
    return 0;
  }
}

int BayesianFilter::Relearn(std::string body, std::string subject, int asSpam,
                            std::string_view headers) {
  try {
    MessageTokens tokens(subject, body, headers, core_.tokenizer());
    if (tokens.Words().empty())
      return 0;
    return RunJudges(ChiSquareLearns(),
                     [&](SpamJudge& judge) { return judge.Relearn(tokens, SideOf(asSpam)); });
  } catch (const std::bad_alloc&) {
    return 0;
  }
}

int BayesianFilter::SaveJudges(Aging aging) {
  const std::int32_t now = core_.Now();
  const bool aging_due = aging == Aging::kWhenDue && aging::Due(now, core_.lastAgingTime());
  return RunJudges(ChiSquareSaves(), [&](SpamJudge& judge) { return judge.Save(aging_due, now); });
}

int BayesianFilter::Empty() {
  RunJudges(true, [](SpamJudge& judge) {
    judge.ClearWords();
    return 0;
  });
  return SaveJudges(Aging::kWhenDue);
}

std::size_t BayesianFilter::WordCount() const {
  return core_.wordCount();
}

int BayesianFilter::Save() {
  return SaveJudges(Aging::kNever);
}

}  // namespace varnox
