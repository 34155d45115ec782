// Changing a sender list, as the BlackList and WhiteList dialogs and
// `varnox blacklist` / `varnox whitelist` change it: each change is checked
// against the list's file (an entry there already, in any letter case, is
// refused), made in memory and in the file, and gives its result; and the
// texts that tell the user each result, worded for the list's kind.
//
// Entries are kept exactly as given: no trimming, no check of form (a domain
// entry matches mail only with its leading "@"; the caller adds it where it
// wants to). Never throw but for memory.
#ifndef VARNOX_LISTS_LIST_EDITS_H_
#define VARNOX_LISTS_LIST_EDITS_H_

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "lists/sender_list.h"

namespace varnox {

enum class EntryKind { kDomain, kAddress };

enum class ListEdit {
  kDone,        // made in memory and in the file
  kExists,      // refused, nothing changed: the file holds the entry already
  kNotWritten,  // made in memory only: the file could not be read or written
};

// Adds `text` unless the file holds it.
ListEdit AddEntry(SenderList& list, EntryKind kind, std::string_view text);
// Replaces the entry `old_text` by `new_text` unless the file holds
// `new_text` (the unchanged text included).
ListEdit UpdateEntry(SenderList& list, EntryKind kind, std::string_view old_text,
                     std::string_view new_text);
// Removes every entry equal to one of `texts`, ignoring letter case. Never
// kExists.
ListEdit RemoveEntries(SenderList& list, EntryKind kind, const std::vector<std::string>& texts);

// What the user is told. "This MailId Already Exists in BlackList" and the
// like.
std::string_view EntryExistsText(ListKind list, EntryKind kind);
std::string_view EntryAddedText(ListKind list);
std::string_view EntryUpdatedText(ListKind list);
// "Item Removed From BlackList", "Items Removed From WhiteList".
std::string EntriesRemovedText(ListKind list, std::size_t count);
// The question asked before a removal, answered Yes or No.
std::string RemoveEntriesQuestion(ListKind list, std::size_t count);
// For kNotWritten.
inline constexpr std::string_view kListNotWritten =
    "The list file could not be written; this change will be lost when Varnox stops.";

}  // namespace varnox

#endif  // VARNOX_LISTS_LIST_EDITS_H_
