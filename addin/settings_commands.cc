#include "addin/settings_commands.h"

#include <exception>
#include <memory>
#include <string>

#include "addin/explorer.h"
#include "addin/vnx_addin.h"
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
std::unique_ptr<outlook::Selection> ActiveSelection(CVNXAddin& addin) {
  std::unique_ptr<outlook::Explorer> explorer = addin.ActiveExplorer();
  if (explorer == nullptr)
    return nullptr;
  std::unique_ptr<outlook::Selection> selection;
  if (Failed(explorer->GetSelection(&selection)))
    return nullptr;
  return selection;
}

// The transport headers of item 1 of `selection`, as Mail Header shows them.
std::string HeadersOfFirstItem(outlook::Selection& selection) {
  std::unique_ptr<host::Item> item;
  if (Failed(selection.GetItem(1, &item)) || item == nullptr)
    return {};
  return HeadersToShow(*item);
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
    std::unique_ptr<outlook::Selection> selection = ActiveSelection(addin);
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
