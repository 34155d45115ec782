#include "engine/bayesian_filter.h"

#include <cstring>
#include <new>
#include <vector>

#include "settings/settings_store.h"

namespace varnox {
namespace {

std::string JoinText(const std::string& subject, const std::string& body) {
  std::string text;
  text.reserve(subject.size() + 2 + body.size());
  text.append(subject);
  text.append("\n\n");
  text.append(body);
  return text;
}

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

// The top-words text: each selected word with its percentage, then "\r\n".
std::string FormatTopWords(const std::vector<SelectedWord>& selected) {
  std::string text;
  if (selected.empty())
    return text;
  for (const SelectedWord& word : selected)
    AppendTopWord(word.word, word.entry.probability, &text);
  text.append("\r\n");
  return text;
}

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

// Writes a judge's verdict into the record; the counted words become the
// record's words. `counts` is taken by reference so that it moves only
// after `topWords`, which was made from views of its words, is done.
void RecordVerdict(MessageInfo& info, std::int32_t score, bool spam, std::string topWords,
                   WordCounts&& counts) {
  info.score = score;
  info.isSpam = spam ? 1 : 0;
  info.scored = 1;
  info.verdictText = spam ? "Spam" : "Clean";
  info.topWords = std::move(topWords);
  info.words = std::move(counts);
}

}  // namespace

BayesianFilter::BayesianFilter(const Platform& platform)
    : platform_(platform), core_(platform_), judge_(platform_) {}

BayesianFilter::~BayesianFilter() {
  try {
    SaveCompanion(Aging::kWhenDue);
    core_.SaveDatabase();
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
      // Each path is given to the core only where a failure can no longer
      // leave it set beside a file that was not read.
      platform_.files.RemoveAbandonedCopies(path);
      core_.set_databasePath(path);
      if (core_.LoadDatabase() == 0 && core_.CreateDatabaseFile() == 1)
        core_.LoadDatabase();
      judge_.set_path(SecondJudge::CompanionPath(path));
      judge_.Load();  // a missing file is made by the first save
    }
    std::string ignore_path;
    if (settings.IgnoreFilePath(&ignore_path)) {
      platform_.files.RemoveAbandonedCopies(ignore_path);
      core_.LoadIgnoreList(ignore_path);
    }
  } catch (const std::bad_alloc&) {
    // Starts with what could be loaded.
  }
  WarnIfDatabaseUnusable();
  return 1;
}

void BayesianFilter::WarnIfDatabaseUnusable() const {
  if (!core_.databaseUnreadable() && !core_.databaseCutShort())
    return;
  constexpr std::uint32_t kFlags = kMbOk | kMbIconWarning | kMbSetForeground | kMbTopmost;
  constexpr std::string_view kCaption = "Bayesian Plugin Error";
  const bool unreadable = core_.databaseUnreadable();
  const std::string_view what = unreadable ? "Cannot read database" : "Database cut short";
  std::string text;
  try {
    text = std::string(what) + " (" + core_.databasePath() + "). " +
           (unreadable ? "Mail is judged without what the filter has learned, and the file is "
                         "left as it is."
                       : "The filter uses the words it could read; the rest may be lost.");
  } catch (const std::bad_alloc&) {
    platform_.ui.ShowMessage(what, kCaption, kFlags);
    return;
  }
  platform_.ui.ShowMessage(text, kCaption, kFlags);
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

bool BayesianFilter::SecondJudgeChosen() const {
  if (judgeChoice_ != JudgeChoice::kSetting)
    return judgeChoice_ == JudgeChoice::kSecond;
  return SettingsStore(platform_.registry).SecondJudge() != 0;
}

bool BayesianFilter::SecondJudgeLearns() {
  if (!judge_.onDisk() && !SecondJudgeChosen())
    return false;
  std::lock_guard<std::recursive_mutex> hold(core_.lock());
  judge_.StartFrom(core_);
  return true;
}

bool BayesianFilter::SecondJudgeDecides() {
  if (!SecondJudgeChosen())
    return false;
  std::lock_guard<std::recursive_mutex> hold(core_.lock());
  judge_.StartFrom(core_);
  return judge_.Ready();
}

int BayesianFilter::ClassifyWithSecondJudge(const std::string& body, MessageInfo& info) {
  // Judged from the counted words' keys, as the classic judge does.
  WordCounts counts = core_.CountWords(JoinText(info.subject, body));
  TokenSet extra;
  SecondJudge::ExtraTokens(info.headers, info.subject, body, &extra);
  JudgeVerdict verdict;
  {
    std::lock_guard<std::recursive_mutex> hold(core_.lock());
    verdict = judge_.Judge(counts.keys(), extra.keys());
  }
  RecordVerdict(info, verdict.score, verdict.spam, FormatTopWords(verdict.top), std::move(counts));
  return info.isSpam;
}

int BayesianFilter::Classify(std::string body, MessageInfo& info) {
  if (HasNonEnglishRun(info.subject) || HasNonEnglishRun(body)) {
    info.nonEnglish = 1;
    return 1;
  }
  info.nonEnglish = 0;
  try {
    if (SecondJudgeDecides())
      return ClassifyWithSecondJudge(body, info);
    // Judged from the counted words themselves, which then become the
    // record's.
    WordCounts counts = core_.CountWords(JoinText(info.subject, body));
    std::vector<SelectedWord> selected;
    std::int32_t score = 0;
    if (!counts.empty())
      score = core_.ScoreWords(counts, &selected);
    const bool spam = static_cast<std::uint32_t>(score) > BayesianCore::kSpamThreshold;
    RecordVerdict(info, score, spam, FormatTopWords(selected), std::move(counts));
    return info.isSpam;
  } catch (const std::bad_alloc&) {
    return 0;
  }
}

int BayesianFilter::Learn(std::string body, std::string subject, int asSpam,
                          std::string_view headers) {
  try {
    WordTable words;
    core_.Tokenize(JoinText(subject, body), words);
    if (SecondJudgeLearns()) {
      TokenSet extra;
      SecondJudge::ExtraTokens(headers, subject, body, &extra);
      std::lock_guard<std::recursive_mutex> hold(core_.lock());
      judge_.Learn(words, extra, SideOf(asSpam), core_.Now());
    }
    return core_.LearnWords(words, asSpam != 0 ? 100 : 0);
  } catch (const std::bad_alloc&) {
    return 0;
  }
}

int BayesianFilter::Relearn(std::string body, std::string subject, int asSpam,
                            std::string_view headers) {
  try {
    WordTable words;
    if (core_.Tokenize(JoinText(subject, body), words) == 0)
      return 0;
    if (SecondJudgeLearns()) {
      TokenSet extra;
      SecondJudge::ExtraTokens(headers, subject, body, &extra);
      std::lock_guard<std::recursive_mutex> hold(core_.lock());
      judge_.Move(words, extra, SideOf(asSpam), core_.Now());
    }
    return core_.Retrain(words, SideOf(asSpam));
  } catch (const std::bad_alloc&) {
    return 0;
  }
}

void BayesianFilter::SaveCompanion(Aging aging) {
  // Until the second judge is first chosen, nothing new appears on disk.
  if (!judge_.onDisk() && !judge_.Ready() && !SecondJudgeChosen())
    return;
  const std::int32_t now = core_.Now();
  const bool aging_due = aging == Aging::kWhenDue && aging::Due(now, core_.lastAgingTime());
  std::lock_guard<std::recursive_mutex> hold(core_.lock());
  judge_.Save(aging_due, now);
}

int BayesianFilter::Empty() {
  core_.ClearWords();
  judge_.ClearTokens();
  SaveCompanion(Aging::kWhenDue);
  return core_.SaveDatabase();
}

std::size_t BayesianFilter::WordCount() const {
  return core_.wordCount();
}

int BayesianFilter::Save() {
  SaveCompanion(Aging::kNever);
  return core_.SaveDatabase(Aging::kNever);
}

}  // namespace varnox
