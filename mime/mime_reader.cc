#include "mime/mime_reader.h"

// GMime's charset converters are iconv's (gmime-iconv.h brings its type).
#include <gmime/gmime.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <memory>
#include <mutex>

#include "mime/filter_text.h"
#include "mime/html_text.h"
#include "mime/verdict_fields.h"
#include "platform/ascii_case.h"
#include "platform/code_page.h"
#include "platform/utf8.h"

namespace varnox::mime {
namespace {

// Parts nested deeper than this are not searched for the body.
constexpr int kMaxPartDepth = 128;
// GMime parses and frees nested multiparts recursively; a message that
// names more multiparts than this is read for its headers only, so that a
// hostile nesting cannot exhaust the stack. Real mail nests a handful.
constexpr std::size_t kMaxMultiparts = 1000;

GMimeParserOptions* ParserOptions() {
  static GMimeParserOptions* options = [] {
    g_mime_init();
    GMimeParserOptions* o = g_mime_parser_options_new();
    // 8-bit header text that is not UTF-8 is most often Windows' own.
    static const char* fallback[] = {"UTF-8", "windows-1252", nullptr};
    g_mime_parser_options_set_fallback_charsets(o, fallback);
    g_mime_parser_options_set_rfc2047_compliance_mode(o, GMIME_RFC_COMPLIANCE_LOOSE);
    g_mime_parser_options_set_parameter_compliance_mode(o, GMIME_RFC_COMPLIANCE_LOOSE);
    g_mime_parser_options_set_address_compliance_mode(o, GMIME_RFC_COMPLIANCE_LOOSE);
    return o;
  }();
  return options;
}

struct GObjectUnref {
  void operator()(void* object) const { g_object_unref(object); }
};
template <typename T>
using GPtr = std::unique_ptr<T, GObjectUnref>;

bool IsLineEnd(char c) {
  return c == '\r' || c == '\n';
}

std::size_t LineEndLength(std::string_view raw, std::size_t at) {
  return raw[at] == '\r' && at + 1 < raw.size() && raw[at + 1] == '\n' ? 2 : 1;
}

// A header field starts with a name of printable characters and a colon.
bool StartsHeaderField(std::string_view line) {
  const std::size_t colon = line.find(':');
  if (colon == 0 || colon == std::string_view::npos)
    return false;
  return std::all_of(line.begin(), line.begin() + static_cast<std::ptrdiff_t>(colon),
                     [](char c) { return c > ' ' && c < 0x7F; });
}

bool IsAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// Whether text that is not valid UTF-8 still holds a well-formed multi-byte
// sequence: damaged UTF-8 (its bad bytes are then marked) rather than text
// in a single-byte charset.
bool HasUtf8Sequence(std::string_view text) {
  const char* p = text.data();
  const char* end = text.data() + text.size();
  while (p < end) {
    if (static_cast<unsigned char>(*p) < 0x80) {
      ++p;
      continue;
    }
    const gunichar c = g_utf8_get_char_validated(p, end - p);
    if (c != static_cast<gunichar>(-1) && c != static_cast<gunichar>(-2))
      return true;
    ++p;
  }
  return false;
}

// Text said to be UTF-8, or of no known charset, that is not valid UTF-8.
std::string FromDoubtfulUtf8(std::string_view bytes) {
  return HasUtf8Sequence(bytes) ? std::string(bytes) : utf8::FromCodePage1252(bytes);
}

bool IsWindows1252Name(std::string_view name) {
  return ascii::EqualsIgnoreCase(name, "iso-8859-1") ||
         ascii::EqualsIgnoreCase(name, "windows-1252") || ascii::EqualsIgnoreCase(name, "latin1") ||
         ascii::EqualsIgnoreCase(name, "cp1252");
}

bool IsUtf8Name(std::string_view name) {
  return name.empty() || ascii::EqualsIgnoreCase(name, "utf-8") ||
         ascii::EqualsIgnoreCase(name, "us-ascii") || ascii::EqualsIgnoreCase(name, "utf8");
}

// `bytes` in `charset` as UTF-8. Text in an unknown charset, and text
// labelled UTF-8 that is not, is taken as Windows-1252, which maps every
// byte, unless it is damaged UTF-8; undecodable sequences in other charsets
// become "?".
std::string ToUtf8(std::string_view bytes, const char* charset) {
  if (IsAscii(bytes))
    return std::string(bytes);
  const std::string_view name = charset ? charset : "";
  const bool valid_utf8 = g_utf8_validate(bytes.data(), static_cast<gssize>(bytes.size()), nullptr);
  if (IsUtf8Name(name))
    return valid_utf8 ? std::string(bytes) : FromDoubtfulUtf8(bytes);
  if (IsWindows1252Name(name))
    return utf8::FromCodePage1252(bytes);
  ParserOptions();  // GMime's converters need the library set up first
  iconv_t cd = g_mime_iconv_open("UTF-8", charset);
  if (cd == reinterpret_cast<iconv_t>(-1))
    return valid_utf8 ? std::string(bytes) : FromDoubtfulUtf8(bytes);
  std::string out;
  out.reserve(bytes.size() * 2);
  std::array<char, 4096> chunk;
  char* in = const_cast<char*>(bytes.data());
  std::size_t in_left = bytes.size();
  while (in_left > 0) {
    char* to = chunk.data();
    std::size_t to_left = chunk.size();
    const std::size_t done = iconv(cd, &in, &in_left, &to, &to_left);
    out.append(chunk.data(), chunk.size() - to_left);
    if (done == static_cast<std::size_t>(-1) && errno != E2BIG) {
      // An invalid or truncated sequence: mark it and go on after its byte.
      out.push_back('?');
      ++in;
      --in_left;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
  }
  char* to = chunk.data();
  std::size_t to_left = chunk.size();
  iconv(cd, nullptr, nullptr, &to, &to_left);
  out.append(chunk.data(), chunk.size() - to_left);
  g_mime_iconv_close(cd);
  return out;
}

// ToFilterText(ToUtf8(bytes, charset)) without the way through UTF-8 where
// it changes nothing: ASCII, and text read as Windows-1252, every character
// of which converts back to its own byte (none composes with another; only
// the no-break space becomes a space).
std::string FilterTextOf(std::string_view bytes, const char* charset) {
  if (IsAscii(bytes))
    return std::string(bytes);
  const std::string_view name = charset ? charset : "";
  if (IsWindows1252Name(name) ||
      (IsUtf8Name(name) &&
       !g_utf8_validate(bytes.data(), static_cast<gssize>(bytes.size()), nullptr) &&
       !HasUtf8Sequence(bytes))) {
    std::string text(bytes);
    std::replace(text.begin(), text.end(), '\xA0', ' ');
    return text;
  }
  return ToFilterText(ToUtf8(bytes, charset));
}

struct BodyChoice {
  GMimePart* plain = nullptr;
  GMimePart* html = nullptr;
  bool found() const { return plain != nullptr || html != nullptr; }
};

bool IsAttachment(GMimeObject* object) {
  GMimeContentDisposition* disposition = g_mime_object_get_content_disposition(object);
  return disposition != nullptr && g_mime_content_disposition_is_attachment(disposition);
}

// The main body's text parts. multipart/alternative prefers plain text;
// multipart/related looks at its root; other multiparts (mixed, signed,
// ...) take the first child that has a body. Attached messages and
// attachments are not body.
void FindBody(GMimeObject* object, int depth, BodyChoice* choice) {
  if (object == nullptr || depth > kMaxPartDepth)
    return;
  GMimeContentType* type = g_mime_object_get_content_type(object);
  if (GMIME_IS_MULTIPART(object)) {
    GMimeMultipart* multipart = GMIME_MULTIPART(object);
    const int count = g_mime_multipart_get_count(multipart);
    const bool alternative = type && g_mime_content_type_is_type(type, "multipart", "alternative");
    if (type && g_mime_content_type_is_type(type, "multipart", "encrypted"))
      return;
    if (type && g_mime_content_type_is_type(type, "multipart", "related") && count > 0) {
      FindBody(g_mime_multipart_get_part(multipart, 0), depth + 1, choice);
      return;
    }
    BodyChoice found;
    for (int i = 0; i < count; ++i) {
      BodyChoice child;
      FindBody(g_mime_multipart_get_part(multipart, i), depth + 1, &child);
      if (!alternative && child.found()) {
        *choice = child;
        return;
      }
      if (found.plain == nullptr)
        found.plain = child.plain;
      if (found.html == nullptr)
        found.html = child.html;
    }
    *choice = found;
    return;
  }
  if (!GMIME_IS_PART(object) || type == nullptr || IsAttachment(object))
    return;
  if (g_mime_content_type_is_type(type, "text", "plain"))
    choice->plain = GMIME_PART(object);
  else if (g_mime_content_type_is_type(type, "text", "html"))
    choice->html = GMIME_PART(object);
}

// The part's content with its transfer encoding decoded, given to `use`
// with the part's charset (null when it names none).
template <class Use>
std::string WithPartContent(GMimePart* part, Use use) {
  GMimeDataWrapper* content = g_mime_part_get_content(part);
  if (content == nullptr)
    return {};
  GPtr<GMimeStream> stream(g_mime_stream_mem_new());
  if (g_mime_data_wrapper_write_to_stream(content, stream.get()) < 0)
    return {};
  GByteArray* bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(stream.get()));
  const std::string_view decoded(reinterpret_cast<const char*>(bytes->data), bytes->len);
  const char* charset = g_mime_content_type_get_parameter(
      g_mime_object_get_content_type(GMIME_OBJECT(part)), "charset");
  return use(decoded, charset);
}

std::string BodyText(GMimeMessage* message) {
  BodyChoice choice;
  FindBody(g_mime_message_get_mime_part(message), 0, &choice);
  if (choice.plain != nullptr)
    return WithCrLfLineEnds(WithPartContent(choice.plain, FilterTextOf));
  if (choice.html != nullptr) {
    return WithCrLfLineEnds(
        ToFilterText(WithPartContent(choice.html, [](std::string_view bytes, const char* charset) {
          return HtmlToText(ToUtf8(bytes, charset));
        })));
  }
  return {};
}

// Media types are case-insensitive: "MULTIPART/MIXED" nests as deep as
// "multipart/mixed" in GMime, so every spelling counts. Stops one past the
// limit; linear in the message's length. Every "multipart/" holds exactly
// one "/", so the slashes are what is looked for: one byte, which memchr
// finds many bytes at a time (a search for "m" or "M" stopped at nearly
// every word and cost a fifth of judging a message).
std::size_t CountMultiparts(std::string_view raw) {
  constexpr std::string_view kType = "multipart";
  std::size_t count = 0;
  for (std::size_t slash = raw.find('/', kType.size());
       slash != std::string_view::npos && count <= kMaxMultiparts;
       slash = raw.find('/', slash + 1)) {
    if (ascii::EqualsIgnoreCase(raw.substr(slash - kType.size(), kType.size()), kType))
      ++count;
  }
  return count;
}

// Whether GMime needs the header field starting at `line` to give the
// subject and the body: the subject and the MIME fields.
bool IsFieldForParser(std::string_view line) {
  constexpr std::string_view kPrefixes[] = {"content-", "mime-version:", "subject:"};
  for (std::string_view prefix : kPrefixes) {
    if (ascii::StartsWithIgnoreCase(line, prefix))
      return true;
  }
  return false;
}

// `raw` without the header fields GMime does not need for the subject and
// the body. GMime makes an object of every field and frees it again, which
// was most of the time spent on plain mail, whose dozens of Received and
// other trace fields are read from the file as transport headers anyway.
// The fields kept stay in their order with their continuation lines; from a
// line that starts no field (nor continues one) on, the block is kept as it
// is, so that GMime meets the same damage at the same place.
std::string FieldsForParser(std::string_view raw, const HeaderBlock& block) {
  std::string kept;
  kept.reserve(raw.size() - std::min(raw.size(), block.end) + 1024);
  bool keeping = false;
  std::size_t at = block.start;
  while (at < block.end) {
    const std::size_t end = std::min(FindLineEnd(raw, at), block.end);
    const std::size_t next =
        end < block.end ? std::min(end + LineEndLength(raw, end), block.end) : block.end;
    const std::string_view line = raw.substr(at, next - at);
    if (line[0] != ' ' && line[0] != '\t') {
      if (!StartsHeaderField(raw.substr(at, end - at)))
        break;
      keeping = IsFieldForParser(line);
    }
    if (keeping)
      kept.append(line);
    at = next;
  }
  kept.append(raw.substr(at));
  return kept;
}

// The stream GMime parses: a copy of `raw`, with CR alone read as LF (GMime
// knows LF and CR LF line ends only).
GMimeStream* ParserStream(std::string_view raw, const HeaderBlock& block) {
  GMimeStream* stream = g_mime_stream_mem_new_with_buffer(raw.data(), raw.size());
  if (block.line_end == "\r") {
    GByteArray* bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(stream));
    std::replace(bytes->data, bytes->data + bytes->len, static_cast<guint8>('\r'),
                 static_cast<guint8>('\n'));
  }
  return stream;
}

// --- The quick way for plain messages -------------------------------------
//
// Three messages in four are one part of plain text: no multipart, no HTML,
// no transfer encoding, an ASCII subject without encoded words. For them
// the texts follow from the header block directly, exactly as GMime gives
// them (tests/mime/plain_message_test.cc compares the two on every
// message of the corpora), without building and freeing GMime's objects,
// which was half the time of reading such a message. Anything else, and
// anything unusual in these few fields, takes GMime's way.

bool IsFieldSpace(char c) {
  return c == ' ' || c == '\t';
}

std::string_view TrimFieldSpace(std::string_view text) {
  while (!text.empty() && IsFieldSpace(text.front()))
    text.remove_prefix(1);
  while (!text.empty() && IsFieldSpace(text.back()))
    text.remove_suffix(1);
  return text;
}

// The value of a field with its folds taken out: the line ends go, the
// white space after them stays; white space around the value is trimmed.
std::string UnfoldedValue(std::string_view field) {
  std::string value;
  value.reserve(field.size());
  for (char c : field) {
    if (c != '\r' && c != '\n')
      value.push_back(c);
  }
  return std::string(TrimFieldSpace(value));
}

bool IsPrintableAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return (c >= ' ' && c < 0x7F) || c == '\t'; });
}

// RFC 2045 token characters.
bool IsTokenText(std::string_view text) {
  constexpr std::string_view kSpecials = "()<>@,;:\\\"/[]?=";
  return !text.empty() && std::all_of(text.begin(), text.end(), [&](char c) {
    return c > ' ' && c < 0x7F && kSpecials.find(c) == std::string_view::npos;
  });
}

// "text/plain" with simple parameters; *charset gets the charset's value
// (empty when there is none). False for any other value, or a form the
// quick way does not read (comments, continuations, escapes, repeats).
bool ReadPlainContentType(std::string_view value, std::string* charset) {
  std::size_t semicolon = value.find(';');
  const std::string_view type = TrimFieldSpace(value.substr(0, semicolon));
  const std::size_t slash = type.find('/');
  if (slash == std::string_view::npos ||
      !ascii::EqualsIgnoreCase(TrimFieldSpace(type.substr(0, slash)), "text") ||
      !ascii::EqualsIgnoreCase(TrimFieldSpace(type.substr(slash + 1)), "plain"))
    return false;
  charset->clear();
  bool seen_charset = false;
  while (semicolon != std::string_view::npos) {
    std::string_view rest = value.substr(semicolon + 1);
    const std::size_t equals = rest.find('=');
    if (equals == std::string_view::npos)
      return TrimFieldSpace(rest).empty();  // a final ";"
    const std::string_view name = TrimFieldSpace(rest.substr(0, equals));
    rest = rest.substr(equals + 1);
    while (!rest.empty() && IsFieldSpace(rest.front()))
      rest.remove_prefix(1);
    std::string_view parameter;
    if (!rest.empty() && rest.front() == '"') {
      const std::size_t close = rest.find('"', 1);
      if (close == std::string_view::npos)
        return false;
      parameter = rest.substr(1, close - 1);
      if (parameter.find('\\') != std::string_view::npos || !IsPrintableAscii(parameter))
        return false;
      rest = rest.substr(close + 1);
      semicolon = rest.find(';');
      if (!TrimFieldSpace(rest.substr(0, semicolon)).empty())
        return false;
    } else {
      semicolon = rest.find(';');
      parameter = TrimFieldSpace(rest.substr(0, semicolon));
      if (!IsTokenText(parameter))
        return false;
    }
    if (semicolon != std::string_view::npos)
      semicolon += static_cast<std::size_t>(rest.data() - value.data());
    if (!IsTokenText(name))
      return false;
    if (ascii::EqualsIgnoreCase(name, "charset")) {
      if (seen_charset || parameter.empty())
        return false;
      seen_charset = true;
      charset->assign(parameter);
    }
  }
  return true;
}

// The texts of a message of one plain-text part, or false when the message
// must be read by GMime.
bool ReadPlainMessage(std::string_view raw, const HeaderBlock& block, MimeTexts* texts) {
  if (block.line_end == "\r" || CountMultiparts(raw) > kMaxMultiparts)
    return false;
  std::optional<std::string> subject;
  std::optional<std::string> content_type;
  std::optional<std::string> encoding;
  std::size_t at = block.start;
  while (at < block.end) {
    // One field with its continuation lines.
    std::size_t end = at;
    do {
      const std::size_t line_end = std::min(FindLineEnd(raw, end), block.end);
      end = line_end < block.end ? std::min(line_end + LineEndLength(raw, line_end), block.end)
                                 : block.end;
    } while (end < block.end && IsFieldSpace(raw[end]));
    const std::string_view field = raw.substr(at, end - at);
    at = end;
    const std::size_t colon = field.find(':');
    if (!StartsHeaderField(field.substr(0, std::min(FindLineEnd(field, 0), field.size()))))
      return false;  // damage: GMime decides what it means
    const std::string_view name = field.substr(0, colon);
    std::optional<std::string>* slot = nullptr;
    if (ascii::EqualsIgnoreCase(name, "subject"))
      slot = &subject;
    else if (ascii::EqualsIgnoreCase(name, "content-type"))
      slot = &content_type;
    else if (ascii::EqualsIgnoreCase(name, "content-transfer-encoding"))
      slot = &encoding;
    else if (name.size() >= 8 && ascii::EqualsIgnoreCase(name.substr(0, 8), "content-"))
      return false;  // a disposition may make the part an attachment
    if (slot == nullptr)
      continue;
    if (slot->has_value())
      return false;  // which of two fields counts is GMime's to say
    *slot = UnfoldedValue(field.substr(colon + 1));
  }
  if (subject && (!IsPrintableAscii(*subject) || subject->find("=?") != std::string::npos))
    return false;
  std::string charset;
  if (content_type && !ReadPlainContentType(*content_type, &charset))
    return false;
  if (encoding && !ascii::EqualsIgnoreCase(*encoding, "7bit") &&
      !ascii::EqualsIgnoreCase(*encoding, "8bit") && !ascii::EqualsIgnoreCase(*encoding, "binary"))
    return false;
  if (subject)
    texts->subject = std::string(NormalizedSubject(*subject));
  const std::string_view body = raw.substr(block.body_start);
  texts->body = WithCrLfLineEnds(FilterTextOf(body, charset.empty() ? nullptr : charset.c_str()));
  return true;
}

MimeTexts ReadTexts(std::string_view raw, bool quick_way) {
  MimeTexts texts;
  try {
    const HeaderBlock block = FindHeaderBlock(raw);
    texts.headers = TransportHeaders(raw, block);
    if (!block.has_fields()) {
      // No header fields: the file is text and nothing else.
      texts.body = WithCrLfLineEnds(FilterTextOf(raw.substr(block.start), nullptr));
      return texts;
    }
    if (quick_way && ReadPlainMessage(raw, block, &texts))
      return texts;
    // A hostile nesting is read for its header block alone.
    const std::string input = FieldsForParser(
        CountMultiparts(raw) > kMaxMultiparts ? raw.substr(0, block.body_start) : raw, block);
    GMimeParserOptions* options = ParserOptions();
    GPtr<GMimeStream> stream(ParserStream(input, block));
    GPtr<GMimeParser> parser(g_mime_parser_new_with_stream(stream.get()));
    g_mime_parser_set_format(parser.get(), GMIME_FORMAT_MESSAGE);
    GPtr<GMimeMessage> message(g_mime_parser_construct_message(parser.get(), options));
    if (message == nullptr) {
      // Nothing GMime recognises as a message: the text is all there is.
      texts.body = WithCrLfLineEnds(FilterTextOf(raw.substr(block.body_start), nullptr));
      return texts;
    }
    if (const char* subject = g_mime_message_get_subject(message.get()))
      texts.subject = std::string(NormalizedSubject(ToFilterText(subject)));
    texts.body = BodyText(message.get());
  } catch (...) {
    // Only allocation can throw here; what was read so far is kept.
  }
  return texts;
}

}  // namespace

HeaderBlock FindHeaderBlock(std::string_view raw) {
  HeaderBlock block;
  const std::size_t first_end = FindLineEnd(raw, 0);
  if (first_end != std::string_view::npos)
    block.line_end = LineEndLength(raw, first_end) == 2 ? "\r\n" : raw.substr(first_end, 1);
  // "From " with a space is no field name ("From:" is the field).
  if (raw.starts_with("From ")) {
    block.start = first_end == std::string_view::npos ? raw.size()
                                                      : first_end + LineEndLength(raw, first_end);
    block.last_line_ended = first_end != std::string_view::npos;
  }
  block.end = block.body_start = block.start;
  const std::size_t fields_end = std::min(FindLineEnd(raw, block.start), raw.size());
  if (!StartsHeaderField(raw.substr(block.start, fields_end - block.start))) {
    // No header fields at all: the rest of the file is body.
    return block;
  }
  std::size_t at = block.start;
  while (at < raw.size()) {
    if (IsLineEnd(raw[at])) {  // the empty line
      block.end = at;
      block.body_start = at + LineEndLength(raw, at);
      return block;
    }
    const std::size_t end = FindLineEnd(raw, at);
    if (end == std::string_view::npos) {
      block.end = block.body_start = raw.size();
      block.last_line_ended = false;
      return block;
    }
    at = end + LineEndLength(raw, end);
  }
  block.end = block.body_start = raw.size();
  return block;
}

std::optional<std::string> TransportHeaders(std::string_view raw, const HeaderBlock& block) {
  const std::string_view headers = raw.substr(block.start, block.end - block.start);
  bool received = false;
  for (std::size_t at = 0; at < headers.size() && !received;) {
    const std::size_t end = std::min(FindLineEnd(headers, at), headers.size());
    const std::string_view line = headers.substr(at, end - at);
    const std::size_t colon = line.find(':');
    received = colon != std::string_view::npos &&
               ascii::EqualsIgnoreCase(line.substr(0, colon), "Received");
    at = end < headers.size() ? end + LineEndLength(headers, end) : end;
  }
  if (!received)
    return std::nullopt;
  std::string text = WithCrLfLineEnds(headers);
  if (!block.last_line_ended)
    text += "\r\n";
  return text;
}

std::string_view NormalizedSubject(std::string_view subject) {
  std::size_t letters = 0;
  while (letters < subject.size() && letters < 3 &&
         code_page::IsAlphabetic(static_cast<unsigned char>(subject[letters])))
    ++letters;
  if (letters >= 1 && subject.size() >= letters + 2 && subject[letters] == ':' &&
      subject[letters + 1] == ' ')
    return subject.substr(letters + 2);
  return subject;
}

MimeTexts ReadMimeTexts(std::string_view raw) {
  return ReadTexts(raw, true);
}

std::string CharsetFilterText(std::string_view bytes, const char* charset) {
  return FilterTextOf(bytes, charset);
}

MimeTexts ReadMimeTextsThroughParser(std::string_view raw) {
  return ReadTexts(raw, false);
}

std::string HeaderPrefixWith(std::string_view raw, const HeaderBlock& block,
                             std::string_view appended) {
  const std::string_view line_end = block.line_end;
  std::string prefix(raw.substr(0, block.start));
  prefix.reserve(block.end + appended.size() + 2 * line_end.size());
  // Field by field, continuation lines with their field: the verdict fields
  // that came with the message go, every other byte stays.
  for (std::size_t at = block.start; at < block.end;) {
    std::size_t end = at;
    do {
      const std::size_t line_end_at = std::min(FindLineEnd(raw, end), block.end);
      end = line_end_at < block.end
                ? std::min(line_end_at + LineEndLength(raw, line_end_at), block.end)
                : block.end;
    } while (end < block.end && IsFieldSpace(raw[end]));
    const std::string_view field = raw.substr(at, end - at);
    if (!IsVerdictField(field))
      prefix.append(field);
    at = end;
  }
  if (!prefix.empty() && !IsLineEnd(prefix.back()))
    prefix += line_end;
  prefix += WithLineEnds(appended, line_end);
  if (!appended.empty() && appended.back() != '\n' && appended.back() != '\r')
    prefix += line_end;
  // A file without header fields gets the empty line that ends the new ones.
  if (!block.has_fields() && block.start < raw.size())
    prefix += line_end;
  return prefix;
}

}  // namespace varnox::mime
