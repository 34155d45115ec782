#include "settings/settings_choices.h"

#include <string>

namespace varnox {
namespace {

std::uint32_t AsDword(bool on) {
  return on ? 1 : 0;
}

}  // namespace

SettingsChoices ReadSettingsChoices(const SettingsStore& settings) {
  SettingsChoices choices;
  choices.markReadBeforeMoving = settings.MarkReadBeforeMoving() != 0;
  choices.considerNonEnglishSpam = settings.ConsiderNonEnglishSpam() != 0;
  choices.beepAtSpam = settings.BeepAtSpam() != 0;
  std::string folder;
  settings.NotSpamFolderName(&folder);
  choices.askNotSpamFolder = folder.empty();
  choices.learnFromMarkSpam = settings.LearnFromMarkSpam() != 0;
  choices.learnFromNotSpam = settings.LearnFromNotSpam() != 0;
  choices.learnFromBlackListed = settings.LearnFromBlackListed() != 0;
  choices.learnFromWhiteListed = settings.LearnFromWhiteListed() != 0;
  choices.secondJudge = settings.SecondJudge() != 0;
  return choices;
}

void WriteSettingsChoices(SettingsStore& settings, const SettingsChoices& chosen,
                          bool secondJudgeShown) {
  settings.SetBeepAtSpam(AsDword(chosen.beepAtSpam));
  settings.SetConsiderNonEnglishSpam(AsDword(chosen.considerNonEnglishSpam));
  settings.SetLearnFromMarkSpam(AsDword(chosen.learnFromMarkSpam));
  settings.SetLearnFromNotSpam(AsDword(chosen.learnFromNotSpam));
  settings.SetMarkReadBeforeMoving(AsDword(chosen.markReadBeforeMoving));
  settings.SetLearnFromBlackListed(AsDword(chosen.learnFromBlackListed));
  settings.SetLearnFromWhiteListed(AsDword(chosen.learnFromWhiteListed));
  settings.SetNotSpamFolderName(chosen.askNotSpamFolder ? std::string_view()
                                                        : kDefaultNotSpamFolder);
  if (chosen.secondJudge != secondJudgeShown)
    settings.SetSecondJudge(AsDword(chosen.secondJudge));
}

}  // namespace varnox
