#include "linux/imap/mailbox_name.h"

#include <vector>

#include "platform/utf8.h"

namespace varnox {
namespace {

constexpr char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+,";

int Base64Value(char c) {
  if (c >= 'A' && c <= 'Z')
    return c - 'A';
  if (c >= 'a' && c <= 'z')
    return c - 'a' + 26;
  if (c >= '0' && c <= '9')
    return c - '0' + 52;
  if (c == '+')
    return 62;
  if (c == ',')
    return 63;
  return -1;
}

bool IsPrintable(char32_t c) {
  return c >= 0x20 && c <= 0x7E;
}

void AppendRun(const std::vector<char16_t>& units, std::string* out) {
  out->push_back('&');
  std::uint32_t bits = 0;
  int count = 0;
  for (char16_t unit : units) {
    bits = (bits << 16) | unit;
    count += 16;
    while (count >= 6) {
      count -= 6;
      out->push_back(kBase64[(bits >> count) & 63]);
    }
  }
  if (count > 0)
    out->push_back(kBase64[(bits << (6 - count)) & 63]);
  out->push_back('-');
}

}  // namespace

bool EncodeMailboxName(std::string_view utf8, std::string* wire) {
  std::string out;
  std::vector<char16_t> run;
  std::size_t at = 0;
  while (at < utf8.size()) {
    const utf8::Sequence sequence = utf8::SequenceAt(utf8, at);
    if (sequence.length == 0)
      return false;
    at += sequence.length;
    const char32_t c = sequence.character;
    if (c < 0x20 || c == 0x7F || (c >= 0x80 && c < 0xA0))
      return false;
    if (IsPrintable(c)) {
      if (!run.empty()) {
        AppendRun(run, &out);
        run.clear();
      }
      out += c == '&' ? "&-" : std::string(1, static_cast<char>(c));
      continue;
    }
    if (c >= 0x10000) {
      const char32_t v = c - 0x10000;
      run.push_back(static_cast<char16_t>(0xD800 + (v >> 10)));
      run.push_back(static_cast<char16_t>(0xDC00 + (v & 0x3FF)));
    } else {
      run.push_back(static_cast<char16_t>(c));
    }
  }
  if (!run.empty())
    AppendRun(run, &out);
  *wire = std::move(out);
  return true;
}

bool DecodeMailboxName(std::string_view wire, std::string* utf8) {
  std::string out;
  std::size_t i = 0;
  bool after_run = false;
  while (i < wire.size()) {
    const char c = wire[i];
    if (!IsPrintable(static_cast<unsigned char>(c)))
      return false;
    if (c != '&') {
      out.push_back(c);
      ++i;
      after_run = false;
      continue;
    }
    const std::size_t end = wire.find('-', i + 1);
    if (end == std::string_view::npos)
      return false;
    if (end == i + 1) {
      out.push_back('&');
      i = end + 1;
      after_run = false;
      continue;
    }
    if (after_run)
      return false;  // two runs in a row are written as one
    std::uint32_t bits = 0;
    int count = 0;
    char16_t high = 0;
    for (std::size_t j = i + 1; j < end; ++j) {
      const int value = Base64Value(wire[j]);
      if (value < 0)
        return false;
      bits = (bits << 6) | static_cast<std::uint32_t>(value);
      count += 6;
      if (count < 16)
        continue;
      count -= 16;
      const char16_t unit = static_cast<char16_t>((bits >> count) & 0xFFFF);
      bits &= (1u << count) - 1;
      if (high != 0) {
        if (unit < 0xDC00 || unit > 0xDFFF)
          return false;
        utf8::AppendUtf8(0x10000 + ((char32_t(high) - 0xD800) << 10) + (unit - 0xDC00), out);
        high = 0;
      } else if (unit >= 0xD800 && unit <= 0xDBFF) {
        high = unit;
      } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
        return false;
      } else if (IsPrintable(unit) || unit < 0x20 || unit == 0x7F ||
                 (unit >= 0x80 && unit < 0xA0)) {
        return false;  // printable ASCII stands for itself; controls have no name
      } else {
        utf8::AppendUtf8(unit, out);
      }
    }
    // What is left is padding: fewer than 6 bits, all zero, and no half pair.
    if (high != 0 || count >= 6 || bits != 0)
      return false;
    i = end + 1;
    after_run = true;
  }
  *utf8 = std::move(out);
  return true;
}

}  // namespace varnox
