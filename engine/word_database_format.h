// The text of the word database file (words.db, the classic judge's): piece
// by piece (masking, splitting a line into name and value, filtering them,
// reading numbers, printing lines), and whole, as WordDatabaseFormat.
// docs/word-database.md describes the whole format.
//
// Every function takes untrusted bytes of any length and never reads outside
// them. Numbers never overflow: see ReadIntegerField and ReadRealField.
#ifndef VARNOX_ENGINE_WORD_DATABASE_FORMAT_H_
#define VARNOX_ENGINE_WORD_DATABASE_FORMAT_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/word_entry.h"
#include "engine/word_file_format.h"
#include "engine/word_table.h"

namespace varnox {
namespace word_database {

inline constexpr unsigned char kMask = 0xA5;

// XORs every byte with kMask (the same call masks and unmasks).
void MaskBytes(char* data, std::size_t size);

// Splits a line (without its line feed) at "=": the name is the first run of
// bytes other than "=" (equals signs at the start are passed over), the value
// the next such run. False when the line has no name or no value.
bool SplitLine(std::string_view line, std::string_view* name, std::string_view* value);

// The quick way through a word line exactly as this system writes it,
// "name = digits,digits,digits.digits,digits": the name (already free of
// other bytes) and the four fields, as SplitLine, FilterName, FilterValue
// and NextField would give them. False for any other line, which then takes
// that way.
bool SplitWrittenLine(std::string_view line, std::string_view* name, std::string_view fields[4]);

// The values of a word line exactly as this system writes it, read in one
// pass: the same name and numbers as SplitWrittenLine followed by
// ReadIntegerField and ReadRealField. Stricter than SplitWrittenLine
// (counts and time of at most ten digits without a point, the probability
// as digits, one point, digits, at most fifteen digits in all); false for
// anything else, which then takes the longer way.
struct WrittenWordLine {
  std::string_view name;
  std::int32_t spamCount = 0;
  std::int32_t cleanCount = 0;
  double probability = 0;
  std::int32_t lastSeen = 0;
};
bool ReadWrittenWordLine(std::string_view line, WrittenWordLine* values);

// Bytes a name keeps: letters and digits of code page 1252 and "$!'-_,.",
// exactly the bytes a word from the tokenizer can hold.
bool IsNameByte(unsigned char byte);
// Bytes a value keeps: "0123456789,.".
bool IsValueByte(unsigned char byte);
// The name / value with every other byte dropped. Returns `text` itself when
// nothing is dropped, else a view of *scratch.
std::string_view FilterName(std::string_view text, std::string* scratch);
std::string_view FilterValue(std::string_view text, std::string* scratch);

// Comma-separated fields of a filtered value: empty fields do not count
// ("1,,2" has the fields 1 and 2). Returns false when there are no more.
bool NextField(std::string_view* rest, std::string_view* field);

// The leading digits of a field as a number ("12.7" reads 12, ".5" reads 0).
// A number above 2147483647 reads as 2147483647.
std::int32_t ReadIntegerField(std::string_view field);
// The field as a decimal real ("0.5", "5.", ".5"; "1.2.3" reads 1.2; "."
// reads 0), correctly rounded. Beyond the range of a double: +infinity when
// a non-zero digit stands before the point, else 0.
double ReadRealField(std::string_view field);

// One line of the file as read: a word line, or one of the header lines.
struct Record {
  enum class Kind { kWord, kSpam, kClean, kVersion };
  Kind kind = Kind::kWord;
  // kWord: the name with every byte a name cannot hold dropped (anything
  // else about it is the reader's caller's to repair), and the four fields:
  // missing ones read 0.
  std::string_view name;
  std::int32_t spamCount = 0;
  std::int32_t cleanCount = 0;
  double probability = 0;
  std::int32_t lastSeen = 0;
  // kSpam, kClean: the message count; kVersion: the version.
  std::int32_t count = 0;
  double version = 0;
};

// Reads the records of an unmasked file, line by line; lines without a name
// or a value are passed over. A record's views last until the next call.
class RecordReader {
 public:
  explicit RecordReader(std::string_view text) : text_(text), rest_(text) {}

  // The next record; false at the end.
  bool Next(Record* record);
  // After the last record: the file ends early (its last line has no line
  // feed, or the "Spam" or "Clean" line is missing). Every file this system
  // writes ends with a line feed and holds both count lines.
  bool CutShort() const;
  // After the last record: neither the "Spam" nor the "Clean" line was found.
  bool NoCountLine() const { return !spamLine_ && !cleanLine_; }

 private:
  bool ReadLine(std::string_view line, Record* record);

  std::string_view text_;
  std::string_view rest_;
  bool spamLine_ = false;
  bool cleanLine_ = false;
  std::string nameScratch_;
  std::string valueScratch_;
};

// printf's "%.8f" of the float's exact value (ties to even, as glibc).
void AppendFixed8(float value, std::string* out);
// printf's "%d".
void AppendInteger(std::int32_t value, std::string* out);
// The three header lines: "Version = %1.2f\n" (1.01 for version 0),
// "Spam = %d\n", "Clean = %d\n". Not masked.
void AppendHeader(float version, std::int32_t spamMessages, std::int32_t cleanMessages,
                  std::string* out);
// "%s = %d,%d,%.8f,%d\n" of one word. Not masked.
void AppendWordLine(std::string_view word, const WordEntry& entry, std::string* out);

// The bytes a word may begin with: letters and digits of code page 1252 and
// "$". The tokenizer strips every other leading byte, reading does the same,
// and the first save of a run purges the rest.
bool CanStartWord(unsigned char byte);
// A probability as stored: below 0.0001 (NaN too) 0.0001, 1 or more 1.
float ClampProbability(double probability);

}  // namespace word_database

// The whole file: its three header lines and a line per word, read with the
// repairs docs/word-database.md lists. Holds the file's version, which is
// read and written with it.
class WordDatabaseFormat final : public WordFileFormat {
 public:
  static constexpr float kDefaultVersion = 1.01f;
  // Longest word kept from a file. The tokenizer makes words of at most 15
  // bytes; a longer name is damage and its line is skipped.
  static constexpr std::size_t kMaxStoredWordLength = 255;

  // Every text is a word database: a file of this name is never anything
  // else's.
  bool Recognizes(std::string_view) const override { return true; }
  ReadNotes Read(std::string_view text, std::int32_t loadTime, WordTable& table,
                 MessageCounts& counts) override;
  void AppendHeader(const MessageCounts& counts, std::string* text) const override;
  void AppendEntry(std::string_view word, const WordEntry& entry, std::string* text) const override;
  std::uint32_t ImageKind() const override { return 1; }
  ReadBack ReadsBackAs(std::string_view word, WordEntry* entry) const override;
  std::uint32_t ImageExtra() const override;
  void set_imageExtra(std::uint32_t extra) override;

  float version() const { return version_; }
  void set_version(float version) { version_ = version; }

 private:
  float version_ = kDefaultVersion;
};

}  // namespace varnox

#endif  // VARNOX_ENGINE_WORD_DATABASE_FORMAT_H_
