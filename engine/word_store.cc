#include "engine/word_store.h"

#include <new>
#include <utility>

#include "engine/word_database_format.h"

namespace varnox {

int WordStore::Load() {
  if (path_.empty())
    return 0;
  // Until the whole file is in the table it counts as unreadable: a load cut
  // short by memory running out must never be saved over the full file.
  unreadable_ = true;
  readNotes_ = {};
  try {
    std::string text;
    if (!platform_.files.ReadWholeFile(path_, &text)) {
      unreadable_ = platform_.files.Exists(path_);
      onDisk_ = unreadable_;
      return 0;
    }
    onDisk_ = true;
    word_database::MaskBytes(text.data(), text.size());
    if (!format_.Recognizes(text))
      return 0;  // somebody else's file: kept, never overwritten
    const std::int32_t load_time = platform_.clock.Now();
    table_.clear();
    messages_ = {};
    readNotes_ = format_.Read(text, load_time, table_, messages_);
  } catch (const std::bad_alloc&) {
    // Judging from part of the statistics would mislead; start empty. (The
    // file stays unreadable even if this throws again.)
    table_.clear();
    messages_ = {};
    return 0;
  }
  unreadable_ = false;
  return 1;
}

bool WordStore::Save(const SaveRule& rule) {
  if (path_.empty() || unreadable_)
    return false;
  try {
    std::string text;
    text.reserve(64 + table_.size() * 40);
    format_.AppendHeader(messages_, &text);
    for (const auto [word, stored] : std::as_const(table_)) {
      WordEntry entry = stored;
      if (rule(word, entry))
        format_.AppendEntry(word, entry, &text);
    }
    word_database::MaskBytes(text.data(), text.size());
    if (!platform_.files.ReplaceWholeFile(path_, text))
      return false;
  } catch (const std::bad_alloc&) {
    return false;
  }
  // The file holds the outcome now; bring the table to it.
  table_.Rewrite([&](std::string_view word, WordEntry& entry) { return rule(word, entry); });
  onDisk_ = true;
  return true;
}

bool WordStore::SaveHeaderOnly() {
  if (path_.empty() || unreadable_)
    return false;
  try {
    std::string text;
    format_.AppendHeader(messages_, &text);
    word_database::MaskBytes(text.data(), text.size());
    if (!platform_.files.ReplaceWholeFile(path_, text))
      return false;
  } catch (const std::bad_alloc&) {
    return false;
  }
  onDisk_ = true;
  return true;
}

}  // namespace varnox
