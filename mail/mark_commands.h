// Mark Spam and Not Spam: the user's corrections, applied to the messages
// selected in the active explorer, one by one.
//
// Both always teach the filter (the settings LearnFromMarkSpam and
// LearnFromNotSpam are shown in the Settings dialog but not consulted), and
// both save the word database once they have taught anything, so that a
// crash of the host loses no correction. Items that are not mail, and
// messages whose texts cannot be read, are passed over without a word. Every
// host reference obtained is released before the command returns. Never
// throw. Run on the host's user-interface thread.
#ifndef VARNOX_MAIL_MARK_COMMANDS_H_
#define VARNOX_MAIL_MARK_COMMANDS_H_

#include <string>
#include <string_view>

#include "platform/hresult.h"

namespace varnox {

struct MailContext;

inline constexpr std::string_view kLearningComplete = "Learning Complete";
// Caption of Mark Spam's failure message and of Not Spam's closing message.
inline constexpr std::string_view kMarkCommandCaption = "Varnox";
// Caption of Not Spam's failure message.
inline constexpr std::string_view kNotSpamMoveFailedCaption = "Spam Filter";

// "Failed to move message HRESULT = " and the status as a signed decimal.
std::string NotSpamMoveFailedText(HResult status);

// Teaches each selected mail as spam (a message marked "X-VNX-LEARN:Spam",
// or without readable headers, body or subject, is neither taught nor
// moved) and moves each one taught to the spam folder, marked read first
// when MarkReadBeforeMoving is set. A failed move shows its message
// (caption "Varnox") and the run goes on. Nothing else is shown.
void OnMarkSpam(MailContext& addin);

// Teaches each selected mail as good mail (relearned when it carries a
// learning mark). When the explorer shows the folder named "SpamFilter"
// (any case), each mail is also moved to the top-level folder named by
// NotSpamFolderName, or, when that is empty, to the one the user picks in
// "Select Outlook Folder" (asked for each mail until the user ticks "Don't
// Display this again"); a name that names no folder, or Cancel, means that
// mail stays. A failed move shows its message and the run goes on.
// "Learning Complete" closes a run that handled any mail item.
void OnNotSpam(MailContext& addin);

}  // namespace varnox

#endif  // VARNOX_MAIL_MARK_COMMANDS_H_
