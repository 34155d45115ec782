// The ignore list: words that are never counted. Entries are kept as read,
// without lower-casing; since every word from the tokenizer is lower case,
// only entries without upper-case letters ever match.
#ifndef VARNOX_ENGINE_IGNORE_LIST_H_
#define VARNOX_ENGINE_IGNORE_LIST_H_

#include <cstddef>
#include <functional>
#include <set>
#include <string>
#include <string_view>

#include "engine/word_table.h"

namespace varnox {

class IgnoreList {
 public:
  // Adds the whitespace-separated words of `text` (a word that starts with
  // ";" is skipped). Returns how many distinct words the text holds.
  std::size_t AddWords(std::string_view text);

  bool Contains(std::string_view word) const { return words_.find(word) != words_.end(); }
  // The same for a word made ready for lookups (the tokenizer's).
  bool Contains(const WordKey& key) const { return index_.Find(key) != nullptr; }
  bool empty() const { return words_.empty(); }
  std::size_t size() const { return words_.size(); }
  // Byte-wise order.
  const std::set<std::string, std::less<>>& words() const { return words_; }

  // One word a line, sorted, each line ended by `lineEnd`.
  std::string Text(std::string_view lineEnd) const;

 private:
  std::set<std::string, std::less<>> words_;
  WordTable index_;  // the same words, for quick lookups while tokenizing
};

}  // namespace varnox

#endif  // VARNOX_ENGINE_IGNORE_LIST_H_
