#include "engine/token_file_format.h"

#include <algorithm>
#include <charconv>

#include "engine/word_database_format.h"

namespace varnox {
namespace {

// The first line of every file of this kind. The name stays as it was first
// written: users' files carry it.
constexpr std::string_view kFormatLine = "Varnox second judge = 1\n";

bool IsTokenByte(unsigned char byte) {
  return byte > 0x20 && byte != 0x7F;
}

// "spam good time token", as AppendEntry writes it; false for anything else.
bool ReadTokenLine(std::string_view line, std::string_view* token, WordEntry* entry) {
  std::int32_t numbers[3];
  const char* at = line.data();
  const char* end = line.data() + line.size();
  for (std::int32_t& number : numbers) {
    const auto [next, error] = std::from_chars(at, end, number);
    if (error != std::errc() || next == end || *next != ' ' || number < 0)
      return false;
    at = next + 1;
  }
  *token = std::string_view(at, static_cast<std::size_t>(end - at));
  if (token->empty() || token->size() > TokenFileFormat::kMaxTokenLength)
    return false;
  for (unsigned char byte : *token) {
    if (!IsTokenByte(byte))
      return false;
  }
  *entry = WordEntry{numbers[0], numbers[1], 0.5f, numbers[2]};
  return true;
}

// "Spam = n" / "Clean = n" as the word database writes its counts.
bool ReadCountLine(std::string_view line, std::string_view name, std::int32_t* count) {
  if (line.size() <= name.size() + 3 || line.substr(0, name.size()) != name ||
      line.substr(name.size(), 3) != " = ")
    return false;
  const std::string_view digits = line.substr(name.size() + 3);
  std::int32_t value = 0;
  const auto [next, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (error != std::errc() || next != digits.data() + digits.size() || value < 0)
    return false;
  *count = value;
  return true;
}

}  // namespace

bool TokenFileFormat::Recognizes(std::string_view text) const {
  return text.substr(0, kFormatLine.size()) == kFormatLine;
}

WordFileFormat::ReadNotes TokenFileFormat::Read(std::string_view text, std::int32_t loadTime,
                                                WordTable& table, MessageCounts& counts) {
  for (std::size_t start = kFormatLine.size(); start < text.size();) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos)
      end = text.size();
    const std::string_view line = text.substr(start, end - start);
    start = end + 1;
    std::string_view token;
    WordEntry entry;
    if (ReadCountLine(line, "Spam", &counts.spam) || ReadCountLine(line, "Clean", &counts.clean) ||
        !ReadTokenLine(line, &token, &entry) || (entry.spamCount == 0 && entry.cleanCount == 0))
      continue;  // damaged lines are skipped
    if (entry.lastSeen == 0)
      entry.lastSeen = loadTime;
    auto [stored, inserted] = table.Insert(token, entry);
    if (!inserted) {
      stored->spamCount = AddCounts(stored->spamCount, entry.spamCount);
      stored->cleanCount = AddCounts(stored->cleanCount, entry.cleanCount);
      stored->lastSeen = std::max(stored->lastSeen, entry.lastSeen);
    }
  }
  return ReadNotes{};
}

WordFileFormat::ReadBack TokenFileFormat::ReadsBackAs(std::string_view token,
                                                      WordEntry* entry) const {
  // Lines of other tokens, of negative numbers or of no counts are skipped.
  if (token.empty() || token.size() > kMaxTokenLength || entry->spamCount < 0 ||
      entry->cleanCount < 0 || entry->lastSeen < 0 ||
      (entry->spamCount == 0 && entry->cleanCount == 0)) {
    return ReadBack::kSkipped;
  }
  for (const unsigned char byte : token) {
    if (!IsTokenByte(byte))
      return ReadBack::kSkipped;
  }
  if (entry->lastSeen == 0)
    return ReadBack::kAnyOther;  // the load time
  entry->probability = 0.5f;     // not kept in the file
  return ReadBack::kAsWord;
}

void TokenFileFormat::AppendHeader(const MessageCounts& counts, std::string* text) const {
  text->append(kFormatLine);
  text->append("Spam = ");
  word_database::AppendInteger(counts.spam, text);
  text->append("\nClean = ");
  word_database::AppendInteger(counts.clean, text);
  text->push_back('\n');
}

void TokenFileFormat::AppendEntry(std::string_view token, const WordEntry& entry,
                                  std::string* text) const {
  word_database::AppendInteger(entry.spamCount, text);
  text->push_back(' ');
  word_database::AppendInteger(entry.cleanCount, text);
  text->push_back(' ');
  word_database::AppendInteger(entry.lastSeen, text);
  text->push_back(' ');
  text->append(token);
  text->push_back('\n');
}

}  // namespace varnox
