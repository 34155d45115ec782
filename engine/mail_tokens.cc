#include "engine/mail_tokens.h"

#include <array>
#include <cstring>
#include <string>

#include "engine/registered_domain.h"
#include "platform/ascii_case.h"

namespace varnox::mail_tokens {
namespace {

// Byte classes, looked up rather than compared: the header and body scans
// ask them of every byte.
enum ByteClass : unsigned char { kAlnum = 1, kHost = 2, kSpace = 4 };

constexpr std::array<unsigned char, 256> kByteClasses = [] {
  std::array<unsigned char, 256> classes{};
  for (int byte = 0; byte < 256; ++byte) {
    const bool alnum = (byte >= '0' && byte <= '9') || (byte >= 'a' && byte <= 'z') ||
                       (byte >= 'A' && byte <= 'Z');
    classes[byte] = static_cast<unsigned char>(
        (alnum ? kAlnum : 0) | (alnum || byte == '.' || byte == '-' ? kHost : 0) |
        (byte == ' ' || byte == '\t' || byte == '\r' || byte == '\n' ? kSpace : 0));
  }
  return classes;
}();

// Each byte as a token holds it (ASCII letters lower-cased), or 0 for the
// bytes no token may hold: controls, space and DEL.
constexpr std::array<unsigned char, 256> kTokenBytes = [] {
  std::array<unsigned char, 256> bytes{};
  for (int byte = 0x21; byte < 256; ++byte) {
    if (byte != 0x7F)
      bytes[byte] = static_cast<unsigned char>(byte >= 'A' && byte <= 'Z' ? byte + 0x20 : byte);
  }
  return bytes;
}();

unsigned char Lower(unsigned char byte) {
  return static_cast<unsigned char>(ascii::ToLower(static_cast<char>(byte)));
}

bool IsAsciiAlnum(unsigned char byte) {
  return (kByteClasses[byte] & kAlnum) != 0;
}

bool IsHostByte(unsigned char byte) {
  return (kByteClasses[byte] & kHost) != 0;
}

bool IsSpace(unsigned char byte) {
  return (kByteClasses[byte] & kSpace) != 0;
}

// Collects tokens under the message-wide limit.
class Sink {
 public:
  explicit Sink(TokenSet* tokens) : tokens_(tokens) {}

  // prefix + text, lower-cased; dropped when empty, too long or holding a
  // byte that could break a header line or the chi-square judge's file.
  void Add(std::string_view prefix, std::string_view text) {
    if (text.empty() || added_ >= kMaxTokens || prefix.size() + text.size() > kMaxTokenLength)
      return;
    char token[kMaxTokenLength];
    std::memcpy(token, prefix.data(), prefix.size());
    char* at = token + prefix.size();
    for (unsigned char byte : text) {
      const unsigned char kept = kTokenBytes[byte];
      if (kept == 0)
        return;
      *at++ = static_cast<char>(kept);
    }
    const std::string_view made(token, static_cast<std::size_t>(at - token));
    if (tokens_->Add(made))
      ++added_;
  }

 private:
  TokenSet* tokens_;
  std::size_t added_ = 0;
};

// Runs of ASCII letters and digits (with "'" inside), two bytes or more.
void AddWords(std::string_view prefix, std::string_view text, Sink& sink) {
  std::size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && !IsAsciiAlnum(static_cast<unsigned char>(text[i])))
      ++i;
    const std::size_t start = i;
    while (i < text.size() &&
           (IsAsciiAlnum(static_cast<unsigned char>(text[i])) || text[i] == '\''))
      ++i;
    if (i - start >= 2)
      sink.Add(prefix, text.substr(start, i - start));
  }
}

// The address in angle brackets, else the first word holding "@".
std::string_view SenderAddress(std::string_view value) {
  const std::size_t open = value.find('<');
  if (open != std::string_view::npos) {
    const std::size_t close = value.find('>', open + 1);
    if (close != std::string_view::npos)
      return value.substr(open + 1, close - open - 1);
  }
  std::size_t i = 0;
  while (i < value.size()) {
    while (i < value.size() && IsSpace(static_cast<unsigned char>(value[i])))
      ++i;
    const std::size_t start = i;
    while (i < value.size() && !IsSpace(static_cast<unsigned char>(value[i])))
      ++i;
    const std::string_view word = value.substr(start, i - start);
    if (word.find('@') != std::string_view::npos)
      return word;
  }
  return {};
}

// The words of a sender's name. An encoded word ("=?charset?B?...?=") gives
// its character set only: its encoded text is noise, not words.
void AddNameWords(std::string_view name, Sink& sink) {
  std::size_t open;
  while ((open = name.find("=?")) != std::string_view::npos) {
    AddWords("from:name:", name.substr(0, open), sink);
    const std::size_t charset_end = name.find('?', open + 2);
    const std::size_t encoding_end =
        charset_end == std::string_view::npos ? charset_end : name.find('?', charset_end + 1);
    const std::size_t close =
        encoding_end == std::string_view::npos ? encoding_end : name.find("?=", encoding_end + 1);
    if (close == std::string_view::npos) {
      name = name.substr(open + 2);
      continue;
    }
    sink.Add("from:charset:", name.substr(open + 2, charset_end - open - 2));
    name = name.substr(close + 2);
  }
  AddWords("from:name:", name, sink);
}

void AddSender(std::string_view value, Sink& sink) {
  const std::string_view address = SenderAddress(value);
  const std::size_t at = address.rfind('@');
  if (at == std::string_view::npos) {
    sink.Add("from:", "(none)");
    return;
  }
  sink.Add("from:", address);
  sink.Add("from:", address.substr(at));  // "@domain"
  AddNameWords(value.substr(0, value.find('<')), sink);
}

// The bounce address's "@domain"; "(none)" for the null sender "<>".
void AddReturnPath(std::string_view value, Sink& sink) {
  const std::string_view address = SenderAddress(value);
  const std::size_t at = address.rfind('@');
  sink.Add("rp:", at == std::string_view::npos ? std::string_view("(none)") : address.substr(at));
}

// The "@domain" of a message identifier: the host or program that made it.
void AddMessageIdDomain(std::string_view value, Sink& sink) {
  const std::size_t at = value.find('@');
  if (at == std::string_view::npos)
    return;
  std::size_t end = at + 1;
  while (end < value.size() && value[end] != '>' &&
         !IsSpace(static_cast<unsigned char>(value[end])))
    ++end;
  sink.Add("mid:", value.substr(at, end - at));
}

// How the date was written, not when: its last word (the zone, "+0100" or
// "(PDT)") and whether a weekday leads it. Mail programs differ in both.
void AddDateShape(std::string_view value, Sink& sink) {
  while (!value.empty() && IsSpace(static_cast<unsigned char>(value.back())))
    value.remove_suffix(1);
  const std::size_t space = value.find_last_of(" \t");
  AddWords("date:", space == std::string_view::npos ? value : value.substr(space + 1), sink);
  sink.Add("date:", value.find(',') != std::string_view::npos ? "(weekday)" : "(no-weekday)");
}

// An IPv4 address: four runs of one to three digits.
bool IsAddress(std::string_view host) {
  int parts = 0;
  std::size_t digits = 0;
  for (char byte : host) {
    if (byte == '.') {
      if (digits == 0)
        return false;
      ++parts;
      digits = 0;
    } else if (byte >= '0' && byte <= '9' && digits < 3) {
      ++digits;
    } else {
      return false;
    }
  }
  return parts == 3 && digits > 0;
}

// What tells of a host beyond the one machine: the network of an address
// (its first two parts, a /16) or the registered domain of a name. Other
// runs with dots (version numbers, file names) give nothing.
void AddHost(std::string_view prefix, std::string_view host, Sink& sink) {
  if (IsAddress(host)) {
    const std::size_t second_dot = host.find('.', host.find('.') + 1);
    sink.Add(prefix, host.substr(0, second_dot));
    return;
  }
  sink.Add(prefix, RegisteredDomain(host));
}

// The hosts in a text: runs of letters, digits, "." and "-" with a dot
// inside. Only runs holding a dot can be hosts, so the text is searched for
// dots and each dot's run is found around it; most runs ("from", "by",
// "with") are never visited.
void AddHosts(std::string_view prefix, std::string_view text, Sink& sink) {
  std::size_t from = 0;  // no run before it is left to look at
  while (from < text.size()) {
    const std::size_t dot = text.find('.', from);
    if (dot == std::string_view::npos)
      return;
    // The run around the dot; no dot lies between `from` and `dot`, so
    // this dot is the run's first.
    std::size_t start = dot;
    while (start > from && IsHostByte(static_cast<unsigned char>(text[start - 1])))
      --start;
    std::size_t end = dot + 1;
    while (end < text.size() && IsHostByte(static_cast<unsigned char>(text[end])))
      ++end;
    from = end;
    std::string_view host = text.substr(start, end - start);
    while (!host.empty() && (host.back() == '.' || host.back() == '-'))
      host.remove_suffix(1);
    // A run that starts with its dot, or whose dots all trail it, is none.
    const std::size_t first_dot = dot - start;
    if (first_dot == 0 || first_dot >= host.size())
      continue;
    AddHost(prefix, host, sink);
  }
}

// Each ";"-separated part of the value, without spaces and quotes; a
// boundary is different in every message and is left out.
void AddContentType(std::string_view value, Sink& sink) {
  std::size_t start = 0;
  while (start <= value.size()) {
    std::size_t end = value.find(';', start);
    if (end == std::string_view::npos)
      end = value.size();
    std::string part;
    for (char byte : value.substr(start, end - start)) {
      if (!IsSpace(static_cast<unsigned char>(byte)) && byte != '"')
        part.push_back(static_cast<char>(Lower(static_cast<unsigned char>(byte))));
    }
    if (part.rfind("boundary=", 0) != 0)
      sink.Add("ct:", part);
    start = end + 1;
  }
}

bool NameIs(std::string_view name, std::string_view wanted) {
  return ascii::EqualsIgnoreCase(name, wanted);
}

bool EndsWithNoCase(std::string_view text, std::string_view tail) {
  return text.size() >= tail.size() && NameIs(text.substr(text.size() - tail.size()), tail);
}

// The header fields whose values give tokens.
enum class Field {
  kOther,
  kFrom,
  kReceived,
  kContentType,
  kMailer,
  kTo,
  kMessageId,
  kReturnPath,
  kDate,
  kTransferEncoding
};

// The field a header line starts, by its name and colon; `value` is what
// follows the colon. Tested name by name rather than by looking for the
// colon first: most lines name none of these fields.
Field FieldOfLine(std::string_view line, std::string_view* value) {
  struct Name {
    std::string_view name;  // with its colon
    Field field;
  };
  static constexpr Name kNames[] = {{"from:", Field::kFrom},
                                    {"received:", Field::kReceived},
                                    {"content-type:", Field::kContentType},
                                    {"x-mailer:", Field::kMailer},
                                    {"user-agent:", Field::kMailer},
                                    {"to:", Field::kTo},
                                    {"message-id:", Field::kMessageId},
                                    {"return-path:", Field::kReturnPath},
                                    {"date:", Field::kDate},
                                    {"content-transfer-encoding:", Field::kTransferEncoding}};
  for (const Name& name : kNames) {
    if (line.size() >= name.name.size() &&
        Lower(static_cast<unsigned char>(line[0])) == static_cast<unsigned char>(name.name[0])) {
      if (NameIs(line.substr(0, name.name.size()), name.name)) {
        *value = line.substr(name.name.size());
        return name.field;
      }
    }
  }
  return Field::kOther;
}

void AddField(Field field, std::string_view value, Sink& sink) {
  switch (field) {
    case Field::kFrom:
      return AddSender(value, sink);
    case Field::kReceived:
      return AddHosts("rcvd:", value, sink);
    case Field::kContentType:
      return AddContentType(value, sink);
    case Field::kMailer:
      return AddWords("xm:", value, sink);
    case Field::kTo:
      return AddHosts("to:", value, sink);
    case Field::kMessageId:
      return AddMessageIdDomain(value, sink);
    case Field::kReturnPath:
      return AddReturnPath(value, sink);
    case Field::kDate:
      return AddDateShape(value, sink);
    case Field::kTransferEncoding:
      return AddWords("cte:", value, sink);
    case Field::kOther:
      return;
  }
}

}  // namespace

void AddHeaderTokens(std::string_view headers, std::string_view subject, TokenSet* tokens) {
  Sink sink(tokens);
  AddWords("subj:", subject, sink);
  // One field at a time: a line that starts with a space or tab continues
  // the field before it. Only the values of the fields that give tokens are
  // gathered.
  std::string value;
  Field field = Field::kOther;
  std::size_t start = 0;
  while (start < headers.size()) {
    std::size_t end = headers.find('\n', start);
    if (end == std::string_view::npos)
      end = headers.size();
    std::string_view line = headers.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r')
      line.remove_suffix(1);
    if (!line.empty() && (line.front() == ' ' || line.front() == '\t')) {
      if (field != Field::kOther && value.size() < 4096)
        value.append(" ").append(line.substr(0, 4096));
      continue;
    }
    AddField(field, value, sink);
    std::string_view field_value;
    field = FieldOfLine(line, &field_value);
    if (field != Field::kOther)
      value.assign(field_value.substr(0, 4096));
  }
  AddField(field, value, sink);
}

void AddMailTokens(std::string_view headers, std::string_view subject, std::string_view body,
                   TokenSet* tokens) {
  AddHeaderTokens(headers, subject, tokens);
  AddLinkTokens(body, tokens);
}

void AddLinkTokens(std::string_view body, TokenSet* tokens) {
  Sink sink(tokens);
  std::size_t at = 0;
  while ((at = body.find("://", at)) != std::string_view::npos) {
    const std::size_t host_start = at + 3;
    at = host_start;
    const std::string_view before = body.substr(0, host_start - 3);
    if (!EndsWithNoCase(before, "http") && !EndsWithNoCase(before, "https"))
      continue;
    std::size_t end = host_start;
    while (end < body.size() && IsHostByte(static_cast<unsigned char>(body[end])))
      ++end;
    std::string_view host = body.substr(host_start, end - host_start);
    while (!host.empty() && host.back() == '.')
      host.remove_suffix(1);
    AddHost("url:", host, sink);
  }
}

}  // namespace varnox::mail_tokens
