#include "platform/utf8.h"

#include <gtest/gtest.h>

#include <string>

namespace varnox {
namespace {

TEST(Utf8Test, EveryCodePageByteSurvivesTheRoundTrip) {
  std::string all;
  for (int b = 0; b < 256; ++b)
    all.push_back(static_cast<char>(b));
  const std::string converted = utf8::FromCodePage1252(all);
  EXPECT_TRUE(utf8::IsValid(converted));
  EXPECT_EQ(utf8::ToCodePage1252(converted), all);
}

TEST(Utf8Test, ConvertsBothWays) {
  struct Case {
    const char* what;
    std::string cp1252;
    std::string utf8;
  };
  const Case cases[] = {
      {"ascii", "Spam Filter", "Spam Filter"},
      {"euro sign", "\x80", "\xE2\x82\xAC"},
      {"e acute", "caf\xE9", "caf\xC3\xA9"},
      {"trade mark and s caron", "\x99\x9A", "\xE2\x84\xA2\xC5\xA1"},
      {"y diaeresis", "\xFF", "\xC3\xBF"},
      {"unassigned byte keeps its C1 control", "\x81", "\xC2\x81"},
      {"empty", "", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(utf8::FromCodePage1252(c.cp1252), c.utf8) << c.what;
    EXPECT_EQ(utf8::ToCodePage1252(c.utf8), c.cp1252) << c.what;
  }
}

TEST(Utf8Test, WhatCodePage1252LacksBecomesAQuestionMark) {
  struct Case {
    const char* what;
    std::string utf8;
    std::string cp1252;
    bool valid;
  };
  const Case cases[] = {
      {"l with stroke",
       "\xC5\x82"
       "odz",
       "?odz", true},
      {"cyrillic", "\xD0\xB4\xD0\xB0", "??", true},
      {"emoji is one character",
       "a\xF0\x9F\x98\x80"
       "b",
       "a?b", true},
      {"lone continuation byte",
       "a\x80"
       "b",
       "a?b", false},
      {"latin-1 byte alone", "caf\xE9", "caf?", false},
      {"truncated at the end", "x\xE2\x82", "x??", false},
      {"overlong NUL", "\xC0\x80", "??", false},
      {"surrogate", "\xED\xA0\x80", "???", false},
      {"beyond U+10FFFF", "\xF4\x90\x80\x80", "????", false},
      {"invalid lead byte", "\xFF", "?", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(utf8::ToCodePage1252(c.utf8), c.cp1252) << c.what;
    EXPECT_EQ(utf8::IsValid(c.utf8), c.valid) << c.what;
  }
}

// What a reader replaces by one U+FFFD is the longest start of a
// well-formed sequence: never less than one byte, never a byte that could
// begin the next character.
TEST(Utf8Test, SequenceAtTellsTheCharacterOrTheBytesToReplace) {
  struct Case {
    const char* what;
    std::string text;
    char32_t character;
    std::size_t length;
    std::size_t skip;
  };
  const Case cases[] = {
      {"ascii", "a", U'a', 1, 1},
      {"two bytes", "\xC3\xA9", U'\u00E9', 2, 2},
      {"three bytes", "\xE2\x82\xAC", U'\u20AC', 3, 3},
      {"four bytes", "\xF0\x9F\x98\x80", U'\U0001F600', 4, 4},
      {"highest character", "\xF4\x8F\xBF\xBF", U'\U0010FFFF', 4, 4},
      {"lone continuation byte", "\x80", 0, 0, 1},
      {"overlong two bytes", "\xC0\xAF", 0, 0, 1},
      {"overlong three bytes", "\xE0\x80\xAF", 0, 0, 1},
      {"surrogate", "\xED\xA0\x80", 0, 0, 1},
      {"above U+10FFFF", "\xF4\x90\x80\x80", 0, 0, 1},
      {"cut short by the end", "\xE2\x82", 0, 0, 2},
      {"cut short by ascii",
       "\xF0\x9F\x98"
       "a",
       0, 0, 3},
      {"lead byte F5", "\xF5\x80\x80\x80", 0, 0, 1},
  };
  for (const Case& c : cases) {
    const utf8::Sequence sequence = utf8::SequenceAt(c.text, 0);
    EXPECT_EQ(sequence.length, c.length) << c.what;
    EXPECT_EQ(sequence.skip, c.skip) << c.what;
    EXPECT_EQ(sequence.character, c.character) << c.what;
  }
}

}  // namespace
}  // namespace varnox
