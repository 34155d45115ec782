#include "linux/maildir/folder_name.h"

#include <glib.h>

#include <vector>

#include "platform/code_page.h"
#include "platform/utf8.h"

namespace varnox::maildir {
namespace {

constexpr std::string_view kBase64 =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+,";

int Base64Value(char c) {
  const std::size_t at = kBase64.find(c);
  return at == std::string_view::npos ? -1 : static_cast<int>(at);
}

// Decodes the base64 run `run` (between "&" and "-") as UTF-16BE. False when
// it is not well formed.
bool DecodeRun(std::string_view run, std::string& out) {
  std::vector<char16_t> units;
  std::uint32_t bits = 0;
  int bit_count = 0;
  for (char c : run) {
    const int value = Base64Value(c);
    if (value < 0)
      return false;
    bits = (bits << 6) | static_cast<std::uint32_t>(value);
    bit_count += 6;
    if (bit_count >= 16) {
      bit_count -= 16;
      units.push_back(static_cast<char16_t>((bits >> bit_count) & 0xFFFF));
    }
  }
  if (units.empty())
    return false;
  std::string decoded;
  for (std::size_t i = 0; i < units.size(); ++i) {
    char32_t c = units[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
        units[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (units[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      return false;
    }
    utf8::AppendUtf8(c, decoded);
  }
  out += decoded;
  return true;
}

void EncodeRun(const std::vector<char16_t>& units, std::string& out) {
  out.push_back('&');
  std::uint32_t bits = 0;
  int bit_count = 0;
  for (char16_t unit : units) {
    bits = (bits << 16) | unit;
    bit_count += 16;
    while (bit_count >= 6) {
      bit_count -= 6;
      out.push_back(kBase64[(bits >> bit_count) & 0x3F]);
    }
  }
  if (bit_count > 0)
    out.push_back(kBase64[(bits << (6 - bit_count)) & 0x3F]);
  out.push_back('-');
}

}  // namespace

std::string DecodeModifiedUtf7(std::string_view name) {
  std::string out;
  std::size_t at = 0;
  while (at < name.size()) {
    if (name[at] != '&') {
      out.push_back(name[at++]);
      continue;
    }
    const std::size_t end = name.find('-', at + 1);
    if (end == std::string_view::npos) {
      out.append(name.substr(at));
      break;
    }
    if (end == at + 1)
      out.push_back('&');
    else if (!DecodeRun(name.substr(at + 1, end - at - 1), out))
      out.append(name.substr(at, end + 1 - at));
    at = end + 1;
  }
  return out;
}

std::string EncodeModifiedUtf7(std::string_view utf8) {
  std::string out;
  std::vector<char16_t> run;
  const char* p = utf8.data();
  const char* end = utf8.data() + utf8.size();
  while (p < end) {
    gunichar c = g_utf8_get_char_validated(p, end - p);
    if (c == static_cast<gunichar>(-1) || c == static_cast<gunichar>(-2)) {
      c = '?';
      ++p;
    } else {
      p = g_utf8_next_char(p);
    }
    if (c >= 0x20 && c <= 0x7E) {
      if (!run.empty()) {
        EncodeRun(run, out);
        run.clear();
      }
      out += c == '&' ? std::string("&-") : std::string(1, static_cast<char>(c));
      continue;
    }
    if (c >= 0x10000) {
      run.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
      run.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
    } else {
      run.push_back(static_cast<char16_t>(c));
    }
  }
  if (!run.empty())
    EncodeRun(run, out);
  return out;
}

std::string DisplayFolderName(std::string_view component) {
  const std::string name = utf8::ToCodePage1252(DecodeModifiedUtf7(component));
  if (code_page::EqualsIgnoreCase(name, "Trash") ||
      code_page::EqualsIgnoreCase(name, "Deleted Messages"))
    return "Deleted Items";
  if (code_page::EqualsIgnoreCase(name, "Sent"))
    return "Sent Items";
  return name;
}

std::optional<std::string> FolderDirectoryName(std::string_view parent, std::string_view name) {
  if (name.empty() || name == "." || name == "..")
    return std::nullopt;
  for (char c : name) {
    if (c == '/' || c == '.' || static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
      return std::nullopt;
  }
  return std::string(parent) + "." + EncodeModifiedUtf7(utf8::FromCodePage1252(name));
}

}  // namespace varnox::maildir
