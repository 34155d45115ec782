#include "linux/platform/settings_file.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>

namespace varnox {
namespace {

using Value = SettingsFile::Value;

std::string Dword(std::uint32_t v) {
  std::string data;
  for (int i = 0; i < 4; ++i)
    data.push_back(static_cast<char>(v >> (8 * i) & 0xFF));
  return data;
}

std::string Sz(std::string_view text) {
  std::string data(text);
  data.push_back('\0');
  return data;
}

struct OddValue {
  const char* what;
  RegistryType type;
  std::string data;
  const char* line;  // how it is written
};

const OddValue kOddValues[] = {
    {"dword", RegistryType::kDword, Dword(1), "\"V\"=dword:00000001"},
    {"dword of all bits", RegistryType::kDword, Dword(0xFFFFFFFF), "\"V\"=dword:ffffffff"},
    {"dword of 8 bytes", RegistryType::kDword, std::string("\x01\0\0\0\0\0\0\0", 8),
     "\"V\"=hex(4):01,00,00,00,00,00,00,00"},
    {"dword of 2 bytes", RegistryType::kDword, std::string("\x02\x01"), "\"V\"=hex(4):02,01"},
    {"empty dword", RegistryType::kDword, "", "\"V\"=hex(4):"},
    {"string", RegistryType::kString, Sz("Inbox"), "\"V\"=\"Inbox\""},
    {"empty string", RegistryType::kString, Sz(""), "\"V\"=\"\""},
    {"quotes and backslashes", RegistryType::kString, Sz("C:\\a \"b\""),
     "\"V\"=\"C:\\\\a \\\"b\\\"\""},
    {"1252 text is written as UTF-8", RegistryType::kString, Sz("caf\xE9 \x80"),
     "\"V\"=\"caf\xC3\xA9 \xE2\x82\xAC\""},
    {"string without terminator", RegistryType::kString, "ab", "\"V\"=hex(1):61,62"},
    {"string with a NUL inside", RegistryType::kString, std::string("a\0b\0", 4),
     "\"V\"=hex(1):61,00,62,00"},
    {"string with a line break", RegistryType::kString, Sz("a\nb"), "\"V\"=hex(1):61,0a,62,00"},
    {"string with an unassigned byte", RegistryType::kString, Sz("\x81"), "\"V\"=hex(1):81,00"},
    {"empty string data", RegistryType::kString, "", "\"V\"=hex(1):"},
    {"binary", RegistryType::kBinary, std::string("\0\xFF", 2), "\"V\"=hex:00,ff"},
    {"none", RegistryType::kNone, "x", "\"V\"=hex(0):78"},
    {"unknown type", static_cast<RegistryType>(0x7FFF0001), "", "\"V\"=hex(7fff0001):"},
};

TEST(SettingsFileTest, EveryOddValueIsWrittenPlainlyAndReadBackExactly) {
  for (const OddValue& odd : kOddValues) {
    SettingsFile file = SettingsFile::Empty();
    ASSERT_TRUE(file.Set("V", odd.type, odd.data)) << odd.what;
    const std::string text = file.Text();
    EXPECT_NE(text.find(std::string("\n") + odd.line + "\n"), std::string::npos) << odd.what << "\n"
                                                                                 << text;
    const SettingsFile reread = SettingsFile::Parse(text);
    const Value* read = reread.Find("V");
    ASSERT_NE(read, nullptr) << odd.what;
    EXPECT_EQ(read->type, odd.type) << odd.what;
    EXPECT_EQ(read->data, odd.data) << odd.what;
  }
}

// An editor's byte order mark is kept through a rewrite. Dropped, a second
// mark behind it (or a header line behind it) would read differently next
// time: the rewrite must read as the file it replaces.
TEST(SettingsFileTest, RewriteKeepsTheByteOrderMarkAndReadsTheSame) {
  const std::string texts[] = {
      "\xEF\xBB\xBF[Software\\Varnox MSOutlook]\n\"BeepAtSpam\"=dword:00000001\n",
      "\xEF\xBB\xBF\xEF\xBB\xBF[Software\\Varnox MSOutlook]\n\"BeepAtSpam\"=dword:00000001\n",
      "[Software\\Varnox MSOutlook]\n\"BeepAtSpam\"=dword:00000001\n",
  };
  for (const std::string& text : texts) {
    const SettingsFile file = SettingsFile::Parse(text);
    EXPECT_EQ(file.Text(), text);
    const SettingsFile again = SettingsFile::Parse(file.Text());
    EXPECT_EQ(again.Text(), file.Text());
    EXPECT_EQ(again.Find("BeepAtSpam") == nullptr, file.Find("BeepAtSpam") == nullptr) << text;
  }
}

TEST(SettingsFileTest, ReadsWhatAPersonWrites) {
  const SettingsFile file = SettingsFile::Parse(
      "\xEF\xBB\xBF; written by hand\r\n"
      "# another comment\n"
      "[software\\varnox msoutlook]\n"
      "  BeepAtSpam =  DWORD:5  \r\n"
      "\"WordFilePath\" = \"/home/jos\xC3\xA9/words.db\"\n"
      "\"Folder\"=\"\xE6\x97\xA5\"\n"
      "\"Raw\"=hex: 0a , B \n"
      "\"Last\"=dword:1");  // no line feed at the end
  struct Case {
    const char* name;
    RegistryType type;
    std::string data;
  };
  const Case cases[] = {
      {"beepatspam", RegistryType::kDword, Dword(5)},
      {"WordFilePath", RegistryType::kString, Sz("/home/jos\xE9/words.db")},
      {"Folder", RegistryType::kString, Sz("?")},
      {"Raw", RegistryType::kBinary, "\x0a\x0b"},
      {"Last", RegistryType::kDword, Dword(1)},
  };
  for (const Case& c : cases) {
    const Value* value = file.Find(c.name);
    ASSERT_NE(value, nullptr) << c.name;
    EXPECT_EQ(value->type, c.type) << c.name;
    EXPECT_EQ(value->data, c.data) << c.name;
  }
}

TEST(SettingsFileTest, DamagedLinesReadAsAbsent) {
  const char* const kDamaged[] = {
      "\"V\"=\"bad \\n escape\"",
      "\"V\"=\"no closing quote",
      "\"V\"=\"text\" trailing",
      "\"V\"=dword:123456789",
      "\"V\"=dword:",
      "\"V\"=dword:12x",
      "\"V\"=hex:123",
      "\"V\"=hex:01,,02",
      "\"V\"=hex:01,",
      "\"V\"=hex(1:61",
      "\"V\"=hex(123456789):61",
      "\"V\"=text without quotes",
      "\"V\" dword:1",
      "\"V\"=",
      "V",
      "\"V",
      "[Software\\Varnox MSOutlook",
  };
  for (const char* line : kDamaged) {
    const SettingsFile file = SettingsFile::Parse(std::string(line) + "\n\"W\"=dword:2\n");
    EXPECT_EQ(file.Find("V"), nullptr) << line;
    ASSERT_NE(file.Find("W"), nullptr) << "a damaged line spoils only itself: " << line;
  }
}

TEST(SettingsFileTest, HugeLinesAreTakenWhole) {
  const std::string long_text(100000, 'y');
  const SettingsFile file = SettingsFile::Parse(std::string(900000, '\x01') + "\n\"W\"=dword:2\n" +
                                                "\"Long\"=\"" + long_text + "\"\n");
  ASSERT_NE(file.Find("W"), nullptr);
  const Value* value = file.Find("Long");
  ASSERT_NE(value, nullptr);
  EXPECT_EQ(value->data, Sz(long_text));
}

TEST(SettingsFileTest, TheLastOfDuplicateNamesCountsAndIsTheOneRewritten) {
  SettingsFile file = SettingsFile::Parse(
      "[Software\\Varnox MSOutlook]\n"
      "\"BeepAtSpam\"=dword:00000001\n"
      "; keep me\n"
      "\"BEEPATSPAM\"=dword:00000002\n"
      "\"BeepAtSpam\"=dword:zz\n");
  ASSERT_NE(file.Find("BeepAtSpam"), nullptr);
  EXPECT_EQ(file.Find("BeepAtSpam")->data, Dword(2));
  ASSERT_TRUE(file.Set("beepatspam", RegistryType::kDword, Dword(3)));
  EXPECT_EQ(file.Text(),
            "[Software\\Varnox MSOutlook]\n"
            "\"BeepAtSpam\"=dword:00000001\n"
            "; keep me\n"
            "\"BEEPATSPAM\"=dword:00000003\n"
            "\"BeepAtSpam\"=dword:zz\n");
}

TEST(SettingsFileTest, OtherSectionsAreNotTheKeyAndAreKept) {
  SettingsFile file = SettingsFile::Parse(
      "; top\n"
      "\"Before\"=dword:1\n"
      "[Other]\n"
      "\"Elsewhere\"=dword:1\n"
      "[Software\\Varnox MSOutlook]\n"
      "\"Mine\"=dword:1\n"
      "[More]\n"
      "junk \x01\xFF line\n");
  EXPECT_NE(file.Find("Before"), nullptr) << "lines above any section belong to the key";
  EXPECT_EQ(file.Find("Elsewhere"), nullptr);
  EXPECT_NE(file.Find("Mine"), nullptr);
  ASSERT_TRUE(file.Set("New", RegistryType::kDword, Dword(7)));
  EXPECT_EQ(file.Text(),
            "; top\n"
            "\"Before\"=dword:1\n"
            "[Other]\n"
            "\"Elsewhere\"=dword:1\n"
            "[Software\\Varnox MSOutlook]\n"
            "\"Mine\"=dword:1\n"
            "\"New\"=dword:00000007\n"
            "[More]\n"
            "junk \x01\xFF line\n");
}

TEST(SettingsFileTest, NewValuesGoIntoTheKeysSection) {
  struct Case {
    const char* what;
    const char* text;
    const char* expected;
  };
  const Case cases[] = {
      {"empty file", "", "\"N\"=dword:00000001\n"},
      {"header only", "[Software\\Varnox MSOutlook]\n[X]\n",
       "[Software\\Varnox MSOutlook]\n\"N\"=dword:00000001\n[X]\n"},
      {"only another section", "; c\n[X]\n\"A\"=dword:1\n",
       "; c\n\"N\"=dword:00000001\n[X]\n\"A\"=dword:1\n"},
  };
  for (const Case& c : cases) {
    SettingsFile file = SettingsFile::Parse(c.text);
    ASSERT_TRUE(file.Set("N", RegistryType::kDword, Dword(1)));
    EXPECT_EQ(file.Text(), c.expected) << c.what;
  }
}

TEST(SettingsFileTest, NamesThatCannotStandOnOneLineAreRefused) {
  SettingsFile file = SettingsFile::Empty();
  const std::string before = file.Text();
  EXPECT_FALSE(file.Set("a\nb", RegistryType::kDword, Dword(1)));
  EXPECT_FALSE(file.Set(std::string("a\0b", 3), RegistryType::kDword, Dword(1)));
  EXPECT_EQ(file.Text(), before);
  ASSERT_TRUE(file.Set("odd \"name\" \\ \xE9", RegistryType::kDword, Dword(9)));
  const SettingsFile reread = SettingsFile::Parse(file.Text());
  const Value* read = reread.Find("ODD \"NAME\" \\ \xC9");
  ASSERT_NE(read, nullptr);
  EXPECT_EQ(read->data, Dword(9));
}

// Whatever bytes a file holds, parsing does not crash, and a value set in it
// reads back exactly from the rewritten text.
TEST(SettingsFileTest, GarbageNeverStopsAValueFromRoundTripping) {
  std::mt19937 random(12345);
  static const char kAlphabet[] = "\"\\=[];#\n\r\t hexdword:(),0123456789abf\0\xC3\xFF";
  const std::string alphabet(kAlphabet, sizeof kAlphabet - 1);
  for (int round = 0; round < 500; ++round) {
    std::string garbage;
    const int length = static_cast<int>(random() % 200);
    for (int i = 0; i < length; ++i) {
      garbage.push_back(round % 2 ? static_cast<char>(random() & 0xFF)
                                  : alphabet[random() % alphabet.size()]);
    }
    SettingsFile file = SettingsFile::Parse(garbage);
    const std::string data = Sz("value " + std::to_string(round));
    ASSERT_TRUE(file.Set("Probe", RegistryType::kString, data));
    const SettingsFile reread = SettingsFile::Parse(file.Text());
    const Value* read = reread.Find("Probe");
    ASSERT_NE(read, nullptr) << "round " << round;
    EXPECT_EQ(read->data, data) << "round " << round;
  }
}

}  // namespace
}  // namespace varnox
