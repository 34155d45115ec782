// The text of an HTML document in one pass over its bytes, without building
// a tree. It follows the HTML tokenizer's rules for what is markup and what
// is text (tags with their quoted attributes, comments, declarations, the raw
// text of script, style and the like, character references) and lays the
// text out as a mail reader shows it. Memory: the output (at most three
// bytes for each input byte) and one small stack of open hidden elements; no
// recursion, so no input can exhaust the stack.
#include "mime/html_text.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "mime/html_entities.h"
#include "platform/ascii_case.h"
#include "platform/utf8.h"

namespace varnox::mime {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

bool IsHtmlSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

bool IsAsciiAlpha(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool IsAsciiAlphaNumeric(char c) {
  return IsAsciiAlpha(c) || (c >= '0' && c <= '9');
}

// Characters the parser's input stream takes for damage and reads as
// U+FFFD: controls other than white space (and NUL, handled apart), DEL, the
// C1 controls, and the noncharacters.
bool IsReplacedCharacter(char32_t c) {
  return (c >= 0x01 && c <= 0x08) || c == 0x0B || (c >= 0x0E && c <= 0x1F) ||
         (c >= 0x7F && c <= 0x9F) || (c >= 0xFDD0 && c <= 0xFDEF) || (c & 0xFFFE) == 0xFFFE;
}

// Lays text out the way a browser does: runs of white space become one
// space, blocks start and end on a line of their own, preformatted text is
// kept as it is (carriage returns aside).
class TextWriter {
 public:
  explicit TextWriter(std::size_t expected) { out_.reserve(expected); }

  // `text` is well-formed UTF-8.
  void Text(std::string_view text, bool preformatted) {
    if (preformatted) {
      for (char c : text) {
        if (c == '\r')
          continue;
        FlushSpace();
        out_.push_back(c);
      }
      return;
    }
    for (char c : text) {
      if (IsHtmlSpace(c)) {
        pending_space_ = !out_.empty() && out_.back() != '\n';
        continue;
      }
      FlushSpace();
      out_.push_back(c);
    }
  }
  void LineBreak() {
    pending_space_ = false;
    out_.push_back('\n');
  }
  // Starts a new line unless the text is already at the start of one.
  void BlockBoundary() {
    pending_space_ = false;
    if (!out_.empty() && out_.back() != '\n')
      out_.push_back('\n');
  }
  bool Empty() const { return out_.empty(); }
  std::string Take() {
    while (!out_.empty() && (out_.back() == '\n' || out_.back() == ' '))
      out_.pop_back();
    return std::move(out_);
  }

 private:
  void FlushSpace() {
    if (pending_space_)
      out_.push_back(' ');
    pending_space_ = false;
  }
  std::string out_;
  bool pending_space_ = false;
};

// What an element's start tag does to the text.
enum class Element : std::uint8_t {
  kOther,
  kBlock,         // starts and ends on a line of its own
  kPre,           // a block whose white space is kept
  kListing,       // like <pre> for the parser, but not kept
  kCell,          // <td>, <th>: a space before
  kBreak,         // <br>
  kHiddenParent,  // <noscript>, <object>, <template>: nothing inside shows
  kScript,        // script data, hidden
  kHiddenRaw,     // <style>, <iframe>: raw text, hidden
  kVisibleRaw,    // <xmp>, <noembed>, <noframes>: raw text, shown
  kTitle,         // escapable raw text, hidden
  kTextArea,      // escapable raw text, shown as it is
  kPlainText,     // everything after it is text
  kForeign,       // <svg>, <math>: CDATA sections are text inside
  kFrameset,      // a page of frames: only <noframes> shows
  kClosesP,       // not a block, but ends an open paragraph
  kRow,           // <tr>: a block inside a table
  kTable,         // <table>, <caption>: blocks that bound the scope of end tags
  kHeadContent,   // <meta>, <link> and the like: no text, keep the head open
  kHead,          // <head>, <html>: no text, keep the head open
};

Element ElementOf(std::string_view name) {
  struct Entry {
    std::string_view name;
    Element element;
  };
  static constexpr Entry kElements[] = {
      {"address", Element::kBlock},
      {"article", Element::kBlock},
      {"aside", Element::kBlock},
      {"base", Element::kHeadContent},
      {"basefont", Element::kHeadContent},
      {"bgsound", Element::kHeadContent},
      {"blockquote", Element::kBlock},
      {"br", Element::kBreak},
      {"caption", Element::kTable},
      {"center", Element::kBlock},
      {"dd", Element::kBlock},
      {"details", Element::kClosesP},
      {"dialog", Element::kClosesP},
      {"dir", Element::kClosesP},
      {"div", Element::kBlock},
      {"dl", Element::kBlock},
      {"dt", Element::kBlock},
      {"fieldset", Element::kClosesP},
      {"figcaption", Element::kClosesP},
      {"figure", Element::kBlock},
      {"footer", Element::kBlock},
      {"form", Element::kBlock},
      {"frameset", Element::kFrameset},
      {"h1", Element::kBlock},
      {"h2", Element::kBlock},
      {"h3", Element::kBlock},
      {"h4", Element::kBlock},
      {"h5", Element::kBlock},
      {"h6", Element::kBlock},
      {"head", Element::kHead},
      {"header", Element::kBlock},
      {"hgroup", Element::kClosesP},
      {"hr", Element::kBlock},
      {"html", Element::kHead},
      {"iframe", Element::kHiddenRaw},
      {"li", Element::kBlock},
      {"link", Element::kHeadContent},
      {"listing", Element::kListing},
      {"main", Element::kBlock},
      {"math", Element::kForeign},
      {"menu", Element::kClosesP},
      {"meta", Element::kHeadContent},
      {"nav", Element::kBlock},
      {"noembed", Element::kVisibleRaw},
      {"noframes", Element::kVisibleRaw},
      {"noscript", Element::kHiddenParent},
      {"object", Element::kHiddenParent},
      {"ol", Element::kBlock},
      {"p", Element::kBlock},
      {"plaintext", Element::kPlainText},
      {"pre", Element::kPre},
      {"script", Element::kScript},
      {"search", Element::kClosesP},
      {"section", Element::kBlock},
      {"style", Element::kHiddenRaw},
      {"summary", Element::kClosesP},
      {"svg", Element::kForeign},
      {"table", Element::kTable},
      {"td", Element::kCell},
      {"template", Element::kHiddenParent},
      {"textarea", Element::kTextArea},
      {"th", Element::kCell},
      {"title", Element::kTitle},
      {"tr", Element::kRow},
      {"ul", Element::kBlock},
      {"xmp", Element::kVisibleRaw},
  };
  const auto* it =
      std::lower_bound(std::begin(kElements), std::end(kElements), name,
                       [](const Entry& entry, std::string_view n) { return entry.name < n; });
  return it != std::end(kElements) && it->name == name ? it->element : Element::kOther;
}

// Characters 0x80 to 0x9F of a numeric reference mean the Windows-1252
// characters of those bytes; those 1252 leaves unassigned stay as they are.
constexpr std::array<char32_t, 32> kWindows1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80-87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88-8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90-97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98-9F
};

char32_t NumericReferenceCharacter(std::uint32_t value) {
  if (value == 0 || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
    return 0xFFFD;
  if (value >= 0x80 && value <= 0x9F)
    return kWindows1252High[value - 0x80];
  return value;
}

class HtmlTextReader {
 public:
  explicit HtmlTextReader(std::string_view html) : in_(html), writer_(html.size() / 2) {}

  std::string Read() {
    while (at_ < in_.size()) {
      const char c = in_[at_];
      if (c == '<') {
        Markup();
      } else if (c == '&') {
        CharacterReference();
      } else {
        std::size_t end = at_;
        while (end < in_.size() && in_[end] != '<' && in_[end] != '&')
          ++end;
        Characters(in_.substr(at_, end - at_), /*nul_as_replacement=*/false);
        at_ = end;
      }
    }
    return writer_.Take();
  }

 private:
  // Text straight from the document: line ends made LF (as the parser's
  // input stream does), NUL dropped (or replaced, in raw text), malformed
  // UTF-8 replaced by U+FFFD.
  void Characters(std::string_view raw, bool nul_as_replacement) {
    if (raw.empty())
      return;
    if (in_head_ && !std::all_of(raw.begin(), raw.end(), IsHtmlSpace))
      LeaveHeadNoscript();
    if (Hidden() || (frameset_ && !in_noframes_)) {
      skip_newline_ = false;
      return;
    }
    scratch_.clear();
    std::size_t i = 0;
    if (skip_newline_) {
      skip_newline_ = false;
      if (raw[0] == '\n')
        i = 1;
      else if (raw[0] == '\r')
        i = raw.size() > 1 && raw[1] == '\n' ? 2 : 1;
    }
    while (i < raw.size()) {
      const char c = raw[i];
      const auto byte = static_cast<unsigned char>(c);
      if (byte >= 0x80) {
        const utf8::Sequence sequence = utf8::SequenceAt(raw, i);
        if (sequence.length > 0 && !IsReplacedCharacter(sequence.character)) {
          scratch_.append(raw.substr(i, sequence.length));
        } else {
          scratch_.append(kReplacement);
        }
        i += sequence.skip;
        continue;
      }
      if (c == '\r') {
        scratch_.push_back('\n');
        i += i + 1 < raw.size() && raw[i + 1] == '\n' ? 2 : 1;
        continue;
      }
      if (c == '\0') {
        if (nul_as_replacement)
          scratch_.append(kReplacement);
      } else if (IsReplacedCharacter(byte)) {
        scratch_.append(kReplacement);
      } else {
        scratch_.push_back(c);
      }
      ++i;
    }
    writer_.Text(scratch_, pre_ > 0);
  }

  // Characters that came from a reference: already well-formed, and a
  // carriage return written as "&#13;" stays one.
  void DecodedCharacters(std::string_view text) {
    if (in_head_ && !std::all_of(text.begin(), text.end(), IsHtmlSpace))
      LeaveHeadNoscript();
    if (Hidden() || (frameset_ && !in_noframes_))
      return;
    if (skip_newline_) {
      skip_newline_ = false;
      if (!text.empty() && text[0] == '\n')
        text.remove_prefix(1);
    }
    writer_.Text(text, pre_ > 0);
  }

  // At "&": a character reference, or the "&" itself.
  void CharacterReference() {
    std::string decoded;
    const std::size_t length = ReferenceAt(in_.substr(at_), &decoded);
    if (length == 0) {
      Characters("&", false);
      ++at_;
      return;
    }
    DecodedCharacters(decoded);
    at_ += length;
  }

  // The reference at text[0] ("&"): its length and characters, or 0 when
  // there is none.
  static std::size_t ReferenceAt(std::string_view text, std::string* decoded) {
    std::size_t i = 1;
    if (i < text.size() && text[i] == '#')
      return NumericReferenceAt(text, decoded);
    while (i < text.size() && i <= kMaxReferenceLength && IsAsciiAlphaNumeric(text[i]))
      ++i;
    if (i == 1)
      return 0;
    if (i < text.size() && text[i] == ';') {
      const std::string_view found = NamedCharacterReference(text.substr(1, i));
      if (!found.empty()) {
        decoded->assign(found);
        return i + 1;
      }
    }
    // The legacy names are matched without their ";", longest first.
    for (std::size_t n = std::min(i - 1, kMaxLegacyReferenceLength); n >= 2; --n) {
      const std::string_view found = NamedCharacterReference(text.substr(1, n));
      if (!found.empty()) {
        decoded->assign(found);
        return n + 1;
      }
    }
    return 0;
  }

  static std::size_t NumericReferenceAt(std::string_view text, std::string* decoded) {
    std::size_t i = 2;  // past "&#"
    const bool hex = i < text.size() && (text[i] == 'x' || text[i] == 'X');
    if (hex)
      ++i;
    const std::size_t digits_start = i;
    std::uint32_t value = 0;
    for (; i < text.size(); ++i) {
      const char c = text[i];
      unsigned digit;
      if (c >= '0' && c <= '9')
        digit = static_cast<unsigned>(c - '0');
      else if (hex && c >= 'a' && c <= 'f')
        digit = static_cast<unsigned>(c - 'a' + 10);
      else if (hex && c >= 'A' && c <= 'F')
        digit = static_cast<unsigned>(c - 'A' + 10);
      else
        break;
      // Anything past U+10FFFF is the replacement character; stop growing.
      value = std::min<std::uint32_t>(value * (hex ? 16 : 10) + digit, 0x110000);
    }
    if (i == digits_start)
      return 0;
    if (i < text.size() && text[i] == ';')
      ++i;
    decoded->clear();
    utf8::AppendUtf8(NumericReferenceCharacter(value), *decoded);
    return i;
  }

  // At "<".
  void Markup() {
    const std::size_t next = at_ + 1;
    const char c = next < in_.size() ? in_[next] : '\0';
    if (next < in_.size() && IsAsciiAlpha(c)) {
      StartTag();
      return;
    }
    if (c == '/' && next + 1 < in_.size()) {
      if (IsAsciiAlpha(in_[next + 1])) {
        EndTag();
      } else if (in_[next + 1] == '>') {
        at_ = next + 2;  // "</>" is nothing
        skip_newline_ = false;
      } else {
        SkipBogusComment(next + 1);
      }
      return;
    }
    if (c == '!' && next < in_.size()) {
      Declaration(next + 1);
      return;
    }
    if (c == '?' && next < in_.size()) {
      SkipBogusComment(next + 1);
      return;
    }
    // A "<" that starts nothing (or "</" at the end) is text.
    const std::size_t length = c == '/' ? 2 : 1;
    Characters(in_.substr(at_, std::min(length, in_.size() - at_)), false);
    at_ += length;
  }

  // Past "<!": a comment, a CDATA section, or a declaration read as a bogus
  // comment.
  void Declaration(std::size_t from) {
    skip_newline_ = false;
    const std::string_view rest = in_.substr(from);
    if (rest.starts_with("--")) {
      SkipComment(from + 2);
      return;
    }
    if (rest.starts_with("[CDATA[") && foreign_ > 0) {
      const std::size_t end = in_.find("]]>", from + 7);
      const std::size_t text_end = end == std::string_view::npos ? in_.size() : end;
      Characters(in_.substr(from + 7, text_end - from - 7), true);
      at_ = end == std::string_view::npos ? in_.size() : end + 3;
      return;
    }
    SkipBogusComment(from);
  }

  // Past "<!--". The comment ends at "-->" or "--!>"; "<!-->" and "<!--->"
  // are empty comments; without an end it runs to the end of the document.
  void SkipComment(std::size_t from) {
    const std::string_view rest = in_.substr(from);
    if (rest.starts_with(">")) {
      at_ = from + 1;
      return;
    }
    if (rest.starts_with("->")) {
      at_ = from + 2;
      return;
    }
    for (std::size_t dashes = in_.find("--", from); dashes != std::string_view::npos;
         dashes = in_.find("--", dashes + 1)) {
      std::size_t after = dashes + 2;
      while (after < in_.size() && in_[after] == '-')
        ++after;
      if (after < in_.size() && in_[after] == '>') {
        at_ = after + 1;
        return;
      }
      if (after + 1 < in_.size() && in_[after] == '!' && in_[after + 1] == '>') {
        at_ = after + 2;
        return;
      }
      dashes = after - 2;
    }
    at_ = in_.size();
  }

  void SkipBogusComment(std::size_t from) {
    skip_newline_ = false;
    const std::size_t end = in_.find('>', from);
    at_ = end == std::string_view::npos ? in_.size() : end + 1;
  }

  // From `from`, inside a tag after its name: passes over the attributes
  // (quoted values may hold ">") to just past the closing ">". Returns
  // false when the document ends first: the tag is then dropped.
  bool SkipAttributes(std::size_t from, bool* self_closing) {
    std::size_t i = from;
    *self_closing = false;
    while (i < in_.size()) {
      const char c = in_[i];
      if (c == '>') {
        at_ = i + 1;
        return true;
      }
      if (IsHtmlSpace(c) || c == '/') {
        *self_closing = c == '/';
        ++i;
        continue;
      }
      *self_closing = false;
      // An attribute name: its first byte may be anything, even "=".
      ++i;
      while (i < in_.size() && !IsHtmlSpace(in_[i]) && in_[i] != '/' && in_[i] != '>' &&
             in_[i] != '=')
        ++i;
      std::size_t j = i;
      while (j < in_.size() && IsHtmlSpace(in_[j]))
        ++j;
      if (j >= in_.size() || in_[j] != '=') {
        i = j;
        continue;  // no value
      }
      ++j;
      while (j < in_.size() && IsHtmlSpace(in_[j]))
        ++j;
      if (j >= in_.size())
        break;
      if (in_[j] == '"' || in_[j] == '\'') {
        const std::size_t close = in_.find(in_[j], j + 1);
        if (close == std::string_view::npos)
          break;
        i = close + 1;
      } else {
        // Unquoted: up to white space or ">".
        i = j;
        while (i < in_.size() && !IsHtmlSpace(in_[i]) && in_[i] != '>')
          ++i;
      }
    }
    at_ = in_.size();
    return false;
  }

  // The tag name at `from` (lower-cased into name_) and the offset past it.
  std::size_t ReadTagName(std::size_t from) {
    std::size_t i = from;
    name_.clear();
    while (i < in_.size() && !IsHtmlSpace(in_[i]) && in_[i] != '/' && in_[i] != '>') {
      if (name_.size() <= kLongestName)
        name_.push_back(ascii::ToLower(in_[i]));
      ++i;
    }
    return i;
  }

  // --- The open elements -------------------------------------------------
  //
  // Only the elements whose end changes the text are kept: blocks, table
  // parts and the hidden parents. Each of them is "special" to the HTML
  // parser, and only these bound the reach of an end tag, so an end tag
  // that closes nothing kept here changes nothing either.

  struct Open {
    std::string name;
    Element element;
    bool head_noscript;  // <noscript> read while the head was still open
  };

  bool Hidden() const { return hidden_ > 0 || unkept_hidden_ > 0; }

  void Push(Element element, bool head_noscript = false) {
    if (open_.size() >= kMaxOpen) {
      // Deeper elements are not kept (each look-up walks the stack); a
      // hidden one still hides until an end tag of its kind.
      if (element == Element::kHiddenParent)
        ++unkept_hidden_;
      return;
    }
    open_.push_back({name_, element, head_noscript});
    if (element == Element::kHiddenParent)
      ++hidden_;
    if (element == Element::kPre)
      ++pre_;
  }

  // Closes open_[index] and everything opened after it.
  void PopTo(std::size_t index) {
    while (open_.size() > index) {
      if (open_.back().element == Element::kHiddenParent)
        --hidden_;
      if (open_.back().element == Element::kPre)
        --pre_;
      open_.pop_back();
    }
  }

  static constexpr std::size_t kNone = static_cast<std::size_t>(-1);

  // The innermost open `name` within reach: tables, cells and the hidden
  // parents bound the reach (table parts reach to their table only).
  std::size_t FindInScope(std::string_view name, bool table_scope = false) const {
    for (std::size_t i = open_.size(); i > 0; --i) {
      const Open& open = open_[i - 1];
      if (open.name == name)
        return i - 1;
      const bool bound =
          open.name == "table" || open.name == "template" ||
          (!table_scope && (open.element == Element::kTable || open.element == Element::kCell ||
                            open.element == Element::kHiddenParent));
      if (bound)
        return kNone;
    }
    return kNone;
  }

  // An element that ends an open paragraph starts.
  void CloseParagraph() {
    const std::size_t p = FindInScope("p");
    if (p == kNone)
      return;
    PopTo(p);
    if (!Hidden())
      writer_.BlockBoundary();
  }

  // <li> (or <dd>, <dt>) ends the list item open in the same list.
  void CloseListItem(std::initializer_list<std::string_view> items) {
    for (std::size_t i = open_.size(); i > 0; --i) {
      const Open& open = open_[i - 1];
      if (std::find(items.begin(), items.end(), open.name) != items.end()) {
        PopTo(i - 1);
        return;
      }
      if (open.name != "address" && open.name != "div" && open.name != "p")
        return;
    }
  }

  bool InTable() const {
    return std::any_of(open_.begin(), open_.end(),
                       [](const Open& open) { return open.name == "table"; });
  }

  // A <noscript> met while the head was open hides only what a head may
  // hold; anything else closes it and starts the body.
  void LeaveHeadNoscript() {
    if (!open_.empty() && open_.back().head_noscript)
      PopTo(open_.size() - 1);
    in_head_ = false;
  }

  void StartTag() {
    bool self_closing = false;
    if (!SkipAttributes(ReadTagName(at_ + 1), &self_closing))
      return;
    skip_newline_ = false;
    const Element element = ElementOf(name_);
    if (element != Element::kHead && element != Element::kHeadContent &&
        element != Element::kTitle && element != Element::kScript &&
        !(element == Element::kHiddenRaw && name_ == "style") && name_ != "noframes" &&
        !(element == Element::kHiddenParent && name_ != "object")) {
      LeaveHeadNoscript();
    }
    switch (element) {
      case Element::kScript:
        SkipScriptData();
        return;
      case Element::kHiddenRaw:
      case Element::kTitle:
        SkipRawText(name_, false, false);
        return;
      case Element::kVisibleRaw:
        if (name_ == "xmp")
          CloseParagraph();
        in_noframes_ = name_ == "noframes";
        SkipRawText(name_, true, false);
        in_noframes_ = false;
        return;
      case Element::kTextArea:
        skip_newline_ = true;
        ++pre_;
        SkipRawText(name_, true, true);
        --pre_;
        skip_newline_ = false;
        return;
      case Element::kPlainText:
        CloseParagraph();
        Characters(in_.substr(at_), true);
        at_ = in_.size();
        return;
      case Element::kHiddenParent:
        Push(element, in_head_ && name_ == "noscript");
        return;
      case Element::kForeign:
        if (!self_closing)
          ++foreign_;
        return;
      case Element::kFrameset:
        // Only before any text: later, the page has a body already.
        frameset_ = frameset_ || writer_.Empty();
        return;
      case Element::kBreak:
        if (!Hidden())
          writer_.LineBreak();
        return;
      case Element::kClosesP:
        CloseParagraph();
        return;
      case Element::kListing:
        CloseParagraph();
        Push(element);
        skip_newline_ = true;
        return;
      case Element::kPre:
      case Element::kBlock:
        if (name_ == "li")
          CloseListItem({"li"});
        else if (name_ == "dd" || name_ == "dt")
          CloseListItem({"dd", "dt"});
        CloseParagraph();
        if (name_ != "hr")
          Push(element);
        if (!Hidden())
          writer_.BlockBoundary();
        skip_newline_ = element == Element::kPre;
        return;
      case Element::kTable:
        if (name_ == "caption" && !InTable())
          return;
        Push(element);
        if (!Hidden())
          writer_.BlockBoundary();
        return;
      case Element::kRow:
      case Element::kCell:
        // Outside a table these tags are ignored.
        if (!InTable())
          return;
        // A new row ends the open row, a new cell the open cell.
        if (element == Element::kRow) {
          if (const std::size_t open = FindInScope("tr", true); open != kNone)
            PopTo(open);
        } else {
          for (std::string_view cell : {"td", "th"}) {
            if (const std::size_t open = FindInScope(cell, true); open != kNone)
              PopTo(open);
          }
        }
        Push(element);
        if (!Hidden()) {
          if (element == Element::kRow)
            writer_.BlockBoundary();
          else
            writer_.Text(" ", false);
        }
        return;
      default:
        return;
    }
  }

  void EndTag() {
    bool self_closing = false;
    if (!SkipAttributes(ReadTagName(at_ + 2), &self_closing))
      return;
    skip_newline_ = false;
    const Element element = ElementOf(name_);
    if (name_ == "head") {
      in_head_ = false;
      return;
    }
    if (!open_.empty() && open_.back().head_noscript) {
      if (name_ == "noscript")
        PopTo(open_.size() - 1);
      else if (element == Element::kBreak)
        LeaveHeadNoscript();
      else
        return;  // other end tags are ignored there
    }
    switch (element) {
      case Element::kHiddenParent:
        if (unkept_hidden_ > 0) {
          --unkept_hidden_;
          return;
        }
        if (name_ == "object") {
          if (const std::size_t open = FindInScope("object"); open != kNone)
            PopTo(open);
        } else if (name_ == "template") {
          for (std::size_t i = open_.size(); i > 0; --i) {
            if (open_[i - 1].name == "template") {
              PopTo(i - 1);
              break;
            }
          }
        } else if (!open_.empty() && open_.back().name == name_) {
          // Closes <noscript> only when nothing kept here is open inside it.
          PopTo(open_.size() - 1);
        }
        return;
      case Element::kForeign:
        if (foreign_ > 0)
          --foreign_;
        return;
      case Element::kBreak:  // "</br>" is read as "<br>"
        if (!Hidden())
          writer_.LineBreak();
        return;
      case Element::kBlock:
      case Element::kPre:
      case Element::kListing:
      case Element::kTable:
      case Element::kRow:
      case Element::kCell: {
        const bool table_part =
            element == Element::kRow || element == Element::kCell || element == Element::kTable;
        const std::size_t open = FindInScope(name_, table_part);
        if (open == kNone) {
          // "</p>" with no paragraph open makes an empty one.
          if (name_ == "p" && !Hidden())
            writer_.BlockBoundary();
          return;
        }
        PopTo(open);
        if (!Hidden() && element != Element::kCell)
          writer_.BlockBoundary();
        return;
      }
      default:
        return;
    }
  }

  // Whether an end tag of `name` starts at `at` ("</name" followed by white
  // space, "/" or ">"; any letter case).
  bool EndTagOf(std::string_view name, std::size_t at) const {
    if (at + 2 + name.size() >= in_.size() || in_[at] != '<' || in_[at + 1] != '/')
      return false;
    const char after = in_[at + 2 + name.size()];
    return ascii::EqualsIgnoreCase(in_.substr(at + 2, name.size()), name) &&
           (IsHtmlSpace(after) || after == '/' || after == '>');
  }

  // Past a start tag whose content is raw text: up to its end tag, which is
  // then read as a tag. `shown`: the text is part of the document;
  // `references`: character references in it are decoded.
  void SkipRawText(std::string name, bool shown, bool references) {
    std::size_t end = at_;
    while ((end = in_.find('<', end)) != std::string_view::npos && !EndTagOf(name, end))
      ++end;
    if (end == std::string_view::npos)
      end = in_.size();
    if (shown) {
      const std::size_t stop = end;
      while (at_ < stop) {
        const std::size_t amp = references ? std::min(in_.find('&', at_), stop) : stop;
        Characters(in_.substr(at_, amp - at_), true);
        at_ = amp;
        if (at_ < stop) {
          std::string decoded;
          const std::size_t length = ReferenceAt(in_.substr(at_, stop - at_), &decoded);
          if (length == 0) {
            Characters("&", true);
            ++at_;
          } else {
            DecodedCharacters(decoded);
            at_ += length;
          }
        }
      }
    }
    at_ = end;
    if (end < in_.size()) {
      bool self_closing = false;
      SkipAttributes(end + 2 + name.size(), &self_closing);
    }
  }

  // Past <script>: the script data runs to "</script", except inside an
  // escaped "<!-- ... -->" where a nested "<script>" must be closed first.
  void SkipScriptData() {
    enum State { kData, kEscaped, kDoubleEscaped } state = kData;
    std::size_t i = at_;
    while (i < in_.size()) {
      const char c = in_[i];
      if (state != kDoubleEscaped && EndTagOf("script", i)) {
        at_ = i;
        bool self_closing = false;
        SkipAttributes(i + 8, &self_closing);
        return;
      }
      if (state == kData) {
        if (in_.substr(i).starts_with("<!--")) {
          state = kEscaped;
          i += 4;
          continue;
        }
      } else if (c == '-' && in_.substr(i).starts_with("-->")) {
        state = kData;
        i += 3;
        continue;
      } else if (c == '<') {
        // "<script" opens a nested script inside the escape; "</script"
        // closes it.
        const std::size_t name =
            i + (state == kDoubleEscaped && i + 1 < in_.size() && in_[i + 1] == '/' ? 2 : 1);
        if (name + 6 < in_.size() && ascii::EqualsIgnoreCase(in_.substr(name, 6), "script")) {
          const char after = in_[name + 6];
          if (IsHtmlSpace(after) || after == '/' || after == '>') {
            if (state == kEscaped && name == i + 1)
              state = kDoubleEscaped;
            else if (state == kDoubleEscaped && name == i + 2)
              state = kEscaped;
            i = name + 6;
            continue;
          }
        }
      }
      ++i;
    }
    at_ = in_.size();
  }

  // Longer tag names than the longest known one need not be kept whole.
  static constexpr std::size_t kLongestName = 10;

  std::string_view in_;
  std::size_t at_ = 0;
  TextWriter writer_;
  std::string scratch_;
  std::string name_;
  // Real mail nests a few dozen elements deep.
  static constexpr std::size_t kMaxOpen = 256;
  std::vector<Open> open_;
  int hidden_ = 0;         // open <noscript>, <object>, <template>
  int unkept_hidden_ = 0;  // the same, opened beyond kMaxOpen
  int pre_ = 0;            // open <pre> (and <textarea>)
  // Nothing of the body was met yet.
  bool in_head_ = true;
  int foreign_ = 0;  // open <svg> and <math>
  // After <pre>, <listing> and <textarea> a first line feed is no text.
  bool skip_newline_ = false;
  // A page of frames shows no text but that of <noframes>.
  bool frameset_ = false;
  bool in_noframes_ = false;
};

}  // namespace

std::string HtmlToText(std::string_view html) {
  try {
    return HtmlTextReader(html).Read();
  } catch (...) {
    // Only allocation can fail; the document then gives no text.
    return {};
  }
}

}  // namespace varnox::mime
