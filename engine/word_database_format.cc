#include "engine/word_database_format.h"

#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <system_error>

#include "platform/code_page.h"

namespace varnox::word_database {
namespace {

enum : unsigned char { kName = 1, kValue = 2 };

std::array<unsigned char, 256> MakeByteKinds() {
  std::array<unsigned char, 256> kinds{};
  for (int b = 0; b < 256; ++b) {
    if (code_page::IsAlphaNumeric(static_cast<unsigned char>(b)))
      kinds[b] |= kName;
  }
  for (unsigned char b : std::string_view("$!'-_,."))
    kinds[b] |= kName;
  for (unsigned char b : std::string_view("0123456789,."))
    kinds[b] |= kValue;
  return kinds;
}

const std::array<unsigned char, 256>& ByteKinds() {
  static const std::array<unsigned char, 256> kinds = MakeByteKinds();
  return kinds;
}

std::string_view Filter(std::string_view text, unsigned char kind, std::string* scratch) {
  const auto& kinds = ByteKinds();
  std::size_t i = 0;
  while (i < text.size() && (kinds[static_cast<unsigned char>(text[i])] & kind) != 0)
    ++i;
  if (i == text.size())
    return text;
  scratch->assign(text.substr(0, i));
  while (i < text.size()) {
    while (i < text.size() && (kinds[static_cast<unsigned char>(text[i])] & kind) == 0)
      ++i;
    const std::size_t run = i;
    while (i < text.size() && (kinds[static_cast<unsigned char>(text[i])] & kind) != 0)
      ++i;
    scratch->append(text.substr(run, i - run));
  }
  return *scratch;
}

void AppendDigits8(std::uint32_t value, std::string* out) {
  char digits[8];
  for (int i = 7; i >= 0; --i) {
    digits[i] = static_cast<char>('0' + value % 10);
    value /= 10;
  }
  out->append(digits, 8);
}

}  // namespace

void MaskBytes(char* data, std::size_t size) {
  for (std::size_t i = 0; i < size; ++i)
    data[i] = static_cast<char>(static_cast<unsigned char>(data[i]) ^ kMask);
}

bool SplitLine(std::string_view line, std::string_view* name, std::string_view* value) {
  const std::size_t name_start = line.find_first_not_of('=');
  if (name_start == std::string_view::npos)
    return false;
  const std::size_t name_end = line.find('=', name_start);
  if (name_end == std::string_view::npos)
    return false;
  const std::size_t value_start = line.find_first_not_of('=', name_end);
  if (value_start == std::string_view::npos)
    return false;
  const std::size_t value_end = line.find('=', value_start);
  *name = line.substr(name_start, name_end - name_start);
  *value = line.substr(value_start, value_end == std::string_view::npos ? std::string_view::npos
                                                                        : value_end - value_start);
  return true;
}

bool IsNameByte(unsigned char byte) {
  return (ByteKinds()[byte] & kName) != 0;
}

bool IsValueByte(unsigned char byte) {
  return (ByteKinds()[byte] & kValue) != 0;
}

std::string_view FilterName(std::string_view text, std::string* scratch) {
  return Filter(text, kName, scratch);
}

std::string_view FilterValue(std::string_view text, std::string* scratch) {
  return Filter(text, kValue, scratch);
}

bool NextField(std::string_view* rest, std::string_view* field) {
  const std::size_t start = rest->find_first_not_of(',');
  if (start == std::string_view::npos) {
    *rest = std::string_view();
    return false;
  }
  const std::size_t end = rest->find(',', start);
  if (end == std::string_view::npos) {
    *field = rest->substr(start);
    *rest = std::string_view();
  } else {
    *field = rest->substr(start, end - start);
    *rest = rest->substr(end);
  }
  return true;
}

std::int32_t ReadIntegerField(std::string_view field) {
  constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max();
  std::int64_t value = 0;
  for (char c : field) {
    if (c < '0' || c > '9')
      break;
    value = value * 10 + (c - '0');
    if (value > kMax)
      return static_cast<std::int32_t>(kMax);
  }
  return static_cast<std::int32_t>(value);
}

double ReadRealField(std::string_view field) {
  double value = 0.0;
  const auto [end, error] =
      std::from_chars(field.data(), field.data() + field.size(), value, std::chars_format::fixed);
  if (error == std::errc::invalid_argument)
    return 0.0;
  if (error == std::errc::result_out_of_range) {
    // Too large or too small for a double: which one shows in the digits
    // before the point.
    const std::string_view whole = field.substr(0, field.find('.'));
    return whole.find_first_not_of('0') == std::string_view::npos
               ? 0.0
               : std::numeric_limits<double>::infinity();
  }
  (void)end;
  return value;
}

void AppendFixed8(float value, std::string* out) {
  const std::uint32_t bits = std::bit_cast<std::uint32_t>(value);
  const int exponent = static_cast<int>((bits >> 23) & 0xFF) - 127;
  // Exact path for positive normal floats in [2^-24, 2^24): the value is
  // m * 2^-k with m < 2^24 and 0 <= k <= 47, so value * 10^8 = m * 10^8 / 2^k
  // where m * 10^8 < 2^51 fits in 64 bits. Round half to even on the exact
  // remainder, as printf does.
  if ((bits >> 31) == 0 && exponent >= -24 && exponent < 24) {
    const std::uint64_t mantissa = (bits & 0x7FFFFF) | 0x800000;
    const int shift = 23 - exponent;
    const std::uint64_t scaled = mantissa * 100000000ull;
    std::uint64_t quotient = scaled >> shift;
    if (shift > 0) {
      const std::uint64_t remainder = scaled & ((1ull << shift) - 1);
      const std::uint64_t half = 1ull << (shift - 1);
      if (remainder > half || (remainder == half && (quotient & 1) != 0))
        ++quotient;
    }
    AppendInteger(static_cast<std::int32_t>(quotient / 100000000), out);
    out->push_back('.');
    AppendDigits8(static_cast<std::uint32_t>(quotient % 100000000), out);
    return;
  }
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, static_cast<double>(value),
                                    std::chars_format::fixed, 8);
  out->append(buffer, result.ptr);
}

void AppendInteger(std::int32_t value, std::string* out) {
  char buffer[16];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  out->append(buffer, result.ptr);
}

void AppendHeader(float version, std::int32_t spamMessages, std::int32_t cleanMessages,
                  std::string* out) {
  if (version == 0.0f)
    version = 1.01f;
  // "%1.2f" of the float's value; 64 bytes hold the largest float's digits.
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, static_cast<double>(version),
                                    std::chars_format::fixed, 2);
  out->append("Version = ");
  out->append(buffer, result.ptr);
  out->append("\nSpam = ");
  AppendInteger(spamMessages, out);
  out->append("\nClean = ");
  AppendInteger(cleanMessages, out);
  out->push_back('\n');
}

void AppendWordLine(std::string_view word, const WordEntry& entry, std::string* out) {
  out->append(word);
  out->append(" = ");
  AppendInteger(entry.spamCount, out);
  out->push_back(',');
  AppendInteger(entry.cleanCount, out);
  out->push_back(',');
  AppendFixed8(entry.probability, out);
  out->push_back(',');
  AppendInteger(entry.lastSeen, out);
  out->push_back('\n');
}

}  // namespace varnox::word_database
