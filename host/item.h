// Items of a folder: the collection (_Items) with its new-mail subscription,
// the generic item as the store delivers it, the mail item (_MailItem), and
// a list of items handed to an operation.
#ifndef VARNOX_HOST_ITEM_H_
#define VARNOX_HOST_ITEM_H_

#include <cstdint>
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

// One message of a store. The reference follows its message: through a
// rename by another program, a move made through it, and a save that the
// store makes by replacing the message with a stamped copy (an IMAP store
// appends the copy and removes the original): afterwards it names the copy.
class MailItem {
 public:
  virtual ~MailItem() = default;
  // MAPIOBJECT asked for IMessage: the message's properties. A failure
  // status and *message null when the item has no message the store can
  // read (gone meanwhile, say).
  virtual HResult MapiMessage(std::unique_ptr<Message>* message) = 0;
  // Moves the item into `destination`, a folder of the same store. A
  // failure (a negative status; a store on the network may fail for want of
  // its connection) leaves the item where it was, still named by this
  // reference; after success the reference names the moved item.
  virtual HResult Move(Folder& destination) = 0;
  // Marks the message read (UnRead = false) and keeps that change.
  virtual HResult MarkRead() = 0;
  // The store's identity of the item where it is now (Outlook's EntryID,
  // the Maildir unique name, an IMAP message's UID with its mailbox): what
  // the item-added event of its folder names the same way, and what a
  // store's journal keys by. After a move or a save that replaced the
  // message, that of the item as it is now. A failure status when the store
  // gives none.
  virtual HResult Identity(std::string* identity) = 0;
};

class Items {
 public:
  virtual ~Items() = default;

  // Iteration in the store's order, over the items as they were at
  // GetFirst: success with *item null at the end. GetFirst restarts.
  virtual HResult GetFirst(std::unique_ptr<Item>* item) = 0;
  virtual HResult GetNext(std::unique_ptr<Item>* item) = 0;

  // New mail in this folder (ItemsEvents.ItemAdd): between Advise and
  // Unadvise, each item added to the folder is announced to `sink` once, on
  // the store's thread (see events.h). Items the core moves into the folder
  // are announced too. A store that cannot watch answers a failure status.
  virtual HResult Advise(ItemsEventSink* sink, Cookie* cookie) = 0;
  virtual HResult Unadvise(Cookie cookie) = 0;
};

// The items an operation works on, in order: the explorer's selection, the
// message files a command line named. Read as Outlook's selection is read:
// Count once, then GetItem(1) to GetItem(count), each a fresh reference,
// fetched only when its turn comes (the items before it may have moved).
class ItemList {
 public:
  virtual ~ItemList() = default;
  virtual HResult Count(std::int32_t* count) = 0;
  // GetItem(index), 1-based. An index outside 1..count is a failure status
  // and *item null.
  virtual HResult GetItem(std::int32_t index, std::unique_ptr<Item>* item) = 0;
};

}  // namespace varnox::host

#endif  // VARNOX_HOST_ITEM_H_
