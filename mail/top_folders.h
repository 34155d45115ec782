// Finding top-level folders by name: the look-ups over the add-in's
// topFolders (the top level of the store scanned last at start-up) that Not
// Spam and training use, and that the folder pickers offer. Folders are
// found by name only, one level deep; names compare ignoring case in code
// page 1252.
#ifndef VARNOX_MAIL_TOP_FOLDERS_H_
#define VARNOX_MAIL_TOP_FOLDERS_H_

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "host/folder.h"

namespace varnox {

struct MailContext;

// Appends to `names` the name of every mail folder (default item type 0) of
// topFolders, in the store's order. Other folder types are left out, and so
// is a folder whose name or type cannot be read. Nothing without topFolders.
void ListMailFolderNames(MailContext& addin, std::vector<std::string>& names);

// The first folder of topFolders, in the store's order, whose name equals
// `name` ignoring case, whatever its type; null when there is none. The
// caller owns the reference.
std::unique_ptr<host::Folder> FindTopFolder(MailContext& addin, std::string_view name);

}  // namespace varnox

#endif  // VARNOX_MAIL_TOP_FOLDERS_H_
