#include "mail/mark_commands.h"

#include <exception>
#include <memory>
#include <string>
#include <utility>

#include "mail/folder_pickers.h"
#include "mail/mail_context.h"
#include "mail/message_learning.h"
#include "mail/spam_move.h"
#include "mail/top_folders.h"
#include "platform/user_interface.h"

namespace varnox {
namespace {

constexpr int kSpam = 1;
constexpr int kGoodMail = 0;

// Item `index` of the list as a mail item; null for anything else.
std::unique_ptr<host::MailItem> MailAt(host::ItemList& messages, std::int32_t index) {
  std::unique_ptr<host::Item> item;
  std::unique_ptr<host::MailItem> mail;
  if (Failed(messages.GetItem(index, &item)) || item == nullptr ||
      Failed(item->QueryMailItem(&mail))) {
    return nullptr;
  }
  return mail;
}

// Teaches the mail's message with `learn`; its message is released before
// the caller moves the mail.
bool Teach(MailContext& addin, host::MailItem& mail, int spam,
           int (*learn)(MailContext&, host::Message&, int)) {
  std::unique_ptr<host::Message> message;
  if (Failed(mail.MapiMessage(&message)) || message == nullptr)
    return false;
  return learn(addin, *message, spam) == 1;
}

// The number of items given; 0 when the list cannot tell.
std::int32_t CountOf(host::ItemList& messages) {
  std::int32_t count = 0;
  return Succeeded(messages.Count(&count)) && count > 0 ? count : 0;
}

// The word database is written once a command has taught something, so
// that the lesson survives a crash of the host.
void SaveIfTaught(MailContext& addin, const CorrectionOutcome& outcome) {
  if (outcome.taught > 0)
    addin.filter.Save();
}

void MarkEachAsSpam(MailContext& addin, host::ItemList& messages, CorrectionOutcome& outcome) {
  outcome.items = CountOf(messages);
  for (std::int32_t index = 1; index <= outcome.items; ++index) {
    std::unique_ptr<host::MailItem> mail = MailAt(messages, index);
    if (mail == nullptr) {
      ++outcome.notMail;
      continue;
    }
    if (!Teach(addin, *mail, kSpam, LearnFromMessage)) {
      ++outcome.notTaught;
      continue;
    }
    ++outcome.taught;
    const HResult moved = MoveToSpamFolder(addin, *mail, kMarkCommandCaption);
    if (Succeeded(moved))
      ++outcome.moved;
    else
      outcome.failedMoves.push_back(moved);
  }
}

// Where good mail leaves the spam folder for: the folder NotSpamFolderName
// names, or the one the user names now. Null when nobody answers or the
// name names no top-level folder: the mail then stays where it is.
std::unique_ptr<host::Folder> ChooseDestination(MailContext& addin, const AskDestination& ask) {
  std::string name;
  addin.settings.NotSpamFolderName(&name);
  if (name.empty()) {
    std::optional<std::string> chosen = ask ? ask() : std::nullopt;
    if (!chosen)
      return nullptr;
    name = std::move(*chosen);
  }
  return FindTopFolder(addin, name);
}

// Moves good mail to `destination` and remembers it, so that its arrival
// there is not judged again.
HResult MoveOutOfSpam(MailContext& addin, host::MailItem& mail, host::Folder& destination) {
  const HResult hr = mail.Move(destination);
  if (Failed(hr)) {
    addin.platform.ui.ShowMessage(NotSpamMoveFailedText(hr), kNotSpamMoveFailedCaption, kMbOk);
    return hr;
  }
  std::string identity;
  if (Succeeded(mail.Identity(&identity)))
    addin.notSpamMoves.Remember(std::move(identity));
  return hr;
}

void MarkEachAsGoodMail(MailContext& addin, host::ItemList& messages, bool from_spam_folder,
                        const AskDestination& ask, CorrectionOutcome& outcome) {
  outcome.items = CountOf(messages);
  for (std::int32_t index = 1; index <= outcome.items; ++index) {
    // Chosen anew for every item, before it is looked at: the user may have
    // ticked "Don't Display this again" meanwhile.
    std::unique_ptr<host::Folder> destination;
    if (from_spam_folder)
      destination = ChooseDestination(addin, ask);
    std::unique_ptr<host::MailItem> mail = MailAt(messages, index);
    if (mail == nullptr) {
      ++outcome.notMail;
      continue;
    }
    ++(Teach(addin, *mail, kGoodMail, LearnOrRelearn) ? outcome.taught : outcome.notTaught);
    if (destination == nullptr) {
      outcome.stayed += from_spam_folder ? 1 : 0;
      continue;
    }
    const HResult moved = MoveOutOfSpam(addin, *mail, *destination);
    if (Succeeded(moved))
      ++outcome.moved;
    else
      outcome.failedMoves.push_back(moved);
  }
}

}  // namespace

std::optional<std::string> AskNotSpamFolder(MailContext& addin) {
  SelectFolderDialog dialog(addin.settings);
  ListMailFolderNames(addin, dialog.folderNames);
  if (addin.platform.dialogs.RunModal(dialog) != kIdOkButton)
    return std::nullopt;
  return dialog.chosenName;
}

std::string NotSpamMoveFailedText(HResult status) {
  return "Failed to move message HRESULT = " + std::to_string(status);
}

CorrectionOutcome MarkSpam(MailContext& addin, host::ItemList& messages) {
  CorrectionOutcome outcome;
  try {
    MarkEachAsSpam(addin, messages, outcome);
  } catch (const std::exception&) {
    // Out of memory: the rest of the messages are left as they are.
  }
  SaveIfTaught(addin, outcome);
  return outcome;
}

CorrectionOutcome NotSpam(MailContext& addin, host::ItemList& messages, bool fromSpamFolder,
                          const AskDestination& ask) {
  CorrectionOutcome outcome;
  try {
    MarkEachAsGoodMail(addin, messages, fromSpamFolder, ask, outcome);
  } catch (const std::exception&) {
    // Out of memory: the rest of the messages are left as they are.
  }
  SaveIfTaught(addin, outcome);
  if (outcome.taught + outcome.notTaught > 0)
    addin.platform.ui.ShowMessage(kLearningComplete, kMarkCommandCaption, kMbOk);
  return outcome;
}

}  // namespace varnox
