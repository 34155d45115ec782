// The reference for HtmlToText: the document parsed by gumbo into a tree,
// whose text is laid out as HtmlToText lays out its own (this was the
// Maildir host's reader before it read HTML in one pass).
#include "tests/mime/gumbo_html_text.h"

#include <gumbo.h>

#include <algorithm>
#include <vector>

namespace varnox::mime::testing {
namespace {

// Gumbo frees its tree recursively, so a document nested deeper than this
// could exhaust the stack; such documents (and very large ones, which gumbo
// parses slowly) are read by the plain tag stripper instead.
constexpr std::size_t kMaxTagsForParser = 20000;

bool IsHidden(GumboTag tag) {
  switch (tag) {
    case GUMBO_TAG_HEAD:
    case GUMBO_TAG_SCRIPT:
    case GUMBO_TAG_STYLE:
    case GUMBO_TAG_TITLE:
    case GUMBO_TAG_TEMPLATE:
    case GUMBO_TAG_NOSCRIPT:
    case GUMBO_TAG_OBJECT:
    case GUMBO_TAG_IFRAME:
      return true;
    default:
      return false;
  }
}

bool IsBlock(GumboTag tag) {
  switch (tag) {
    case GUMBO_TAG_P:
    case GUMBO_TAG_DIV:
    case GUMBO_TAG_LI:
    case GUMBO_TAG_TR:
    case GUMBO_TAG_TABLE:
    case GUMBO_TAG_UL:
    case GUMBO_TAG_OL:
    case GUMBO_TAG_DL:
    case GUMBO_TAG_DT:
    case GUMBO_TAG_DD:
    case GUMBO_TAG_H1:
    case GUMBO_TAG_H2:
    case GUMBO_TAG_H3:
    case GUMBO_TAG_H4:
    case GUMBO_TAG_H5:
    case GUMBO_TAG_H6:
    case GUMBO_TAG_BLOCKQUOTE:
    case GUMBO_TAG_PRE:
    case GUMBO_TAG_HR:
    case GUMBO_TAG_ADDRESS:
    case GUMBO_TAG_CENTER:
    case GUMBO_TAG_FORM:
    case GUMBO_TAG_SECTION:
    case GUMBO_TAG_ARTICLE:
    case GUMBO_TAG_HEADER:
    case GUMBO_TAG_FOOTER:
    case GUMBO_TAG_NAV:
    case GUMBO_TAG_ASIDE:
    case GUMBO_TAG_MAIN:
    case GUMBO_TAG_FIGURE:
    case GUMBO_TAG_CAPTION:
    case GUMBO_TAG_BODY:
      return true;
    default:
      return false;
  }
}

bool IsHtmlSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

// Collects text the way a browser lays it out: runs of white space become
// one space, blocks start and end on a line of their own.
class TextWriter {
 public:
  void Text(std::string_view text, bool preformatted) {
    for (char c : text) {
      if (preformatted) {
        if (c == '\r')
          continue;
        FlushSpace();
        out_.push_back(c);
        continue;
      }
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

struct Frame {
  const GumboNode* node;
  bool leaving;  // the element's children are done
  bool preformatted;
};

// Walks the tree without recursion (a hostile document may nest deeply).
std::string TreeText(const GumboNode* root) {
  TextWriter writer;
  std::vector<Frame> stack{{root, false, false}};
  while (!stack.empty()) {
    const Frame frame = stack.back();
    stack.pop_back();
    const GumboNode* node = frame.node;
    if (node->type == GUMBO_NODE_TEXT || node->type == GUMBO_NODE_WHITESPACE ||
        node->type == GUMBO_NODE_CDATA) {
      writer.Text(node->v.text.text, frame.preformatted);
      continue;
    }
    if (node->type != GUMBO_NODE_ELEMENT && node->type != GUMBO_NODE_DOCUMENT &&
        node->type != GUMBO_NODE_TEMPLATE)
      continue;
    const GumboTag tag =
        node->type == GUMBO_NODE_DOCUMENT ? GUMBO_TAG_UNKNOWN : node->v.element.tag;
    if (frame.leaving) {
      if (IsBlock(tag))
        writer.BlockBoundary();
      continue;
    }
    if (IsHidden(tag))
      continue;
    if (tag == GUMBO_TAG_BR) {
      writer.LineBreak();
      continue;
    }
    if (tag == GUMBO_TAG_TD || tag == GUMBO_TAG_TH)
      writer.Text(" ", false);
    if (IsBlock(tag))
      writer.BlockBoundary();
    const bool pre = frame.preformatted || tag == GUMBO_TAG_PRE || tag == GUMBO_TAG_TEXTAREA;
    stack.push_back({node, true, pre});
    const GumboVector& children =
        node->type == GUMBO_NODE_DOCUMENT ? node->v.document.children : node->v.element.children;
    for (unsigned i = children.length; i > 0; --i)
      stack.push_back({static_cast<const GumboNode*>(children.data[i - 1]), false, pre});
  }
  return writer.Take();
}

bool EqualsLower(std::string_view text, std::string_view lower) {
  return text.size() == lower.size() &&
         std::equal(text.begin(), text.end(), lower.begin(), [](char a, char b) {
           return (a >= 'A' && a <= 'Z' ? static_cast<char>(a - 'A' + 'a') : a) == b;
         });
}

// The fallback for documents too large or deep for the parser: drops tags,
// comments and the contents of script and style, decodes the common
// entities, and breaks lines at <br> and <p>.
std::string StripTags(std::string_view html) {
  TextWriter writer;
  std::size_t i = 0;
  std::string_view skip_until;  // the closing tag of a hidden element
  while (i < html.size()) {
    if (html[i] != '<') {
      const std::size_t next = std::min(html.find('<', i), html.size());
      if (skip_until.empty()) {
        std::string text(html.substr(i, next - i));
        static constexpr std::pair<std::string_view, std::string_view> kEntities[] = {
            {"&nbsp;", "\xC2\xA0"}, {"&amp;", "&"},   {"&lt;", "<"},
            {"&gt;", ">"},          {"&quot;", "\""}, {"&#39;", "'"}};
        for (const auto& [entity, value] : kEntities) {
          for (std::size_t at = text.find(entity); at != std::string::npos;
               at = text.find(entity, at + value.size()))
            text.replace(at, entity.size(), value);
        }
        writer.Text(text, false);
      }
      i = next;
      continue;
    }
    if (html.compare(i, 4, "<!--") == 0) {
      const std::size_t end = html.find("-->", i + 4);
      i = end == std::string_view::npos ? html.size() : end + 3;
      continue;
    }
    const std::size_t end = html.find('>', i);
    const std::string_view tag =
        html.substr(i + 1, (end == std::string_view::npos ? html.size() : end) - i - 1);
    i = end == std::string_view::npos ? html.size() : end + 1;
    std::size_t name_end = 0;
    while (name_end < tag.size() && !IsHtmlSpace(tag[name_end]) && tag[name_end] != '/')
      ++name_end;
    if (name_end == 0 && !tag.empty() && tag[0] == '/') {
      name_end = 1;
      while (name_end < tag.size() && !IsHtmlSpace(tag[name_end]))
        ++name_end;
    }
    const std::string_view name = tag.substr(0, name_end);
    if (!skip_until.empty()) {
      if (EqualsLower(name, skip_until))
        skip_until = {};
      continue;
    }
    if (EqualsLower(name, "script"))
      skip_until = "/script";
    else if (EqualsLower(name, "style"))
      skip_until = "/style";
    else if (EqualsLower(name, "br"))
      writer.LineBreak();
    else if (EqualsLower(name, "p") || EqualsLower(name, "/p") || EqualsLower(name, "div") ||
             EqualsLower(name, "/div") || EqualsLower(name, "tr") || EqualsLower(name, "li"))
      writer.BlockBoundary();
  }
  return writer.Take();
}

}  // namespace

std::string GumboHtmlToText(std::string_view html) {
  if (static_cast<std::size_t>(std::count(html.begin(), html.end(), '<')) > kMaxTagsForParser)
    return StripTags(html);
  // Parse errors are not wanted; recording them costs more than parsing.
  GumboOptions options = kGumboDefaultOptions;
  options.max_errors = 0;
  GumboOutput* output = gumbo_parse_with_options(&options, html.data(), html.size());
  if (output == nullptr)
    return StripTags(html);
  std::string text = TreeText(output->document);
  gumbo_destroy_output(&options, output);
  return text;
}

}  // namespace varnox::mime::testing
