// Text for the filter: the quick test for composed text against glib's
// Unicode tables, and the line-end scan against a plain loop.
#include "mime/filter_text.h"
#include "mime/mime_reader.h"
#include "platform/utf8.h"

#include <glib.h>
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace varnox::mime {
namespace {

std::string Utf8Of(gunichar c) {
  char bytes[8];
  return std::string(bytes, static_cast<std::size_t>(g_unichar_to_utf8(c, bytes)));
}

// Every character the quick test takes for composed must be one that
// composing can never change, in any company: no combining class, its own
// composition, and never the second part of a canonical decomposition.
TEST(FilterTextTest, CharactersTakenForComposedAreInertUnderComposition) {
  std::vector<bool> second(0x110000);
  gunichar parts[8];
  for (gunichar x = 0; x < 0x110000; ++x) {
    if (x >= 0xD800 && x <= 0xDFFF)
      continue;
    const gsize n = g_unichar_fully_decompose(x, FALSE, parts, G_N_ELEMENTS(parts));
    for (gsize i = 1; i < n; ++i)
      second[parts[i]] = true;
  }
  int inert = 0;
  for (gunichar c = 0x80; c < 0x110000; ++c) {
    if (c >= 0xD800 && c <= 0xDFFF)
      continue;
    const std::string text = Utf8Of(c);
    if (!IsComposedText(text))
      continue;
    ++inert;
    gchar* composed = g_utf8_normalize(text.data(), static_cast<gssize>(text.size()),
                                       G_NORMALIZE_DEFAULT_COMPOSE);
    EXPECT_EQ(std::string(composed), text) << std::hex << c;
    g_free(composed);
    EXPECT_EQ(g_unichar_combining_class(c), 0) << std::hex << c;
    EXPECT_FALSE(second[c]) << std::hex << c;
  }
  EXPECT_GT(inert, 30000);  // the blocks are in use (38,211 characters)
}

TEST(FilterTextTest, QuickTestRefusesWhatMayCompose) {
  EXPECT_TRUE(IsComposedText("plain caf\xC3\xA9 \xE2\x80\x99quoted\xE2\x80\x99 \xE2\x82\xAC"));
  EXPECT_FALSE(IsComposedText("e\xCC\x81"));                 // e and a combining acute
  EXPECT_FALSE(IsComposedText("\xE2\x84\xAB"));              // the Angstrom sign, a singleton
  EXPECT_FALSE(IsComposedText("\xE1\x84\x80\xE1\x85\xA1"));  // Hangul jamo that join
  EXPECT_FALSE(IsComposedText("caf\xC3"));                   // malformed
  // And what it refuses is still composed correctly.
  EXPECT_EQ(ToFilterText("e\xCC\x81t\xC3\xA9 \xE2\x80\x99"), "\xE9t\xE9 \x92");
}

// Text read as Windows-1252 skips the way through UTF-8; it must end as if
// it had taken it.
TEST(FilterTextTest, Windows1252TextNeedsNoWayThroughUtf8) {
  std::string every_byte;
  for (int b = 1; b < 256; ++b)
    every_byte.push_back(static_cast<char>(b));
  std::mt19937 random(5);
  std::vector<std::string> texts = {every_byte, "caf\xE9 \xA0\xA0 \x80\x81\x9F", ""};
  for (int i = 0; i < 2000; ++i) {
    std::string text(random() % 30, ' ');
    for (char& c : text)
      c = static_cast<char>(random() % 4 == 0 ? 0x80 + random() % 128 : 'a' + random() % 26);
    texts.push_back(text);
  }
  for (const std::string& text : texts) {
    const std::string expected = ToFilterText(utf8::FromCodePage1252(text));
    for (const char* label : {"iso-8859-1", "Windows-1252", "latin1", "CP1252"})
      ASSERT_EQ(CharsetFilterText(text, label), expected) << label << ": " << text;
    // Unlabelled or said to be UTF-8, text that cannot hold a UTF-8
    // sequence: its high bytes can only continue one, never start it.
    std::string no_sequence = text;
    for (char& c : no_sequence) {
      if (static_cast<unsigned char>(c) >= 0xC0)
        c = static_cast<char>(static_cast<unsigned char>(c) - 0x40);
    }
    if (no_sequence.find_first_of(
            "\x80\x81\x82\x83\x84\x85\x86\x87\x88\x89\x8A\x8B\x8C\x8D\x8E\x8F"
            "\x90\x91\x92\x93\x94\x95\x96\x97\x98\x99\x9A\x9B\x9C\x9D\x9E\x9F"
            "\xA0\xA1\xA2\xA3\xA4\xA5\xA6\xA7\xA8\xA9\xAA\xAB\xAC\xAD\xAE\xAF"
            "\xB0\xB1\xB2\xB3\xB4\xB5\xB6\xB7\xB8\xB9\xBA\xBB\xBC\xBD\xBE\xBF") !=
        std::string::npos) {
      const std::string unlabelled = ToFilterText(utf8::FromCodePage1252(no_sequence));
      ASSERT_EQ(CharsetFilterText(no_sequence, nullptr), unlabelled) << no_sequence;
      ASSERT_EQ(CharsetFilterText(no_sequence, "UTF-8"), unlabelled) << no_sequence;
    }
  }
  // UTF-8, and damaged UTF-8, keep their own way.
  EXPECT_EQ(CharsetFilterText("caf\xC3\xA9\xC2\xA0x", "utf-8"), "caf\xE9 x");
  EXPECT_EQ(CharsetFilterText("caf\xC3\xA9 \xE9", nullptr), "caf\xE9 ?");
}

TEST(FilterTextTest, LineEndScanAgreesWithAPlainLoop) {
  std::mt19937 random(7);
  const std::string alphabet = "ab\r\n\x0A\x0D\x8A\x8D\x1A\x2D \xFF";
  for (int round = 0; round < 20000; ++round) {
    std::string text(random() % 40, 'x');
    for (char& c : text) {
      if (random() % 4 == 0)
        c = alphabet[random() % alphabet.size()];
    }
    const std::size_t from = random() % (text.size() + 1);
    std::size_t expected = std::string::npos;
    for (std::size_t i = from; i < text.size(); ++i) {
      if (text[i] == '\r' || text[i] == '\n') {
        expected = i;
        break;
      }
    }
    ASSERT_EQ(FindLineEnd(text, from), expected) << round;
  }
}

}  // namespace
}  // namespace varnox::mime
