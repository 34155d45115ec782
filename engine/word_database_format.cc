#include "engine/word_database_format.h"

#include <algorithm>
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
  auto kept = [&](char c) { return (kinds[static_cast<unsigned char>(c)] & kind) != 0; };
  // Written files have only spaces around the kept bytes: trimming them
  // needs no copy.
  std::size_t first = 0;
  std::size_t last = text.size();
  while (first < last && !kept(text[first]))
    ++first;
  while (last > first && !kept(text[last - 1]))
    --last;
  std::size_t i = first;
  while (i < last && kept(text[i]))
    ++i;
  if (i == last)
    return text.substr(first, last - first);
  scratch->assign(text.substr(first, i - first));
  while (i < last) {
    while (i < last && !kept(text[i]))
      ++i;
    const std::size_t run = i;
    while (i < last && kept(text[i]))
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

// Any number the fast path cannot take: from_chars rounds correctly.
double ReadLongRealField(std::string_view field) {
  double value = 0.0;
  const auto result =
      std::from_chars(field.data(), field.data() + field.size(), value, std::chars_format::fixed);
  if (result.ec == std::errc::invalid_argument)
    return 0.0;
  if (result.ec == std::errc::result_out_of_range) {
    // Too large or too small for a double: which one shows in the digits
    // before the point.
    const std::string_view whole = field.substr(0, field.find('.'));
    return whole.find_first_not_of('0') == std::string_view::npos
               ? 0.0
               : std::numeric_limits<double>::infinity();
  }
  return value;
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

bool SplitWrittenLine(std::string_view line, std::string_view* name, std::string_view fields[4]) {
  const auto& kinds = ByteKinds();
  const char* p = line.data();
  const char* const end = p + line.size();
  while (p < end && (kinds[static_cast<unsigned char>(*p)] & kName) != 0)
    ++p;
  if (p == line.data() || end - p < 3 || std::memcmp(p, " = ", 3) != 0)
    return false;
  *name = std::string_view(line.data(), static_cast<std::size_t>(p - line.data()));
  p += 3;
  for (int i = 0; i < 4; ++i) {
    const char* start = p;
    while (p < end && ((*p >= '0' && *p <= '9') || *p == '.'))
      ++p;
    if (p == start)
      return false;
    fields[i] = std::string_view(start, static_cast<std::size_t>(p - start));
    if (i < 3) {
      if (p == end || *p != ',')
        return false;
      ++p;
    }
  }
  return p == end;
}

namespace {

std::uint64_t Load8(const char* p) {
  std::uint64_t value;
  std::memcpy(&value, p, sizeof value);
  return value;
}

// Whether the 8 bytes (little-endian) are all ASCII digits.
bool AreEightDigits(std::uint64_t bytes) {
  return ((bytes & 0xF0F0F0F0F0F0F0F0ull) |
          (((bytes + 0x0606060606060606ull) & 0xF0F0F0F0F0F0F0F0ull) >> 4)) ==
         0x3333333333333333ull;
}

// The number written by 8 ASCII digits (little-endian load: first digit in
// the lowest byte), in three multiplications.
std::uint64_t EightDigits(std::uint64_t bytes) {
  bytes -= 0x3030303030303030ull;
  bytes = bytes * 10 + (bytes >> 8);  // pairs of digits
  return (((bytes & 0x000000FF000000FFull) * (100 + (1000000ull << 32))) +
          (((bytes >> 16) & 0x000000FF000000FFull) * (1 + (10000ull << 32)))) >>
         32;
}

// Digits from *p up to `stop` (or the end when `stop` is 0), at most
// `most`: their number and count, or false for none, too many, or another
// byte. *p is left past `stop`.
bool ReadDigits(const char** p, const char* end, char stop, int most, std::uint64_t* number,
                int* count) {
  const char* q = *p;
  std::uint64_t value = 0;
  if (end - q > 8 && AreEightDigits(Load8(q))) {
    value = EightDigits(Load8(q));
    q += 8;
  }
  while (q < end && static_cast<unsigned>(*q - '0') <= 9 && q - *p <= most)
    value = value * 10 + static_cast<unsigned>(*q++ - '0');
  const auto digits = static_cast<int>(q - *p);
  if (digits == 0 || digits > most)
    return false;
  if (stop != 0 ? (q == end || *q != stop) : q != end)
    return false;
  *number = value;
  *count = digits;
  *p = q + (stop != 0 ? 1 : 0);
  return true;
}

bool ReadWrittenInteger(const char** p, const char* end, char stop, std::int32_t* value) {
  std::uint64_t number = 0;
  int count = 0;
  if (!ReadDigits(p, end, stop, 10, &number, &count) ||
      number > static_cast<std::uint64_t>(INT32_MAX))
    return false;
  *value = static_cast<std::int32_t>(number);
  return true;
}

}  // namespace

bool ReadWrittenWordLine(std::string_view line, WrittenWordLine* values) {
  static constexpr double kPowers[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                       1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
  static const std::array<unsigned char, 256>& kinds = ByteKinds();
  const char* p = line.data();
  const char* const end = p + line.size();
  while (p < end && (kinds[static_cast<unsigned char>(*p)] & kName) != 0)
    ++p;
  if (p == line.data() || end - p < 3 || p[0] != ' ' || p[1] != '=' || p[2] != ' ')
    return false;
  values->name = std::string_view(line.data(), static_cast<std::size_t>(p - line.data()));
  p += 3;
  if (!ReadWrittenInteger(&p, end, ',', &values->spamCount) ||
      !ReadWrittenInteger(&p, end, ',', &values->cleanCount))
    return false;
  // The probability: digits, one point, digits; the value as ReadRealField
  // computes it (an exact integer divided by an exact power of ten).
  std::uint64_t whole = 0;
  std::uint64_t fraction = 0;
  int whole_digits = 0;
  int decimals = 0;
  if (!ReadDigits(&p, end, '.', 15, &whole, &whole_digits) ||
      !ReadDigits(&p, end, ',', 15 - whole_digits, &fraction, &decimals))
    return false;
  values->probability =
      static_cast<double>(whole * static_cast<std::uint64_t>(kPowers[decimals]) + fraction) /
      kPowers[decimals];
  return ReadWrittenInteger(&p, end, 0, &values->lastSeen);
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
  const char* p = rest->data();
  const char* const end = p + rest->size();
  while (p < end && *p == ',')
    ++p;
  if (p == end) {
    *rest = std::string_view();
    return false;
  }
  const char* field_end = p;
  while (field_end < end && *field_end != ',')
    ++field_end;
  *field = std::string_view(p, static_cast<std::size_t>(field_end - p));
  *rest = std::string_view(field_end, static_cast<std::size_t>(end - field_end));
  return true;
}

std::int32_t ReadIntegerField(std::string_view field) {
  constexpr std::uint64_t kMax = std::numeric_limits<std::int32_t>::max();
  std::uint64_t value = 0;
  for (char c : field) {
    const auto digit = static_cast<unsigned>(c - '0');
    if (digit > 9)
      break;
    value = value * 10 + digit;
    if (value > kMax)
      return static_cast<std::int32_t>(kMax);
  }
  return static_cast<std::int32_t>(value);
}

double ReadRealField(std::string_view field) {
  // Fast path for what this system writes ("0.12345678"): at most 15
  // digits make an exact integer, and dividing it by an exact power of ten
  // rounds once, correctly.
  static constexpr double kPowers[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                       1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
  std::uint64_t digits = 0;
  int count = 0;
  int decimals = -1;  // digits after the point; -1 before it
  std::size_t i = 0;
  for (; i < field.size() && count <= 15; ++i) {
    const char c = field[i];
    if (c == '.') {
      if (decimals >= 0)
        break;  // a second point ends the number
      decimals = 0;
      continue;
    }
    const auto digit = static_cast<unsigned>(c - '0');
    if (digit > 9)
      break;
    digits = digits * 10 + digit;
    ++count;
    if (decimals >= 0)
      ++decimals;
  }
  if (count <= 15) {
    if (count == 0)
      return 0.0;
    return static_cast<double>(digits) / kPowers[decimals < 0 ? 0 : decimals];
  }
  return ReadLongRealField(field);
}

bool RecordReader::Next(Record* record) {
  while (!rest_.empty()) {
    // The last line may lack its line feed.
    std::size_t end = rest_.find('\n');
    if (end == std::string_view::npos)
      end = rest_.size();
    const std::string_view line = rest_.substr(0, end);
    rest_.remove_prefix(std::min(end + 1, rest_.size()));
    if (ReadLine(line, record))
      return true;
  }
  return false;
}

bool RecordReader::ReadLine(std::string_view line, Record* record) {
  // Nearly every line is a word line as written by this system.
  WrittenWordLine written;
  if (ReadWrittenWordLine(line, &written) && written.name != "Spam" && written.name != "Clean" &&
      written.name != "Version") {
    *record = Record{Record::Kind::kWord, written.name,        written.spamCount,
                     written.cleanCount,  written.probability, written.lastSeen};
    return true;
  }
  std::string_view name;
  std::string_view fields[4];
  if (!SplitWrittenLine(line, &name, fields)) {
    std::string_view raw_name;
    std::string_view raw_value;
    if (line.empty() || !SplitLine(line, &raw_name, &raw_value))
      return false;
    name = FilterName(raw_name, &nameScratch_);
    std::string_view rest = FilterValue(raw_value, &valueScratch_);
    for (std::string_view& field : fields) {
      field = std::string_view();
      if (!NextField(&rest, &field))
        break;  // missing fields read as 0
    }
  }
  *record = Record{};
  if (name == "Spam") {
    record->kind = Record::Kind::kSpam;
    record->count = ReadIntegerField(fields[0]);
    spamLine_ = true;
  } else if (name == "Clean") {
    record->kind = Record::Kind::kClean;
    record->count = ReadIntegerField(fields[0]);
    cleanLine_ = true;
  } else if (name == "Version") {
    record->kind = Record::Kind::kVersion;
    record->version = ReadRealField(fields[0]);
  } else {
    record->name = name;
    record->spamCount = ReadIntegerField(fields[0]);
    record->cleanCount = ReadIntegerField(fields[1]);
    record->probability = ReadRealField(fields[2]);
    record->lastSeen = ReadIntegerField(fields[3]);
  }
  return true;
}

bool RecordReader::CutShort() const {
  return (!text_.empty() && text_.back() != '\n') || !spamLine_ || !cleanLine_;
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

bool CanStartWord(unsigned char byte) {
  return code_page::IsAlphaNumeric(byte) || byte == '$';
}

float ClampProbability(double probability) {
  if (probability >= 1.0)
    return 1.0f;
  if (!(probability >= 0.0001))  // NaN (never read from a file; set by hand) as well
    return 0.0001f;
  return static_cast<float>(probability);
}

}  // namespace varnox::word_database
