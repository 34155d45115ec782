// Folders of the mail host: the folder (MAPIFolder) and a folder collection
// (_Folders). Every std::unique_ptr handed out is one reference, released
// when it is destroyed; several holders may refer to the same host folder.
#ifndef VARNOX_HOST_FOLDER_H_
#define VARNOX_HOST_FOLDER_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "host/events.h"
#include "platform/hresult.h"

namespace varnox::host {

class Items;
class Folders;

// Folder item types, with the host's numbers.
inline constexpr std::int32_t kOlMailItem = 0;     // DefaultItemType of a mail folder
inline constexpr std::int32_t kOlFolderInbox = 6;  // Folders.Add type: a mail folder

class Folder {
 public:
  virtual ~Folder() = default;

  // The folder's name, converted to code page 1252 at the host's edge.
  virtual HResult Name(std::string* name) = 0;
  // 0 (kOlMailItem) for a mail folder.
  virtual HResult DefaultItemType(std::int32_t* type) = 0;
  // The folder's sub-folder collection.
  virtual HResult GetFolders(std::unique_ptr<Folders>* folders) = 0;
  virtual HResult GetItems(std::unique_ptr<Items>* items) = 0;
  virtual HResult SetDescription(std::string_view description) = 0;

  // Whether `other` refers to the same host folder as this one (the host's
  // folder identity, not the identity of the two references).
  virtual bool IsSameFolder(const Folder& other) const = 0;
};

class Folders {
 public:
  virtual ~Folders() = default;

  // Iteration in the host's order. Each call gives the next folder, or
  // success with *folder null at the end. GetFirst restarts.
  virtual HResult GetFirst(std::unique_ptr<Folder>* folder) = 0;
  virtual HResult GetNext(std::unique_ptr<Folder>* folder) = 0;

  // Folders.Add(Name, Type): creates a folder in this collection.
  virtual HResult Add(std::string_view name, std::int32_t type,
                      std::unique_ptr<Folder>* folder) = 0;

  // FoldersEvents on this collection.
  virtual HResult Advise(FoldersEventSink* sink, Cookie* cookie) = 0;
  virtual HResult Unadvise(Cookie cookie) = 0;
};

}  // namespace varnox::host

#endif  // VARNOX_HOST_FOLDER_H_
