#include "mail/spam_move.h"

#include "mail/mail_context.h"
#include "platform/code_page.h"

namespace varnox {

bool IsSpamFolderName(std::string_view name) {
  return code_page::EqualsIgnoreCase(name, kSpamFolderName);
}

std::string SpamMoveFailedText(HResult status) {
  return "Failed to move message to Spam Filter Folder HRESULT = " + std::to_string(status);
}

HResult MoveToSpamFolder(MailContext& addin, host::MailItem& mail, std::string_view caption) {
  HResult status = kEPointer;
  if (addin.spamFolder != nullptr) {
    // Marked before the move: afterwards this reference no longer names the
    // message. A failure to mark is no reason to keep spam in the inbox.
    if (addin.settings.MarkReadBeforeMoving() != 0)
      mail.MarkRead();
    status = mail.Move(*addin.spamFolder);
  }
  if (Failed(status))
    addin.platform.ui.ShowMessage(SpamMoveFailedText(status), caption, kMbOk);
  return status;
}

}  // namespace varnox
