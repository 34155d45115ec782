#include "engine/ignore_list.h"

#include <set>

namespace varnox {
namespace {

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

std::size_t IgnoreList::AddWords(std::string_view text) {
  std::set<std::string_view> in_text;
  std::size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && IsSpace(text[i]))
      ++i;
    const std::size_t start = i;
    while (i < text.size() && !IsSpace(text[i]))
      ++i;
    if (i > start && text[start] != ';') {
      const std::string_view word = text.substr(start, i - start);
      in_text.insert(word);
      if (words_.insert(std::string(word)).second)
        index_.Insert(word);
    }
  }
  return in_text.size();
}

std::string IgnoreList::Text(std::string_view lineEnd) const {
  std::string text;
  for (const std::string& word : words_) {
    text.append(word);
    text.append(lineEnd);
  }
  return text;
}

}  // namespace varnox
