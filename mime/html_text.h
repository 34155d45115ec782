// The readable text of an HTML document, as a mail reader would show it.
#ifndef VARNOX_MIME_HTML_TEXT_H_
#define VARNOX_MIME_HTML_TEXT_H_

#include <string>
#include <string_view>

namespace varnox::mime {

// `html` is UTF-8 (malformed bytes are tolerated). The result is UTF-8 with
// LF line ends: the text of the document without tags, without the
// contents of <head>, <script>, <style> and the like, with entities
// decoded, white space collapsed as a browser does (kept inside <pre>), and
// a line break for <br> and around paragraphs, list items, table rows and
// other blocks. Never throws; every input gives some text.
std::string HtmlToText(std::string_view html);

}  // namespace varnox::mime

#endif  // VARNOX_MIME_HTML_TEXT_H_
