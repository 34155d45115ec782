#include "mail/top_folders.h"

#include <functional>

#include "mail/mail_context.h"
#include "platform/code_page.h"

namespace varnox {
namespace {

// Calls `visit` for each folder of `folders` in the host's order until it
// returns false. Each folder is the visitor's to keep (move it away) or to
// let go. A failing step ends the walk, as the end of the collection does.
void ForEachFolder(host::Folders& folders,
                   const std::function<bool(std::unique_ptr<host::Folder>&)>& visit) {
  std::unique_ptr<host::Folder> folder;
  for (HResult step = folders.GetFirst(&folder); Succeeded(step) && folder != nullptr;
       step = folders.GetNext(&folder)) {
    if (!visit(folder))
      return;
  }
}

}  // namespace

void ListMailFolderNames(MailContext& addin, std::vector<std::string>& names) {
  if (addin.topFolders == nullptr)
    return;
  ForEachFolder(*addin.topFolders, [&names](std::unique_ptr<host::Folder>& folder) {
    std::int32_t type = -1;
    std::string name;
    if (Succeeded(folder->DefaultItemType(&type)) && type == host::kOlMailItem &&
        Succeeded(folder->Name(&name))) {
      names.push_back(std::move(name));
    }
    return true;
  });
}

std::unique_ptr<host::Folder> FindTopFolder(MailContext& addin, std::string_view name) {
  std::unique_ptr<host::Folder> found;
  if (addin.topFolders == nullptr)
    return found;
  ForEachFolder(*addin.topFolders, [&](std::unique_ptr<host::Folder>& folder) {
    std::string folder_name;
    if (Succeeded(folder->Name(&folder_name)) && code_page::EqualsIgnoreCase(folder_name, name)) {
      found = std::move(folder);
      return false;
    }
    return true;
  });
  return found;
}

}  // namespace varnox
