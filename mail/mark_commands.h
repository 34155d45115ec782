// Mark Spam and Not Spam: the user's corrections, applied to the messages
// given, one by one, in order. The toolbar gives the explorer's selection;
// `varnox mark-spam` and `varnox not-spam` give the message files named.
//
// Both always teach the filter (the settings LearnFromMarkSpam and
// LearnFromNotSpam are shown in the Settings dialog but not consulted), and
// both save the word database once they have taught anything, so that a
// crash of the host loses no correction. Items that are not mail, and
// messages whose texts cannot be read, are passed over without a word. Every
// store reference obtained is released before the operation returns. Never
// throw. Run on the store's thread.
#ifndef VARNOX_MAIL_MARK_COMMANDS_H_
#define VARNOX_MAIL_MARK_COMMANDS_H_

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/item.h"
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

// What a correction did with the messages it was given. Every item is
// counted once among notMail, notTaught and taught; a taught message (and,
// for Not Spam, any mail) is also counted among moved, stayed or the failed
// moves when a move was due.
struct CorrectionOutcome {
  int items = 0;      // items given (the list's count)
  int notMail = 0;    // passed over: not a mail item, or not to be had
  int notTaught = 0;  // mail the filter was not taught: texts that cannot be
                      // read (and, for Mark Spam, a "X-VNX-LEARN:Spam"
                      // mark); Mark Spam does not move it
  int taught = 0;
  int moved = 0;
  // Not Spam from the spam folder: mail left where it was because no
  // destination was chosen, or the name chosen names no top-level folder.
  int stayed = 0;
  std::vector<HResult> failedMoves;  // each failed move's status, in order
};

// Teaches each mail as spam and moves each one taught to the spam folder,
// marked read first when MarkReadBeforeMoving is set. A failed move shows
// its message (caption "Varnox") and the run goes on. Nothing else is
// shown. Nothing at all for an empty list.
CorrectionOutcome MarkSpam(MailContext& addin, host::ItemList& messages);

// Where good mail goes when NotSpamFolderName is empty: asked anew for each
// mail; the name chosen, or nullopt when the user cancels. Null: nobody is
// asked, and the mail stays.
using AskDestination = std::function<std::optional<std::string>()>;

// The question of the mail client: "Select Outlook Folder", offering the
// mail folders of topFolders; the name chosen, or nullopt on Cancel (the
// dialog stores NotSpamFolderName when "Don't Display this again" is
// ticked).
std::optional<std::string> AskNotSpamFolder(MailContext& addin);

// Teaches each mail as good mail (relearned when it carries a learning
// mark). When `fromSpamFolder` (the messages are being viewed in the spam
// folder), each mail is also moved to the top-level folder named by
// NotSpamFolderName, or, when that is empty, by `ask` (asked before the
// item is looked at); a name that names no folder, or no answer, means that
// mail stays. A failed move shows its message and the run goes on.
// "Learning Complete" (caption "Varnox") closes a run that handled any mail
// item. Nothing at all for an empty list.
CorrectionOutcome NotSpam(MailContext& addin, host::ItemList& messages, bool fromSpamFolder,
                          const AskDestination& ask);

}  // namespace varnox

#endif  // VARNOX_MAIL_MARK_COMMANDS_H_
