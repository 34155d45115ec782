#include "mail/sender_address.h"

#include "platform/code_page.h"

namespace varnox {
namespace {

constexpr std::string_view kFromTag = "From:";
// "From:" and the character after it, normally a space.
constexpr std::size_t kSkippedPrefix = kFromTag.size() + 1;
constexpr std::size_t kNone = std::string_view::npos;

bool IsFoldingWhitespace(char c) {
  return c == ' ' || c == '\t';
}

// The start of the message's own From field: the first line that begins
// with "From:" in any letter case. "X-Original-From:", "Resent-From:" and a
// "From:" inside another field's text are not the sender.
std::size_t FindFromField(std::string_view headers) {
  for (std::size_t at = 0; at < headers.size();) {
    if (code_page::EqualsIgnoreCase(headers.substr(at, kFromTag.size()), kFromTag))
      return at;
    const std::size_t line_feed = headers.find('\n', at);
    if (line_feed == kNone)
      break;
    at = line_feed + 1;
  }
  return kNone;
}

// Steps over the quoted strings of a field's text and, when asked, its
// comments; a backslash escapes the character after it, comments nest. An
// unclosed quote is an ordinary character, an unclosed comment runs to the
// end. Each byte is looked at a bounded number of times, whatever the text.
class QuotingScanner {
 public:
  QuotingScanner(std::string_view text, bool comments) : text_(text), comments_(comments) {}

  // Past the quoted string or comment that opens at `i`, or `i` when none does.
  std::size_t Skip(std::size_t i) {
    if (text_[i] == '"' && quotes_close_) {
      const std::size_t past = PastClosing(i, '"', '"');
      // Every later quote is then escaped or unclosed as well.
      quotes_close_ = past != kNone;
      return past == kNone ? i : past;
    }
    if (comments_ && text_[i] == '(') {
      const std::size_t past = PastClosing(i, '(', ')');
      return past == kNone ? text_.size() : past;
    }
    return i;
  }

 private:
  std::size_t PastClosing(std::size_t at, char open, char close) const {
    int depth = 1;
    for (std::size_t i = at + 1; i < text_.size(); ++i) {
      if (text_[i] == '\\')
        ++i;
      else if (text_[i] == close && --depth == 0)
        return i + 1;
      else if (text_[i] == open && open != close)
        ++depth;
    }
    return kNone;
  }

  std::string_view text_;
  bool comments_;
  bool quotes_close_ = true;
};

// The address as the first line of the From field has always given it: after
// "From:" and one more character, from the first "<" to the first ">" (to
// the line's end when that ">" stands before the "<"). Angle brackets inside
// a quoted display name do not count. kNone in `open` when the line holds no
// such pair.
struct FirstLinePair {
  std::size_t open = kNone;
  std::size_t end = kNone;
};

FirstLinePair FindFirstLinePair(std::string_view line) {
  QuotingScanner scanner(line, false);
  std::size_t open = kNone, close = kNone;
  for (std::size_t i = kFromTag.size(); i < line.size() && (open == kNone || close == kNone);) {
    const std::size_t past = scanner.Skip(i);
    if (past != i) {
      i = past;
      continue;
    }
    if (i >= kSkippedPrefix && line[i] == '<' && open == kNone)
      open = i;
    else if (i >= kSkippedPrefix && line[i] == '>' && close == kNone)
      close = i;
    ++i;
  }
  if (open == kNone || close == kNone)
    return {};
  return {open, close > open ? close : line.size()};
}

std::string_view TrimWhitespace(std::string_view text) {
  while (!text.empty() && IsFoldingWhitespace(text.front()))
    text.remove_prefix(1);
  while (!text.empty() && IsFoldingWhitespace(text.back()))
    text.remove_suffix(1);
  return text;
}

// The field's text after "From:" with its folds undone (each CR LF that a
// space or tab follows removed); false when no CR LF ends the field.
bool UnfoldedValue(std::string_view headers, std::size_t from, std::string* value) {
  for (std::size_t at = from + kFromTag.size();;) {
    const std::size_t line_end = headers.find("\r\n", at);
    if (line_end == kNone)
      return false;
    value->append(headers.substr(at, line_end - at));
    at = line_end + 2;
    if (at >= headers.size() || !IsFoldingWhitespace(headers[at]))
      return true;
  }
}

// The other forms mail uses, read from the whole unfolded field: "<addr>"
// after a display name that may be quoted or folded, and a bare "addr",
// alone or with a "(comment)". Empty when none fits. The address holds no
// space or tab, so it never spans a fold: it is always a piece of one line
// of the headers as they stand.
std::string_view AddressOfUnfolded(std::string_view value, std::string* bare) {
  QuotingScanner scanner(value, true);
  for (std::size_t i = 0; i < value.size();) {
    const std::size_t past = scanner.Skip(i);
    if (past != i) {
      // A quoted display name makes the field no bare address; a comment
      // separates words as a space does.
      bare->push_back(value[i] == '"' ? '"' : ' ');
      i = past;
      continue;
    }
    if (value[i] == '<') {
      const std::size_t close = value.find('>', i + 1);
      if (close == kNone)
        return {};
      const std::string_view inner = TrimWhitespace(value.substr(i + 1, close - i - 1));
      return inner.find_first_of(" \t") == kNone ? inner : std::string_view();
    }
    bare->push_back(value[i]);
    ++i;
  }
  // A single mailbox: one word holding "@", nothing that would make it a
  // list, a group or a display name.
  const std::string_view word = TrimWhitespace(*bare);
  if (word.find('@') == kNone || word.find_first_of(" \t,;:\"<>()") != kNone)
    return {};
  return word;
}

}  // namespace

int ExtractSenderAddress(std::string_view headers, std::string* address) {
  const std::size_t from = FindFromField(headers);
  if (from == kNone)
    return 0;
  const std::size_t line_end = headers.find("\r\n", from);
  if (line_end == kNone)
    return 0;
  const std::string_view line = headers.substr(from, line_end - from);
  std::string value, bare;
  std::string_view found;
  if (const FirstLinePair pair = FindFirstLinePair(line); pair.open != kNone) {
    found = line.substr(pair.open + 1, pair.end - pair.open - 1);  // "<>" gives the empty address
  } else if (UnfoldedValue(headers, from, &value)) {
    found = AddressOfUnfolded(value, &bare);
    if (found.empty())
      return 0;
  } else {
    return 0;
  }
  // A lone CR or LF inside the address would end up in the black-list note
  // we append to the headers, as a header line the sender wrote.
  if (found.size() > kMaxSenderAddressLength || found.find_first_of("\r\n") != kNone)
    return 0;
  *address = std::string(found);
  return 1;
}

std::string DomainKey(std::string_view address) {
  const std::size_t at = address.find('@');
  return at == std::string_view::npos ? std::string() : std::string(address.substr(at));
}

}  // namespace varnox
