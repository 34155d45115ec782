// Moving a message into the add-in's spam folder, shared by the new-mail
// pipeline and Mark Spam.
#ifndef VARNOX_MAIL_SPAM_MOVE_H_
#define VARNOX_MAIL_SPAM_MOVE_H_

#include <string>
#include <string_view>

#include "host/item.h"
#include "platform/hresult.h"

namespace varnox {

struct MailContext;

// The spam folder's name, as made and as recognised (any letter case).
inline constexpr std::string_view kSpamFolderName = "SpamFilter";
// Whether a folder called `name` is the spam folder (the name in any case).
bool IsSpamFolderName(std::string_view name);

// "Failed to move message to Spam Filter Folder HRESULT = " and the status
// as a signed decimal number.
std::string SpamMoveFailedText(HResult status);

// Marks `mail` read when MarkReadBeforeMoving is set, then moves it to
// addin.spamFolder. On failure shows SpamMoveFailedText with `caption` and
// an OK button. Without a spam folder nothing is marked or moved and the
// failure (kEPointer) is shown the same way. Gives the move's status.
HResult MoveToSpamFolder(MailContext& addin, host::MailItem& mail, std::string_view caption);

}  // namespace varnox

#endif  // VARNOX_MAIL_SPAM_MOVE_H_
