#include "mail/mark_commands.h"

#include <exception>
#include <memory>
#include <string>
#include <utility>

#include "mail/folder_pickers.h"
#include "mail/mail_context.h"
#include "mail/message_learning.h"
#include "mail/spam_move.h"
#include "platform/user_interface.h"

namespace varnox {
namespace {

constexpr int kSpam = 1;
constexpr int kGoodMail = 0;

std::unique_ptr<host::Explorer> ActiveExplorer(MailContext& addin) {
  std::unique_ptr<host::Explorer> explorer;
  if (addin.application == nullptr || Failed(addin.application->ActiveExplorer(&explorer)))
    return nullptr;
  return explorer;
}

// The explorer's selection and its size, when it holds items (a count above
// 0 and the class of a selection); null otherwise.
std::unique_ptr<host::Selection> UsableSelection(host::Explorer& explorer, std::int32_t* count) {
  std::unique_ptr<host::Selection> selection;
  std::int32_t object_class = 0;
  if (Failed(explorer.GetSelection(&selection)) || selection == nullptr ||
      Failed(selection->Count(count)) || *count <= 0 || Failed(selection->Class(&object_class)) ||
      object_class != host::kOlSelection) {
    return nullptr;
  }
  return selection;
}

// Item `index` of the selection as a mail item; null for anything else.
std::unique_ptr<host::MailItem> SelectedMail(host::Selection& selection, std::int32_t index) {
  std::unique_ptr<host::Item> item;
  std::unique_ptr<host::MailItem> mail;
  if (Failed(selection.GetItem(index, &item)) || item == nullptr ||
      Failed(item->QueryMailItem(&mail))) {
    return nullptr;
  }
  return mail;
}

// Teaches the mail's message with `learn`; its MAPI message is released
// before the caller moves the mail.
bool Teach(MailContext& addin, host::MailItem& mail, int spam,
           int (*learn)(MailContext&, host::Message&, int)) {
  std::unique_ptr<host::Message> message;
  if (Failed(mail.MapiMessage(&message)) || message == nullptr)
    return false;
  return learn(addin, *message, spam) == 1;
}

// The word database is written once a command has taught something, so
// that the lesson survives a crash of the host.
void SaveIfTaught(MailContext& addin, int taught) {
  if (taught > 0)
    addin.filter.Save();
}

void MarkSelectionAsSpam(MailContext& addin, int& taught) {
  std::unique_ptr<host::Explorer> explorer = ActiveExplorer(addin);
  if (explorer == nullptr)
    return;
  std::int32_t count = 0;
  std::unique_ptr<host::Selection> selection = UsableSelection(*explorer, &count);
  if (selection == nullptr)
    return;
  for (std::int32_t index = 1; index <= count; ++index) {
    std::unique_ptr<host::MailItem> mail = SelectedMail(*selection, index);
    if (mail == nullptr || !Teach(addin, *mail, kSpam, LearnFromMessage))
      continue;
    ++taught;
    MoveToSpamFolder(addin, *mail, kMarkCommandCaption);
  }
}

// Whether the explorer shows the spam folder, told by its name.
bool ShowsSpamFolder(host::Explorer& explorer) {
  std::unique_ptr<host::Folder> folder;
  std::string name;
  return Succeeded(explorer.CurrentFolder(&folder)) && folder != nullptr &&
         Succeeded(folder->Name(&name)) && IsSpamFolderName(name);
}

// Where good mail leaves the spam folder for: the folder NotSpamFolderName
// names, or the one the user picks now. Null when the user cancels or the
// name names no top-level folder: the mail then stays where it is.
std::unique_ptr<host::Folder> ChooseDestination(MailContext& addin) {
  std::string name;
  addin.settings.NotSpamFolderName(&name);
  if (name.empty()) {
    SelectFolderDialog dialog(addin.settings);
    ListMailFolderNames(addin, dialog.folderNames);
    if (addin.platform.dialogs.RunModal(dialog) != kIdOkButton)
      return nullptr;
    name = dialog.chosenName;
  }
  return FindTopFolder(addin, name);
}

// Moves good mail to `destination` and remembers it, so that its arrival
// there is not judged again.
void MoveOutOfSpam(MailContext& addin, host::MailItem& mail, host::Folder& destination) {
  const HResult hr = mail.Move(destination);
  if (Failed(hr)) {
    addin.platform.ui.ShowMessage(NotSpamMoveFailedText(hr), kNotSpamMoveFailedCaption, kMbOk);
    return;
  }
  std::string identity;
  if (Succeeded(mail.Identity(&identity)))
    addin.notSpamMoves.Remember(std::move(identity));
}

void MarkSelectionAsGoodMail(MailContext& addin, int& taught, bool& handled) {
  std::unique_ptr<host::Explorer> explorer = ActiveExplorer(addin);
  if (explorer == nullptr)
    return;
  const bool in_spam_folder = ShowsSpamFolder(*explorer);
  std::int32_t count = 0;
  std::unique_ptr<host::Selection> selection = UsableSelection(*explorer, &count);
  if (selection == nullptr)
    return;
  for (std::int32_t index = 1; index <= count; ++index) {
    // Chosen anew for every item, before it is looked at: the user may have
    // ticked "Don't Display this again" meanwhile.
    std::unique_ptr<host::Folder> destination;
    if (in_spam_folder)
      destination = ChooseDestination(addin);
    std::unique_ptr<host::MailItem> mail = SelectedMail(*selection, index);
    if (mail == nullptr)
      continue;
    if (Teach(addin, *mail, kGoodMail, LearnOrRelearn))
      ++taught;
    if (destination != nullptr)
      MoveOutOfSpam(addin, *mail, *destination);
    handled = true;
  }
}

}  // namespace

std::string NotSpamMoveFailedText(HResult status) {
  return "Failed to move message HRESULT = " + std::to_string(status);
}

void OnMarkSpam(MailContext& addin) {
  int taught = 0;
  try {
    MarkSelectionAsSpam(addin, taught);
  } catch (const std::exception&) {
    // Out of memory: the rest of the selection is left as it is.
  }
  SaveIfTaught(addin, taught);
}

void OnNotSpam(MailContext& addin) {
  int taught = 0;
  bool handled = false;
  try {
    MarkSelectionAsGoodMail(addin, taught, handled);
  } catch (const std::exception&) {
    // Out of memory: the rest of the selection is left as it is.
  }
  SaveIfTaught(addin, taught);
  if (handled)
    addin.platform.ui.ShowMessage(kLearningComplete, kMarkCommandCaption, kMbOk);
}

}  // namespace varnox
