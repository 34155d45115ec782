#include "lists/list_edits.h"

namespace varnox {
namespace {

// The wording that differs between the two lists.
struct ListTexts {
  std::string_view address_exists;
  std::string_view domain_exists;
  std::string_view added;
  std::string_view updated;
  std::string_view name;  // for the removal texts
};

constexpr ListTexts kBlackTexts{
    "This MailId Already Exists in BlackList", "This Domain Already Exists in BlackList",
    "Item Added To Blacklist", "Item Updated in Blacklist", "BlackList"};
constexpr ListTexts kWhiteTexts{
    "This MailId Already Exists in WhiteList", "This Domain Already Exists in WhiteList",
    "Item Added To WhiteList", "Item Updated in WhiteList", "WhiteList"};

const ListTexts& TextsFor(ListKind kind) {
  return kind == ListKind::Black ? kBlackTexts : kWhiteTexts;
}

bool FileHas(const SenderList& list, EntryKind kind, std::string_view text) {
  return kind == EntryKind::kAddress ? list.FileHasAddress(text) : list.FileHasDomain(text);
}

ListEdit Stored(bool stored) {
  return stored ? ListEdit::kDone : ListEdit::kNotWritten;
}

}  // namespace

ListEdit AddEntry(SenderList& list, EntryKind kind, std::string_view text) {
  if (FileHas(list, kind, text))
    return ListEdit::kExists;
  // The store keeps the entry in memory whether or not the file took it.
  return Stored(kind == EntryKind::kAddress ? list.AddAddress(text) : list.AddDomain(text));
}

ListEdit UpdateEntry(SenderList& list, EntryKind kind, std::string_view old_text,
                     std::string_view new_text) {
  if (FileHas(list, kind, new_text))
    return ListEdit::kExists;
  return Stored(kind == EntryKind::kAddress ? list.UpdateAddress(old_text, new_text)
                                            : list.UpdateDomain(old_text, new_text));
}

ListEdit RemoveEntries(SenderList& list, EntryKind kind, const std::vector<std::string>& texts) {
  bool all_stored = true;
  for (const std::string& text : texts)
    all_stored &= kind == EntryKind::kAddress ? list.RemoveAddress(text) : list.RemoveDomain(text);
  return Stored(all_stored);
}

std::string_view EntryExistsText(ListKind list, EntryKind kind) {
  return kind == EntryKind::kAddress ? TextsFor(list).address_exists : TextsFor(list).domain_exists;
}

std::string_view EntryAddedText(ListKind list) {
  return TextsFor(list).added;
}

std::string_view EntryUpdatedText(ListKind list) {
  return TextsFor(list).updated;
}

std::string EntriesRemovedText(ListKind list, std::size_t count) {
  std::string message = count == 1 ? "Item Removed From " : "Items Removed From ";
  message += TextsFor(list).name;
  return message;
}

std::string RemoveEntriesQuestion(ListKind list, std::size_t count) {
  std::string question = count == 1
                             ? "Remove the selected item from the "
                             : "Remove the " + std::to_string(count) + " selected items from the ";
  question += TextsFor(list).name;
  question += "?";
  return question;
}

}  // namespace varnox
