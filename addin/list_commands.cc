#include "addin/list_commands.h"

#include <exception>

#include "addin/vnx_addin.h"
#include "lists/list_dialog.h"

namespace varnox {
namespace {

void RunListDialog(CVNXAddin& addin, SenderList& list) {
  try {
    ListDialog dialog(list);
    addin.platform.dialogs.RunModal(dialog);
    // Memory again holds exactly the file's entries, in file order.
    if (dialog.changed())
      list.Load();
  } catch (const std::exception&) {
    // Out of memory: the command is dropped; every change made before was
    // written when it was made.
  }
}

}  // namespace

void OnBlackList(CVNXAddin& addin) {
  RunListDialog(addin, addin.blackList);
}

void OnWhiteList(CVNXAddin& addin) {
  RunListDialog(addin, addin.whiteList);
}

}  // namespace varnox
