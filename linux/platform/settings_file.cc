#include "linux/platform/settings_file.h"

#include <cstdint>
#include <cstdio>
#include <optional>

#include "platform/ascii_case.h"
#include "platform/code_page.h"
#include "platform/utf8.h"

namespace varnox {
namespace {

constexpr std::string_view kSpaces = " \t";

std::string_view Trim(std::string_view text) {
  const auto first = text.find_first_not_of(kSpaces);
  if (first == std::string_view::npos)
    return {};
  const auto last = text.find_last_not_of(kSpaces);
  return text.substr(first, last - first + 1);
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9')
    return c - '0';
  if (c >= 'a' && c <= 'f')
    return c - 'a' + 10;
  if (c >= 'A' && c <= 'F')
    return c - 'A' + 10;
  return -1;
}

// Reads 1 to `max_digits` hex digits at the front of *text and consumes them.
std::optional<std::uint32_t> TakeHexNumber(std::string_view* text, std::size_t max_digits) {
  std::uint32_t number = 0;
  std::size_t digits = 0;
  while (digits < text->size() && HexDigit((*text)[digits]) >= 0) {
    if (++digits > max_digits)
      return std::nullopt;
    number = number << 4 | static_cast<std::uint32_t>(HexDigit((*text)[digits - 1]));
  }
  if (digits == 0)
    return std::nullopt;
  text->remove_prefix(digits);
  return number;
}

// A quoted text at the front of *text: "..." with \\ and \" as the only
// escapes. Consumes it and gives the text between the quotes, still UTF-8.
std::optional<std::string> TakeQuoted(std::string_view* text) {
  if (text->empty() || text->front() != '"')
    return std::nullopt;
  std::string out;
  for (std::size_t i = 1; i < text->size(); ++i) {
    const char c = (*text)[i];
    if (c == '"') {
      text->remove_prefix(i + 1);
      return out;
    }
    if (c == '\\') {
      if (++i == text->size() || ((*text)[i] != '\\' && (*text)[i] != '"'))
        return std::nullopt;
      out.push_back((*text)[i]);
    } else {
      out.push_back(c);
    }
  }
  return std::nullopt;  // no closing quote
}

// "hex:" or "hex(type):" already consumed; the rest is "aa,bb,..." or empty.
std::optional<std::string> ParseHexBytes(std::string_view text) {
  std::string bytes;
  text = Trim(text);
  if (text.empty())
    return bytes;
  for (;;) {
    text = Trim(text);
    auto byte = TakeHexNumber(&text, 2);
    if (!byte)
      return std::nullopt;
    bytes.push_back(static_cast<char>(*byte));
    text = Trim(text);
    if (text.empty())
      return bytes;
    if (text.front() != ',')
      return std::nullopt;
    text.remove_prefix(1);
  }
}

std::optional<SettingsFile::Value> ParseData(std::string_view text) {
  SettingsFile::Value value;
  if (!text.empty() && text.front() == '"') {
    auto quoted = TakeQuoted(&text);
    if (!quoted || !Trim(text).empty())
      return std::nullopt;
    value.type = RegistryType::kString;
    value.data = utf8::ToCodePage1252(*quoted);
    value.data.push_back('\0');
    return value;
  }
  if (ascii::StartsWithIgnoreCase(text, "dword:")) {
    text.remove_prefix(6);
    auto number = TakeHexNumber(&text, 8);
    if (!number || !Trim(text).empty())
      return std::nullopt;
    value.type = RegistryType::kDword;
    for (int i = 0; i < 4; ++i)
      value.data.push_back(static_cast<char>(*number >> (8 * i) & 0xFF));
    return value;
  }
  if (ascii::StartsWithIgnoreCase(text, "hex:")) {
    text.remove_prefix(4);
    value.type = RegistryType::kBinary;
  } else if (ascii::StartsWithIgnoreCase(text, "hex(")) {
    text.remove_prefix(4);
    auto type = TakeHexNumber(&text, 8);
    if (!type || text.substr(0, 2) != "):")
      return std::nullopt;
    text.remove_prefix(2);
    value.type = static_cast<RegistryType>(*type);
  } else {
    return std::nullopt;
  }
  auto bytes = ParseHexBytes(text);
  if (!bytes)
    return std::nullopt;
  value.data = std::move(*bytes);
  return value;
}

// A value line, already trimmed: "name"=data, or name=data with a bare name.
bool ParseValueLine(std::string_view text, std::string* name, SettingsFile::Value* value) {
  std::string utf8_name;
  if (!text.empty() && text.front() == '"') {
    auto quoted = TakeQuoted(&text);
    if (!quoted)
      return false;
    utf8_name = std::move(*quoted);
    text = Trim(text);
    if (text.empty() || text.front() != '=')
      return false;
  } else {
    const auto equals = text.find('=');
    if (equals == std::string_view::npos)
      return false;
    utf8_name = std::string(Trim(text.substr(0, equals)));
    if (utf8_name.empty() || utf8_name.find('"') != std::string::npos)
      return false;
    text.remove_prefix(equals);
  }
  text.remove_prefix(1);  // the '='
  auto data = ParseData(Trim(text));
  if (!data)
    return false;
  *name = utf8::ToCodePage1252(utf8_name);
  *value = std::move(*data);
  return true;
}

// Bytes that read well in a text file: no control characters, and none of
// the five bytes that code page 1252 leaves unassigned.
bool IsPrintable(unsigned char byte) {
  switch (byte) {
    case 0x7F:
    case 0x81:
    case 0x8D:
    case 0x8F:
    case 0x90:
    case 0x9D:
      return false;
    default:
      return byte >= 0x20;
  }
}

bool IsPrintableText(std::string_view text) {
  for (char c : text) {
    if (!IsPrintable(static_cast<unsigned char>(c)))
      return false;
  }
  return true;
}

std::string Quote(std::string_view text_1252) {
  std::string out = "\"";
  for (char c : utf8::FromCodePage1252(text_1252)) {
    if (c == '"' || c == '\\')
      out.push_back('\\');
    out.push_back(c);
  }
  out.push_back('"');
  return out;
}

std::string HexBytes(std::string_view data) {
  std::string out;
  char buffer[4];
  for (std::size_t i = 0; i < data.size(); ++i) {
    std::snprintf(buffer, sizeof buffer, i == 0 ? "%02x" : ",%02x",
                  static_cast<unsigned char>(data[i]));
    out += buffer;
  }
  return out;
}

std::string FormatData(const SettingsFile::Value& value) {
  const std::string_view data = value.data;
  if (value.type == RegistryType::kString && !data.empty() && data.back() == '\0' &&
      IsPrintableText(data.substr(0, data.size() - 1))) {
    return Quote(data.substr(0, data.size() - 1));
  }
  if (value.type == RegistryType::kDword && data.size() == 4) {
    std::uint32_t number = 0;
    for (int i = 3; i >= 0; --i)
      number = number << 8 | static_cast<unsigned char>(data[i]);
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "dword:%08x", static_cast<unsigned>(number));
    return buffer;
  }
  if (value.type == RegistryType::kBinary)
    return "hex:" + HexBytes(data);
  char prefix[24];
  std::snprintf(prefix, sizeof prefix, "hex(%x):", static_cast<unsigned>(value.type));
  return prefix + HexBytes(data);
}

}  // namespace

SettingsFile SettingsFile::Parse(std::string_view text) {
  SettingsFile file;
  file.byte_order_mark_ = text.substr(0, 3) == "\xEF\xBB\xBF";
  if (file.byte_order_mark_)
    text.remove_prefix(3);  // left by an editor
  bool in_key = true;       // lines before any section header belong to the key
  while (!text.empty()) {
    const auto end = text.find('\n');
    std::string_view raw = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);

    Line line;
    line.text = std::string(raw);
    if (!raw.empty() && raw.back() == '\r')
      raw.remove_suffix(1);
    const std::string_view trimmed = Trim(raw);
    if (trimmed.size() >= 2 && trimmed.front() == '[' && trimmed.back() == ']') {
      in_key = code_page::EqualsIgnoreCase(Trim(trimmed.substr(1, trimmed.size() - 2)), kKeyPath);
      line.in_key = in_key;
      line.is_header = true;
    } else {
      line.in_key = in_key;
      const bool comment = trimmed.empty() || trimmed.front() == ';' || trimmed.front() == '#';
      if (in_key && !comment)
        line.is_value = ParseValueLine(trimmed, &line.name, &line.value);
    }
    file.lines_.push_back(std::move(line));
  }
  return file;
}

SettingsFile SettingsFile::Empty() {
  return Parse(
      "; Varnox settings, one value a line: \"Name\"=\"text\", \"Name\"=dword:0000002a\n"
      "; (a 32-bit number in hex), or \"Name\"=hex(type):bytes for anything else.\n"
      "[Software\\Varnox MSOutlook]\n");
}

const SettingsFile::Value* SettingsFile::Find(std::string_view name) const {
  for (auto it = lines_.rbegin(); it != lines_.rend(); ++it) {
    if (it->is_value && code_page::EqualsIgnoreCase(it->name, name))
      return &it->value;
  }
  return nullptr;
}

bool SettingsFile::Set(std::string_view name, RegistryType type, std::string_view data) {
  if (!IsWritableName(name))
    return false;
  Line line;
  line.in_key = true;
  line.is_value = true;
  line.value = Value{type, std::string(data)};
  for (auto it = lines_.rbegin(); it != lines_.rend(); ++it) {
    if (it->is_value && code_page::EqualsIgnoreCase(it->name, name)) {
      // The name keeps the letter case it was written with.
      line.name = it->name;
      line.text = FormatLine(line.name, line.value);
      *it = std::move(line);
      return true;
    }
  }
  line.name = std::string(name);
  line.text = FormatLine(line.name, line.value);

  // A new value goes after the key's last value, else right after the key's
  // header, else before the first other section (lines above any header
  // belong to the key), else at the end.
  std::size_t at = lines_.size();
  std::optional<std::size_t> last_value, key_header, first_header;
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    const bool header = lines_[i].is_header;
    if (lines_[i].is_value)
      last_value = i;
    if (header && lines_[i].in_key && !key_header)
      key_header = i;
    if (header && !first_header)
      first_header = i;
  }
  if (last_value)
    at = *last_value + 1;
  else if (key_header)
    at = *key_header + 1;
  else if (first_header)
    at = *first_header;
  lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at), std::move(line));
  return true;
}

std::string SettingsFile::Text() const {
  std::string text = byte_order_mark_ ? "\xEF\xBB\xBF" : "";
  for (const Line& line : lines_) {
    text += line.text;
    text.push_back('\n');
  }
  return text;
}

std::string SettingsFile::FormatLine(std::string_view name, const Value& value) {
  return Quote(name) + "=" + FormatData(value);
}

bool SettingsFile::IsWritableName(std::string_view name) {
  return IsPrintableText(name);
}

}  // namespace varnox
