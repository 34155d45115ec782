// The text of an HTML document by way of gumbo's HTML parser: the reference
// that the one-pass reader (mime/html_text.h) is compared with.
#ifndef VARNOX_TESTS_MIME_GUMBO_HTML_TEXT_H_
#define VARNOX_TESTS_MIME_GUMBO_HTML_TEXT_H_

#include <string>
#include <string_view>

namespace varnox::mime::testing {

// What HtmlToText promises, from gumbo's tree: the text without tags and
// hidden elements, entities decoded, white space collapsed (kept in <pre>),
// line breaks for <br> and around blocks. Documents of more than 20,000
// tags are read by a plain tag stripper, since gumbo frees its tree
// recursively.
std::string GumboHtmlToText(std::string_view html);

}  // namespace varnox::mime::testing

#endif  // VARNOX_TESTS_MIME_GUMBO_HTML_TEXT_H_
