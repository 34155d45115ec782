// Items of a folder: the collection (_Items), the generic item as the host
// delivers it, and the mail item (_MailItem).
#ifndef VARNOX_HOST_ITEM_H_
#define VARNOX_HOST_ITEM_H_

#include <memory>
#include <string>

#include "host/events.h"
#include "platform/hresult.h"

namespace varnox::host {

class Folder;
class MailItem;
class Message;

class Item {
 public:
  virtual ~Item() = default;
  // QueryInterface for _MailItem: kENoInterface and *mail null when the item
  // is not a mail item (a meeting request, a contact, ...).
  virtual HResult QueryMailItem(std::unique_ptr<MailItem>* mail) = 0;
};

class MailItem {
 public:
  virtual ~MailItem() = default;
  // MAPIOBJECT asked for IMessage. A failure status and *message null when
  // the item has no MAPI message.
  virtual HResult MapiMessage(std::unique_ptr<Message>* message) = 0;
  // Moves the item into `destination`; the moved item is released at once.
  // After success this reference no longer names a message in its old folder.
  virtual HResult Move(Folder& destination) = 0;
  // Marks the message read (UnRead = false) and keeps that change.
  virtual HResult MarkRead() = 0;
  // The host's identity of the item where it is now (Outlook's EntryID, the
  // Maildir unique name); after a successful Move, that of the moved item,
  // which the item-added event of its new folder names the same way. A
  // failure status when the host gives none.
  virtual HResult Identity(std::string* identity) = 0;
};

class Items {
 public:
  virtual ~Items() = default;

  // Iteration in the host's order: success with *item null at the end.
  virtual HResult GetFirst(std::unique_ptr<Item>* item) = 0;
  virtual HResult GetNext(std::unique_ptr<Item>* item) = 0;

  // ItemsEvents on this collection.
  virtual HResult Advise(ItemsEventSink* sink, Cookie* cookie) = 0;
  virtual HResult Unadvise(Cookie cookie) = 0;
};

}  // namespace varnox::host

#endif  // VARNOX_HOST_ITEM_H_
