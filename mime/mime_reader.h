// Reading a message (the bytes of an RFC 822 file) into the three texts that
// the filter works on, as the host's string properties give them:
//
// - transport headers: the raw header block with CR LF line ends, ending
//   with exactly one CR LF; present only for a message that came through
//   transport (it carries a "Received:" header);
// - body: the text/plain part of the main body (multipart/alternative
//   prefers it), else the text of its HTML part; transfer encodings decoded,
//   charsets converted, then code page 1252 as filter_text.h says, with CR LF
//   line ends. Attachments are not body. A message with no text part has an
//   empty body;
// - subject: the RFC 2047-decoded subject in code page 1252 with one leading
//   reply or forward prefix ("Re: ", "FW: ", 1 to 3 letters, ":" and a
//   space) removed; empty when the message has none.
//
// The functions here are pure: they take bytes and give text, touch no file,
// never throw, and may be called from any thread. Every input, however
// broken (no headers, broken MIME, deep nesting, NUL bytes, unknown
// charsets, CR-only line ends), gives texts.
#ifndef VARNOX_MIME_MIME_READER_H_
#define VARNOX_MIME_MIME_READER_H_

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace varnox::mime {

// Where the header block of a message file lies. The header block is every
// line from the start of the file up to the first empty line (or the end of
// the file); a file whose first line is no header field has an empty block.
// One leading mbox envelope line ("From sender date", as mail saved from a
// mailbox file begins) is the mailbox's separator, not part of the message:
// the block starts after it.
struct HeaderBlock {
  // Offset of the first header line: 0, or just past the envelope line.
  std::size_t start = 0;
  // Offset just past the last header line, its line end included.
  std::size_t end = 0;
  // Offset of the body: past the empty line; the file's size when none;
  // `start` when the file has no header field.
  std::size_t body_start = 0;
  // The file's own line end, taken from its first line: "\r\n", "\n" or "\r"
  // ("\n" when the file has no line end at all).
  std::string_view line_end = "\n";
  // False when the last header line ends the file without a line end.
  bool last_line_ended = true;

  bool has_fields() const { return body_start > start; }
};

HeaderBlock FindHeaderBlock(std::string_view raw);

// The transport headers of the block (see above), or nullopt when the block
// holds no "Received:" field.
std::optional<std::string> TransportHeaders(std::string_view raw, const HeaderBlock& block);

// The message's bytes up to its body with `appended` (CR LF line ends)
// added at the end of the header block, in the file's own line-end
// convention and ended by a line end; a file without header fields gets the
// empty line that ends the new ones. The verdict fields that came with the
// message (verdict_fields.h: a sender may forge them) are left out, each
// with its continuation lines. Followed by raw.substr(block.end), it is the
// message with the text added, those fields gone, and no other byte changed:
// what every store that writes message files itself (Maildir, IMAP) and
// `varnox classify --stamp` write.
std::string HeaderPrefixWith(std::string_view raw, const HeaderBlock& block,
                             std::string_view appended);

struct MimeTexts {
  std::optional<std::string> headers;
  std::string body;
  std::string subject;
};

MimeTexts ReadMimeTexts(std::string_view raw);
// The same, always by way of the full MIME parser: what ReadMimeTexts'
// quicker reading of plain messages is tested against.
MimeTexts ReadMimeTextsThroughParser(std::string_view raw);

// `bytes` labelled with `charset` (null: no label) as text for the filter
// (filter_text.h), converted as a plain body is: an unknown charset, or
// UTF-8 that is not, is read as Windows-1252.
std::string CharsetFilterText(std::string_view bytes, const char* charset);

// `subject` without one leading reply or forward prefix.
std::string_view NormalizedSubject(std::string_view subject);

}  // namespace varnox::mime

#endif  // VARNOX_MIME_MIME_READER_H_
