#include "engine/word_database_format.h"

#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace varnox::word_database {
namespace {

TEST(WordDatabaseFormatTest, SplitsLinesAtEqualsSigns) {
  struct Case {
    std::string line;
    bool split;
    std::string name, value;
  };
  const Case cases[] = {
      {"free = 3,1,0.5,100", true, "free ", " 3,1,0.5,100"},
      {"==name=value", true, "name", "value"},
      {"a==5", true, "a", "5"},
      {"a=5=6", true, "a", "5"},
      {"no equals sign", false, "", ""},
      {"name=", false, "", ""},
      {"name===", false, "", ""},
      {"===", false, "", ""},
      {"", false, "", ""},
      {"=5", false, "", ""},
  };
  for (const Case& c : cases) {
    std::string_view name, value;
    ASSERT_EQ(SplitLine(c.line, &name, &value), c.split) << c.line;
    if (c.split) {
      EXPECT_EQ(name, c.name) << c.line;
      EXPECT_EQ(value, c.value) << c.line;
    }
  }
}

TEST(WordDatabaseFormatTest, FiltersKeepTheBytesAWordOrNumberMayHold) {
  std::string scratch;
  EXPECT_EQ(FilterName(" $free-money! ", &scratch), "$free-money!");
  EXPECT_EQ(FilterName("3.14 ", &scratch), "3.14");
  EXPECT_EQ(FilterName("don't_x", &scratch), "don't_x");
  EXPECT_EQ(FilterName("a+b/c=d\t\r\x01", &scratch), "abcd");
  EXPECT_EQ(FilterName("caf\xE9\xD7", &scratch), "caf\xE9");  // D7 is the multiplication sign
  EXPECT_EQ(FilterValue(" -5,x2,0.5e3,nan,inf", &scratch), "5,2,0.53,,");
}

// The general way through a line: split, filter, fields.
bool SplitTheLongWay(std::string_view line, std::string* name, std::string_view fields[4],
                     std::string* value_scratch) {
  std::string_view raw_name, raw_value;
  if (!SplitLine(line, &raw_name, &raw_value))
    return false;
  std::string name_scratch;
  *name = std::string(FilterName(raw_name, &name_scratch));
  std::string_view rest = FilterValue(raw_value, value_scratch);
  for (int i = 0; i < 4; ++i) {
    fields[i] = std::string_view();
    if (!NextField(&rest, &fields[i]))
      break;
  }
  return true;
}

TEST(WordDatabaseFormatTest, WrittenLinesTakeTheQuickWayToTheSameFields) {
  std::mt19937 random(5);
  const std::string alphabet = "ab$-9,.= 0";
  int quick = 0;
  for (int i = 0; i < 200000; ++i) {
    char written[96] = "";
    if (random() % 2 == 0) {
      std::snprintf(written, sizeof written, "w%u = %u,%u,0.%u,%u",
                    static_cast<unsigned>(random() % 100), static_cast<unsigned>(random() % 50),
                    static_cast<unsigned>(random() % 50), static_cast<unsigned>(random() % 1000),
                    static_cast<unsigned>(random()));
    }
    std::string line(written);
    for (int n = static_cast<int>(random() % 4); n > 0; --n)
      line.insert(random() % (line.size() + 1), 1, alphabet[random() % alphabet.size()]);
    std::string_view name;
    std::string_view fields[4];
    if (!SplitWrittenLine(line, &name, fields))
      continue;
    ++quick;
    std::string long_name;
    std::string_view long_fields[4];
    std::string scratch;
    ASSERT_TRUE(SplitTheLongWay(line, &long_name, long_fields, &scratch)) << line;
    EXPECT_EQ(name, long_name) << line;
    for (int f = 0; f < 4; ++f)
      EXPECT_EQ(fields[f], long_fields[f]) << line << " field " << f;
  }
  EXPECT_GT(quick, 20000);  // the comparison ran often
  std::string_view name;
  std::string_view fields[4];
  EXPECT_TRUE(SplitWrittenLine("cash = 5,2,0.71428573,1700000000", &name, fields));
  EXPECT_EQ(name, "cash");
  EXPECT_EQ(fields[2], "0.71428573");
  for (const char* other : {"cash = 5,2,0.5", "cash=5,2,0.5,1", "cash = 5,2,0.5,1,", "Spam = 5",
                            " cash = 5,2,0.5,1", "cash = 5,,0.5,1", "cash = -5,2,0.5,1"}) {
    EXPECT_FALSE(SplitWrittenLine(other, &name, fields)) << other;
  }
}

// The one-pass reading of a written word line gives what splitting it and
// reading its fields gives, and leaves any other line to that longer way.
TEST(WordDatabaseFormatTest, WrittenWordLinesReadInOnePassAsField) {
  std::mt19937 random(9);
  const std::string alphabet = "ab$-9,.= 0";
  int read = 0;
  for (int i = 0; i < 200000; ++i) {
    char written[128] = "";
    std::snprintf(written, sizeof written, "w%u = %u,%u,%u.%0*u,%u",
                  static_cast<unsigned>(random() % 100), static_cast<unsigned>(random() >> 1),
                  static_cast<unsigned>(random() % 50), static_cast<unsigned>(random() % 3),
                  static_cast<int>(random() % 12), static_cast<unsigned>(random() % 100000000),
                  static_cast<unsigned>(random()));
    std::string line(written);
    for (int n = static_cast<int>(random() % 3); n > 0; --n)
      line.insert(random() % (line.size() + 1), 1, alphabet[random() % alphabet.size()]);
    WrittenWordLine values;
    if (!ReadWrittenWordLine(line, &values))
      continue;
    ++read;
    std::string_view name;
    std::string_view fields[4];
    ASSERT_TRUE(SplitWrittenLine(line, &name, fields)) << line;
    EXPECT_EQ(values.name, name) << line;
    EXPECT_EQ(values.spamCount, ReadIntegerField(fields[0])) << line;
    EXPECT_EQ(values.cleanCount, ReadIntegerField(fields[1])) << line;
    EXPECT_EQ(values.probability, ReadRealField(fields[2])) << line;
    EXPECT_EQ(values.lastSeen, ReadIntegerField(fields[3])) << line;
  }
  EXPECT_GT(read, 30000);  // the comparison ran often (times above 2^31 - 1 are refused)
  WrittenWordLine values;
  ASSERT_TRUE(ReadWrittenWordLine("cash = 5,2,0.71428573,1700000000", &values));
  EXPECT_EQ(values.name, "cash");
  EXPECT_EQ(values.probability, 0.71428573);
  for (const char* other :
       {"cash = 5,2,0.5", "cash = 5,2,0.5,1,", "cash = 5,2,5,1", "cash = 5,2,.5.,1",
        "cash = 5,2,0.1234567890123456,1", "cash = 12345678901,2,0.5,1",
        "cash = 5,2,0.5,2147483648", "cash = 5.0,2,0.5,1", "Spam = 5"}) {
    EXPECT_FALSE(ReadWrittenWordLine(other, &values)) << other;
  }
}

TEST(WordDatabaseFormatTest, EmptyFieldsDoNotCount) {
  std::string_view rest = ",,12,,3.5,";
  std::string_view field;
  ASSERT_TRUE(NextField(&rest, &field));
  EXPECT_EQ(field, "12");
  ASSERT_TRUE(NextField(&rest, &field));
  EXPECT_EQ(field, "3.5");
  EXPECT_FALSE(NextField(&rest, &field));
  EXPECT_FALSE(NextField(&rest, &field));
}

TEST(WordDatabaseFormatTest, ReadsIntegersWithoutOverflow) {
  const std::pair<std::string, std::int32_t> cases[] = {
      {"0", 0},
      {"17", 17},
      {"12.7", 12},
      {".5", 0},
      {"2147483647", 2147483647},
      {"2147483648", 2147483647},
      {"99999999999999999999999999999", 2147483647},
      {"0000000000000000000000042", 42},
      {"", 0},
  };
  for (const auto& [field, expected] : cases)
    EXPECT_EQ(ReadIntegerField(field), expected) << field;
}

TEST(WordDatabaseFormatTest, ReadsRealsWithoutUndefinedResults) {
  const std::pair<std::string, double> cases[] = {
      {"0.5", 0.5},
      {"5.", 5.0},
      {".25", 0.25},
      {"1.2.3", 1.2},
      {".", 0.0},
      {"..5", 0.0},
      {"0.71428573", 0.71428573},
      {std::string(400, '9'), std::numeric_limits<double>::infinity()},
      {"0." + std::string(400, '0') + "1", 0.0},
  };
  for (const auto& [field, expected] : cases)
    EXPECT_EQ(ReadRealField(field), expected) << field;
}

TEST(WordDatabaseFormatTest, RealsRoundLikeStrtod) {
  std::mt19937 random(11);
  const std::string alphabet = "0123456789.";
  for (int i = 0; i < 100000; ++i) {
    std::string field;
    for (int n = 1 + static_cast<int>(random() % 24); n > 0; --n)
      field.push_back(alphabet[random() % (random() % 4 == 0 ? alphabet.size() : 10)]);
    // strtod stops where from_chars and the fast path stop, at a second point.
    const double expected = std::strtod(field.c_str(), nullptr);
    ASSERT_EQ(ReadRealField(field), expected) << field;
  }
}

std::string PrintfFixed8(float value) {
  char buffer[128];
  std::snprintf(buffer, sizeof buffer, "%.8f", static_cast<double>(value));
  return buffer;
}

TEST(WordDatabaseFormatTest, Fixed8IsPrintfByteForByte) {
  std::vector<float> values = {
      0.0001f,      0.0002f, 0.5f,        0.9998f,
      0.9999f,      1.0f,    0.71428573f,
      0.001953125f,  // an exact tie at the 8th decimal
      0.0f,         -0.5f,   3.0e-9f,     1.0e-30f,
      123456.789f,  3.0e7f,  FLT_MAX,     std::numeric_limits<float>::denorm_min()};
  std::mt19937 random(7);
  std::uniform_real_distribution<float> probabilities(0.0001f, 1.0f);
  for (int i = 0; i < 200000; ++i)
    values.push_back(probabilities(random));
  // Floats with few mantissa bits, where ties are likely.
  for (int exponent = -24; exponent <= 0; ++exponent) {
    for (int mantissa = 1; mantissa < 64; ++mantissa)
      values.push_back(std::ldexp(static_cast<float>(mantissa), exponent - 6));
  }
  for (float value : values) {
    std::string text;
    AppendFixed8(value, &text);
    ASSERT_EQ(text, PrintfFixed8(value)) << std::bit_cast<std::uint32_t>(value);
  }
}

TEST(WordDatabaseFormatTest, FormatsHeaderAndWordLines) {
  std::string text;
  AppendHeader(0.0f, 12, -3, &text);
  EXPECT_EQ(text, "Version = 1.01\nSpam = 12\nClean = -3\n");
  text.clear();
  AppendHeader(2.5f, 0, 0, &text);
  EXPECT_EQ(text, "Version = 2.50\nSpam = 0\nClean = 0\n");
  text.clear();
  AppendWordLine("cash", WordEntry{5, 2, 0.0001f, 1700000000}, &text);
  AppendWordLine("3.14", WordEntry{-1, 2147483647, 0.5f, -7}, &text);
  EXPECT_EQ(text,
            "cash = 5,2,0.00010000,1700000000\n"
            "3.14 = -1,2147483647,0.50000000,-7\n");
}

TEST(WordDatabaseFormatTest, MaskIsItsOwnInverse) {
  std::string bytes("A\n\0\xFF", 4);
  MaskBytes(bytes.data(), bytes.size());
  EXPECT_EQ(bytes, std::string("\xE4\xAF\xA5\x5A", 4));
  MaskBytes(bytes.data(), bytes.size());
  EXPECT_EQ(bytes, std::string("A\n\0\xFF", 4));
}

// What a reader gives for a text, one line a record, "cut short" last.
std::vector<std::string> ReadAll(std::string_view text) {
  std::vector<std::string> out;
  RecordReader reader(text);
  Record record;
  while (reader.Next(&record)) {
    switch (record.kind) {
      case Record::Kind::kSpam:
        out.push_back("spam " + std::to_string(record.count));
        break;
      case Record::Kind::kClean:
        out.push_back("clean " + std::to_string(record.count));
        break;
      case Record::Kind::kVersion:
        out.push_back("version " + std::to_string(record.version));
        break;
      case Record::Kind::kWord:
        out.push_back(std::string(record.name) + " " + std::to_string(record.spamCount) + " " +
                      std::to_string(record.cleanCount) + " " + std::to_string(record.probability) +
                      " " + std::to_string(record.lastSeen));
        break;
    }
  }
  out.push_back(reader.CutShort() ? "cut short" : "whole");
  return out;
}

TEST(WordDatabaseFormatTest, RecordReaderGivesEachNamedLine) {
  struct Case {
    std::string text;
    std::vector<std::string> records;
  };
  const Case cases[] = {
      {"", {"cut short"}},
      {"Version = 1.01\nSpam = 3\nClean = 4\n", {"version 1.010000", "spam 3", "clean 4", "whole"}},
      // Header lines in any order; the last line may lack its line feed.
      {"Clean = 4\nSpam = 3", {"clean 4", "spam 3", "cut short"}},
      {"Spam = 3\n", {"spam 3", "cut short"}},
      // Word lines the quick way and the long way give the same fields.
      {"Spam = 1\nClean = 1\ncash = 5,2,0.25,1700000000\n cash = 5,,2 ,0.25;,1700000000\n",
       {"spam 1", "clean 1", "cash 5 2 0.250000 1700000000", "cash 5 2 0.250000 1700000000",
        "whole"}},
      // Missing fields read 0; lines without a name or value are passed over.
      {"Spam = 0\nClean = 0\nword = 7\n\n=\nname\n= 5\n===\n",
       {"spam 0", "clean 0", "word 7 0 0.000000 0", "whole"}},
      // Only the exact names are header lines; the name filter drops bytes.
      {"spam = 2,1,0.5,9\n-Spam = 8\nSpam = 6\nClean = 1\n",
       {"spam 2 1 0.500000 9", "-Spam 8 0 0.000000 0", "spam 6", "clean 1", "whole"}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ReadAll(c.text), c.records) << c.text;
}

}  // namespace
}  // namespace varnox::word_database
