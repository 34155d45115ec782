#include "addin/settings_commands.h"

#include <exception>
#include <memory>
#include <string>

#include "addin/vnx_addin.h"
#include "host/application.h"
#include "host/item.h"
#include "host/message.h"
#include "mail/message_texts.h"
#include "platform/user_interface.h"
#include "settings/info_dialogs.h"
#include "settings/settings_dialog.h"

namespace varnox {
namespace {

// The selection of the active explorer, or null when the host has no
// explorer or cannot give its selection.
std::unique_ptr<host::Selection> ActiveSelection(CVNXAddin& addin) {
  if (addin.application == nullptr)
    return nullptr;
  std::unique_ptr<host::Explorer> explorer;
  if (Failed(addin.application->ActiveExplorer(&explorer)) || explorer == nullptr)
    return nullptr;
  std::unique_ptr<host::Selection> selection;
  if (Failed(explorer->GetSelection(&selection)))
    return nullptr;
  return selection;
}

// The transport headers of item 1 of `selection`; empty when the item is no
// mail item or its message or headers cannot be had.
std::string HeadersOfFirstItem(host::Selection& selection) {
  std::string headers;
  std::unique_ptr<host::Item> item;
  if (Failed(selection.GetItem(1, &item)) || item == nullptr)
    return headers;
  std::unique_ptr<host::MailItem> mail;
  if (Failed(item->QueryMailItem(&mail)) || mail == nullptr)
    return headers;
  std::unique_ptr<host::Message> message;
  if (Failed(mail->MapiMessage(&message)) || message == nullptr)
    return headers;
  FindLearnMark(*message, &headers, /*headers_only=*/true);
  return headers;
}

}  // namespace

void OnSettings(CVNXAddin& addin) {
  try {
    SettingsDialog dialog(addin.filter, addin.settings);
    addin.platform.dialogs.RunModal(dialog);
  } catch (const std::exception&) {
    // Out of memory: nothing was written that OK did not write.
  }
}

void OnMailHeader(CVNXAddin& addin) {
  try {
    std::unique_ptr<host::Selection> selection = ActiveSelection(addin);
    std::int32_t count = 0;
    if (selection == nullptr || Failed(selection->Count(&count)) || count <= 0)
      return;
    if (count > 1) {
      addin.platform.ui.ShowMessage(kSelectSingleMail, kSelectSingleMailCaption, kMbOk);
      return;
    }
    MailHeaderDialog dialog(HeadersOfFirstItem(*selection));
    // The host references are released before the dialog opens.
    selection.reset();
    addin.platform.dialogs.RunModal(dialog);
  } catch (const std::exception&) {
    // Out of memory with huge headers: nothing is shown.
  }
}

void OnAbout(CVNXAddin& addin) {
  AboutDialog dialog;
  addin.platform.dialogs.RunModal(dialog);
}

void OnHelp(CVNXAddin& addin) {
  addin.platform.ui.OpenPage(kHelpPage);
}

void OnSupport(CVNXAddin& addin) {
  addin.platform.ui.OpenPage(kSupportPage);
}

}  // namespace varnox
