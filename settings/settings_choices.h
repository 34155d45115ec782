// The settings the Settings dialog shows as check boxes, as values: what
// they read as when the dialog opens, and what its OK writes. The dialog and
// `varnox settings` both read and write them here.
#ifndef VARNOX_SETTINGS_SETTINGS_CHOICES_H_
#define VARNOX_SETTINGS_SETTINGS_CHOICES_H_

#include <string_view>

#include "settings/settings_store.h"

namespace varnox {

struct SettingsChoices {
  bool markReadBeforeMoving = false;
  bool considerNonEnglishSpam = false;
  bool beepAtSpam = false;
  // NotSpamFolderName empty or absent: Not Spam asks where good mail goes.
  bool askNotSpamFolder = true;
  bool learnFromMarkSpam = false;
  bool learnFromNotSpam = false;
  bool learnFromBlackListed = false;
  bool learnFromWhiteListed = false;
  bool secondJudge = false;
};

// What NotSpamFolderName becomes when askNotSpamFolder is written clear:
// Not Spam then moves good mail to the Inbox without asking.
inline constexpr std::string_view kDefaultNotSpamFolder = "Inbox";

// Reads the nine settings, in the order the dialog shows them; a DWORD is on
// when non-zero. With the settings key missing: every DWORD off, and
// askNotSpamFolder on.
SettingsChoices ReadSettingsChoices(const SettingsStore& settings);

// Writes, in this order and changed or not, BeepAtSpam,
// ConsiderNonEnglishSpam, LearnFromMarkSpam, LearnFromNotSpam,
// MarkReadBeforeMoving, LearnFromBlackListed, LearnFromWhiteListed (1 on,
// 0 off) and NotSpamFolderName (empty when askNotSpamFolder, else
// kDefaultNotSpamFolder); then SecondJudge only when it differs from
// `secondJudgeShown` (a settings key without it stays so). Failures are
// silent, as every registry failure: ReadSettingsChoices tells what took.
void WriteSettingsChoices(SettingsStore& settings, const SettingsChoices& chosen,
                          bool secondJudgeShown);

}  // namespace varnox

#endif  // VARNOX_SETTINGS_SETTINGS_CHOICES_H_
